// The phone book panel and its entry form: one book per account in the settings file, names
// in a sorted list, numbers read from the file when needed. The window lends it the form's
// controls and the few things it does for the book (panels, calls, message boxes).
#pragma once

#include <QObject>
#include <QString>
#include <functional>
#include <string>

#include "app/PhoneBook.h"

namespace Ui {
class MainForm;
}

namespace ui {

class TPhoneBookPanel final : public QObject {
  Q_OBJECT

 public:
  struct Host {
    std::function<void(int mode)> SetMode;
    // The wait reset, then the engine's Invite with the number.
    std::function<void(const std::string& number)> Call;
    // The engine's un-registration.
    std::function<void()> Unregister;
    std::function<void(const QString& text)> ShowMessage;
    // A Yes/No question; true unless the answer was No.
    std::function<bool(const QString& text)> Confirm;
  };

  TPhoneBookPanel(Ui::MainForm& form, app::TIniFile& iniFile, Host host, QObject* parent = nullptr);

  // Loads the book of the account in the UserID box into the list.
  void TabSheet3Show();
  void PhoneBookListClick();
  void PhoneBookCallClick();
  void PhoneBookCloseClick();
  void PhoneBookAddClick();
  void PhoneBookChangeClick();
  void PhoneBookDelClick();
  void PhoneEntryAcceptClick();

 private:
  // The selected name, or nothing.
  std::optional<std::string> SelectedName() const;

  Ui::MainForm& form_;
  app::TPhoneBook book_;
  Host host_;
};

}  // namespace ui
