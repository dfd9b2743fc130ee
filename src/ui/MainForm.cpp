#include "ui/MainForm.h"

#include <QAbstractButton>
#include <QCheckBox>
#include <QComboBox>
#include <QKeyEvent>
#include <QLineEdit>
#include <QListWidget>
#include <QLoggingCategory>
#include <QMessageBox>
#include <QPainter>
#include <QScreen>

#include "app/KeyMap.h"
#include "app/LevelTrace.h"
#include "app/Provider.h"
#include "ui/ClickLabel.h"
#include "ui/DigitsValidator.h"
#include "ui/Keypad.h"
#include "ui/PaintBox.h"
#include "ui/QtHandOff.h"
#include "ui/Shape.h"
#include "ui_MainForm.h"

// What the window shows, as it shows it: QT_LOGGING_RULES="telvarion.event.debug=true".
Q_LOGGING_CATEGORY(lcEvent, "telvarion.event", QtInfoMsg)
// Every SIP message sent and received, for a provider that misbehaves:
// QT_LOGGING_RULES="telvarion.sip.debug=true".
Q_LOGGING_CATEGORY(lcSip, "telvarion.sip", QtInfoMsg)
// The main thread's work on each received SIP message, for the benchmark:
// QT_LOGGING_RULES="telvarion.timing.debug=true".
Q_LOGGING_CATEGORY(lcTiming, "telvarion.timing", QtInfoMsg)

namespace ui {

namespace {

const QColor kConnectColour(0xDB, 0x00, 0x16);
const QColor kDisabledColour(0xC0, 0xC0, 0xC0);
const char* const kPanelNames[] = {"connexion", "wait", "phonebook", "entry"};

QString Text(std::string_view text) {
  return QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size()));
}
std::string Text(const QString& text) {
  return text.toStdString();
}

// One event a line, its fields separated by tabs; a tab or line break inside a field is
// written as \t or \n, so that every line reads back whole.
void LogEvent(const QStringList& fields) {
  if (!lcEvent().isDebugEnabled()) return;
  QStringList escaped;
  for (QString field : fields) {
    escaped << field.replace('\\', "\\\\")
                   .replace('\t', "\\t")
                   .replace('\n', "\\n")
                   .replace('\r', "\\r");
  }
  qCDebug(lcEvent).noquote() << escaped.join('\t');
}

template <typename Widget>
void ShowText(Widget* widget, const QString& text) {
  widget->setText(text);
  LogEvent({"text", widget->objectName(), text});
}

// The captions a person sees once a panel shows; typed boxes are left out (a password).
void LogShownTexts(const QWidget& window) {
  if (!lcEvent().isDebugEnabled()) return;
  for (const QLabel* label : window.findChildren<QLabel*>()) {
    if (label->isVisibleTo(&window) && !label->text().isEmpty())
      LogEvent({"text", label->objectName(), label->text()});
  }
  for (const QAbstractButton* button : window.findChildren<QAbstractButton*>()) {
    if (button->isVisibleTo(&window)) LogEvent({"text", button->objectName(), button->text()});
  }
}

void Fill(QComboBox& list, const app::TDeviceList& devices) {
  list.clear();
  for (const std::string& name : devices.Names)
    list.addItem(Text(name));
  list.setCurrentIndex(devices.Selected);
}

}  // namespace

TMainForm::TMainForm(const TMainFormOptions& options, QWidget* parent)
    : QWidget(parent, Qt::Window | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                          Qt::WindowSystemMenuHint | Qt::WindowMinimizeButtonHint |
                          Qt::WindowCloseButtonHint),
      FOptions(options),
      FForm(std::make_unique<Ui::MainForm>()),
      FHandOff(new QtHandOff(this)) {
  FForm->setupUi(this);
  // The window's background comes from its style sheet, which a plain QWidget only paints
  // with this attribute.
  setAttribute(Qt::WA_StyledBackground);
  setFixedSize(size());
  setWindowTitle(Text(app::WindowCaption()));
  // The design captions, put back from here when the call control asks for them.
  for (TClickLabel* label : {FForm->Status, FForm->Cancel, FForm->Title})
    label->setHint(label->text());
  FForm->UserID->setValidator(new TDigitsValidator(FForm->UserID));
  ConnectControls();
  if (FOptions.Control.Wave == nullptr) {
    ShowPanel(app::TPanel::Connexion, std::nullopt);
    return;
  }
  app::TCallControlOptions control = FOptions.Control;
  if (lcSip().isDebugEnabled()) {
    control.OnSipMessage = [](bool sent, const std::string& message) {
      qCDebug(lcSip).noquote() << (sent ? "sent\n" : "received\n") << Text(message);
    };
  }
  if (lcTiming().isDebugEnabled()) {
    control.OnSipMessageHandled = [](std::chrono::nanoseconds spent) {
      qCDebug(lcTiming) << "sip message handled in" << spent.count() / 1000 << "us";
    };
  }
  FControl = std::make_unique<app::TCallControl>(*this, *FHandOff, control);
  ConnectPhoneBook();
}

