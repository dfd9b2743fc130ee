#include "app/PhoneBook.h"

namespace app {

std::string TPhoneBook::SectionName(std::string_view userID) {
  return std::string(userID) + ".Phones";
}

std::vector<std::string> TPhoneBook::Load(std::string_view userID) {
  FSection = SectionName(userID);
  return Names();
}

std::vector<std::string> TPhoneBook::Names() const {
  std::vector<std::string> names;
  FIniFile.ReadSection(FSection, names);
  return names;
}

std::string TPhoneBook::Number(const std::string& name) const {
  return FIniFile.ReadString(FSection, name, "");
}

EntryProblem TPhoneBook::Check(std::string_view name, std::string_view number) {
  if (name.empty()) return EntryProblem::NoName;
  if (number.empty()) return EntryProblem::NoNumber;
  return EntryProblem::None;
}

std::string_view TPhoneBook::ProblemText(EntryProblem problem) {
  switch (problem) {
    case EntryProblem::NoName:
      return "Veuillez indiquer le nom de votre correspondant";
    case EntryProblem::NoNumber:
      return "Veuillez indiquer le numéro de votre correspondant";
    case EntryProblem::None:
    default:
      return {};
  }
}

EntryProblem TPhoneBook::Accept(const std::string& name, const std::string& number) {
  const EntryProblem problem = Check(name, number);
  // A name the settings file cannot hold is not written; the reloaded list then shows what the
  // file holds, so no check of our own is added.
  if (problem == EntryProblem::None) FIniFile.WriteString(FSection, name, number);
  return problem;
}

std::string TPhoneBook::DeleteQuestion(std::string_view name) {
  return "Voulez-vous supprimer " + std::string(name) + " ?";
}

bool TPhoneBook::Delete(const std::string& name, DeleteAnswer answer) {
  if (answer == DeleteAnswer::No) return false;
  FIniFile.DeleteKey(FSection, name);
  return true;
}

std::optional<std::string> TPhoneBook::NumberToCall(const std::string& numberBox) {
  if (numberBox.empty()) return std::nullopt;
  return numberBox;
}

}  // namespace app
