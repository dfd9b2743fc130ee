#include "ui/MainForm.h"

#include <QAbstractButton>
#include <QCheckBox>
#include <QComboBox>
#include <QKeyEvent>
#include <QLineEdit>
#include <QListWidget>
#include <QLoggingCategory>
#include <QMessageBox>
#include <QScreen>

#include "app/KeyMap.h"
#include "app/Provider.h"
#include "ui/ClickLabel.h"
#include "ui/DigitsValidator.h"
#include "ui/Keypad.h"
#include "ui/PaintBox.h"
#include "ui/QtHandOff.h"
#include "ui/Shape.h"
#include "ui/TraceImage.h"
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
      options_(options),
      form_(std::make_unique<Ui::MainForm>()),
      handOff_(new TQtHandOff(this)) {
  form_->setupUi(this);
  // The window's background comes from its style sheet, which a plain QWidget only paints
  // with this attribute.
  setAttribute(Qt::WA_StyledBackground);
  setFixedSize(size());
  setWindowTitle(Text(app::WindowCaption()));
  // The design captions, put back from here when the call control asks for them.
  for (TClickLabel* label : {form_->Status, form_->Cancel, form_->Title})
    label->setHint(label->text());
  form_->UserID->setValidator(new TDigitsValidator(form_->UserID));
  ConnectControls();
  if (options_.Control.Wave == nullptr) {
    ShowPanel(app::TPanel::Connexion, std::nullopt);
    return;
  }
  app::TCallControlOptions control = options_.Control;
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
  control_ = std::make_unique<app::TCallControl>(*this, *handOff_, control);
  ConnectPhoneBook();
}

TMainForm::~TMainForm() {
  // Before the form: the call control's last words (un-registration) show nothing.
  control_.reset();
}

void TMainForm::ConnectControls() {
  const auto forward = [this](TClickLabel* label, auto action) {
    connect(label, &TClickLabel::clicked, this, [this, action] {
      if (control_) action(*control_);
    });
  };
  forward(form_->Connect, [](app::TCallControl& control) { control.ConnectClick(); });
  forward(form_->Cancel, [](app::TCallControl& control) { control.CancelClick(); });
  new TKeypad(
      {form_->n0, form_->n1, form_->n2, form_->n3, form_->n4, form_->n5, form_->n6, form_->n7,
       form_->n8, form_->n9, form_->nStar, form_->nSharp, form_->na, form_->nb, form_->nc,
       form_->nd},
      [this](int key) {
        if (control_) control_->nSharpClick(key);
      },
      this);
  connect(form_->MyAccount, &TClickLabel::clicked, this, [this] {
    if (options_.OpenUrl) options_.OpenUrl(QString::fromUtf8(app::kAccountPage));
  });
  connect(form_->CreditLabel, &TClickLabel::clicked, this, [this] {
    if (options_.OpenUrl) options_.OpenUrl(QString::fromUtf8(app::kCreditPage));
  });
  // "activated": only a pick by the user, not the lists' own refills.
  connect(form_->WaveOutList, &QComboBox::activated, this, [this](int position) {
    if (control_) control_->WaveOutListChange(position);
  });
  connect(form_->WaveInList, &QComboBox::activated, this, [this](int position) {
    if (control_) control_->WaveInListChange(position);
  });
}

void TMainForm::ConnectPhoneBook() {
  app::TCallControl& control = *control_;
  app::TPhoneBook& book = control.PhoneBook();
  const auto number = [this] { return Text(form_->PhoneBookNumber->text()); };
  connect(form_->PhoneBookList, &QListWidget::itemClicked, this,
          [this, &book] { book.PhoneBookListClick(SelectedName()); });
  connect(form_->PhoneBookList, &QListWidget::itemDoubleClicked, this,
          &TMainForm::CallSelectedContact);
  connect(form_->PhoneBookCall, &TClickLabel::clicked, this,
          [=, &control] { control.PhoneBookCallClick(number()); });
  connect(form_->PhoneBookClose, &TClickLabel::clicked, this,
          [&control] { control.PhoneBookCloseClick(); });
  connect(form_->PhoneBookAdd, &TClickLabel::clicked, this, [&book] { book.PhoneBookAddClick(); });
  connect(form_->PhoneBookChange, &TClickLabel::clicked, this,
          [this, &book] { book.PhoneBookChangeClick(SelectedName()); });
  connect(form_->PhoneBookDel, &TClickLabel::clicked, this,
          [this, &book] { book.PhoneBookDelClick(SelectedName()); });
  connect(form_->PhoneEntryAccept, &TClickLabel::clicked, this, [this, &book] {
    book.PhoneEntryAcceptClick(Text(form_->PhoneEntryName->text()),
                               Text(form_->PhoneEntryNumber->text()));
  });
  connect(form_->PhoneEntryCancel, &TClickLabel::clicked, this, [this, &control] {
    control.PhoneBookClick(static_cast<app::TPanel>(form_->PhoneEntryCancel->Tag()));
  });
}

