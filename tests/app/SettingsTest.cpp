// The settings file: how it is read and written, that a writer killed at any moment leaves it
// whole, and where it lies.
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/inotify.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <random>
#include <sstream>
#include <thread>

#include "app/AccountSettings.h"
#include "app/PrivateProfile.h"
#include "app/SettingsPath.h"
#include "support/Command.h"

namespace app {
namespace {

using Strings = std::vector<std::string>;

class SettingsTest : public ::testing::Test {
 protected:
  void Write(const std::string& text) { std::ofstream(file_, std::ios::binary) << text; }
  std::string Read() const {
    std::ostringstream text;
    text << std::ifstream(file_, std::ios::binary).rdbuf();
    return text.str();
  }
  testsupport::TemporaryDirectory folder_;
  const std::string file_ = folder_.Path() + "/telvarion.ini";
};

TEST_F(SettingsTest, ReadingNamesValuesAndSections) {
  Write(
      "\xEF\xBB\xBF; comment\r\n[Élodie]\r\n  Key = value with blanks  "
      "\r\nkey=second\r\n[broken\r\n"
      "In=broken\r\n[élodie]\r\nOther=x\r\n[S]\r\nB=1\r\nA=2\r\nb=3\r\n#C=4\r\nÀ=5\r\nLong=" +
      std::string(508, 'v') + "\U0001F600\r\n");  // 512 bytes
  const std::pair<std::pair<const char*, const char*>, const char*> reads[] = {
      {{"éLODIE", "KEY"}, "value with blanks"},  // case folded, accents too; the first one counts
      {{"Élodie", "In"}, "default"},             // a broken header ends the section
      {{"Élodie", "Other"}, "default"},          // a second header of a section is not read
      {{"missing", "B"}, "default"},
      {{"S", "#C"}, "default"},  // a comment
      {{"S", "à"}, "5"}};
  for (const auto& [where, value] : reads)
    EXPECT_EQ(ReadProfileString(file_, where.first, where.second, "default"), value)
        << where.second;
  EXPECT_EQ(ReadProfileString(file_, "S", "Long", ""), std::string(508, 'v'));  // no byte of 4
  EXPECT_EQ(ReadProfileString(file_, "S", "none", std::string(600, 'd')).size(), 511u);
  EXPECT_EQ(ReadProfileString(file_, "S", "none", std::string(600, '\x80')), "");  // no start
  EXPECT_EQ(ReadProfileSection(file_, "s"), (Strings{"B", "A", "À", "Long"}));
  EXPECT_EQ(ReadProfileString(folder_.Path() + "/none.ini", "S", "B", "d"), "d");
  // The names fill one 16384-byte buffer, each with its zero, and one zero ends the list.
  const std::string fits(16382, 'k');
  Write("[L]\n" + fits + "=1\n[M]\n" + fits + "k=1\nb=2\n");
  EXPECT_EQ(ReadProfileSection(file_, "L"), Strings{fits});
  EXPECT_EQ(ReadProfileSection(file_, "M"), Strings{});  // the list stops at the first too long
}

TEST_F(SettingsTest, WritingKeepsEveryOtherLine) {
  Write("; kept\r\n[S]\r\nA=1\r\n\r\n[T]\r\nX=0\r\nx=1\r\n");
  EXPECT_TRUE(WriteProfileString(file_, "s", "a", "2"));    // the key keeps its spelling
  EXPECT_TRUE(WriteProfileString(file_, "S", "New", "3"));  // after the section's last key
  EXPECT_TRUE(WriteProfileString(file_, "U", "K", "4"));    // a new section at the end
  EXPECT_TRUE(DeleteProfileKey(file_, "T", "X"));           // both lines of it
  EXPECT_EQ(Read(), "; kept\r\n[S]\r\nA=2\r\nNew=3\r\n\r\n[T]\r\n\r\n[U]\r\nK=4\r\n");
  for (const auto& [section, key, value] : {std::tuple{"S", "a=b", "1"},
                                            {"S", "[k", "1"},
                                            {"S", ";k", "1"},
                                            {"S", "", "1"},
                                            {"a]", "k", "1"},
                                            {"S", "k", "line\nbreak"}})
    EXPECT_FALSE(WriteProfileString(file_, section, key, value)) << key;
  const std::string before = Read();
  EXPECT_TRUE(DeleteProfileKey(file_, "S", "absent"));
  EXPECT_EQ(Read(), before);
  // A folder reads as an error; a file in a missing folder cannot be made.
  const std::string unreadable = folder_.Path() + "/folder.ini";
  std::filesystem::create_directory(unreadable);
  EXPECT_FALSE(WriteProfileString(unreadable, "S", "A", "1") ||
               DeleteProfileKey(unreadable, "S", "A") ||
               WriteProfileString(folder_.Path() + "/no/such/folder.ini", "S", "A", "1"));
  // A settings file kept in a dotfiles folder, linked to: the link stays, the file it names
  // is replaced.
  const std::string kept = folder_.Path() + "/kept.ini", link = folder_.Path() + "/link.ini";
  std::filesystem::rename(file_, kept);
  std::filesystem::create_symlink(kept, link);
  EXPECT_TRUE(WriteProfileString(link, "S", "A", "3"));
  EXPECT_TRUE(std::filesystem::is_symlink(link));
  EXPECT_EQ(ReadProfileString(kept, "S", "A", ""), "3");
}

TEST_F(SettingsTest, ANewFileIsPrivateAnOldOneKeepsItsModeAFailedWriteChangesNothing) {
  const mode_t mask = umask(0);
  ASSERT_TRUE(WriteProfileString(file_, "s", "k", "1"));
  umask(mask);
  struct stat info {};
  ASSERT_EQ(stat(file_.c_str(), &info), 0);
  EXPECT_EQ(info.st_mode & 07777, 0600u);
  chmod(file_.c_str(), 0640);  // an existing file keeps its mode
  ASSERT_TRUE(WriteProfileString(file_, "s", "k", "2") && stat(file_.c_str(), &info) == 0);
  EXPECT_EQ(info.st_mode & 07777, 0640u);
  // A file size limit makes the temporary file's write fail as a full disk would.
  struct rlimit saved {};
  getrlimit(RLIMIT_FSIZE, &saved);
  const auto handler = signal(SIGXFSZ, SIG_IGN);
  struct rlimit small = saved;
  small.rlim_cur = 8;
  setrlimit(RLIMIT_FSIZE, &small);
  const bool written = WriteProfileString(file_, "s", "k", std::string(100, 'v'));
  setrlimit(RLIMIT_FSIZE, &saved);
  signal(SIGXFSZ, handler);
  EXPECT_FALSE(written);
  EXPECT_EQ(Read(), "[s]\nk=2\n");
  EXPECT_EQ(std::distance(std::filesystem::directory_iterator(folder_.Path()), {}),
            1);  // no temporary file
}

// A registration saves six keys: one replacement of the file (each costs two flushes to the
// disk), with what the six writes one by one would leave: the Pass line gone, new keys after
// the section's last one.
TEST_F(SettingsTest, AnAccountIsSavedInOneReplacement) {
  Write("[Telvarion]\r\nLastID=9\r\n[0123]\r\nPass={x}\r\nWaveIn=Old\r\n");
  const int events = inotify_init1(IN_NONBLOCK | IN_CLOEXEC);
  // Its temporary file's creation between two renames keeps the kernel from merging them.
  ASSERT_GE(inotify_add_watch(events, folder_.Path().c_str(), IN_CREATE | IN_MOVED_TO), 0);
  const auto replacements = [events] {
    int count = 0;
    alignas(inotify_event) char buffer[4096];
    for (ssize_t got; (got = read(events, buffer, sizeof buffer)) > 0;) {
      for (char* at = buffer; at < buffer + got;) {
        const auto* event = reinterpret_cast<const inotify_event*>(at);
        count += (event->mask & IN_MOVED_TO) != 0 && std::string(event->name) == "telvarion.ini";
        at += sizeof(inotify_event) + event->len;
      }
    }
    return count;
  };
  TIniFile ini(file_);
  TAccountSettings(ini).Save("0123", "Alice", "d", std::nullopt, "Mic", "Spk");
  EXPECT_EQ(replacements(), 1);
  EXPECT_EQ(Read(),
            "[Telvarion]\r\nLastID=0123\r\n[0123]\r\nWaveIn=Mic\r\nName=Alice\r\nDomain=d\r\n"
            "WaveOut=Spk\r\n");
  // The next registration of the same account has nothing to write.
  TAccountSettings(ini).Save("0123", "Alice", "d", std::nullopt, "Mic", "Spk");
  EXPECT_EQ(replacements(), 0);
  close(events);
}

// A writer killed (SIGKILL) at a random moment: the file is always the old content plus whole
// new lines; a half-made file can only be the writer's own temporary one.
TEST_F(SettingsTest, AKilledWriterNeverLeavesATornFile) {
  std::mt19937 random(7);
  for (int round = 0; round < 40; ++round) {
    Write("[Telvarion]\r\nLastID=1001\r\n[1001.Phones]\r\n");
    const std::string before = Read();
    const pid_t child = fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
      for (int k = 1;; ++k)
        WriteProfileString(file_, "1001.Phones", "K" + std::to_string(k), "3");
    }
    std::this_thread::sleep_for(std::chrono::microseconds(random() % 4000));
    kill(child, SIGKILL);
    ASSERT_EQ(waitpid(child, nullptr, 0), child);
    const std::string after = Read();
    ASSERT_EQ(after.substr(0, before.size()), before);
    std::istringstream added(after.substr(before.size()));
    int k = 0;
    for (std::string line; std::getline(added, line);)
      ASSERT_EQ(line, "K" + std::to_string(++k) + "=3\r");
    ASSERT_EQ(after.back(), '\n');
    for (const auto& entry : std::filesystem::directory_iterator(folder_.Path()))
      if (entry.path() != file_) std::filesystem::remove(entry.path());
  }
}

TEST(SettingsPathTest, BesideTheProgramOrInTheUsersFolder) {
  const std::pair<const char*, const char*> beside[] = {
      {"/opt/t/telvarion", "/opt/t/telvarion.ini"},
      {"/opt/t/telvarion.exe", "/opt/t/telvarion.ini"},
      {"/opt/t.d/telvarion", "/opt/t.d/telvarion.ini"},
      {"a.b.c", "a.b.ini"},
      {"/opt/t./telvarion", "/opt/t./telvarion.ini"}};
  for (const auto& [program, settings] : beside)
    EXPECT_EQ(SettingsPathBeside(program), settings);
  testsupport::TemporaryDirectory home;
  for (const char* programs : {"/bin", "/.local/bin"})
    std::filesystem::create_directories(home.Path() + programs);
  const std::string mine = home.Path() + "/telvarion.ini";
  const std::string kept = home.Path() + "/bin/kept.ini";
  std::ofstream(kept) << "[Telvarion]\n";
  const std::pair<std::string, std::string> chosen[] = {
      // beside the program, chosen
      {mine, mine},  // a writable folder
      {"/usr/bin/telvarion.ini", "/c/telvarion.ini"},
      {"/missing/telvarion.ini", "/c/telvarion.ini"},
      {home.Path() + "/bin/telvarion.ini", "/c/telvarion.ini"},
      {home.Path() + "/.local/bin/telvarion.ini", "/c/telvarion.ini"},
      {home.Path() + "/.local/telvarion.ini", home.Path() + "/.local/telvarion.ini"},
      // An existing file wins, even in a folder nobody may write (not even root, here)...
      {"/proc/sys/kernel/ostype", "/proc/sys/kernel/ostype"},
      {kept, kept}};  // ...or in a program folder
  for (const auto& [program, expected] : chosen)
    EXPECT_EQ(ChooseSettingsPath(program, "/c", home.Path()), expected) << program;
}

}  // namespace
}  // namespace app
