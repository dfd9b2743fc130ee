// What the call control needs of a window: read the account boxes, show panels, captions,
// lists and message boxes. The window implements it and forwards its clicks and keys to the
// call control; it decides nothing itself. Everything runs on the main thread.
#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace media {
struct TLevelTrace;
}  // namespace media

namespace app {

// The panel modes; only one panel shows at a time.
enum class TPanel : int { Connexion = 0, Wait = 1, PhoneBook = 2, PhoneEntry = 3 };

// The labels whose captions the call control sets.
enum class TCaption { Title, Status, Cancel, AddressLabel, Address };

// The boxes that can be given the input focus.
enum class TBox { Username, UserID, Password, Domain, PhoneEntryName, PhoneEntryNumber };

// The connection panel's boxes, as typed.
struct TAccount {
  std::string Username;
  std::string UserID;
  std::string Password;
  std::string Domain;
  bool RememberPassword = false;
};

// One audio device list: the names shown and the selected position (-1 for none).
struct TDeviceList {
  std::vector<std::string> Names;
  int Selected = -1;
};

class TCallView {
 public:
  virtual TAccount TypedAccount() const = 0;
  virtual void ShowAccount(const TAccount& account) = 0;
  // Shows `panel` alone, with `title` over it (none: the title's design caption).
  virtual void ShowPanel(TPanel panel, std::optional<std::string_view> title) = 0;
  // None puts the label's design caption back.
  virtual void ShowCaption(TCaption caption, std::optional<std::string_view> text) = 0;
  virtual void SetWaitPanelHeight(int height) = 0;
  // The device lists refilled; the connect button works only while `connectEnabled`.
  virtual void ShowDevices(const TDeviceList& outputs, const TDeviceList& inputs,
                           bool connectEnabled) = 0;
  // The level trace of the last capture block, drawn over the previous one.
  virtual void ShowLevelTrace(const media::TLevelTrace& trace) = 0;
  // The trace gone: what lies under it (the status text) shows again.
  virtual void ClearLevelTrace() = 0;
  // The phone book: the names (the list sorts them), the number box, the entry form.
  virtual void ShowContacts(const std::vector<std::string>& names) = 0;
  virtual void RemoveSelectedContact() = 0;
  virtual void ShowNumber(const std::string& number) = 0;
  virtual void ShowEntry(const std::string& name, const std::string& number) = 0;
  virtual void Focus(TBox box) = 0;
  // A plain box with an OK button; a Yes/No question, true unless the answer was No.
  virtual void ShowMessage(const std::string& text) = 0;
  virtual bool Confirm(const std::string& question) = 0;
  // The SIP engine's new state, by name: not shown, only logged for whoever follows the call.
  virtual void NoteState(std::string_view name) = 0;

 protected:
  ~TCallView() = default;
};

}  // namespace app
