#include "platform/Socket.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

#include "platform/SocketError.h"
#include "platform/Waker.h"

namespace platform {

namespace {

thread_local int lastError = 0;

int Failed() {
  lastError = ToWinsockError(errno);
  return kSocketError;
}

sockaddr_in ToNative(const SocketAddress& address) {
  sockaddr_in native{};
  native.sin_family = AF_INET;
  native.sin_port = address.Port;
  native.sin_addr.s_addr = address.Address;
  return native;
}

}  // namespace

SocketAddress MakeSocketAddress(std::uint16_t hostOrderPort, std::uint32_t networkOrderAddress) {
  SocketAddress address;
  address.Family = kFamilyIPv4;
  address.Port = htons(hostOrderPort);
  address.Address = networkOrderAddress;
  return address;
}

std::uint16_t HostToNetwork16(std::uint16_t value) {
  return htons(value);
}

SocketHandle CreateUdpSocket() {
  const int fd = socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, IPPROTO_UDP);
  return fd < 0 ? Failed() : fd;
}

int CloseSocket(SocketHandle socket) {
  return close(socket) < 0 ? Failed() : 0;
}

int BindSocket(SocketHandle socket, std::uint16_t hostOrderPort) {
  const sockaddr_in local = ToNative(MakeSocketAddress(hostOrderPort, htonl(INADDR_ANY)));
  if (bind(socket, reinterpret_cast<const sockaddr*>(&local), sizeof local) < 0) return Failed();
  return 0;
}

std::uint16_t BoundPort(SocketHandle socket) {
  sockaddr_in local{};
  socklen_t length = sizeof local;
  if (getsockname(socket, reinterpret_cast<sockaddr*>(&local), &length) < 0) return 0;
  return ntohs(local.sin_port);
}

int SendTo(SocketHandle socket, const void* data, std::size_t length, const SocketAddress& to) {
  const sockaddr_in native = ToNative(to);
  const ssize_t sent = sendto(socket, data, length, MSG_NOSIGNAL,
                              reinterpret_cast<const sockaddr*>(&native), sizeof native);
  return sent < 0 ? Failed() : static_cast<int>(sent);
}

int ReceiveDatagram(SocketHandle socket, const Waker& waker, void* buffer, std::size_t capacity,
                    SocketAddress& from) {
  pollfd fds[2] = {{socket, POLLIN, 0}, {waker.Descriptor(), POLLIN, 0}};
  for (;;) {
    if (poll(fds, 2, -1) < 0) {
      if (errno == EINTR) continue;
      return Failed();
    }
    if (fds[1].revents != 0) return 0;
    if (fds[0].revents & POLLNVAL) {
      errno = EBADF;
      return Failed();
    }
    // POLLERR falls through: recvfrom reports the pending error (an ICMP refusal) and clears it.
    sockaddr_in sender{};
    socklen_t senderLength = sizeof sender;
    // MSG_TRUNC reports the datagram's real length, so that an overlong one can be refused.
    const ssize_t received = recvfrom(socket, buffer, capacity, MSG_TRUNC | MSG_DONTWAIT,
                                      reinterpret_cast<sockaddr*>(&sender), &senderLength);
    if (received < 0) {
      if (errno == EINTR || errno == EAGAIN) continue;
      return Failed();
    }
    from.Family = kFamilyIPv4;
    from.Port = sender.sin_port;
    from.Address = sender.sin_addr.s_addr;
    return static_cast<int>(received);
  }
}

int LastSocketError() {
  return lastError;
}

}  // namespace platform
