#include "platform/SocketError.h"

#include <cerrno>

namespace platform {

namespace {

struct ErrnoMapping {
  int Errno;
  int Winsock;
};

// The BSD socket errors, whose Windows numbers do not follow 10000 + errno on Linux.
constexpr ErrnoMapping kMappings[] = {
    {EWOULDBLOCK, 10035},     {EINPROGRESS, 10036},  {EALREADY, 10037},
    {ENOTSOCK, 10038},        {EDESTADDRREQ, 10039}, {EMSGSIZE, 10040},
    {EPROTOTYPE, 10041},      {ENOPROTOOPT, 10042},  {EPROTONOSUPPORT, 10043},
    {ESOCKTNOSUPPORT, 10044}, {EOPNOTSUPP, 10045},   {EPFNOSUPPORT, 10046},
    {EAFNOSUPPORT, 10047},    {EADDRINUSE, 10048},   {EADDRNOTAVAIL, 10049},
    {ENETDOWN, 10050},        {ENETUNREACH, 10051},  {ENETRESET, 10052},
    {ECONNABORTED, 10053},    {ECONNRESET, 10054},   {ENOBUFS, 10055},
    {EISCONN, 10056},         {ENOTCONN, 10057},     {ESHUTDOWN, 10058},
    {ETOOMANYREFS, 10059},    {ETIMEDOUT, 10060},    {ECONNREFUSED, 10061},
    {ELOOP, 10062},           {ENAMETOOLONG, 10063}, {EHOSTDOWN, 10064},
    {EHOSTUNREACH, 10065},
};

}  // namespace

int ToWinsockError(int errnoValue) {
  for (const ErrnoMapping& mapping : kMappings) {
    if (mapping.Errno == errnoValue) return mapping.Winsock;
  }
  return kWsaBase + errnoValue;
}

}  // namespace platform
