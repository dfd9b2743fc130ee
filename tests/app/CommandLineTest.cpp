// The arguments: --help and --version answer and end, Qt's own options go on to Qt, anything
// else is refused with status 2.
#include <gtest/gtest.h>

#include <regex>
#include <vector>

#include "app/CommandLine.h"

namespace app {
namespace {

TEST(CommandLineTest, OnlyHelpAndVersionAreUnderstood) {
  const std::string version = "telvarion N.N.N";  // the program's name and a dotted number
  const struct {
    std::vector<const char*> Arguments;
    int Status;
    bool Help;
    std::string Version, Refused;
  } runs[] = {{{"--version"}, 0, false, version, ""},
              {{"--help"}, 0, true, "", ""},
              {{"--version", "--help"}, 0, true, "", ""},
              {{"--help", "-x"}, 2, false, "", "-x"},
              {{"-h"}, 2, false, "", "-h"},
              {{"--versions"}, 2, false, "", "--versions"},
              {{""}, 2, false, "", ""},
              {{"sip:1001@example"}, 2, false, "", "sip:1001@example"},
              {{"-platform", "xcb", "--version"}, 0, false, version, ""},
              {{"-session", "--help", "-x"}, 2, false, "", "-x"},  // "--help" names the session
              {{"-platformx", "xcb"}, 2, false, "", "-platformx"}};
  for (const auto& run : runs) {
    const std::optional<TCommandLineExit> exit = ReadCommandLine(run.Arguments);
    ASSERT_TRUE(exit) << run.Arguments[0];
    EXPECT_EQ(exit->Status, run.Status) << run.Arguments[0];
    EXPECT_EQ(exit->Output.starts_with("Utilisation"), run.Help);
    if (!run.Help) {
      EXPECT_EQ(std::regex_match(exit->Output, std::regex("telvarion [0-9]+(\\.[0-9]+)*\n")),
                !run.Version.empty());
      EXPECT_EQ(exit->Output.empty(), run.Version.empty());
    }
    EXPECT_EQ(exit->Error.empty(), run.Status == 0);
    if (run.Status != 0) {
      EXPECT_NE(exit->Error.find("« " + run.Refused + " »"), std::string::npos);
    }
  }
  // Qt's own options, as Qt documents them, go on to Qt: the window opens.
  const std::vector<std::vector<const char*>> qt = {{},
                                                    {"-platform", "xcb"},
                                                    {"--platform", "offscreen"},
                                                    {"-session", "1a2b"},
                                                    {"-reverse"},
                                                    {"-style=fusion"},
                                                    {"-display", ":1", "-geometry", "10x10"},
                                                    {"-name"}};
  for (const auto& arguments : qt)
    EXPECT_FALSE(ReadCommandLine(arguments)) << arguments.size();
}

}  // namespace
}  // namespace app
