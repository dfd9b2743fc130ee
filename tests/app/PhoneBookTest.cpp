#include "app/PhoneBook.h"

#include <optional>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "app/IniFile.h"
#include "app/TempFolder.h"

namespace app {
namespace {

using testing::ReadFile;
using testing::TempFolder;
using testing::WriteFile;
using Names = std::vector<std::string>;

class PhoneBookTest : public ::testing::Test {
 protected:
  TempFolder folder_;
  TIniFile ini_{folder_.File("telvarion.ini")};
  TPhoneBook book_{ini_};
};

TEST_F(PhoneBookTest, SectionIsTheUserIdWithPhones) {
  EXPECT_EQ(TPhoneBook::SectionName("0871234567"), "0871234567.Phones");
  EXPECT_EQ(TPhoneBook::SectionName(""), ".Phones");
  book_.Load("087");
  EXPECT_EQ(book_.Section(), "087.Phones");
}

TEST_F(PhoneBookTest, ListsNamesInFileOrderWithTheirNumbers) {
  WriteFile(ini_.FileName(),
            "[Telvarion]\nLastID=087\n[087]\nName=Anonymous\n"
            "[087.Phones]\nZoe=0600000001\nAnne=0600000002\nmarc=0600000003\n");
  EXPECT_EQ(book_.Load("087"), (Names{"Zoe", "Anne", "marc"}));
  EXPECT_EQ(book_.Names(), (Names{"Zoe", "Anne", "marc"}));
  EXPECT_EQ(book_.Number("Anne"), "0600000002");
  EXPECT_EQ(book_.Number("ANNE"), "0600000002");  // names compare as the settings file does
  EXPECT_EQ(book_.Number("Nobody"), "");
}

TEST_F(PhoneBookTest, EachAccountHasItsOwnBook) {
  EXPECT_TRUE(book_.Load("0871111111").empty());  // a new user ID starts empty
  EXPECT_EQ(book_.Accept("Anne", "0611"), EntryProblem::None);
  EXPECT_TRUE(book_.Load("0872222222").empty());
  EXPECT_EQ(book_.Accept("Bob", "0622"), EntryProblem::None);
  EXPECT_EQ(book_.Load("0871111111"), Names{"Anne"});
  EXPECT_EQ(book_.Number("Bob"), "");
  EXPECT_EQ(book_.Load("0872222222"), Names{"Bob"});
  EXPECT_EQ(ReadFile(ini_.FileName()),
            "[0871111111.Phones]\nAnne=0611\n\n[0872222222.Phones]\nBob=0622\n");
}

TEST_F(PhoneBookTest, AcceptingAnExistingNameReplacesItsNumber) {
  book_.Load("087");
  ASSERT_EQ(book_.Accept("Anne", "0611"), EntryProblem::None);
  ASSERT_EQ(book_.Accept("Bob", "0622"), EntryProblem::None);
  ASSERT_EQ(book_.Accept("Anne", "0699"), EntryProblem::None);
  EXPECT_EQ(book_.Names(), (Names{"Anne", "Bob"}));
  EXPECT_EQ(book_.Number("Anne"), "0699");
  // Another letter case is the same name: the first spelling stays, listed once.
  ASSERT_EQ(book_.Accept("ANNE", "0688"), EntryProblem::None);
  EXPECT_EQ(book_.Names(), (Names{"Anne", "Bob"}));
  EXPECT_EQ(book_.Number("Anne"), "0688");
}

TEST_F(PhoneBookTest, ChangingTheNameAddsAnEntryAndKeepsTheOld) {
  book_.Load("087");
  ASSERT_EQ(book_.Accept("Anne", "0611"), EntryProblem::None);
  // "MODIFIER" fills the entry panel with the name and its number; the user edits the name.
  const std::string number = book_.Number("Anne");
  ASSERT_EQ(book_.Accept("Annie", number), EntryProblem::None);
  EXPECT_EQ(book_.Names(), (Names{"Anne", "Annie"}));
  EXPECT_EQ(book_.Number("Anne"), "0611");
  EXPECT_EQ(book_.Number("Annie"), "0611");
}

TEST_F(PhoneBookTest, EmptyNameOrNumberIsRefusedAndNothingWritten) {
  book_.Load("087");
  const struct {
    const char* Name;
    const char* Number;
    EntryProblem Problem;
  } cases[] = {
      {"", "", EntryProblem::NoName},  // the name is checked first
      {"", "0611", EntryProblem::NoName},
      {"Anne", "", EntryProblem::NoNumber},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(::testing::Message() << '"' << c.Name << "\" \"" << c.Number << '"');
    EXPECT_EQ(TPhoneBook::Check(c.Name, c.Number), c.Problem);
    EXPECT_EQ(book_.Accept(c.Name, c.Number), c.Problem);
  }
  EXPECT_TRUE(book_.Names().empty());
  EXPECT_EQ(ReadFile(ini_.FileName()), "");  // never created
}

TEST_F(PhoneBookTest, BlanksAreNotEmpty) {
  EXPECT_EQ(TPhoneBook::Check(" ", " "), EntryProblem::None);
  EXPECT_EQ(TPhoneBook::Check("Anne", " "), EntryProblem::None);
}

TEST_F(PhoneBookTest, ProblemsHaveTheirMessages) {
  EXPECT_EQ(TPhoneBook::ProblemText(EntryProblem::NoName),
            "Veuillez indiquer le nom de votre correspondant");
  EXPECT_EQ(TPhoneBook::ProblemText(EntryProblem::NoNumber),
            "Veuillez indiquer le num\xC3\xA9ro de votre correspondant");
  EXPECT_EQ(TPhoneBook::ProblemText(EntryProblem::None), "");
}

TEST_F(PhoneBookTest, DeleteQuestionNamesTheContact) {
  EXPECT_EQ(TPhoneBook::DeleteQuestion("Anne"), "Voulez-vous supprimer Anne ?");
  EXPECT_EQ(TPhoneBook::DeleteQuestion("\xC3\x89lodie"), "Voulez-vous supprimer \xC3\x89lodie ?");
}

TEST_F(PhoneBookTest, DeleteAnsweredNoKeepsTheEntry) {
  book_.Load("087");
  ASSERT_EQ(book_.Accept("Anne", "0611"), EntryProblem::None);
  const std::string before = ReadFile(ini_.FileName());
  EXPECT_FALSE(book_.Delete("Anne", DeleteAnswer::No));
  EXPECT_EQ(book_.Names(), Names{"Anne"});
  EXPECT_EQ(ReadFile(ini_.FileName()), before);
}

TEST_F(PhoneBookTest, DeleteAnsweredOtherwiseRemovesFromTheFile) {
  for (DeleteAnswer answer : {DeleteAnswer::Yes, DeleteAnswer::Other}) {
    SCOPED_TRACE(static_cast<int>(answer));
    book_.Load("087");
    ASSERT_EQ(book_.Accept("Anne", "0611"), EntryProblem::None);
    ASSERT_EQ(book_.Accept("Bob", "0622"), EntryProblem::None);
    EXPECT_TRUE(book_.Delete("Anne", answer));
    EXPECT_EQ(book_.Names(), Names{"Bob"});
    EXPECT_EQ(book_.Number("Anne"), "");
    EXPECT_EQ(ReadFile(ini_.FileName()), "[087.Phones]\nBob=0622\n");
    EXPECT_TRUE(book_.Delete("Bob", answer));
  }
}

TEST_F(PhoneBookTest, DeleteLeavesOtherBooksAlone) {
  book_.Load("0871111111");
  ASSERT_EQ(book_.Accept("Anne", "0611"), EntryProblem::None);
  book_.Load("0872222222");
  ASSERT_EQ(book_.Accept("Anne", "0622"), EntryProblem::None);
  EXPECT_TRUE(book_.Delete("Anne", DeleteAnswer::Yes));
  EXPECT_EQ(book_.Load("0871111111"), Names{"Anne"});
  EXPECT_EQ(book_.Number("Anne"), "0611");
}

TEST_F(PhoneBookTest, NumberToCallIsTheTextUnchanged) {
  EXPECT_EQ(TPhoneBook::NumberToCall(""), std::nullopt);  // empty: nothing happens
  EXPECT_EQ(TPhoneBook::NumberToCall("0611"), "0611");
  // Typed by hand, with whatever it holds: the engine gets it as it is.
  EXPECT_EQ(TPhoneBook::NumberToCall(" 06 11+33#"), " 06 11+33#");
  EXPECT_EQ(TPhoneBook::NumberToCall(" "), " ");
}

TEST_F(PhoneBookTest, NameTheFileCannotHoldIsNotWritten) {
  // The book adds no check of its own: the settings file refuses such a key silently, and the
  // list shows what the file holds.
  book_.Load("087");
  EXPECT_EQ(book_.Accept("A=B", "0611"), EntryProblem::None);
  EXPECT_TRUE(book_.Names().empty());
}

}  // namespace
}  // namespace app
