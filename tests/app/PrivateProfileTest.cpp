#include "app/PrivateProfile.h"

#include <signal.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstdio>
#include <random>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include <gtest/gtest.h>

#include "app/TempFolder.h"

namespace app {
namespace {

using testing::ReadFile;
using testing::TempFolder;
using testing::WriteFile;
using Names = std::vector<std::string>;

class PrivateProfileTest : public ::testing::Test {
 protected:
  TempFolder folder;
  std::string file = folder.File("telvarion.ini");
};

// --- Letter case -------------------------------------------------------------------------

TEST_F(PrivateProfileTest, SectionAndKeyNamesIgnoreLetterCase) {
  WriteFile(file, "[Telvarion]\nLastID=0871234567\n");
  EXPECT_EQ(ReadProfileString(file, "TELVARION", "lastid", "none"), "0871234567");
  EXPECT_EQ(ReadProfileString(file, "telvarion", "LASTID", "none"), "0871234567");
}

TEST_F(PrivateProfileTest, WriteInOtherCaseSetsTheSameKeyAndKeepsItsSpelling) {
  WriteFile(file, "[Telvarion]\nLastID=1\n");
  ASSERT_TRUE(WriteProfileString(file, "TELVARION", "LASTID", "2"));
  EXPECT_EQ(ReadFile(file), "[Telvarion]\nLastID=2\n");
}

TEST_F(PrivateProfileTest, AccentedCapitalsMeetTheirSmallLetters) {
  ASSERT_TRUE(WriteProfileString(file, "087.Phones", "Élodie", "0102030405"));
  EXPECT_EQ(ReadProfileString(file, "087.phones", "élodie", ""), "0102030405");
  ASSERT_TRUE(DeleteProfileKey(file, "087.PHONES", "ÉLODIE"));
  EXPECT_EQ(ReadProfileSection(file, "087.Phones"), Names{});
}

TEST_F(PrivateProfileTest, DeleteIgnoresLetterCase) {
  WriteFile(file, "[0871]\nName=Anne\nPass={abc}\n");
  ASSERT_TRUE(DeleteProfileKey(file, "0871", "PASS"));
  EXPECT_EQ(ReadFile(file), "[0871]\nName=Anne\n");
}

// --- Defaults ----------------------------------------------------------------------------

TEST_F(PrivateProfileTest, MissingFileGivesTheDefault) {
  EXPECT_EQ(ReadProfileString(file, "Telvarion", "LastID", "default"), "default");
  EXPECT_EQ(ReadProfileSection(file, "Telvarion"), Names{});
}

TEST_F(PrivateProfileTest, MissingSectionOrKeyGivesTheDefault) {
  WriteFile(file, "[Telvarion]\nLastID=087\n");
  EXPECT_EQ(ReadProfileString(file, "Other", "LastID", "d1"), "d1");
  EXPECT_EQ(ReadProfileString(file, "Telvarion", "Name", "d2"), "d2");
}

TEST_F(PrivateProfileTest, KeyWithEmptyValueIsNotMissing) {
  WriteFile(file, "[s]\nk=\n");
  EXPECT_EQ(ReadProfileString(file, "s", "k", "default"), "");
}

TEST_F(PrivateProfileTest, UnreadableFileGivesTheDefaultAndIsNotOverwritten) {
  // A folder in the file's place cannot be read as a file.
  ASSERT_EQ(mkdir(file.c_str(), 0700), 0);
  EXPECT_EQ(ReadProfileString(file, "s", "k", "default"), "default");
  EXPECT_FALSE(WriteProfileString(file, "s", "k", "v"));
}

TEST_F(PrivateProfileTest, DeletingAnAbsentKeyLeavesTheFileUntouched) {
  EXPECT_TRUE(DeleteProfileKey(file, "s", "k"));
  EXPECT_FALSE(std::filesystem::exists(file));
  WriteFile(file, "[s]\r\n  other = 1 \r\n");
  struct stat before {};
  ASSERT_EQ(stat(file.c_str(), &before), 0);
  EXPECT_TRUE(DeleteProfileKey(file, "s", "k"));
  EXPECT_TRUE(DeleteProfileKey(file, "missing", "k"));
  struct stat after {};
  ASSERT_EQ(stat(file.c_str(), &after), 0);
  EXPECT_EQ(after.st_ino, before.st_ino);  // not replaced
  EXPECT_EQ(ReadFile(file), "[s]\r\n  other = 1 \r\n");
}

// --- 511 characters ----------------------------------------------------------------------

TEST_F(PrivateProfileTest, LongValueComesBackCutTo511Characters) {
  const std::string value(600, 'x');
  ASSERT_TRUE(WriteProfileString(file, "s", "k", value));
  EXPECT_EQ(ReadProfileString(file, "s", "k", ""), std::string(511, 'x'));
  EXPECT_EQ(ReadFile(file), "[s]\nk=" + value + "\n");  // stored whole
}

TEST_F(PrivateProfileTest, ValueOf511CharactersComesBackWhole) {
  const std::string value(511, 'y');
  ASSERT_TRUE(WriteProfileString(file, "s", "k", value));
  EXPECT_EQ(ReadProfileString(file, "s", "k", ""), value);
}

TEST_F(PrivateProfileTest, LongDefaultIsCutToo) {
  EXPECT_EQ(ReadProfileString(file, "s", "k", std::string(512, 'd')), std::string(511, 'd'));
}

TEST_F(PrivateProfileTest, CutNeverSplitsAUtf8Character) {
  // 510 bytes, then "é" (two bytes): the 511th byte would be half a character.
  const std::string value = std::string(510, 'a') + "é";
  ASSERT_TRUE(WriteProfileString(file, "s", "k", value));
  EXPECT_EQ(ReadProfileString(file, "s", "k", ""), std::string(510, 'a'));
}

// --- Section order -----------------------------------------------------------------------

TEST_F(PrivateProfileTest, SectionListsKeyNamesInFileOrder) {
  WriteFile(file, "[087.Phones]\nZoé=1\nAdam=2\nMarc=3\n[Other]\nX=4\n");
  EXPECT_EQ(ReadProfileSection(file, "087.phones"), (Names{"Zoé", "Adam", "Marc"}));
}

TEST_F(PrivateProfileTest, NewKeysGoAfterTheSectionsLastKey) {
  WriteFile(file, "[a]\nk1=1\n\n[b]\nk2=2\n");
  ASSERT_TRUE(WriteProfileString(file, "a", "k3", "3"));
  EXPECT_EQ(ReadFile(file), "[a]\nk1=1\nk3=3\n\n[b]\nk2=2\n");
  EXPECT_EQ(ReadProfileSection(file, "a"), (Names{"k1", "k3"}));
}

TEST_F(PrivateProfileTest, KeyOfAMissingSectionIsAppendedAtTheEnd) {
  WriteFile(file, "[a]\nk=1\n");
  ASSERT_TRUE(WriteProfileString(file, "b", "k", "2"));
  EXPECT_EQ(ReadFile(file), "[a]\nk=1\n\n[b]\nk=2\n");
}

TEST_F(PrivateProfileTest, SectionListingStopsAt16384Bytes) {
  // 200 names of 99 characters take 100 bytes each with their zero byte: 163 fit with the
  // list's own final zero byte in 16384 bytes (16301), the 164th would need 16401.
  std::string text = "[big]\n";
  Names all;
  for (int i = 0; i < 200; ++i) {
    std::string name = std::to_string(1000 + i) + std::string(95, 'n');
    ASSERT_EQ(name.size(), 99u);
    text += name + "=1\n";
    all.push_back(name);
  }
  WriteFile(file, text);
  const Names listed = ReadProfileSection(file, "big");
  ASSERT_EQ(listed.size(), 163u);
  EXPECT_EQ(listed, Names(all.begin(), all.begin() + 163));
}

TEST_F(PrivateProfileTest, SectionListingNamesEachKeyOnce) {
  WriteFile(file, "[s]\nAnne=1\nanne=2\nBob=3\n");
  EXPECT_EQ(ReadProfileSection(file, "s"), (Names{"Anne", "Bob"}));
}

// --- Preservation of foreign lines -------------------------------------------------------

TEST_F(PrivateProfileTest, WriteKeepsEveryOtherLineAsItWas) {
  const std::string before =
      "; written by hand\n"
      "# another comment\n"
      "garbage without equals\n"
      "orphan=before any section\n"
      "[Unknown]\n"
      "  spaced  =  value  \n"
      "[Telvarion]\n"
      "LastID = 087\n"
      "\n"
      "[Foreign]\n"
      "x=y\n";
  WriteFile(file, before);
  ASSERT_TRUE(WriteProfileString(file, "Telvarion", "LastID", "0871"));
  std::string expected = before;
  expected.replace(expected.find("LastID = 087\n"), 13, "LastID=0871\n");
  EXPECT_EQ(ReadFile(file), expected);
}

TEST_F(PrivateProfileTest, DeleteKeepsEveryOtherLineAsItWas) {
  WriteFile(file, "; c\n[0871]\nName = Anne \nPass={x}\n\n; trailing\n");
  ASSERT_TRUE(DeleteProfileKey(file, "0871", "Pass"));
  EXPECT_EQ(ReadFile(file), "; c\n[0871]\nName = Anne \n\n; trailing\n");
}

TEST_F(PrivateProfileTest, WindowsLineEndingsAreReadAndKept) {
  WriteFile(file, "[s]\r\nk=1\r\n");
  EXPECT_EQ(ReadProfileString(file, "s", "k", ""), "1");
  ASSERT_TRUE(WriteProfileString(file, "s", "j", "2"));
  EXPECT_EQ(ReadFile(file), "[s]\r\nk=1\r\nj=2\r\n");
}

// --- Blanks, duplicates and odd lines ----------------------------------------------------

TEST_F(PrivateProfileTest, BlanksAroundNamesAndValuesAreNotPartOfThem) {
  WriteFile(file, "  [ Telvarion ]  \n\t LastID \t=\t 087 1 \t\n");
  EXPECT_EQ(ReadProfileString(file, "Telvarion", "LastID", ""), "087 1");
  EXPECT_EQ(ReadProfileString(file, " Telvarion ", " LastID ", ""), "087 1");
  EXPECT_EQ(ReadProfileSection(file, "Telvarion"), Names{"LastID"});
}

TEST_F(PrivateProfileTest, FirstSectionAndFirstKeyWinForReads) {
  WriteFile(file, "[s]\nk=first\nk=second\n[S]\nk=third\nonly=in second\n");
  EXPECT_EQ(ReadProfileString(file, "s", "k", ""), "first");
  EXPECT_EQ(ReadProfileString(file, "s", "only", "absent"), "absent");
  ASSERT_TRUE(WriteProfileString(file, "s", "k", "new"));
  EXPECT_EQ(ReadFile(file), "[s]\nk=new\nk=second\n[S]\nk=third\nonly=in second\n");
  // A deleted key stays deleted: its second line goes too.
  ASSERT_TRUE(DeleteProfileKey(file, "s", "k"));
  EXPECT_EQ(ReadProfileString(file, "s", "k", "gone"), "gone");
  EXPECT_EQ(ReadFile(file), "[s]\n[S]\nk=third\nonly=in second\n");
}

TEST_F(PrivateProfileTest, GarbageLinesAreNeitherKeysNorSections) {
  WriteFile(file, "[s]\nno equals here\n=no name\n;k=comment\n#k=comment\nk=1\n");
  EXPECT_EQ(ReadProfileSection(file, "s"), Names{"k"});
  EXPECT_EQ(ReadProfileString(file, "s", "k", ""), "1");
}

TEST_F(PrivateProfileTest, BrokenHeaderEndsTheSectionBeforeIt) {
  WriteFile(file, "[s]\na=1\n[broken\nb=2\n");
  EXPECT_EQ(ReadProfileSection(file, "s"), Names{"a"});
  EXPECT_EQ(ReadProfileString(file, "s", "b", "absent"), "absent");
}

TEST_F(PrivateProfileTest, FileWithoutFinalNewline) {
  WriteFile(file, "[s]\nk=last");
  EXPECT_EQ(ReadProfileString(file, "s", "k", ""), "last");
  ASSERT_TRUE(WriteProfileString(file, "s", "j", "2"));
  EXPECT_EQ(ReadFile(file), "[s]\nk=last\nj=2\n");
  WriteFile(file, "[s]\nk=last");
  ASSERT_TRUE(WriteProfileString(file, "t", "j", "2"));
  EXPECT_EQ(ReadFile(file), "[s]\nk=last\n\n[t]\nj=2\n");
}

TEST_F(PrivateProfileTest, ByteOrderMarkBeforeTheFirstSection) {
  WriteFile(file, "\xEF\xBB\xBF[s]\nk=1\n");
  EXPECT_EQ(ReadProfileString(file, "s", "k", ""), "1");
}

TEST_F(PrivateProfileTest, Utf8TextPassesThrough) {
  ASSERT_TRUE(WriteProfileString(file, "0871", "Name", "Hélène Noël"));
  EXPECT_EQ(ReadProfileString(file, "0871", "Name", ""), "Hélène Noël");
  EXPECT_EQ(ReadFile(file), "[0871]\nName=Hélène Noël\n");
}

TEST_F(PrivateProfileTest, WhatCannotBeOneLineIsNotWritten) {
  WriteFile(file, "[s]\nk=1\n");
  EXPECT_FALSE(WriteProfileString(file, "s", "k", "two\nlines"));
  EXPECT_FALSE(WriteProfileString(file, "s", "k", "cr\r"));
  EXPECT_FALSE(WriteProfileString(file, "s", "k", std::string("zero\0byte", 9)));
  EXPECT_FALSE(WriteProfileString(file, "s", "a=b", "1"));
  EXPECT_FALSE(WriteProfileString(file, "s", ";k", "1"));
  EXPECT_FALSE(WriteProfileString(file, "s", "[k", "1"));
  EXPECT_FALSE(WriteProfileString(file, "s", " ", "1"));
  EXPECT_FALSE(WriteProfileString(file, "a]b", "k", "1"));
  EXPECT_FALSE(WriteProfileString(file, "", "k", "1"));
  EXPECT_EQ(ReadFile(file), "[s]\nk=1\n");
}

TEST_F(PrivateProfileTest, EveryCallReadsTheFileAnew) {
  WriteFile(file, "[s]\nk=1\n");
  EXPECT_EQ(ReadProfileString(file, "s", "k", ""), "1");
  WriteFile(file, "[s]\nk=2\nhand=made\n");
  EXPECT_EQ(ReadProfileString(file, "s", "k", ""), "2");
  ASSERT_TRUE(WriteProfileString(file, "s", "new", "3"));
  EXPECT_EQ(ReadFile(file), "[s]\nk=2\nhand=made\nnew=3\n");
}

// --- Atomic replacement ------------------------------------------------------------------

TEST_F(PrivateProfileTest, NoTemporaryFileIsLeftBehind) {
  ASSERT_TRUE(WriteProfileString(file, "s", "k", "1"));
  ASSERT_TRUE(WriteProfileString(file, "s", "k", "2"));
  ASSERT_TRUE(DeleteProfileKey(file, "s", "k"));
  EXPECT_EQ(folder.Entries(), Names{"telvarion.ini"});
}

// A writer killed (SIGKILL) at any moment of its writes: the phone book grows one key per
// write, so the file must read as the old content followed by the first n keys, whole lines
// only, for some n.
TEST_F(PrivateProfileTest, AWriterKilledAtAnyMomentLeavesACompleteFile) {
  ASSERT_TRUE(WriteProfileString(file, "1001.Phones", "Echo", "2001"));
  std::mt19937 random(2006);
  int landedMidWay = 0;
  for (int round = 0; round < 40; ++round) {
    const std::string before = ReadFile(file);
    const auto key = [round](int k) {
      return "R" + std::to_string(round) + "K" + std::to_string(k);
    };
    const pid_t child = fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
      for (int k = 1;; ++k)
        WriteProfileString(file, "1001.Phones", key(k), "300");
    }
    std::this_thread::sleep_for(std::chrono::microseconds(random() % 4000));
    kill(child, SIGKILL);
    int status = 0;
    ASSERT_EQ(waitpid(child, &status, 0), child);
    const std::string after = ReadFile(file);
    ASSERT_EQ(after.substr(0, before.size()), before) << "round " << round;
    std::istringstream added(after.substr(before.size()));
    int n = 0;
    for (std::string line; std::getline(added, line);) {
      if (!line.empty() && line.back() == '\r') line.pop_back();
      ASSERT_EQ(line, key(n + 1) + "=300") << "round " << round;
      ++n;
    }
    ASSERT_TRUE(after.empty() || after.back() == '\n') << "round " << round;
    landedMidWay += folder.Entries().size() > 1 ? 1 : 0;
    // What a killed writer left half made is its own temporary file, never the settings.
    for (const std::string& entry : folder.Entries()) {
      if (entry != "telvarion.ini") std::remove(folder.File(entry).c_str());
    }
  }
  std::printf("kills that left a temporary file behind: %d of 40\n", landedMidWay);
}

TEST_F(PrivateProfileTest, WriteReplacesTheFileRatherThanRewritingIt) {
  WriteFile(file, "[s]\nk=1\n");
  struct stat before {};
  ASSERT_EQ(stat(file.c_str(), &before), 0);
  ASSERT_TRUE(WriteProfileString(file, "s", "k", "2"));
  struct stat after {};
  ASSERT_EQ(stat(file.c_str(), &after), 0);
  EXPECT_NE(after.st_ino, before.st_ino);
}

int FailingRename(const char*, const char*) {
  errno = EXDEV;
  return -1;
}

TEST_F(PrivateProfileTest, FailedRenameLeavesTheOldContentAndNoTemporaryFile) {
  const std::string before = "; mine\n[s]\nk=1\n";
  WriteFile(file, before);
  const auto previous = detail::SetRenameForTest(&FailingRename);
  const bool written = WriteProfileString(file, "s", "k", "2");
  const bool deleted = DeleteProfileKey(file, "s", "k");
  detail::SetRenameForTest(previous);
  EXPECT_FALSE(written);
  EXPECT_FALSE(deleted);
  EXPECT_EQ(ReadFile(file), before);
  EXPECT_EQ(folder.Entries(), Names{"telvarion.ini"});
}

TEST_F(PrivateProfileTest, FullDiskLeavesTheOldContentAndNoTemporaryFile) {
  const std::string before = "[s]\nk=1\n";
  WriteFile(file, before);
  // A file size limit makes the write of the temporary file fail as a full disk would.
  struct rlimit saved {};
  ASSERT_EQ(getrlimit(RLIMIT_FSIZE, &saved), 0);
  const auto savedSignal = signal(SIGXFSZ, SIG_IGN);
  struct rlimit small = saved;
  small.rlim_cur = 16;
  ASSERT_EQ(setrlimit(RLIMIT_FSIZE, &small), 0);
  const bool written = WriteProfileString(file, "s", "k", std::string(100, 'v'));
  setrlimit(RLIMIT_FSIZE, &saved);
  signal(SIGXFSZ, savedSignal);
  EXPECT_FALSE(written);
  EXPECT_EQ(ReadFile(file), before);
  EXPECT_EQ(folder.Entries(), Names{"telvarion.ini"});
}

TEST_F(PrivateProfileTest, FolderThatCannotTakeTheFileIsNotCreated) {
  const std::string inMissingFolder = folder.File("missing/telvarion.ini");
  EXPECT_FALSE(WriteProfileString(inMissingFolder, "s", "k", "1"));
  EXPECT_EQ(folder.Entries(), Names{});
}

// --- Mode ----------------------------------------------------------------------------------

TEST_F(PrivateProfileTest, NewFileHasMode0600) {
  const mode_t oldMask = umask(0);  // even a permissive umask gives 0600
  const bool written = WriteProfileString(file, "s", "k", "1");
  umask(oldMask);
  ASSERT_TRUE(written);
  struct stat info {};
  ASSERT_EQ(stat(file.c_str(), &info), 0);
  EXPECT_EQ(info.st_mode & 07777, 0600u);
}

TEST_F(PrivateProfileTest, ExistingFileKeepsItsMode) {
  WriteFile(file, "[s]\nk=1\n");
  ASSERT_EQ(chmod(file.c_str(), 0640), 0);
  ASSERT_TRUE(WriteProfileString(file, "s", "k", "2"));
  struct stat info {};
  ASSERT_EQ(stat(file.c_str(), &info), 0);
  EXPECT_EQ(info.st_mode & 07777, 0640u);
}

TEST_F(PrivateProfileTest, LinkToTheFileStaysALink) {
  const std::string real = folder.File("real.ini");
  WriteFile(real, "[s]\nk=1\n");
  ASSERT_EQ(symlink(real.c_str(), file.c_str()), 0);
  ASSERT_TRUE(WriteProfileString(file, "s", "k", "2"));
  EXPECT_TRUE(std::filesystem::is_symlink(file));
  EXPECT_EQ(ReadFile(real), "[s]\nk=2\n");
}

}  // namespace
}  // namespace app