TMainForm::~TMainForm() {
  // Before the form: the call control's last words (un-registration) show nothing.
  FControl.reset();
}

void TMainForm::ConnectControls() {
  const auto forward = [this](TClickLabel* label, auto action) {
    connect(label, &TClickLabel::clicked, this, [this, action] {
      if (FControl) action(*FControl);
    });
  };
  forward(FForm->Connect, [](app::TCallControl& control) { control.ConnectClick(); });
  forward(FForm->Cancel, [](app::TCallControl& control) { control.CancelClick(); });
  new TKeypad(
      {FForm->n0, FForm->n1, FForm->n2, FForm->n3, FForm->n4, FForm->n5, FForm->n6, FForm->n7,
       FForm->n8, FForm->n9, FForm->nStar, FForm->nSharp, FForm->na, FForm->nb, FForm->nc,
       FForm->nd},
      [this](int key) {
        if (FControl) FControl->nSharpClick(key);
      },
      this);
  connect(FForm->MyAccount, &TClickLabel::clicked, this, [this] {
    if (FOptions.OpenUrl) FOptions.OpenUrl(QString::fromUtf8(app::kAccountPage));
  });
  connect(FForm->CreditLabel, &TClickLabel::clicked, this, [this] {
    if (FOptions.OpenUrl) FOptions.OpenUrl(QString::fromUtf8(app::kCreditPage));
  });
  // "activated": only a pick by the user, not the lists' own refills.
  connect(FForm->WaveOutList, &QComboBox::activated, this, [this](int position) {
    if (FControl) FControl->WaveOutListChange(position);
  });
  connect(FForm->WaveInList, &QComboBox::activated, this, [this](int position) {
    if (FControl) FControl->WaveInListChange(position);
  });
}

void TMainForm::ConnectPhoneBook() {
  app::TCallControl& control = *FControl;
  app::TPhoneBook& book = control.PhoneBook();
  const auto number = [this] { return Text(FForm->PhoneBookNumber->text()); };
  connect(FForm->PhoneBookList, &QListWidget::itemClicked, this,
          [this, &book] { book.PhoneBookListClick(SelectedName()); });
  connect(FForm->PhoneBookList, &QListWidget::itemDoubleClicked, this,
          &TMainForm::CallSelectedContact);
  connect(FForm->PhoneBookCall, &TClickLabel::clicked, this,
          [=, &control] { control.PhoneBookCallClick(number()); });
  connect(FForm->PhoneBookClose, &TClickLabel::clicked, this,
          [&control] { control.PhoneBookCloseClick(); });
  connect(FForm->PhoneBookAdd, &TClickLabel::clicked, this, [&book] { book.PhoneBookAddClick(); });
  connect(FForm->PhoneBookChange, &TClickLabel::clicked, this,
          [this, &book] { book.PhoneBookChangeClick(SelectedName()); });
  connect(FForm->PhoneBookDel, &TClickLabel::clicked, this,
          [this, &book] { book.PhoneBookDelClick(SelectedName()); });
  connect(FForm->PhoneEntryAccept, &TClickLabel::clicked, this, [this, &book] {
    book.PhoneEntryAcceptClick(Text(FForm->PhoneEntryName->text()),
                               Text(FForm->PhoneEntryNumber->text()));
  });
  connect(FForm->PhoneEntryCancel, &TClickLabel::clicked, this, [this, &control] {
    control.PhoneBookClick(static_cast<app::TPanel>(FForm->PhoneEntryCancel->Tag()));
  });
}

void TMainForm::CallSelectedContact() {
  if (!FControl) return;
  // As a double click does: the selection fills the number, which is then called.
  FControl->PhoneBook().PhoneBookListClick(SelectedName());
  FControl->PhoneBookCallClick(Text(FForm->PhoneBookNumber->text()));
}

std::optional<std::string> TMainForm::SelectedName() const {
  const QListWidgetItem* item = FForm->PhoneBookList->currentItem();
  if (item == nullptr || !item->isSelected()) return std::nullopt;
  return Text(item->text());
}

app::TAccount TMainForm::TypedAccount() const {
  return {Text(FForm->Username->text()), Text(FForm->UserID->text()), Text(FForm->Password->text()),
          Text(FForm->Domain->text()), FForm->RememberPassword->isChecked()};
}

