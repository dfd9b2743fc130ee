#include "sip/Digest.h"

#include <gtest/gtest.h>

#include "support/Command.h"

namespace sip {
namespace {

TEST(GetParamTest, ReadsValuesAsTheProvidersChallengesWriteThem) {
  struct Case {
    const char* Name;
    const char* Challenge;
    const char* Param;
    const char* Expected;
  };
  const Case cases[] = {
      {"quoted", R"(Digest realm="sip.example.test",nonce="abc")", "realm", "sip.example.test"},
      {"unquoted before a comma", "Digest algorithm=MD5,realm=\"r\"", "algorithm", "MD5"},
      {"unquoted before a blank", "Digest algorithm=MD5 realm=\"r\"", "algorithm", "MD5"},
      {"quoted realm keeps its comma", R"(Digest realm="a,b",nonce="n")", "realm", "a,b"},
      {"unquoted realm stops at the comma", "Digest realm=a,b,nonce=n", "realm", "a"},
      {"name inside a longer word counts", R"(Digest cnonce="c1",nonce="n1")", "nonce", "c1"},
      {"first occurrence without = gives empty", R"(Digest nonces,nonce="n1")", "nonce", ""},
      {"absent", R"(Digest realm="r")", "opaque", ""},
      {"one-character value at the very end", "Digest a=1,algorithm=M", "algorithm", ""},
      {"two-character value at the very end", "Digest algorithm=M5", "algorithm", "M5"},
      {"quoted value at the very end", "Digest algorithm=\"MD5\"", "algorithm", "MD5"},
      {"unterminated quote runs to the end", "Digest nonce=\"abc", "nonce", "abc"},
      {"name at the very end", "Digest nonce", "nonce", ""},
      {"= at the very end", "Digest nonce=", "nonce", ""},
      {"empty challenge", "", "realm", ""},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.Name);
    EXPECT_EQ(GetParam(c.Param, c.Challenge), c.Expected);
  }
}

TEST(PasswordDigestTest, BracedThirtyTwoCharactersStandForTheFirstDigest) {
  const std::string inner = "0a92bfd3b39db9fd0e4b7b9566d170a5";
  EXPECT_EQ(PasswordDigest("u", "r", "{" + inner + "}"), inner);
  // Not validated as hexadecimal: whatever stands inside is used.
  EXPECT_EQ(PasswordDigest("u", "r", "{" + std::string(32, 'z') + "}"), std::string(32, 'z'));
}

TEST(PasswordDigestTest, NeighboursOfTheRememberedFormAreClearPasswords) {
  for (const std::string& password :
       {"{" + std::string(31, 'a') + "}", "{" + std::string(33, 'a') + "}",
        "[" + std::string(32, 'a') + "}", "{" + std::string(32, 'a') + "]"}) {
    SCOPED_TRACE(password);
    const std::string hashed = PasswordDigest("u", "r", password);
    ASSERT_EQ(hashed.size(), 32u);
    EXPECT_EQ(hashed.find(std::string(10, 'a')), std::string::npos);
    const auto oracle = testsupport::RunCommand("md5sum", "u:r:" + password);
    EXPECT_EQ(hashed, oracle.Output.substr(0, 32));
  }
}

TEST(PasswordDigestTest, ClearPasswordDigestAgreesWithMd5sum) {
  EXPECT_EQ(PasswordDigest("0123456789", "sip.example.test", "s3cret"),
            "0a92bfd3b39db9fd0e4b7b9566d170a5");
}

std::string Challenge401(const std::string& parameters) {
  return "SIP/2.0 401 Unauthorized\r\n"
         "Via: SIP/2.0/UDP sip.example.test;rport;branch=z9hG4bKX\r\n"
         "WWW-Authenticate: " +
         parameters + "\r\nContent-Length: 0\r\n";
}

constexpr char kChallenge[] =
    R"(Digest realm="sip.example.test", nonce="dcd98b7102dd2f0e8b11d0f600bfb0c093", )"
    R"(opaque="5ccc069c403ebaf9f0171e9517f40e41", algorithm=MD5)";

// The expected response values were computed with md5sum: HA1 = md5("0123456789:
// sip.example.test:s3cret"), HA2 = md5("REGISTER:sip:sip.example.test"), response =
// md5(HA1:nonce:HA2).
TEST(BuildAuthorizationTest, AnswersA401ByteForByte) {
  const auto line = BuildAuthorization(401, Challenge401(kChallenge), "0123456789", "s3cret",
                                       "REGISTER", "sip:sip.example.test");
  ASSERT_TRUE(line);
  EXPECT_EQ(*line,
            "Authorization: Digest username=\"0123456789\",realm=\"sip.example.test\","
            "nonce=\"dcd98b7102dd2f0e8b11d0f600bfb0c093\","
            "response=\"4324e2f93a4711fc4e20d530f8951c51\",uri=\"sip:sip.example.test\","
            "algorithm=MD5,opaque=\"5ccc069c403ebaf9f0171e9517f40e41\"\r\n");
}

TEST(BuildAuthorizationTest, AnswersA407WithProxyCredentialsAndEmptyOpaque) {
  const std::string response =
      "SIP/2.0 407 Proxy Authentication Required\r\n"
      "WWW-Authenticate: Digest realm=\"wrong\",nonce=\"wrong\",algorithm=MD5\r\n"
      "Proxy-Authenticate: Digest realm=\"sip.example.test\",nonce=\"4f1a9c\","
      "algorithm=\"MD5\"\r\n"
      "Content-Length: 0\r\n";
  const auto line = BuildAuthorization(407, response, "0123456789", "s3cret", "INVITE",
                                       "sip:0612345678@sip.example.test");
  ASSERT_TRUE(line);
  EXPECT_EQ(*line,
            "Proxy-Authorization: Digest username=\"0123456789\",realm=\"sip.example.test\","
            "nonce=\"4f1a9c\",response=\"610f8ba7a72ff8121f81ed9b783682d0\","
            "uri=\"sip:0612345678@sip.example.test\",algorithm=MD5,opaque=\"\"\r\n");
}

TEST(BuildAuthorizationTest, RememberedPasswordGivesTheSameLineAsTheClearOne) {
  const std::string remembered =
      "{" + PasswordDigest("0123456789", "sip.example.test", "s3cret") + "}";
  EXPECT_EQ(BuildAuthorization(401, Challenge401(kChallenge), "0123456789", remembered, "REGISTER",
                               "sip:sip.example.test"),
            BuildAuthorization(401, Challenge401(kChallenge), "0123456789", "s3cret", "REGISTER",
                               "sip:sip.example.test"));
  // Formed for another realm, it yields a different (wrong) response.
  const std::string otherRealm = "{" + PasswordDigest("0123456789", "other.test", "s3cret") + "}";
  EXPECT_NE(BuildAuthorization(401, Challenge401(kChallenge), "0123456789", otherRealm, "REGISTER",
                               "sip:sip.example.test"),
            BuildAuthorization(401, Challenge401(kChallenge), "0123456789", "s3cret", "REGISTER",
                               "sip:sip.example.test"));
}

TEST(BuildAuthorizationTest, RefusesChallengesItCannotAnswer) {
  struct Case {
    const char* Name;
    int Status;
    std::string Response;
  };
  const Case cases[] = {
      {"lower-case md5", 401, Challenge401(R"(Digest realm="r",nonce="n",algorithm=md5)")},
      {"no algorithm", 401, Challenge401(R"(Digest realm="r",nonce="n")")},
      {"other algorithm", 401, Challenge401(R"(Digest realm="r",nonce="n",algorithm=SHA-256)")},
      {"no challenge header", 401, "SIP/2.0 401 Unauthorized\r\nContent-Length: 0\r\n"},
      {"407 reads only Proxy-Authenticate", 407, Challenge401(kChallenge)},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.Name);
    EXPECT_FALSE(BuildAuthorization(c.Status, c.Response, "u", "p", "REGISTER", "sip:d"));
  }
}

TEST(DigestResponseTest, AgreesWithAnIndependentComputation) {
  auto md5 = [](const std::string& text) {
    return testsupport::RunCommand("md5sum", text).Output.substr(0, 32);
  };
  const std::string ha1 = md5("alice:example.org:correct horse");
  const std::string expected = md5(ha1 + ":n0nc3:" + md5("INVITE:sip:123@example.org"));
  EXPECT_EQ(DigestResponse(ha1, "n0nc3", "INVITE", "sip:123@example.org"), expected);
}

}  // namespace
}  // namespace sip
