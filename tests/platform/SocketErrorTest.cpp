#include "platform/SocketError.h"

#include <gtest/gtest.h>

#include <cerrno>

namespace platform {
namespace {

TEST(SocketErrorTest, MapsSocketErrnosToWindowsNumbers) {
  struct Case {
    int Errno;
    int Winsock;
  };
  const Case cases[] = {
      {EADDRINUSE, 10048},    {EWOULDBLOCK, 10035}, {EAGAIN, 10035},       {EACCES, 10013},
      {EMSGSIZE, 10040},      {ENETUNREACH, 10051}, {EHOSTUNREACH, 10065}, {ECONNREFUSED, 10061},
      {EADDRNOTAVAIL, 10049}, {ENOTSOCK, 10038},    {EINTR, 10004},        {EBADF, 10009},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.Errno);
    EXPECT_EQ(ToWinsockError(c.Errno), c.Winsock);
  }
}

TEST(SocketErrorTest, NeverCollidesWithTheEnginesOwnCodes) {
  for (int value = 0; value < 200; ++value) {
    SCOPED_TRACE(value);
    EXPECT_GE(ToWinsockError(value), 10000);
  }
}

}  // namespace
}  // namespace platform
