// The window as a person sees and types into it: each panel rendered offscreen against its
// reference image, the level trace, where keys go, and the keypad's colours.
#include <QAccessible>
#include <QClipboard>
#include <QDir>
#include <QLineEdit>
#include <QLocalServer>
#include <QMenu>
#include <QMessageBox>
#include <QPainter>
#include <QPushButton>
#include <QScreen>
#include <QTemporaryDir>
#include <QTest>

#include "app/CallTexts.h"
#include "media/LevelTrace.h"
#include "support/LoopbackPeer.h"
#include "support/SipResponse.h"
#include "support/TestWave.h"
#include "ui/ClickLabel.h"
#include "ui/MainForm.h"
#include "ui/SingleInstance.h"
#include "ui/Translations.h"

namespace {

class Window final : public ui::TMainForm {
 public:
  using ui::TMainForm::TMainForm;
  void ShowMessage(const std::string& text) override { Messages << QString::fromStdString(text); }
  QStringList Messages;
};

}  // namespace

class WindowTest : public QObject {
  Q_OBJECT

 private slots:
  // TELVARION_UPDATE_REFERENCES=1 writes the references instead, for a change of the design.
  void EachPanelLooksAsDesigned() {
    ui::TMainForm window;
    const auto compare = [&](const QString& name) {
      const QImage shown = window.grab().toImage().convertToFormat(QImage::Format_RGB32);
      const QString reference = QStringLiteral(TELVARION_REFERENCES "/%1.png").arg(name);
      if (qEnvironmentVariableIsSet("TELVARION_UPDATE_REFERENCES")) shown.save(reference);
      const bool same = shown == QImage(reference).convertToFormat(QImage::Format_RGB32);
      if (!same) shown.save(QStringLiteral("%1/%2-shown.png").arg(QDir::currentPath(), name));
      QVERIFY2(same, qPrintable(name + " differs from its reference: see " + name + "-shown.png"));
    };
    compare("connexion");
    // The heights the call control gives the wait panel, in a call and out of one.
    window.ShowPanel(app::TPanel::Wait, std::nullopt);
    window.SetWaitPanelHeight(app::DisplayForState(sip::ssInCall).WaitPanelHeight);
    compare("wait-call");
    window.SetWaitPanelHeight(app::DisplayForState(sip::ssRinging).WaitPanelHeight);
    window.ShowCaption(app::TCaption::Cancel, "Fermer");
    compare("wait");
    window.ShowPanel(app::TPanel::PhoneBook, "CARNET D'ADRESSES");
    window.ShowContacts({"Anne", "Élodie"});
    compare("phonebook");
    window.ShowPanel(app::TPanel::PhoneEntry, "CARNET D'ADRESSES");
    window.ShowDevices({{"Speaker"}, 0}, {}, false);
    compare("entry");
    window.ShowPanel(app::TPanel::Connexion, std::nullopt);
    window.ShowCaption(app::TCaption::AddressLabel, "Votre adresse IP publique :");
    compare("connexion-no-device");
  }

  // The trace of a block: a line to each sample's point in turn over a blank box, as a painter
  // draws it, for every pair of neighbouring points, beyond the box's edges too.
  void TheLevelTraceIsALineToEverySample() {
    ui::TMainForm window;
    window.ShowPanel(app::TPanel::Wait, std::nullopt);
    auto* box = window.findChild<QWidget*>("PaintBox1");
    for (int a = -50; a <= 50; ++a) {
      media::TLevelTrace trace;
      for (int b = -50; b <= 50; ++b)
        trace.Offsets.insert(trace.Offsets.end(), {a, b});
      QImage expected(box->size(), QImage::Format_RGB32);
      QPainter painter(&expected);
      painter.fillRect(QRect(0, 0, 480, 100), Qt::black);
      painter.setPen(QColor("#00FF00"));
      QPoint from(0, 25);
      for (std::size_t i = 0; i < trace.Offsets.size(); ++i) {
        const QPoint to(static_cast<int>(i), 25 + trace.Offsets[i]);
        painter.drawLine(from, to);
        from = to;
      }
      painter.end();
      window.ShowLevelTrace(trace);  // over the last one
      QVERIFY2(box->grab().toImage().convertToFormat(QImage::Format_RGB32) == expected,
               qPrintable(QString::number(a)));
    }
    // On the screen only the rows that changed are repainted: nothing is left of a loud trace
    // once a quiet one follows.
    window.show();
    QVERIFY(QTest::qWaitForWindowExposed(&window));
    media::TLevelTrace loud, quiet;
    for (int i = 0; i < 240; ++i) {
      loud.Offsets.push_back(i % 2 ? 50 : -50);
      quiet.Offsets.push_back(i % 3 - 1);
    }
    window.ShowLevelTrace(loud);
    window.ShowLevelTrace(quiet);
    const QRect area(box->mapTo(&window, QPoint(0, 0)), box->size());
    const QImage screen = window.screen()->grabWindow(window.winId()).toImage().copy(area);
    QCOMPARE(screen.convertToFormat(QImage::Format_RGB32),
             box->grab().toImage().convertToFormat(QImage::Format_RGB32));
  }

