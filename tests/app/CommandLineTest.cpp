// The arguments: --help and --version answer and end, Qt's own options go on to Qt, anything
// else is refused with status 2.
#include <gtest/gtest.h>

#include <regex>
#include <vector>

#include "app/CommandLine.h"

namespace app {
namespace {

TEST(CommandLineTest, OnlyHelpAndVersionAreUnderstood) {
  const struct {
    std::vector<const char*> Arguments;
    int Status;          // none (-1): the window opens
    std::string Prints;  // "help", "version" (a name and a dotted number), or what is refused
  } runs[] = {{{"--version"}, 0, "version"},
              {{"--help"}, 0, "help"},
              {{"--version", "--help"}, 0, "help"},
              {{"--help", "-x"}, 2, "-x"},
              {{"-h"}, 2, "-h"},
              {{"--versions"}, 2, "--versions"},
              {{""}, 2, ""},
              {{"sip:1001@example"}, 2, "sip:1001@example"},
              {{"-platform", "xcb", "--version"}, 0, "version"},
              {{"-session", "--help", "-x"}, 2, "-x"},  // "--help" names the session
              {{"-platformx", "xcb"}, 2, "-platformx"},
              // Qt's own options, as Qt documents them, go on to Qt.
              {{}, -1, ""},
              {{"-platform", "xcb"}, -1, ""},
              {{"--platform", "offscreen"}, -1, ""},
              {{"-session", "1a2b"}, -1, ""},
              {{"-reverse"}, -1, ""},
              {{"-style=fusion"}, -1, ""},
              {{"-display", ":1", "-geometry", "10x10"}, -1, ""},
              {{"-name"}, -1, ""}};
  for (const auto& run : runs) {
    const std::optional<TCommandLineExit> exit = ReadCommandLine(run.Arguments);
    const std::string name = run.Arguments.empty() ? "" : run.Arguments.back();
    ASSERT_EQ(exit.has_value(), run.Status >= 0) << name;
    if (!exit) continue;
    EXPECT_EQ(exit->Status, run.Status) << name;
    EXPECT_EQ(exit->Output.starts_with("Utilisation"), run.Prints == "help") << name;
    EXPECT_EQ(std::regex_match(exit->Output, std::regex("telvarion [0-9]+(\\.[0-9]+)*\n")),
              run.Prints == "version");
    EXPECT_EQ(exit->Output.empty(), run.Status != 0) << name;
    EXPECT_EQ(exit->Error.empty(), run.Status == 0) << name;
    EXPECT_TRUE(run.Status == 0 || exit->Error.find("« " + run.Prints + " »") != std::string::npos)
        << exit->Error;
  }
}

}  // namespace
}  // namespace app
