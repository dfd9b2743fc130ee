#include "app/IniFile.h"

#include <sys/stat.h>

#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "app/TempFolder.h"

namespace app {
namespace {

using testing::ReadFile;
using testing::TempFolder;
using testing::WriteFile;

TEST(IniFileTest, HoldsTheFullPath) {
  const TIniFile ini("/some/where/telvarion.ini");
  EXPECT_EQ(ini.FileName(), "/some/where/telvarion.ini");
}

TEST(IniFileTest, AccountRoundTrip) {
  TempFolder folder;
  TIniFile ini(folder.File("telvarion.ini"));
  EXPECT_EQ(ini.ReadString("Telvarion", "LastID", ""), "");
  ini.WriteString("Telvarion", "LastID", "0871234567");
  ini.WriteString("0871234567", "Name", "Anonymous");
  ini.WriteString("0871234567", "Pass", "{0123456789abcdef0123456789abcdef}");
  ini.WriteString("0871234567", "Domain", "sip.brovandes.fr");
  ini.DeleteKey("0871234567", "Pass");
  ini.DeleteKey("0871234567", "Pass");  // absent: nothing happens
  EXPECT_EQ(ini.ReadString("telvarion", "lastid", ""), "0871234567");
  EXPECT_EQ(ini.ReadString("0871234567", "Pass", "none"), "none");
  EXPECT_EQ(ReadFile(ini.FileName()),
            "[Telvarion]\nLastID=0871234567\n\n"
            "[0871234567]\nName=Anonymous\nDomain=sip.brovandes.fr\n");
}

TEST(IniFileTest, ReadSectionClearsTheListFirst) {
  TempFolder folder;
  TIniFile ini(folder.File("telvarion.ini"));
  WriteFile(ini.FileName(), "[087.Phones]\nBob=1\nAlice=2\n");
  std::vector<std::string> names{"stale"};
  ini.ReadSection("087.phones", names);
  EXPECT_EQ(names, (std::vector<std::string>{"Bob", "Alice"}));
  ini.ReadSection("none", names);
  EXPECT_TRUE(names.empty());
}

TEST(IniFileTest, FailedWriteIsIgnoredAndLeavesTheFile) {
  TempFolder folder;
  TIniFile ini(folder.File("telvarion.ini"));
  WriteFile(ini.FileName(), "[s]\nk=1\n");
  ini.WriteString("s", "k", "bad\nvalue");  // no exception, no report
  TIniFile nowhere(folder.File("missing/telvarion.ini"));
  nowhere.WriteString("s", "k", "1");
  nowhere.DeleteKey("s", "k");
  EXPECT_EQ(ReadFile(ini.FileName()), "[s]\nk=1\n");
  EXPECT_EQ(nowhere.ReadString("s", "k", "default"), "default");
}

}  // namespace
}  // namespace app
