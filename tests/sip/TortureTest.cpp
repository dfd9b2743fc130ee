// RFC 4475's torture messages sent to the engine in the two states where a server's datagram
// matters most. None may crash or hang it. As they come (another dialog's Call-ID) each is
// dropped; given our Call-ID, each gets the outcome the engine's rules give it:
// - dropped: no hand-off (over 1500 bytes, no blank line, no "Content-Length: " written in
//   that exact form, or a body shorter than announced);
// - error 5: handed over, but a request other than BYE, or a status code outside 100..699;
// - ignored: a valid response that the state does not expect.
// In every case nothing is sent, no event is raised and the state stays; the engine then
// still does its work.
#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <regex>
#include <sstream>

#include "SipClientFixture.h"

namespace sip {
namespace {

enum Outcome { kDropped, kError5, kIgnored };

struct TortureCase {
  const char* File;
  Outcome Expected;
};

const TortureCase kTortureCases[] = {
    {"badaspec.dat", kDropped},   {"badbranch.dat", kDropped},  {"baddate.dat", kError5},
    {"baddn.dat", kDropped},      {"badinv01.dat", kError5},    {"badvers.dat", kDropped},
    {"bcast.dat", kIgnored},      {"bext01.dat", kError5},      {"bigcode.dat", kError5},
    {"clerr.dat", kDropped},      {"cparam01.dat", kDropped},   {"cparam02.dat", kDropped},
    {"dblreq.dat", kError5},      {"esc01.dat", kError5},       {"esc02.dat", kDropped},
    {"escnull.dat", kDropped},    {"escruri.dat", kError5},     {"insuf.dat", kDropped},
    {"intmeth.dat", kError5},     {"inv2543.dat", kDropped},    {"invut.dat", kError5},
    {"longreq.dat", kDropped},    {"ltgtruri.dat", kError5},    {"lwsdisp.dat", kDropped},
    {"lwsruri.dat", kError5},     {"lwsstart.dat", kError5},    {"mcl01.dat", kError5},
    {"mismatch01.dat", kDropped}, {"mismatch02.dat", kDropped}, {"mpart01.dat", kError5},
    {"multi01.dat", kDropped},    {"ncl.dat", kError5},         {"noreason.dat", kIgnored},
    {"novelsc.dat", kError5},     {"quotbal.dat", kError5},     {"regaut01.dat", kDropped},
    {"regbadct.dat", kDropped},   {"regescrt.dat", kDropped},   {"scalar02.dat", kError5},
    {"scalarlg.dat", kIgnored},   {"sdp01.dat", kError5},       {"semiuri.dat", kDropped},
    {"transports.dat", kDropped}, {"trws.dat", kError5},        {"unkscm.dat", kError5},
    {"unksm2.dat", kDropped},     {"unreason.dat", kIgnored},   {"wsinv.dat", kDropped},
    {"zeromf.dat", kError5},
};

std::filesystem::path TortureFolder() {
  return TELVARION_RFC4475_DIR;
}

std::string ReadBytes(const std::filesystem::path& path) {
  std::ifstream file(path, std::ios::binary);
  std::ostringstream bytes;
  bytes << file.rdbuf();
  return bytes.str();
}

// The message as if it belonged to our dialog: its Call-ID header (any form) holds ours, so
// that the rest of it is what gets judged.
std::string InOurDialog(std::string message, const std::string& callID) {
  static const std::regex kCallID(R"(\r\n(call-id|i)[ \t]*:[^\r]*)", std::regex::icase);
  std::smatch found;
  if (std::regex_search(message, found, kCallID)) {
    message.replace(static_cast<std::size_t>(found.position(0)),
                    static_cast<std::size_t>(found.length(0)),
                    "\r\n" + found[1].str() + ": " + callID);
  }
  return message;
}

class TortureTest : public SipClientFixture,
                    public ::testing::WithParamInterface<std::tuple<TortureCase, TSIPState>> {};

TEST_P(TortureTest, OutcomeByTheEnginesRules) {
  const auto& [torture, state] = GetParam();
  const std::filesystem::path path = TortureFolder() / torture.File;
  if (!std::filesystem::exists(path)) {
    if (std::getenv("CI") != nullptr) FAIL() << "missing " << path;
    GTEST_SKIP() << "the RFC 4475 messages are not beside this checkout: " << path;
  }
  Reach(state);
  client_.ErrorCode = 0;
  const int before = handOffs_;
  const std::string message = ReadBytes(path);
  server_.SendTo(clientPort_, message);
  loop_.RunFor(std::chrono::milliseconds(50));
  ASSERT_EQ(handOffs_, before) << "a datagram of another dialog was handed over";
  server_.SendTo(clientPort_, InOurDialog(message, client_.Composer.DialogCallID()));
  if (torture.Expected == kDropped) {
    loop_.RunFor(std::chrono::milliseconds(50));
    EXPECT_EQ(handOffs_, before);
  } else {
    ASSERT_TRUE(loop_.RunUntil([&] { return handOffs_ > before; }, std::chrono::seconds(2)));
  }
  EXPECT_EQ(client_.ErrorCode, torture.Expected == kError5 ? kErrorInvalidResponse : 0);
  EXPECT_EQ(client_.State, state);
  EXPECT_EQ(SentMethods(), Strings{});
  EXPECT_EQ(events_, Strings{});

  // Still alive: the next ordinary exchange works.
  if (state == ssInCall) {
    Deliver(Bye());
    EXPECT_EQ(client_.State, ssRemoteHangUp);
  } else {
    User([&] { client_.Invite("0612345678"); });
    EXPECT_EQ(Method(NextSent()), "INVITE");
  }
}

std::string CaseName(const ::testing::TestParamInfo<std::tuple<TortureCase, TSIPState>>& info) {
  std::string file = std::get<0>(info.param).File;
  return file.substr(0, file.find('.')) + "_" + StateName(std::get<1>(info.param));
}

INSTANTIATE_TEST_SUITE_P(Rfc4475, TortureTest,
                         ::testing::Combine(::testing::ValuesIn(kTortureCases),
                                            ::testing::Values(ssRegistered, ssInCall)),
                         CaseName);

TEST(TortureListTest, CoversEveryMessageOfTheRfc) {
  if (!std::filesystem::exists(TortureFolder())) GTEST_SKIP();
  std::size_t files = 0;
  for (const auto& entry : std::filesystem::directory_iterator(TortureFolder())) {
    files += entry.path().extension() == ".dat";
  }
  EXPECT_EQ(files, std::size(kTortureCases));
}

}  // namespace
}  // namespace sip
