// Bad input for the end-to-end load test, paced in 1 ms steps so that its rate holds on a
// loaded machine:
//   e2e_flood junk ADDRESS RATE SECONDS CORPUS_DIR PORT...
//     RATE datagrams a second in all, round-robin over the ports: every other one a message
//     of CORPUS_DIR (RFC 4475's torture messages), the others random bytes of random length.
//   e2e_flood tone ADDRESS PORT SECONDS SPEED HZ [THEN_SECONDS THEN_HZ]
//     PCMA RTP of a HZ tone at -12 dBFS, 30 ms a packet, sent SPEED times as fast as real
//     time (a far end whose clock runs fast), then, in the same stream, THEN_HZ at real time.
// Prints what it sent and, for the tone, the times (epoch µs) of its first packet, of the
// first packet of the second tone ("switch") and of its last packet.
#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <chrono>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <random>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "media/G711.h"
#include "media/RtpHeader.h"

namespace {

using Clock = std::chrono::steady_clock;

long long EpochMicroseconds() {
  return std::chrono::duration_cast<std::chrono::microseconds>(
             std::chrono::system_clock::now().time_since_epoch())
      .count();
}

std::vector<std::string> ReadCorpus(const std::filesystem::path& folder) {
  std::vector<std::string> messages;
  for (const auto& entry : std::filesystem::directory_iterator(folder)) {
    if (entry.path().extension() != ".dat") continue;
    std::ifstream file(entry.path(), std::ios::binary);
    messages.emplace_back(std::istreambuf_iterator<char>(file), std::istreambuf_iterator<char>());
  }
  return messages;
}

sockaddr_in Target(const char* address, int port) {
  sockaddr_in target{};
  target.sin_family = AF_INET;
  target.sin_port = htons(static_cast<std::uint16_t>(port));
  inet_pton(AF_INET, address, &target.sin_addr);
  return target;
}

bool Send(int fd, const std::string& bytes, const sockaddr_in& target) {
  return sendto(fd, bytes.data(), bytes.size(), 0, reinterpret_cast<const sockaddr*>(&target),
                sizeof target) >= 0;
}

int Junk(char** argv, int argc) {
  const int rate = std::stoi(argv[3]);
  const double seconds = std::stod(argv[4]);
  const std::vector<std::string> corpus = ReadCorpus(argv[5]);
  std::vector<sockaddr_in> targets;
  for (int i = 6; i < argc; ++i)
    targets.push_back(Target(argv[2], std::stoi(argv[i])));
  if (corpus.empty() || targets.empty()) {
    std::fprintf(stderr, "no corpus in %s, or no port\n", argv[5]);
    return 2;
  }
  const int fd = socket(AF_INET, SOCK_DGRAM, 0);
  std::mt19937 random(4475);
  std::uniform_int_distribution<int> length(1, 1400), byte(0, 255);
  long long sent = 0, failed = 0;
  const Clock::time_point start = Clock::now();
  const long long total = static_cast<long long>(rate * seconds);
  for (long long step = 0; sent + failed < total; ++step) {
    // Each millisecond sends what the rate owes up to its end, then sleeps to the next one.
    const long long owed = std::min(total, (step + 1) * rate / 1000);
    while (sent + failed < owed) {
      const long long n = sent + failed;
      std::string datagram;
      if (n % 2 == 0) {
        datagram = corpus[static_cast<std::size_t>(n / 2) % corpus.size()];
      } else {
        datagram.resize(static_cast<std::size_t>(length(random)));
        for (char& c : datagram)
          c = static_cast<char>(byte(random));
      }
      (Send(fd, datagram, targets[static_cast<std::size_t>(n) % targets.size()]) ? sent : failed)++;
    }
    std::this_thread::sleep_until(start + std::chrono::milliseconds(step + 1));
  }
  const double took = std::chrono::duration<double>(Clock::now() - start).count();
  std::printf("sent %lld datagrams (%lld refused) in %.2f s: %.0f a second\n", sent, failed, took,
              static_cast<double>(sent + failed) / took);
  close(fd);
  return 0;
}

// One packet of a tone, continuing its phase from `sample`.
std::string TonePacket(double hz, long long sample, std::uint16_t sequence) {
  constexpr int kSamples = 240;
  std::string linear(2 * kSamples, '\0');
  for (int i = 0; i < kSamples; ++i) {
    const double t = static_cast<double>(sample + i) / 8000.0;
    const auto value = static_cast<std::int16_t>(8192 * std::sin(2 * M_PI * hz * t));
    linear[2 * i] = static_cast<char>(value & 0xff);
    linear[2 * i + 1] = static_cast<char>((value >> 8) & 0xff);
  }
  media::TRTPHeader header;
  header.Version = media::kRtpVersion;
  header.PayloadType = media::kPayloadTypePCMA;
  header.SSRC = 0x7e1e7a1e;
  header.SequenceNumber = sequence;
  header.Timestamp = static_cast<std::uint32_t>(sample);
  return media::EncodeHeader(header) + media::ALawEncode(linear);
}

int Tone(char** argv, int argc) {
  const sockaddr_in target = Target(argv[2], std::stoi(argv[3]));
  const double speed = std::stod(argv[5]);
  struct Phase {
    double Seconds, Speed, Hz;
  };
  std::vector<Phase> phases{{std::stod(argv[4]), speed, std::stod(argv[6])}};
  if (argc == 9) phases.push_back({std::stod(argv[7]), 1.0, std::stod(argv[8])});
  const int fd = socket(AF_INET, SOCK_DGRAM, 0);
  Clock::time_point next = Clock::now();
  long long first = 0, second = 0, last = 0, sample = 0;
  int sent = 0;
  for (const Phase& phase : phases) {
    const auto interval = std::chrono::microseconds(static_cast<long long>(30000 / phase.Speed));
    const int packets = static_cast<int>(phase.Seconds * 1000 / 30 * phase.Speed);
    for (int p = 0; p < packets; ++p, ++sent, sample += 240, next += interval) {
      std::this_thread::sleep_until(next);
      Send(fd, TonePacket(phase.Hz, sample, static_cast<std::uint16_t>(sent)), target);
      last = EpochMicroseconds();
      if (sent == 0) first = last;
      if (p == 0 && &phase != &phases.front()) second = last;
    }
  }
  std::printf(
      "sent %d packets, %.0f Hz at %.1fx real time first\nfirst %lld\nswitch %lld\nlast %lld\n",
      sent, phases.front().Hz, speed, first, second, last);
  close(fd);
  return 0;
}

}  // namespace

int main(int argc, char** argv) {
  const std::string mode = argc > 1 ? argv[1] : "";
  if (mode == "junk" && argc >= 7) return Junk(argv, argc);
  if (mode == "tone" && (argc == 7 || argc == 9)) return Tone(argv, argc);
  std::fprintf(stderr,
               "usage: e2e_flood junk ADDRESS RATE SECONDS CORPUS_DIR PORT...\n"
               "       e2e_flood tone ADDRESS PORT SECONDS SPEED HZ [THEN_SECONDS THEN_HZ]\n");
  return 2;
}
