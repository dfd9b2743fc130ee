// Writes UDP datagrams into a pcap file, so that an independent decoder (tshark) can read
// what the program would put on the wire.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace testsupport {

struct CapturedDatagram {
  std::string Payload;
  std::uint16_t SourcePort = 5060;
  std::uint16_t DestinationPort = 5060;
};

// Ethernet + IPv4 (192.0.2.1 -> 192.0.2.2) + UDP frames, one record each.
void WritePcap(const std::string& path, const std::vector<CapturedDatagram>& datagrams);

}  // namespace testsupport
