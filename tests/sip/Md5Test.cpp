#include "sip/md5.h"

#include <gtest/gtest.h>

#include "support/Command.h"

namespace sip {
namespace {

std::string Hex(const std::string& text) {
  MD5Digest digest;
  MD5String(text, digest);
  return MD5Print(digest);
}

// The test suite of RFC 1321, appendix A.5.
TEST(Md5Test, Rfc1321TestSuite) {
  struct Case {
    const char* Input;
    const char* Digest;
  };
  const Case cases[] = {
      {"", "d41d8cd98f00b204e9800998ecf8427e"},
      {"a", "0cc175b9c0f1b6a831c399e269772661"},
      {"abc", "900150983cd24fb0d6963f7d28e17f72"},
      {"message digest", "f96b697d7cb7938d525a2f31aaf161d0"},
      {"abcdefghijklmnopqrstuvwxyz", "c3fcd3d76192e4007dfb496cca67e13b"},
      {"ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789",
       "d174ab98d277d9f5a5611c2c9f419d9f"},
      {"1234567890123456789012345678901234567890123456789012345678901234567890123456789"
       "0",
       "57edf4a22be3c955ac49da2e2107b67a"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.Input);
    EXPECT_EQ(Hex(c.Input), c.Digest);
  }
}

// Lengths around the 56-byte padding boundary and the 64-byte block, against md5sum.
TEST(Md5Test, PaddingEdgesAgreeWithMd5sum) {
  ASSERT_TRUE(testsupport::HaveProgram("md5sum"));
  for (const std::size_t length : {55u, 56u, 63u, 64u, 65u, 119u, 120u, 128u}) {
    SCOPED_TRACE(length);
    std::string input;
    for (std::size_t i = 0; i < length; ++i)
      input += static_cast<char>('!' + (i * 7) % 90);
    const testsupport::CommandResult oracle = testsupport::RunCommand("md5sum", input);
    ASSERT_EQ(oracle.ExitCode, 0);
    EXPECT_EQ(Hex(input), oracle.Output.substr(0, 32));
  }
}

TEST(Md5Test, UpdatesInPiecesEqualOneUpdate) {
  const std::string text(200, 'q');
  MD5Context context;
  MD5Init(context);
  MD5Update(context, text.data(), 1);
  MD5Update(context, text.data() + 1, 62);
  MD5Update(context, text.data() + 63, 137);
  MD5Digest pieces;
  MD5Final(context, pieces);
  EXPECT_EQ(MD5Print(pieces), Hex(text));
}

TEST(Md5Test, FinalWipesTheContext) {
  MD5Context context;
  MD5Init(context);
  MD5Update(context, "secret", 6);
  MD5Digest digest;
  MD5Final(context, digest);
  const auto* bytes = reinterpret_cast<const unsigned char*>(&context);
  for (std::size_t i = 0; i < sizeof context; ++i)
    ASSERT_EQ(bytes[i], 0) << i;
}

}  // namespace
}  // namespace sip
