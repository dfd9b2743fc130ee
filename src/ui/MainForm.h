// The program's one window. Below a white banner it shows one of four panels: the connection
// panel, the wait panel with the status text and the keypad, the phone book and the phone book
// entry form. The form itself lives in MainForm.ui. The window is a view: it forwards clicks
// and keys to the call control (src/app) and shows what the call control tells it; it logs
// what it shows in the category "telvarion.event" for whoever follows it, one event a line,
// fields separated by tabs. All on the main (GUI) thread.
#pragma once

#include <QRect>
#include <QWidget>
#include <QWindow>
#include <functional>
#include <memory>

#include "app/CallControl.h"
#include "app/CallView.h"

namespace Ui {
class MainForm;
}

namespace ui {

class TQtHandOff;
class TClickLabel;

// What the window is made with. Without a wave backend it is the form alone, with no call
// control (for looking at the layout); the program passes its audio server and the fixed
// ports, tests their own backend, ports and servers.
struct TMainFormOptions {
  app::TCallControlOptions Control;
  // Opens a web page in the desktop's browser.
  std::function<void(const QString& url)> OpenUrl;
};

class TMainForm : public QWidget, public app::TCallView {
  Q_OBJECT

 public:
  explicit TMainForm(const TMainFormOptions& options = {}, QWidget* parent = nullptr);
  ~TMainForm() override;

  app::TAccount TypedAccount() const override;
  void ShowAccount(const app::TAccount& account) override;
  void ShowPanel(app::TPanel panel, std::optional<std::string_view> title) override;
  void ShowCaption(app::TCaption caption, std::optional<std::string_view> text) override;
  void SetWaitPanelHeight(int height) override;
  void ShowDevices(const app::TDeviceList& outputs, const app::TDeviceList& inputs,
                   bool connectEnabled) override;
  void ShowLevelTrace(const media::TLevelTrace& trace) override;
  void ClearLevelTrace() override;
  void ShowContacts(const std::vector<std::string>& names) override;
  void RemoveSelectedContact() override;
  void ShowNumber(const std::string& number) override;
  void ShowEntry(const std::string& name, const std::string& number) override;
  void Focus(app::TBox box) override;
  void ShowMessage(const std::string& text) override;
  bool Confirm(const std::string& question) override;
  void NoteState(std::string_view name) override;
  // Shows the window in front of the others, as when a second start hands over to this one.
  void BringToFront();

 protected:
  // Key preview: every key typed in the window comes here once, before the control with the
  // focus sees it.
  bool eventFilter(QObject* watched, QEvent* event) override;
  void showEvent(QShowEvent* event) override;

 private:
  void ConnectControls();
  void ConnectPhoneBook();
  // Selects the chosen contact's number and calls it.
  void CallSelectedContact();
  // The selected phone book name, if any.
  std::optional<std::string> SelectedName() const;
  TClickLabel* CaptionLabel(app::TCaption caption) const;
  // What a key does on its way to `control`; whether it is consumed.
  bool KeyPreview(QWidget& control, const QKeyEvent& keyEvent);
  // The connection panel's boxes; returns whether the key is consumed.
  bool EditKeyPress(const QWidget* sender, char32_t key);

  const TMainFormOptions options_;
  std::unique_ptr<Ui::MainForm> form_;
  TQtHandOff* handOff_;
  std::unique_ptr<app::TCallControl> control_;
  bool centred_ = false;
  QWindow* previewed_ = nullptr;  // the native window whose keys are previewed
  const QWidget* shownPanel_ = nullptr;
  // The rows of the paint box that the last trace drew on; none: the whole box is to be shown.
  std::optional<QRect> traceRows_;
};

}  // namespace ui
