#include "app/SettingsPath.h"

#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <string>

#include <gtest/gtest.h>

#include "app/TempFolder.h"

namespace app {
namespace {

using testing::TempFolder;
using testing::WriteFile;

TEST(SettingsPathTest, ExtensionIsReplaced) {
  EXPECT_EQ(SettingsPathBeside("/opt/telvarion/telvarion.exe"), "/opt/telvarion/telvarion.ini");
  EXPECT_EQ(SettingsPathBeside("/opt/telvarion/tel.v2.bin"), "/opt/telvarion/tel.v2.ini");
}

TEST(SettingsPathTest, NameWithoutDotGetsIniAppended) {
  EXPECT_EQ(SettingsPathBeside("/usr/bin/telvarion"), "/usr/bin/telvarion.ini");
  EXPECT_EQ(SettingsPathBeside("telvarion"), "telvarion.ini");
}

TEST(SettingsPathTest, DotsInFolderNamesDoNotCount) {
  EXPECT_EQ(SettingsPathBeside("/home/a.b/build.d/telvarion"), "/home/a.b/build.d/telvarion.ini");
}

TEST(SettingsPathTest, ExecutablePathIsThisTestProgram) {
  const std::string path = ExecutablePath();
  ASSERT_FALSE(path.empty());
  EXPECT_EQ(path.front(), '/');
  EXPECT_TRUE(path.ends_with("/app_tests")) << path;
  EXPECT_TRUE(SettingsPathBeside(path).ends_with("/app_tests.ini"));
}

TEST(SettingsPathTest, WritableFolderKeepsTheFileBesideTheExecutable) {
  TempFolder folder;
  const std::string beside = folder.File("telvarion.ini");
  EXPECT_EQ(ChooseSettingsPath(beside, "/home/u/.config/telvarion"), beside);
}

// Even for root, who may write there: those folders hold programs, not anybody's settings.
TEST(SettingsPathTest, SystemProgramFoldersFallBackToTheUserFolder) {
  for (const std::string folder : {"/usr/bin", "/usr/local/bin", "/bin"}) {
    SCOPED_TRACE(folder);
    EXPECT_EQ(ChooseSettingsPath(folder + "/telvarion-test-no-such-program.ini",
                                 "/home/u/.config/telvarion"),
              "/home/u/.config/telvarion/telvarion.ini");
  }
}

// Whether a folder can be written is asked of the system; root may write anywhere, so the
// read-only case runs in a child process as an unprivileged user when the test runs as root.
std::string ChooseAsUnprivileged(const std::string& beside, const std::string& userFolder) {
  int fds[2];
  if (pipe(fds) != 0) return "pipe failed";
  const pid_t child = fork();
  if (child == 0) {
    close(fds[0]);
    if (geteuid() == 0 && (setgid(65534) != 0 || setuid(65534) != 0)) _exit(1);
    const std::string chosen = ChooseSettingsPath(beside, userFolder);
    const bool ok = write(fds[1], chosen.data(), chosen.size()) == ssize_t(chosen.size());
    _exit(ok ? 0 : 1);
  }
  close(fds[1]);
  std::string chosen;
  char buffer[256];
  for (ssize_t got; (got = read(fds[0], buffer, sizeof buffer)) > 0;) {
    chosen.append(buffer, static_cast<std::size_t>(got));
  }
  close(fds[0]);
  int status = 0;
  waitpid(child, &status, 0);
  return WIFEXITED(status) && WEXITSTATUS(status) == 0 ? chosen : "child failed";
}

TEST(SettingsPathTest, ReadOnlyFolderWithoutFileFallsBackToTheUserFolder) {
  TempFolder folder;
  const std::string system = folder.File("system");
  ASSERT_EQ(mkdir(system.c_str(), 0755), 0);
  ASSERT_EQ(chmod(folder.Path().c_str(), 0755), 0);
  if (geteuid() != 0) {
    ASSERT_EQ(chmod(system.c_str(), 0555), 0);
  }
  EXPECT_EQ(ChooseAsUnprivileged(system + "/telvarion.ini", "/home/u/.config/telvarion"),
            "/home/u/.config/telvarion/telvarion.ini");
  chmod(system.c_str(), 0755);
}

TEST(SettingsPathTest, ReadOnlyFolderWithTheFileKeepsIt) {
  TempFolder folder;
  const std::string system = folder.File("system");
  ASSERT_EQ(mkdir(system.c_str(), 0755), 0);
  ASSERT_EQ(chmod(folder.Path().c_str(), 0755), 0);
  WriteFile(system + "/telvarion.ini", "[Telvarion]\n");
  if (geteuid() != 0) {
    ASSERT_EQ(chmod(system.c_str(), 0555), 0);
  }
  EXPECT_EQ(ChooseAsUnprivileged(system + "/telvarion.ini", "/home/u/.config/telvarion"),
            system + "/telvarion.ini");
  chmod(system.c_str(), 0755);
}

}  // namespace
}  // namespace app
