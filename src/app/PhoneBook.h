// The phone book of one account, kept in the settings file: one section per user ID, named
// the user ID followed by ".Phones", with one key per contact (the name) whose value is the
// number. Nothing is cached but the section name: every call reads or writes the file anew,
// so the window's list always shows what the file holds.
//
// The window keeps the list box, the entry panel and the message boxes; this class decides
// what is read, written and asked.
#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "app/IniFile.h"

namespace app {

// What is wrong with a contact about to be accepted, in the order it is checked.
enum class EntryProblem {
  None,
  NoName,    // the name box is empty; focus goes to the name box
  NoNumber,  // the number box is empty; focus goes to the number box
};

// The answers of the delete confirmation; anything but No (closing the box, for example)
// counts as consent.
enum class DeleteAnswer { Yes, No, Other };

class TPhoneBook {
 public:
  explicit TPhoneBook(TIniFile& iniFile) : FIniFile(iniFile) {}

  // `userID` followed by ".Phones".
  static std::string SectionName(std::string_view userID);

  // Makes `userID`'s book the current one (the section is formed anew on every load) and
  // returns its names in file order; the list box sorts them.
  std::vector<std::string> Load(std::string_view userID);
  const std::string& Section() const { return FSection; }

  // The current book's names, in file order.
  std::vector<std::string> Names() const;
  // The number of `name`; empty when there is no such name.
  std::string Number(const std::string& name) const;

  // The problem of a name and a number about to be accepted. Empty means no characters at
  // all; blanks pass.
  static EntryProblem Check(std::string_view name, std::string_view number);
  // The message box text for `problem`; empty for None.
  static std::string_view ProblemText(EntryProblem problem);

  // The "VALIDER" step: checks, then writes name = number, which adds the contact or, for a
  // name already in the book (as the settings file compares names), replaces its number.
  // Nothing is written unless the result is None. The entry panel does not remember a name
  // being changed, so a changed name adds a contact and the old one stays.
  EntryProblem Accept(const std::string& name, const std::string& number);

  // The question of the delete confirmation for `name`.
  static std::string DeleteQuestion(std::string_view name);
  // Removes `name` unless `answer` is No; returns whether it was removed (the window then
  // deletes the item from its list).
  bool Delete(const std::string& name, DeleteAnswer answer);

  // The number to call from the number box: the text unchanged, none when it is empty.
  static std::optional<std::string> NumberToCall(const std::string& numberBox);

 private:
  TIniFile& FIniFile;
  std::string FSection;
};

}  // namespace app