void TMainForm::ShowAccount(const app::TAccount& account) {
  ShowText(FForm->Username, Text(account.Username));
  // The saved identifier shows as saved; the box's rule is for what the user puts in.
  const QValidator* const digitsOnly = FForm->UserID->validator();
  FForm->UserID->setValidator(nullptr);
  ShowText(FForm->UserID, Text(account.UserID));
  FForm->UserID->setValidator(digitsOnly);
  FForm->Password->setText(Text(account.Password));
  FForm->RememberPassword->setChecked(account.RememberPassword);
  ShowText(FForm->Domain, Text(account.Domain));
}

void TMainForm::ShowPanel(app::TPanel panel, std::optional<std::string_view> title) {
  const int mode = static_cast<int>(panel);
  QWidget* const panels[] = {FForm->ConnexionPanel, FForm->WaitPanel, FForm->PhoneBookPanel,
                             FForm->PhoneEntryPanel};
  for (int i = 0; i < static_cast<int>(std::size(panels)); ++i)
    panels[i]->setVisible(i == mode);
  FForm->Title->setText(title ? Text(*title) : FForm->Title->Hint());
  // A box keeps the focus when its panel hides, or Qt hands it to the next control (a link
  // below the panels): either way the keys would not go where the user looks. The new panel's
  // first control takes them.
  QWidget* const shown = panels[mode];
  if (const QWidget* focused = focusWidget();
      focused == nullptr || !focused->isVisible() ||
      (shown != FShownPanel && !shown->isAncestorOf(focused))) {
    QWidget* const first[] = {FForm->Username, FForm->WaitPanel, FForm->PhoneBookList,
                              FForm->PhoneEntryName};
    first[mode]->setFocus();
  }
  FShownPanel = shown;
  LogEvent({"panel", QString::number(mode), kPanelNames[mode]});
  LogShownTexts(*this);
}

void TMainForm::ShowCaption(app::TCaption caption, std::optional<std::string_view> text) {
  switch (caption) {
    case app::TCaption::Title:
    case app::TCaption::Status:
    case app::TCaption::Cancel: {
      TClickLabel* label = caption == app::TCaption::Title    ? FForm->Title
                           : caption == app::TCaption::Status ? FForm->Status
                                                              : FForm->Cancel;
      ShowText(label, text ? Text(*text) : label->Hint());
      break;
    }
    case app::TCaption::AddressLabel:
      ShowText(FForm->lbAddr, Text(text.value_or("")));
      break;
    case app::TCaption::Address:
      ShowText(FForm->Addr, Text(text.value_or("")));
      break;
  }
}

void TMainForm::SetWaitPanelHeight(int height) {
  if (FForm->WaitPanel->height() != height)
    LogEvent({"height", "WaitPanel", QString::number(height)});
  FForm->WaitPanel->resize(FForm->WaitPanel->width(), height);
}

void TMainForm::ShowDevices(const app::TDeviceList& outputs, const app::TDeviceList& inputs,
                            bool connectEnabled) {
  Fill(*FForm->WaveOutList, outputs);
  Fill(*FForm->WaveInList, inputs);
  FForm->Connect->setEnabled(connectEnabled);
  FForm->Shape1->setBrushColor(connectEnabled ? kConnectColour : kDisabledColour);
  LogEvent({"devices", FForm->WaveOutList->currentText(), QString::number(outputs.Names.size()),
            FForm->WaveInList->currentText(), QString::number(inputs.Names.size())});
}

void TMainForm::ShowLevelTrace(const app::LevelTrace& trace) {
  QImage& canvas = FForm->PaintBox1->Canvas();
  {
    QPainter painter(&canvas);
    painter.fillRect(QRect(0, 0, 480, 100), Qt::black);
    painter.setPen(QColor(0x00, 0xFF, 0x00));
    QPoint from(0, app::kTraceMiddle);
    for (std::size_t i = 0; i < trace.Offsets.size(); ++i) {
      const QPoint to(static_cast<int>(i), app::kTraceMiddle + trace.Offsets[i]);
      painter.drawLine(from, to);
      from = to;
    }
  }
  FForm->PaintBox1->update();
}

void TMainForm::ClearLevelTrace() {
  FForm->PaintBox1->Clear();
}

void TMainForm::ShowContacts(const std::vector<std::string>& names) {
  FForm->PhoneBookList->clear();
  for (const std::string& name : names)
    FForm->PhoneBookList->addItem(Text(name));
}

void TMainForm::RemoveSelectedContact() {
  delete FForm->PhoneBookList->currentItem();
}

void TMainForm::ShowNumber(const std::string& number) {
  FForm->PhoneBookNumber->setText(Text(number));
}

