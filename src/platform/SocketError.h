// Socket error numbers are kept in the Windows sockets numbering (10000 and up) so that they
// never collide with the protocol engines' own error codes 1 to 7.
#pragma once

namespace platform {

inline constexpr int kWsaBase = 10000;
inline constexpr int kWsaAccessDenied = 10013;    // EACCES
inline constexpr int kWsaWouldBlock = 10035;      // EWOULDBLOCK / EAGAIN
inline constexpr int kWsaMessageTooLong = 10040;  // EMSGSIZE
inline constexpr int kWsaAddressInUse = 10048;    // EADDRINUSE
inline constexpr int kWsaNetworkUnreachable = 10051;
inline constexpr int kWsaConnectionRefused = 10061;
inline constexpr int kWsaHostUnreachable = 10065;

// Maps a POSIX errno value to its Windows sockets number; values without a counterpart become
// 10000 + errno.
int ToWinsockError(int errnoValue);

}  // namespace platform
