// UDP sockets over POSIX. A failed call returns -1 (kSocketError) and leaves its error number,
// in the Windows sockets numbering, for LastSocketError on the calling thread.
#pragma once

#include <cstddef>
#include <cstdint>

namespace platform {

class Waker;

using SocketHandle = int;
inline constexpr SocketHandle kInvalidSocket = -1;
inline constexpr int kSocketError = -1;
inline constexpr std::uint16_t kFamilyIPv4 = 2;

// An IPv4 socket address as it travels between the protocol objects: 16 bytes, family, then
// port and address in network byte order, then eight zero bytes.
struct SocketAddress {
  std::uint16_t Family = 0;
  std::uint16_t Port = 0;     // network byte order
  std::uint32_t Address = 0;  // network byte order
  std::uint8_t Zero[8] = {};
};
static_assert(sizeof(SocketAddress) == 16);

// Builds a socket address from a port in host order and an address in network order.
SocketAddress MakeSocketAddress(std::uint16_t hostOrderPort, std::uint32_t networkOrderAddress);
std::uint16_t HostToNetwork16(std::uint16_t value);

SocketHandle CreateUdpSocket();
int CloseSocket(SocketHandle socket);
// Binds to the port on every local address.
int BindSocket(SocketHandle socket, std::uint16_t hostOrderPort);
// The port the socket is bound to, the system's choice for port 0; 0 when it is not bound.
std::uint16_t BoundPort(SocketHandle socket);
// Returns the number of bytes sent, or kSocketError.
int SendTo(SocketHandle socket, const void* data, std::size_t length, const SocketAddress& to);

// Waits for one datagram or for the waker, whichever comes first. Returns the datagram's
// full length (which may exceed `capacity`: the excess is discarded), 0 when the waker fired
// or the datagram was empty, or kSocketError.
int ReceiveDatagram(SocketHandle socket, const Waker& waker, void* buffer, std::size_t capacity,
                    SocketAddress& from);

// The error number of the last failed socket call on this thread.
int LastSocketError();

}  // namespace platform
