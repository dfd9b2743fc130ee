// The program's one window. Below a white banner it shows one of four panels, chosen by the
// panel mode: the connection panel (0), the wait panel with the status text and the keypad
// (1), the phone book (2) and the phone book entry form (3). The form itself lives in
// MainForm.ui; this class switches the panels and, later, owns the protocol objects and
// carries their event handlers, all on the main (GUI) thread.
#pragma once

#include <QWidget>
#include <memory>

namespace Ui {
class MainForm;
}

namespace ui {

class TClickLabel;

class TMainForm : public QWidget {
  Q_OBJECT

 public:
  enum Mode : int {
    kModeConnexion = 0,
    kModeWait = 1,
    kModePhoneBook = 2,
    kModePhoneEntry = 3,
  };

  explicit TMainForm(QWidget* parent = nullptr);
  ~TMainForm() override;

  // Shows the panel of `mode` (0..3) and hides the three others; rebuilds the device lists
  // when the connection panel returns with a refresh pending, reloads the phone book when it
  // is shown, and sets the title.
  void SetMode(int mode);
  int CurrentMode() const { return FMode; }

  // The entry form's "ANNULER": back to the mode held in the sender's Tag.
  void PhoneBookClick(TClickLabel* sender);

  // Set when the audio devices changed while another panel was shown: the device lists are
  // rebuilt the next time the connection panel is shown.
  bool DeviceRefreshPending() const { return FDeviceRefreshPending; }
  void SetDeviceRefreshPending(bool pending) { FDeviceRefreshPending = pending; }

 protected:
  // Fills the two device lists and picks the devices (the audio device selection).
  virtual void ListDevices() {}
  // Loads the phone book list of the current user ID.
  virtual void TabSheet3Show() {}

  Ui::MainForm& Form() { return *FForm; }

  void showEvent(QShowEvent* event) override;

 private:
  // What the window does once it is made, before the protocol objects exist: the caption,
  // the remembered captions and the first panel.
  void FormCreate();
  void CentreOnScreen();

  std::unique_ptr<Ui::MainForm> FForm;
  int FMode = kModeConnexion;
  bool FDeviceRefreshPending = false;
  bool FCentred = false;
};

}  // namespace ui