  // Each panel change that hides the focused box (connecting, registered, calling): the keys
  // go to the new panel.
  void KeysNeverReachAHiddenBoxAndTheKeypadAnswersTheMouse() {
    ui::TMainForm window;
    window.show();
    QVERIFY(QTest::qWaitForWindowActive(&window));
    using app::TPanel;
    const struct {
      const char* Box;
      TPanel Shown, Next;
    } changes[] = {{"Domain", TPanel::Connexion, TPanel::Wait},
                   {"Username", TPanel::Connexion, TPanel::PhoneBook},
                   {"PhoneBookNumber", TPanel::PhoneBook, TPanel::Wait}};
    for (const auto& change : changes) {
      auto* box = window.findChild<QLineEdit*>(change.Box);
      window.ShowPanel(change.Shown, std::nullopt);
      box->setFocus();
      box->setText("x");
      window.ShowPanel(change.Next, std::nullopt);
      QWidget* focused = QApplication::focusWidget();
      QVERIFY2(focused != nullptr && focused->isVisible(), change.Box);
      QTest::keyClick(window.windowHandle(), '9');
      QCOMPARE(box->text(), QStringLiteral("x"));
    }
    // The keypad's keys under the mouse.
    auto* key = window.findChild<ui::TClickLabel*>("n5");
    QTest::mouseMove(key);
    QTRY_COMPARE(key->Color(), QColor("#FF0000"));
    QTest::mousePress(key, Qt::LeftButton);
    QCOMPARE(key->Color(), QColor("#FFFF00"));
    QTest::mouseRelease(key, Qt::LeftButton);
    QCOMPARE(key->Color(), QColor("#FF0000"));
    QTest::mouseMove(window.findChild<QWidget*>("Status"));
    QTRY_COMPARE(key->Color(), QColor("#DB0016"));
  }

