// The tones the end-to-end runs listen for, by Goertzel's algorithm (a block's share of energy at
// one frequency), and the keys by spandsp, which also decodes the A-law: not the program's code.
//   e2e_tones rtp HZ < payloads (one a line, hex, as tshark prints rtp.payload)
//     "<packet> <digits>" for each packet with keys (a fresh receiver each: a key is one 30 ms
//     burst in one packet), then "tone <packets that hold HZ>" and "digits <all>".
//   e2e_tones speaker RECORDING HZ (raw s16le, 8000 Hz, mono), in windows of 30 ms, the program's
//     packet, "echo" when loud and holding HZ: "windows=N echo=N first_ms=T longest_ms=L
//     level_dbfs=D loud=K"; first_ms, to 1 ms, where echo begins (-1: never); loud: any sound.
#include <spandsp.h>

#include <algorithm>
#include <cctype>
#include <cmath>
#include <cstdio>
#include <fstream>
#include <iostream>
#include <string>
#include <vector>

namespace {

double coefficient = 0;  // Goertzel's, for the tone listened for

// A block's root mean square, and whether it holds the tone: more than `share` of its energy.
std::pair<double, bool> Judge(const std::int16_t* x, std::size_t n, double share) {
  double energy = 0, s1 = 0, s2 = 0;
  for (std::size_t i = 0; i < n; ++i) {
    energy += static_cast<double>(x[i]) * x[i];
    const double s0 = x[i] + coefficient * s1 - s2;
    s2 = s1;
    s1 = s0;
  }
  const double power = s1 * s1 + s2 * s2 - coefficient * s1 * s2;
  return {std::sqrt(energy / static_cast<double>(n)),
          energy > 0 && 2.0 * power / (static_cast<double>(n) * energy) > share};
}

int Rtp() {
  std::string line, all;
  int packet = 0, tone = 0;
  while (std::getline(std::cin, line)) {
    std::vector<std::int16_t> samples;
    for (std::size_t i = 0; i + 1 < line.size(); ++i) {
      if (std::isxdigit(static_cast<unsigned char>(line[i])) == 0) continue;  // separators
      samples.push_back(
          alaw_to_linear(static_cast<std::uint8_t>(std::stoi(line.substr(i++, 2), nullptr, 16))));
    }
    if (samples.empty()) continue;
    ++packet;
    const auto [rms, holds] = Judge(samples.data(), samples.size(), 0.9);
    tone += rms >= 100 && holds;
    dtmf_rx_state_t* receiver = dtmf_rx_init(nullptr, nullptr, nullptr);
    dtmf_rx(receiver, samples.data(), static_cast<int>(samples.size()));
    char digits[32] = {};
    if (dtmf_rx_get(receiver, digits, sizeof digits - 1) > 0) {
      std::printf("%d %s\n", packet, digits);
      all += digits;
    }
    dtmf_rx_free(receiver);
  }
  std::printf("tone %d\ndigits %s\n", tone, all.empty() ? "-" : all.c_str());
  return 0;
}

int Speaker(const char* path) {
  std::ifstream file(path, std::ios::binary | std::ios::ate);
  std::vector<std::int16_t> samples(static_cast<std::size_t>(file.tellg()) / 2);
  file.seekg(0).read(reinterpret_cast<char*>(samples.data()),
                     static_cast<std::streamsize>(2 * samples.size()));
  constexpr std::size_t kWindow = 240;
  const auto echo = [&](std::size_t start) {
    const auto [rms, holds] = Judge(&samples[start], kWindow, 0.8);
    return rms > 300 && holds;
  };
  int windows = 0, echoes = 0, run = 0, longest = 0, loud = 0;
  long first = -1;
  double levels = 0;
  for (std::size_t start = 0; start + kWindow <= samples.size(); start += kWindow, ++windows) {
    const auto [rms, holds] = Judge(&samples[start], kWindow, 0.8);
    loud += rms > 300;
    run = rms > 300 && holds ? run + 1 : 0;
    if (run == 0) continue;
    ++echoes;
    longest = std::max(longest, run);
    levels += rms;
    if (first < 0) first = static_cast<long>(start);
  }
  // The onset, to the millisecond: the earliest echo window, sliding back from the first one.
  while (first >= 8 && echo(static_cast<std::size_t>(first - 8)))
    first -= 8;
  std::printf("windows=%d echo=%d first_ms=%ld longest_ms=%d level_dbfs=%.1f loud=%d\n", windows,
              echoes, first < 0 ? -1 : first / 8, longest * 30,
              echoes > 0 ? 20 * std::log10(levels / echoes * std::sqrt(2.0) / 32768) : -99.0, loud);
  return 0;
}

}  // namespace

int main(int argc, char** argv) {
  const std::string mode = argc > 2 ? argv[1] : "";
  if (mode == "rtp" || (mode == "speaker" && argc == 4)) {
    coefficient = 2.0 * std::cos(2.0 * M_PI * std::stod(argv[argc - 1]) / 8000.0);
    return mode == "rtp" ? Rtp() : Speaker(argv[2]);
  }
  std::fprintf(stderr, "usage: e2e_tones rtp HZ < payloads | e2e_tones speaker RECORDING HZ\n");
  return 2;
}