void TMainForm::CallSelectedContact() {
  if (!control_) return;
  // As a double click does: the selection fills the number, which is then called.
  control_->PhoneBook().PhoneBookListClick(SelectedName());
  control_->PhoneBookCallClick(Text(form_->PhoneBookNumber->text()));
}

std::optional<std::string> TMainForm::SelectedName() const {
  const QListWidgetItem* item = form_->PhoneBookList->currentItem();
  if (item == nullptr || !item->isSelected()) return std::nullopt;
  return Text(item->text());
}

app::TAccount TMainForm::TypedAccount() const {
  return {Text(form_->Username->text()), Text(form_->UserID->text()), Text(form_->Password->text()),
          Text(form_->Domain->text()), form_->RememberPassword->isChecked()};
}

void TMainForm::ShowAccount(const app::TAccount& account) {
  ShowText(form_->Username, Text(account.Username));
  // The saved identifier shows as saved; the box's rule is for what the user puts in.
  const QValidator* const digitsOnly = form_->UserID->validator();
  form_->UserID->setValidator(nullptr);
  ShowText(form_->UserID, Text(account.UserID));
  form_->UserID->setValidator(digitsOnly);
  form_->Password->setText(Text(account.Password));
  form_->RememberPassword->setChecked(account.RememberPassword);
  ShowText(form_->Domain, Text(account.Domain));
}

void TMainForm::ShowPanel(app::TPanel panel, std::optional<std::string_view> title) {
  const int mode = static_cast<int>(panel);
  QWidget* const panels[] = {form_->ConnexionPanel, form_->WaitPanel, form_->PhoneBookPanel,
                             form_->PhoneEntryPanel};
  for (int i = 0; i < static_cast<int>(std::size(panels)); ++i)
    panels[i]->setVisible(i == mode);
  form_->Title->setText(title ? Text(*title) : form_->Title->Hint());
  // A box keeps the focus when its panel hides, or Qt hands it to the next control (a link
  // below the panels): either way the keys would not go where the user looks. The new panel's
  // first control takes them.
  QWidget* const shown = panels[mode];
  if (const QWidget* focused = focusWidget();
      focused == nullptr || !focused->isVisible() ||
      (shown != shownPanel_ && !shown->isAncestorOf(focused))) {
    QWidget* const first[] = {form_->Username, form_->WaitPanel, form_->PhoneBookList,
                              form_->PhoneEntryName};
    first[mode]->setFocus();
  }
  shownPanel_ = shown;
  LogEvent({"panel", QString::number(mode), kPanelNames[mode]});
  LogShownTexts(*this);
}

void TMainForm::ShowCaption(app::TCaption caption, std::optional<std::string_view> text) {
  switch (caption) {
    case app::TCaption::Title:
    case app::TCaption::Status:
    case app::TCaption::Cancel: {
      TClickLabel* label = caption == app::TCaption::Title    ? form_->Title
                           : caption == app::TCaption::Status ? form_->Status
                                                              : form_->Cancel;
      ShowText(label, text ? Text(*text) : label->Hint());
      break;
    }
    case app::TCaption::AddressLabel:
      ShowText(form_->lbAddr, Text(text.value_or("")));
      break;
    case app::TCaption::Address:
      ShowText(form_->Addr, Text(text.value_or("")));
      break;
  }
}

