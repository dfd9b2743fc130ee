// The phone book of one account, kept in the settings file: one section per user ID, named the
// user ID followed by ".Phones", with one key per contact (the name) whose value is the number.
// Nothing is cached but the section name: every handler reads or writes the file anew, so the
// list always shows what the file holds. The window shows the list, the number box and the
// entry form; the handlers here decide what is read, written, asked and shown.
#pragma once

#include <functional>
#include <optional>
#include <string>
#include <string_view>

#include "app/CallView.h"
#include "app/IniFile.h"

namespace app {

class TPhoneBook {
 public:
  TPhoneBook(TIniFile& iniFile, TCallView& view, std::function<void(TPanel)> setMode)
      : iniFile_(iniFile), view_(view), setMode_(std::move(setMode)) {}

  // Loads `userID`'s book into the list; its section is the current one until the next load.
  void TabSheet3Show(std::string_view userID);
  // `selected` is the name selected in the list, if any.
  void PhoneBookListClick(const std::optional<std::string>& selected);
  void PhoneBookAddClick();
  void PhoneBookChangeClick(const std::optional<std::string>& selected);
  void PhoneBookDelClick(const std::optional<std::string>& selected);
  // Writes name = number, which adds the contact or replaces the number of a name already in
  // the book (as the settings file compares names). The form does not remember a name being
  // changed, so a changed name adds a contact and the old one stays.
  void PhoneEntryAcceptClick(const std::string& name, const std::string& number);

 private:
  std::string Number(const std::string& name) const;

  TIniFile& iniFile_;
  TCallView& view_;
  std::function<void(TPanel)> setMode_;
  std::string section_;
};

}  // namespace app
