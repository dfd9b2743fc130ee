#include "app/PhoneBook.h"

#include <vector>

namespace app {

void TPhoneBook::TabSheet3Show(std::string_view userID) {
  section_ = std::string(userID) + ".Phones";
  std::vector<std::string> names;
  iniFile_.ReadSection(section_, names);
  view_.ShowContacts(names);
}

std::string TPhoneBook::Number(const std::string& name) const {
  return iniFile_.ReadString(section_, name, "");
}

void TPhoneBook::PhoneBookListClick(const std::optional<std::string>& selected) {
  if (selected) view_.ShowNumber(Number(*selected));
}

void TPhoneBook::PhoneBookAddClick() {
  view_.ShowEntry("", "");
  setMode_(TPanel::PhoneEntry);
  view_.Focus(TBox::PhoneEntryName);
}

void TPhoneBook::PhoneBookChangeClick(const std::optional<std::string>& selected) {
  if (!selected) return;
  view_.ShowEntry(*selected, Number(*selected));
  setMode_(TPanel::PhoneEntry);
  view_.Focus(TBox::PhoneEntryName);
}

void TPhoneBook::PhoneBookDelClick(const std::optional<std::string>& selected) {
  if (!selected) return;
  // Anything but No (closing the box, say) counts as consent.
  if (!view_.Confirm("Voulez-vous supprimer " + *selected + " ?")) return;
  iniFile_.DeleteKey(section_, *selected);
  view_.RemoveSelectedContact();
}

void TPhoneBook::PhoneEntryAcceptClick(const std::string& name, const std::string& number) {
  // Empty means no characters at all; blanks pass. A name the settings file cannot hold is not
  // written, and the reloaded list then shows what the file holds.
  if (name.empty()) {
    view_.ShowMessage("Veuillez indiquer le nom de votre correspondant");
    view_.Focus(TBox::PhoneEntryName);
    return;
  }
  if (number.empty()) {
    view_.ShowMessage("Veuillez indiquer le numéro de votre correspondant");
    view_.Focus(TBox::PhoneEntryNumber);
    return;
  }
  iniFile_.WriteString(section_, name, number);
  std::vector<std::string> names;
  iniFile_.ReadSection(section_, names);
  view_.ShowContacts(names);
  setMode_(TPanel::PhoneBook);
}

}  // namespace app
