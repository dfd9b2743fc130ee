// Reads RTP payloads (one a line, hex bytes as tshark prints rtp.payload, A-law), and runs
// spandsp's DTMF receiver on each packet by itself, with a fresh receiver every time: the
// program sends a key as one 30 ms burst in one packet, and a fresh receiver per packet is
// the way spandsp detects such a burst whatever its phase. Decoding uses spandsp's A-law
// decoder, not the program's, so the check does not share the program's mistakes.
//   e2e_dtmf_packets < payloads
// Prints "<packet> <digits>" for each packet where keys were found, then "digits <all>".
#include <spandsp.h>

#include <cstdint>
#include <cstdio>
#include <iostream>
#include <string>
#include <vector>

namespace {

int HexValue(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

std::vector<std::int16_t> Decode(const std::string& line) {
  std::vector<std::int16_t> samples;
  int high = -1;
  for (const char c : line) {
    const int value = HexValue(c);
    if (value < 0) continue;  // the colons between bytes
    if (high < 0) {
      high = value;
    } else {
      samples.push_back(alaw_to_linear(static_cast<std::uint8_t>(high * 16 + value)));
      high = -1;
    }
  }
  return samples;
}

}  // namespace

int main() {
  std::string line;
  std::string all;
  int packet = 0;
  while (std::getline(std::cin, line)) {
    if (line.empty()) continue;
    ++packet;
    std::vector<std::int16_t> samples = Decode(line);
    dtmf_rx_state_t* receiver = dtmf_rx_init(nullptr, nullptr, nullptr);
    if (receiver == nullptr) return 2;
    dtmf_rx(receiver, samples.data(), static_cast<int>(samples.size()));
    char digits[32] = {};
    const std::size_t count = dtmf_rx_get(receiver, digits, sizeof digits - 1);
    dtmf_rx_free(receiver);
    if (count > 0) {
      std::printf("%d %s\n", packet, digits);
      all += digits;
    }
  }
  std::printf("digits %s\n", all.empty() ? "-" : all.c_str());
  return 0;
}
