#include "net/UdpUtil.h"

#include <gtest/gtest.h>

#include <set>

namespace net {
namespace {

TEST(UdpUtilTest, ToHexWritesUpperCaseHighHalfFirst) {
  EXPECT_EQ(ToHex("abc"), "616263");
  EXPECT_EQ(ToHex(std::string("\x00\x0F\xF0\xFF", 4)), "000FF0FF");
  EXPECT_EQ(ToHex(""), "");
}

TEST(UdpUtilTest, Swap32ReversesTheBytes) {
  std::uint32_t value = 0x11223344;
  Swap32(value);
  EXPECT_EQ(value, 0x44332211u);
  Swap32(value);
  EXPECT_EQ(value, 0x11223344u);
}

TEST(UdpUtilTest, RandomIdentifiersAreSixteenBytesAndDiffer) {
  EXPECT_EQ(RandomBytes().size(), 16u);
  std::set<std::string> seen;
  for (int i = 0; i < 100; ++i) {
    const std::string hex = RandomHex();
    ASSERT_EQ(hex.size(), 32u);
    EXPECT_EQ(hex.find_first_not_of("0123456789ABCDEF"), std::string::npos) << hex;
    seen.insert(hex);
  }
  EXPECT_EQ(seen.size(), 100u);
}

}  // namespace
}  // namespace net
