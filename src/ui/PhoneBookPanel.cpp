#include "ui/PhoneBookPanel.h"

#include <QLineEdit>
#include <QListWidget>

#include "ui/ClickLabel.h"
#include "ui_MainForm.h"

namespace ui {

namespace {

constexpr int kModeWait = 1;
constexpr int kModePhoneBook = 2;
constexpr int kModePhoneEntry = 3;

std::string Text(const QLineEdit* box) {
  return box->text().toStdString();
}

}  // namespace

TPhoneBookPanel::TPhoneBookPanel(Ui::MainForm& form, app::TIniFile& iniFile, Host host,
                                 QObject* parent)
    : QObject(parent), form_(form), book_(iniFile), host_(std::move(host)) {
  connect(form_.PhoneBookList, &QListWidget::itemClicked, this,
          &TPhoneBookPanel::PhoneBookListClick);
  // A double-click first selects the name (the click fills the number), then calls it.
  connect(form_.PhoneBookList, &QListWidget::itemDoubleClicked, this, [this] {
    PhoneBookListClick();
    PhoneBookCallClick();
  });
  connect(form_.PhoneBookCall, &TClickLabel::clicked, this, &TPhoneBookPanel::PhoneBookCallClick);
  connect(form_.PhoneBookClose, &TClickLabel::clicked, this, &TPhoneBookPanel::PhoneBookCloseClick);
  connect(form_.PhoneBookAdd, &TClickLabel::clicked, this, &TPhoneBookPanel::PhoneBookAddClick);
  connect(form_.PhoneBookChange, &TClickLabel::clicked, this,
          &TPhoneBookPanel::PhoneBookChangeClick);
  connect(form_.PhoneBookDel, &TClickLabel::clicked, this, &TPhoneBookPanel::PhoneBookDelClick);
  connect(form_.PhoneEntryAccept, &TClickLabel::clicked, this,
          &TPhoneBookPanel::PhoneEntryAcceptClick);
}

std::optional<std::string> TPhoneBookPanel::SelectedName() const {
  const QListWidgetItem* item = form_.PhoneBookList->currentItem();
  if (item == nullptr || !item->isSelected()) return std::nullopt;
  return item->text().toStdString();
}

void TPhoneBookPanel::TabSheet3Show() {
  form_.PhoneBookList->clear();
  for (const std::string& name : book_.Load(Text(form_.UserID))) {
    form_.PhoneBookList->addItem(QString::fromStdString(name));
  }
}

void TPhoneBookPanel::PhoneBookListClick() {
  if (const std::optional<std::string> name = SelectedName()) {
    form_.PhoneBookNumber->setText(QString::fromStdString(book_.Number(*name)));
  }
}

void TPhoneBookPanel::PhoneBookCallClick() {
  if (const std::optional<std::string> number =
          app::TPhoneBook::NumberToCall(Text(form_.PhoneBookNumber))) {
    host_.Call(*number);
  }
}

void TPhoneBookPanel::PhoneBookCloseClick() {
  host_.SetMode(kModeWait);
  host_.Unregister();
}

void TPhoneBookPanel::PhoneBookAddClick() {
  form_.PhoneEntryName->clear();
  form_.PhoneEntryNumber->clear();
  host_.SetMode(kModePhoneEntry);
  form_.PhoneEntryName->setFocus();
}

void TPhoneBookPanel::PhoneBookChangeClick() {
  const std::optional<std::string> name = SelectedName();
  if (!name) return;
  form_.PhoneEntryName->setText(QString::fromStdString(*name));
  form_.PhoneEntryNumber->setText(QString::fromStdString(book_.Number(*name)));
  host_.SetMode(kModePhoneEntry);
  form_.PhoneEntryName->setFocus();
}

void TPhoneBookPanel::PhoneEntryAcceptClick() {
  const app::EntryProblem problem =
      book_.Accept(Text(form_.PhoneEntryName), Text(form_.PhoneEntryNumber));
  if (problem != app::EntryProblem::None) {
    host_.ShowMessage(QString::fromUtf8(app::TPhoneBook::ProblemText(problem)));
    (problem == app::EntryProblem::NoName ? form_.PhoneEntryName : form_.PhoneEntryNumber)
        ->setFocus();
    return;
  }
  TabSheet3Show();
  host_.SetMode(kModePhoneBook);
}

void TPhoneBookPanel::PhoneBookDelClick() {
  const std::optional<std::string> name = SelectedName();
  if (!name) return;
  const bool yes = host_.Confirm(QString::fromStdString(app::TPhoneBook::DeleteQuestion(*name)));
  if (book_.Delete(*name, yes ? app::DeleteAnswer::Yes : app::DeleteAnswer::No)) {
    delete form_.PhoneBookList->currentItem();
  }
}

}  // namespace ui
