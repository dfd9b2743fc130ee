#include "support/Pcap.h"

#include <fstream>

namespace testsupport {

namespace {

void Put16(std::string& out, std::uint16_t value) {  // big-endian, as on the wire
  out += static_cast<char>(value >> 8);
  out += static_cast<char>(value & 0xFF);
}

void PutLittle32(std::string& out, std::uint32_t value) {
  for (int i = 0; i < 4; ++i)
    out += static_cast<char>((value >> (8 * i)) & 0xFF);
}

void PutLittle16(std::string& out, std::uint16_t value) {
  out += static_cast<char>(value & 0xFF);
  out += static_cast<char>(value >> 8);
}

std::uint16_t IPv4Checksum(const std::string& header) {
  std::uint32_t sum = 0;
  for (std::size_t i = 0; i + 1 < header.size(); i += 2) {
    sum += (static_cast<std::uint8_t>(header[i]) << 8) | static_cast<std::uint8_t>(header[i + 1]);
  }
  while (sum >> 16)
    sum = (sum & 0xFFFF) + (sum >> 16);
  return static_cast<std::uint16_t>(~sum);
}

std::string Frame(const CapturedDatagram& datagram) {
  std::string frame("\x02\x00\x00\x00\x00\x02\x02\x00\x00\x00\x00\x01\x08\x00", 14);
  std::string ip;
  ip += '\x45';
  ip += '\x00';
  Put16(ip, static_cast<std::uint16_t>(20 + 8 + datagram.Payload.size()));
  Put16(ip, 0);       // identification
  Put16(ip, 0x4000);  // don't fragment
  ip += '\x40';       // TTL
  ip += '\x11';       // UDP
  Put16(ip, 0);       // checksum, filled below
  ip += std::string("\xC0\x00\x02\x01\xC0\x00\x02\x02", 8);
  const std::uint16_t checksum = IPv4Checksum(ip);
  ip[10] = static_cast<char>(checksum >> 8);
  ip[11] = static_cast<char>(checksum & 0xFF);
  frame += ip;
  Put16(frame, datagram.SourcePort);
  Put16(frame, datagram.DestinationPort);
  Put16(frame, static_cast<std::uint16_t>(8 + datagram.Payload.size()));
  Put16(frame, 0);  // no UDP checksum, allowed over IPv4
  frame += datagram.Payload;
  return frame;
}

}  // namespace

void WritePcap(const std::string& path, const std::vector<CapturedDatagram>& datagrams) {
  std::string file;
  PutLittle32(file, 0xA1B2C3D4);
  PutLittle16(file, 2);
  PutLittle16(file, 4);
  PutLittle32(file, 0);      // time zone
  PutLittle32(file, 0);      // accuracy
  PutLittle32(file, 65535);  // snapshot length
  PutLittle32(file, 1);      // Ethernet
  std::uint32_t second = 1;
  for (const CapturedDatagram& datagram : datagrams) {
    const std::string frame = Frame(datagram);
    PutLittle32(file, second++);
    PutLittle32(file, 0);
    PutLittle32(file, static_cast<std::uint32_t>(frame.size()));
    PutLittle32(file, static_cast<std::uint32_t>(frame.size()));
    file += frame;
  }
  std::ofstream(path, std::ios::binary) << file;
}

}  // namespace testsupport
