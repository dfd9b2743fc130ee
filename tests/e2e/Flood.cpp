// The load test's sources, paced in 1 ms steps so that their rate holds on a loaded machine:
//   e2e_flood junk ADDRESS RATE SECONDS CORPUS_DIR PORT...
//     RATE datagrams a second, round-robin over the ports: every other one a message of
//     CORPUS_DIR (RFC 4475's torture messages), the others random bytes of random length.
//   e2e_flood tone ADDRESS PORT SECONDS SPEED HZ [THEN_SECONDS THEN_HZ]
//     PCMA RTP of a HZ tone at -12 dBFS, 30 ms a packet, SPEED times as fast as real time (a far
//     end whose clock runs fast), then THEN_HZ at real time in the same stream. Prints the times
//     (epoch µs) of its first packet, of the second tone's first ("switch") and of its last.
#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>

#include <chrono>
#include <cmath>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <random>
#include <string>
#include <thread>
#include <vector>

#include "media/G711.h"
#include "media/RTPHeader.h"

namespace {

using Clock = std::chrono::steady_clock;
const int kSocket = socket(AF_INET, SOCK_DGRAM, 0);

sockaddr_in Target(const char* address, const char* port) {
  sockaddr_in target{AF_INET, htons(static_cast<std::uint16_t>(std::stoi(port))), {}, {}};
  inet_pton(AF_INET, address, &target.sin_addr);
  return target;
}

bool Send(const std::string& bytes, const sockaddr_in& to) {
  return sendto(kSocket, bytes.data(), bytes.size(), 0, reinterpret_cast<const sockaddr*>(&to),
                sizeof to) >= 0;
}

int Junk(int argc, char** argv) {
  const long long rate = std::stoll(argv[3]),
                  total = std::llround(std::stod(argv[3]) * std::stod(argv[4]));
  std::vector<std::string> corpus;
  for (const auto& entry : std::filesystem::directory_iterator(argv[5])) {
    std::ifstream file(entry.path(), std::ios::binary);
    if (entry.path().extension() == ".dat")
      corpus.emplace_back(std::istreambuf_iterator<char>(file), std::istreambuf_iterator<char>());
  }
  if (corpus.empty()) {
    std::fprintf(stderr, "no RFC 4475 messages in %s\n", argv[5]);
    return 2;
  }
  std::vector<sockaddr_in> targets;
  for (int i = 6; i < argc; ++i)
    targets.push_back(Target(argv[2], argv[i]));
  std::mt19937 random(4475);
  std::uniform_int_distribution<int> length(1, 1400), byte(0, 255);
  long long sent = 0, failed = 0;
  const Clock::time_point start = Clock::now();
  // Each millisecond sends what the rate owes up to its end, then sleeps to the next one.
  for (long long step = 1, n = 0; n < total; ++step) {
    for (; n < std::min(total, step * rate / 1000); ++n) {
      std::string datagram = corpus[static_cast<std::size_t>(n / 2) % corpus.size()];
      if (n % 2 == 1) {
        datagram.resize(static_cast<std::size_t>(length(random)));
        for (char& c : datagram)
          c = static_cast<char>(byte(random));
      }
      (Send(datagram, targets[static_cast<std::size_t>(n) % targets.size()]) ? sent : failed)++;
    }
    std::this_thread::sleep_until(start + std::chrono::milliseconds(step));
  }
  const double took = std::chrono::duration<double>(Clock::now() - start).count();
  std::printf("sent %lld datagrams (%lld refused) in %.2f s: %.0f a second\n", sent, failed, took,
              static_cast<double>(total) / took);
  return 0;
}

int Tone(int argc, char** argv) {
  struct Phase {
    double Seconds, Speed, Hz;
  };
  std::vector<Phase> phases{{std::stod(argv[4]), std::stod(argv[5]), std::stod(argv[6])}};
  if (argc == 9) phases.push_back({std::stod(argv[7]), 1.0, std::stod(argv[8])});
  const sockaddr_in target = Target(argv[2], argv[3]);
  media::TRTPHeader header;
  header.Version = media::kRtpVersion;
  header.PayloadType = media::kPayloadTypePCMA;
  header.SSRC = 0x7e1e7a1e;
  Clock::time_point next = Clock::now();
  long long times[3] = {};  // first, switch, last
  for (const Phase& phase : phases) {
    const auto interval = std::chrono::microseconds(std::llround(30000 / phase.Speed));
    for (int p = 0; p < static_cast<int>(phase.Seconds * 1000 / 30 * phase.Speed); ++p) {
      std::int16_t linear[240];  // 30 ms going on with the tone's phase; x86: low byte first
      for (unsigned i = 0; i < 240; ++i)
        linear[i] = static_cast<std::int16_t>(
            8192 * std::sin(2 * M_PI * phase.Hz * (header.Timestamp + i) / 8000));
      std::this_thread::sleep_until(next);
      next += interval;
      Send(media::EncodeHeader(header) +
               media::ALawEncode({reinterpret_cast<char*>(linear), sizeof linear}),
           target);
      times[2] = std::chrono::duration_cast<std::chrono::microseconds>(
                     std::chrono::system_clock::now().time_since_epoch())
                     .count();
      if (header.SequenceNumber++ == 0) times[0] = times[2];
      if (p == 0 && &phase != &phases.front()) times[1] = times[2];
      header.Timestamp += 240;
    }
  }
  std::printf(
      "sent %d packets, %.0f Hz at %.1fx real time first\nfirst %lld\nswitch %lld\nlast %lld\n",
      header.SequenceNumber, phases.front().Hz, phases.front().Speed, times[0], times[1], times[2]);
  return 0;
}

}  // namespace

int main(int argc, char** argv) {
  const std::string mode = argc > 1 ? argv[1] : "";
  if (mode == "junk" && argc >= 7) return Junk(argc, argv);
  if (mode == "tone" && (argc == 7 || argc == 9)) return Tone(argc, argv);
  std::fprintf(stderr,
               "usage: e2e_flood junk ADDRESS RATE SECONDS CORPUS_DIR PORT...\n"
               "       e2e_flood tone ADDRESS PORT SECONDS SPEED HZ [THEN_SECONDS THEN_HZ]\n");
  return 2;
}
