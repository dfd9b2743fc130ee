#include "ui/MainForm.h"

#include <QLoggingCategory>
#include <QScreen>

#include "app/Provider.h"
#include "ui/ClickLabel.h"
#include "ui_MainForm.h"

// Off unless asked for: QT_LOGGING_RULES="telvarion.window.debug=true".
Q_LOGGING_CATEGORY(lcWindow, "telvarion.window", QtInfoMsg)

namespace ui {

namespace {

const char* const kPhoneBookTitle = "CARNET D'ADRESSES";

}  // namespace

TMainForm::TMainForm(QWidget* parent)
    : QWidget(parent, Qt::Window | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                          Qt::WindowSystemMenuHint | Qt::WindowMinimizeButtonHint |
                          Qt::WindowCloseButtonHint),
      FForm(std::make_unique<Ui::MainForm>()) {
  FForm->setupUi(this);
  // The window's background comes from its style sheet, which a plain QWidget only paints
  // with this attribute.
  setAttribute(Qt::WA_StyledBackground);
  setFixedSize(size());

  connect(FForm->PhoneEntryCancel, &TClickLabel::clicked, this,
          [this] { PhoneBookClick(FForm->PhoneEntryCancel); });

  FormCreate();
}

TMainForm::~TMainForm() = default;

void TMainForm::FormCreate() {
  setWindowTitle(QString::fromUtf8(app::kWindowCaption));
  // The protocol objects, the device lists and the saved settings are made and loaded here,
  // between the caption and the remembered captions, once the audio engine exists.
  for (TClickLabel* label : {FForm->Status, FForm->Cancel, FForm->Title}) {
    label->setHint(label->text());
  }
  SetMode(kModeConnexion);
}

void TMainForm::showEvent(QShowEvent* event) {
  // Centred when first shown, once the screen that shows it is known.
  if (!FCentred) {
    FCentred = true;
    CentreOnScreen();
  }
  QWidget::showEvent(event);
}

void TMainForm::CentreOnScreen() {
  const QScreen* screen = this->screen();
  if (screen == nullptr) return;
  QRect frame = frameGeometry();
  frame.moveCenter(screen->availableGeometry().center());
  move(frame.topLeft());
}

void TMainForm::SetMode(int mode) {
  qCDebug(lcWindow) << "panel mode" << mode;
  FMode = mode;
  FForm->ConnexionPanel->setVisible(mode == kModeConnexion);
  FForm->WaitPanel->setVisible(mode == kModeWait);
  FForm->PhoneBookPanel->setVisible(mode == kModePhoneBook);
  FForm->PhoneEntryPanel->setVisible(mode == kModePhoneEntry);
  if (mode == kModeConnexion && FDeviceRefreshPending) {
    FDeviceRefreshPending = false;
    ListDevices();
  }
  if (mode == kModePhoneBook) TabSheet3Show();
  FForm->Title->setText(mode == kModePhoneBook || mode == kModePhoneEntry
                            ? QString::fromUtf8(kPhoneBookTitle)
                            : FForm->Title->Hint());
}

void TMainForm::PhoneBookClick(TClickLabel* sender) {
  FForm->Title->setText(sender->Tag() >= kModePhoneBook ? QString::fromUtf8(kPhoneBookTitle)
                                                        : FForm->Title->Hint());
  SetMode(sender->Tag());
}

}  // namespace ui
