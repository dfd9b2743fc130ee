#include "platform/Address.h"

#include <arpa/inet.h>
#include <sched.h>
#include <sys/wait.h>
#include <unistd.h>

#include <gtest/gtest.h>

namespace platform {
namespace {

std::uint32_t Dotted(const char* text) {
  return inet_addr(text);
}

TEST(ResolveAddressTest, EmptyTextIsNoAddress) {
  EXPECT_EQ(ResolveAddress(""), kNoAddress);
}

TEST(ResolveAddressTest, DottedTextIsReadWithoutLookUp) {
  EXPECT_EQ(ResolveAddress("10.0.0.1"), Dotted("10.0.0.1"));
  EXPECT_EQ(ResolveAddress("198.51.100.7"), Dotted("198.51.100.7"));
}

TEST(ResolveAddressTest, NameFromHostsFile) {
  EXPECT_EQ(ResolveAddress("localhost"), Dotted("127.0.0.1"));
}

// The look-up of an unknown name must not leave this machine, so it runs in a child process
// inside a network namespace of its own, where no name server can be reached.
TEST(ResolveAddressTest, UnknownNameIsNoAddress) {
  int pipeFds[2];
  ASSERT_EQ(pipe(pipeFds), 0);
  const pid_t child = fork();
  ASSERT_GE(child, 0);
  if (child == 0) {
    close(pipeFds[0]);
    std::uint32_t result = 0;
    if (unshare(CLONE_NEWNET) == 0) result = ResolveAddress("no-such-host.invalid");
    const ssize_t written = write(pipeFds[1], &result, sizeof result);
    _exit(written == sizeof result ? 0 : 1);
  }
  close(pipeFds[1]);
  std::uint32_t result = 0;
  const ssize_t got = read(pipeFds[0], &result, sizeof result);
  close(pipeFds[0]);
  int status = 0;
  waitpid(child, &status, 0);
  ASSERT_EQ(got, static_cast<ssize_t>(sizeof result));
  ASSERT_NE(result, 0u) << "could not make a network namespace (root needed)";
  EXPECT_EQ(result, kNoAddress);
}

TEST(AddressToTextTest, WritesDottedDecimal) {
  EXPECT_EQ(AddressToText(Dotted("203.0.113.45")), "203.0.113.45");
  EXPECT_EQ(AddressToText(kNoAddress), "255.255.255.255");
}

TEST(ChooseLocalAddressTest, PrefersDefaultRouteThenAnyNonLoopbackThenLoopback) {
  const InterfaceAddress lo{"lo", Dotted("127.0.0.1"), true};
  const InterfaceAddress wlan{"wlan0", Dotted("192.168.1.20"), false};
  const InterfaceAddress eth{"eth0", Dotted("10.1.2.3"), false};
  struct Case {
    const char* Name;
    std::vector<InterfaceAddress> Interfaces;
    std::optional<std::string> DefaultRoute;
    std::uint32_t Expected;
  };
  const Case cases[] = {
      {"default route wins over order", {lo, wlan, eth}, "eth0", eth.Address},
      {"no default route: first non-loopback", {lo, wlan, eth}, std::nullopt, wlan.Address},
      {"default route on a missing interface", {lo, eth}, "ppp0", eth.Address},
      {"only loopback", {lo}, std::nullopt, lo.Address},
      {"no IPv4 at all", {}, "eth0", kNoAddress},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.Name);
    EXPECT_EQ(ChooseLocalAddress(c.Interfaces, c.DefaultRoute), c.Expected);
  }
}

TEST(GetLocalAddressTest, IsNotLoopbackWhenTheHostHasANetwork) {
  const std::uint32_t address = GetLocalAddress();
  ASSERT_NE(address, kNoAddress);
  // This machine has a non-loopback interface; 127.0.1.1 from the host name must not appear.
  EXPECT_NE(ntohl(address) >> 24, 127u) << AddressToText(address);
}

}  // namespace
}  // namespace platform