  // A user without a mouse, and one with a screen reader: every button and link is reached
  // with Tab, pressed with Enter or Space, marked while focused, and read by its caption.
  void KeyboardAndScreenReaders() {
    using ui::TClickLabel;
    QStringList opened;
    testsupport::TestWaveBackend wave;
    testsupport::LoopbackPeer server;
    const QTemporaryDir folder;
    // The wave backend, the settings file, the STUN server, then the SIP, RTP and STUN ports
    // (0: the system's choice).
    ui::TMainFormOptions options;
    options.Control = {&wave,
                       folder.filePath("telvarion.ini").toStdString(),
                       "127.0.0.1",
                       0,
                       server.Port(),
                       testsupport::FreePortPair(),
                       0,
                       std::nullopt,
                       nullptr,
                       nullptr};
    options.OpenUrl = [&](const QString& url) { opened << url; };
    Window window(options);
    window.show();
    QVERIFY(QTest::qWaitForWindowActive(&window));
    for (TClickLabel* label : window.findChildren<TClickLabel*>()) {
      if (label->Kind() == TClickLabel::Text) continue;
      QAccessibleInterface* reader = QAccessible::queryAccessibleInterface(label);
      QCOMPARE(reader->role(),
               label->Kind() == TClickLabel::Link ? QAccessible::Link : QAccessible::Button);
      QCOMPARE(reader->text(QAccessible::Name), label->text());
      QVERIFY(reader->actionInterface()->actionNames().contains(
          QAccessibleActionInterface::pressAction()));
    }
    QAccessible::queryAccessibleInterface(window.findChild<TClickLabel*>("MyAccount"))
        ->actionInterface()
        ->doAction(QAccessibleActionInterface::pressAction());
    QCOMPARE(opened.size(), 1);
    // Tab goes round the visible controls, from the panel's first one.
    const auto tabRound = [] {
      QStringList names;
      for (QWidget* at = QApplication::focusWidget(); names.size() < 40;
           at = QApplication::focusWidget()) {
        if (names.contains(at->objectName())) break;
        names << at->objectName();
        QTest::keyClick(at, Qt::Key_Tab);
      }
      return names.join(' ');
    };
    QCOMPARE(tabRound(), QStringLiteral("Username UserID Password Domain WaveOutList WaveInList "
                                        "RememberPassword Connect MyAccount CreditLabel"));
    // The user ID box takes digits only, typed or pasted; the editing shortcuts work.
    auto* userID = window.findChild<QLineEdit*>("UserID");
    auto* password = window.findChild<QLineEdit*>("Password");
    userID->setFocus();
    for (const char key : {'a', '1', ' ', 'b', '2'})
      QTest::keyClick(window.windowHandle(), key);
    QCOMPARE(userID->text(), QStringLiteral("08712"));
    QGuiApplication::clipboard()->setText("Tél. 06 12-34");
    QTest::keyClick(window.windowHandle(), Qt::Key_A, Qt::ControlModifier);
    QTest::keyClick(window.windowHandle(), Qt::Key_V, Qt::ControlModifier);
    QCOMPARE(userID->text(), QStringLiteral("061234"));
    password->setFocus();
    QTest::keyClick(window.windowHandle(), Qt::Key_Return);  // Enter connects: no password yet
    QCOMPARE(window.Messages.size(), 1);
    QVERIFY(password->hasFocus());
    password->setText("pw");
    window.findChild<QLineEdit*>("Domain")->setText("127.0.0.1");
    auto* connect = window.findChild<TClickLabel*>("Connect");
    const QImage unfocused = connect->grab().toImage();
    connect->setFocus(Qt::TabFocusReason);
    QVERIFY(connect->grab().toImage() != unfocused);  // the focus mark
    QTest::keyClick(connect, Qt::Key_Space);
    // Whether the server's request, received while the window's loop runs, starts so.
    std::optional<std::string> got;
    const auto received = [&](const char* start) {
      if (!got) got = server.Receive(std::chrono::milliseconds(1));
      return got && got->starts_with(start);
    };
    QTRY_VERIFY(received("REGISTER "));
    server.Reply(testsupport::SipResponse(*std::exchange(got, {}), 200));
    auto* list = window.findChild<QWidget*>("PhoneBookList");
    QTRY_VERIFY(list->isVisible() && list->hasFocus());
    QCOMPARE(tabRound(),
             QStringLiteral("PhoneBookList PhoneBookNumber PhoneBookCall PhoneBookClose "
                            "PhoneBookAdd PhoneBookChange PhoneBookDel MyAccount "
                            "CreditLabel"));
    QTest::keyClick(window.findChild<TClickLabel*>("PhoneBookAdd"), Qt::Key_Return);
    QTest::keyClicks(QApplication::focusWidget(), "Anne");
    QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
    QTest::keyClicks(QApplication::focusWidget(), "0612");
    QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
    QCOMPARE(QApplication::focusWidget()->objectName(), QStringLiteral("PhoneEntryAccept"));
    QTest::keyClick(QApplication::focusWidget(), Qt::Key_Space);
    QTRY_VERIFY(list->hasFocus());
    QTest::keyClick(window.windowHandle(), Qt::Key_Return);  // calls the contact
    QTRY_VERIFY(received("INVITE sip:0612@"));
    auto* status = window.findChild<QLabel*>("Status");
    const QString calling = status->text();
    server.Reply(testsupport::SipResponse(*std::exchange(got, {}), 180));
    QTRY_VERIFY(status->text() != calling);                  // ringing
    QTest::keyClick(window.windowHandle(), Qt::Key_Escape);  // ANNULER
    QTRY_VERIFY(received("CANCEL "));
  }

  // A running copy that takes the connection and never answers is replaced (the hand-over
  // itself is the fault run's, with real processes).
  void ACopyThatDoesNotAnswerIsReplaced() {
    const QTemporaryDir folder;
    QLocalServer hung;  // it takes the connection but never reads it
    QVERIFY(hung.listen(folder.filePath("hung")));
    ui::TSingleInstance later(folder.filePath("hung"));
    QVERIFY(!later.HandOver(std::chrono::milliseconds(100)));
    QVERIFY(later.Listen({}));
  }

  // Last: the translations stay installed for the rest of the run.
  void QtsOwnTextsAreFrench() {
    QVERIFY(ui::InstallQtFrench(*QCoreApplication::instance()));
    QLineEdit box;
    const std::unique_ptr<QMenu> menuOf(box.createStandardContextMenu());
    QStringList menu;
    for (const QAction* action : menuOf->actions())
      if (!action->isSeparator()) menu << action->text();
    QCOMPARE(menu.size(), 7);
    for (const char* english :
         {"&Undo", "&Redo", "Cu&t", "&Copy", "&Paste", "Delete", "Select All"})
      QVERIFY2(!menu.join('|').contains(english), qPrintable(menu.join('|')));
    QMessageBox question(QMessageBox::Question, "", "", QMessageBox::Yes | QMessageBox::No);
    QCOMPARE(question.button(QMessageBox::Yes)->text(), QStringLiteral("&Oui"));
    QCOMPARE(question.button(QMessageBox::No)->text(), QStringLiteral("&Non"));
  }
};

QTEST_MAIN(WindowTest)
#include "WindowTest.moc"