void TMainForm::SetWaitPanelHeight(int height) {
  if (form_->WaitPanel->height() != height)
    LogEvent({"height", "WaitPanel", QString::number(height)});
  form_->WaitPanel->resize(form_->WaitPanel->width(), height);
}

void TMainForm::ShowDevices(const app::TDeviceList& outputs, const app::TDeviceList& inputs,
                            bool connectEnabled) {
  Fill(*form_->WaveOutList, outputs);
  Fill(*form_->WaveInList, inputs);
  form_->Connect->setEnabled(connectEnabled);
  form_->Shape1->setBrushColor(connectEnabled ? kConnectColour : kDisabledColour);
  LogEvent({"devices", form_->WaveOutList->currentText(), QString::number(outputs.Names.size()),
            form_->WaveInList->currentText(), QString::number(inputs.Names.size())});
}

void TMainForm::ShowLevelTrace(const media::TLevelTrace& trace) {
  const QRect drawn = DrawTrace(form_->PaintBox1->Canvas(), trace);
  // Only the rows that changed, the last trace's and this one's: a quiet trace is a few rows
  // of the box, and every row repainted goes to the X server, 33 times a second. At once,
  // rather than through a posted request: the event loop turns once less a block.
  form_->PaintBox1->repaint(traceRows_ ? drawn.united(*traceRows_) : form_->PaintBox1->rect());
  traceRows_ = drawn;
}

void TMainForm::ClearLevelTrace() {
  traceRows_.reset();
  form_->PaintBox1->Clear();
}

void TMainForm::ShowContacts(const std::vector<std::string>& names) {
  form_->PhoneBookList->clear();
  for (const std::string& name : names)
    form_->PhoneBookList->addItem(Text(name));
}

void TMainForm::RemoveSelectedContact() {
  delete form_->PhoneBookList->currentItem();
}

void TMainForm::ShowNumber(const std::string& number) {
  form_->PhoneBookNumber->setText(Text(number));
}

void TMainForm::ShowEntry(const std::string& name, const std::string& number) {
  form_->PhoneEntryName->setText(Text(name));
  form_->PhoneEntryNumber->setText(Text(number));
}

void TMainForm::Focus(app::TBox box) {
  QLineEdit* const boxes[] = {form_->Username, form_->UserID,         form_->Password,
                              form_->Domain,   form_->PhoneEntryName, form_->PhoneEntryNumber};
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
  if (windowHandle() != previewed_) {
    previewed_ = windowHandle();
    previewed_->installEventFilter(this);
  }
  // Centred when first shown, once the screen that shows it is known.
  if (!centred_ && screen() != nullptr) {
    centred_ = true;
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
      if (control_) control_->ConnectClick();
      return true;
    case app::EditKeyAction::Consume:
      return true;
    case app::EditKeyAction::Pass:
    default:
      return false;
  }
}

bool TMainForm::eventFilter(QObject* watched, QEvent* event) {
  if (watched != previewed_ || event->type() != QEvent::KeyPress) {
    return QWidget::eventFilter(watched, event);
  }
  // Where the window sends the key next.
  QWidget* const control = focusWidget() != nullptr ? focusWidget() : this;
  return KeyPreview(*control, *static_cast<const QKeyEvent*>(event));
}

bool TMainForm::KeyPreview(QWidget& control, const QKeyEvent& keyEvent) {
  // Escape answers the wait panel as its one button does (ANNULER, Fermer).
  if (keyEvent.key() == Qt::Key_Escape && form_->WaitPanel->isVisible()) {
    form_->Cancel->Activate();
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
  if (control_) control_->FormKeyPress(key);
  // A control on a hidden panel is never typed into; the key still made its tone above.
  if (!control.isVisible()) return true;
  // Enter on a contact calls it, as a double click does: the one under the keyboard's focus,
  // selected or not.
  if (QListWidgetItem* item = form_->PhoneBookList->currentItem();
      &control == form_->PhoneBookList && key == app::kCharEnter && item != nullptr) {
    item->setSelected(true);
    CallSelectedContact();
    return true;
  }
  for (const QWidget* box :
       {form_->Username, form_->UserID, form_->Password, form_->Domain, form_->Addr}) {
    if (&control == box) return EditKeyPress(box, key);
  }
  return false;
}

}  // namespace ui