void TMainForm::ShowEntry(const std::string& name, const std::string& number) {
  FForm->PhoneEntryName->setText(Text(name));
  FForm->PhoneEntryNumber->setText(Text(number));
}

void TMainForm::Focus(app::TBox box) {
  QLineEdit* const boxes[] = {FForm->Username, FForm->UserID,         FForm->Password,
                              FForm->Domain,   FForm->PhoneEntryName, FForm->PhoneEntryNumber};
  boxes[static_cast<int>(box)]->setFocus();
}

void TMainForm::ShowMessage(const std::string& text) {
  // A message box breaks lines at line feeds only; a received message keeps its CR LFs.
  QString shown = Text(text);
  shown.replace('\r', '\n');
  LogEvent({"message", shown});
  QMessageBox box(QMessageBox::NoIcon, windowTitle(), shown, QMessageBox::Ok, this);
  box.exec();
}

bool TMainForm::Confirm(const std::string& question) {
  LogEvent({"question", Text(question)});
  return QMessageBox::question(this, windowTitle(), Text(question),
                               QMessageBox::Yes | QMessageBox::No) != QMessageBox::No;
}

void TMainForm::NoteState(std::string_view name) {
  LogEvent({"state", Text(name)});
}

void TMainForm::BringToFront() {
  setWindowState(windowState() & ~Qt::WindowMinimized);
  show();
  raise();
  activateWindow();
  LogEvent({"raised"});
}

void TMainForm::showEvent(QShowEvent* event) {
  // Key preview: the window's keys come here once each, before the control with the focus.
  if (windowHandle() != FPreviewed) {
    FPreviewed = windowHandle();
    FPreviewed->installEventFilter(this);
  }
  // Centred when first shown, once the screen that shows it is known.
  if (!FCentred && screen() != nullptr) {
    FCentred = true;
    QRect frame = frameGeometry();
    frame.moveCenter(screen()->availableGeometry().center());
    move(frame.topLeft());
  }
  QWidget::showEvent(event);
}

bool TMainForm::EditKeyPress(const QWidget* sender, char32_t key) {
  const QVariant tag = sender->property("Tag");
  switch (app::EditKeyPressAction(tag.isValid() ? tag.toInt() : 0, key)) {
    case app::EditKeyAction::Connect:
      if (FControl) FControl->ConnectClick();
      return true;
    case app::EditKeyAction::Consume:
      return true;
    case app::EditKeyAction::Pass:
    default:
      return false;
  }
}

bool TMainForm::eventFilter(QObject* watched, QEvent* event) {
  if (watched != FPreviewed || event->type() != QEvent::KeyPress) {
    return QWidget::eventFilter(watched, event);
  }
  // Where the window sends the key next.
  QWidget* const control = focusWidget() != nullptr ? focusWidget() : this;
  return KeyPreview(*control, *static_cast<const QKeyEvent*>(event));
}

bool TMainForm::KeyPreview(QWidget& control, const QKeyEvent& keyEvent) {
  // Escape answers the wait panel as its one button does (ANNULER, Fermer).
  if (keyEvent.key() == Qt::Key_Escape && FForm->WaitPanel->isVisible()) {
    FForm->Cancel->Activate();
    return true;
  }
  char32_t key = 0;
  if (keyEvent.modifiers() & (Qt::ControlModifier | Qt::MetaModifier)) {
    key = 0;  // a shortcut (select all, paste, undo), never a typed character
  } else if (keyEvent.key() == Qt::Key_Tab || keyEvent.key() == Qt::Key_Backtab) {
    key = 0;  // focus navigation
  } else if (keyEvent.key() == Qt::Key_Return || keyEvent.key() == Qt::Key_Enter) {
    key = app::kCharEnter;
  } else if (keyEvent.key() == Qt::Key_Backspace) {
    key = app::kCharBackspace;
  } else if (!keyEvent.text().isEmpty()) {
    key = keyEvent.text().toUcs4().value(0);
  }
  if (key == 0) return false;  // arrows and the like
  if (FControl) FControl->FormKeyPress(key);
  // A control on a hidden panel is never typed into; the key still made its tone above.
  if (!control.isVisible()) return true;
  // Enter on a contact calls it, as a double click does: the one under the keyboard's focus,
  // selected or not.
  if (QListWidgetItem* item = FForm->PhoneBookList->currentItem();
      &control == FForm->PhoneBookList && key == app::kCharEnter && item != nullptr) {
    item->setSelected(true);
    CallSelectedContact();
    return true;
  }
  for (const QWidget* box :
       {FForm->Username, FForm->UserID, FForm->Password, FForm->Domain, FForm->Addr}) {
    if (&control == box) return EditKeyPress(box, key);
  }
  return false;
}

}  // namespace ui
