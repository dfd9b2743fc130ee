#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QImage>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPainter>
#include <QSignalSpy>
#include <QTest>

#include "app/Provider.h"
#include "ui/ClickLabel.h"
#include "ui/MainForm.h"
#include "ui/PaintBox.h"
#include "ui/Shape.h"

namespace {

// The window, with the hooks of the device lists and the phone book counted.
class CountingMainForm : public ui::TMainForm {
 public:
  int ListDevicesCalls = 0;
  int TabSheet3ShowCalls = 0;

 protected:
  void ListDevices() override { ++ListDevicesCalls; }
  void TabSheet3Show() override { ++TabSheet3ShowCalls; }
};

QString U(const char* text) {
  return QString::fromUtf8(text);
}

struct Control {
  const char* Name;
  const char* Class;  // as the meta-object names it
  QRect Place;
  const char* Text;  // nullptr: no text to compare
};

struct Look {
  const char* Name;
  int PixelSize;
  bool Bold;
  const char* Colour;
};

const QString kConnexionTitle = U("CONNEXION AU SERVICE SIP");
const QString kPhoneBookTitle = U("CARNET D'ADRESSES");

const char* const kPanels[] = {"ConnexionPanel", "WaitPanel", "PhoneBookPanel", "PhoneEntryPanel"};

}  // namespace

class MainFormTest : public QObject {
  Q_OBJECT

 private:
  std::unique_ptr<CountingMainForm> window;

  template <typename T = QWidget>
  T* Find(const char* name) {
    T* widget = window->findChild<T*>(QString::fromLatin1(name));
    if (widget == nullptr) qWarning("no control named %s", name);
    return widget;
  }

  void CheckControls(const char* parentName, const std::vector<Control>& controls) {
    QWidget* parent = parentName == nullptr ? window.get() : Find(parentName);
    QVERIFY(parent != nullptr);
    for (const Control& control : controls) {
      QWidget* widget = Find(control.Name);
      QVERIFY2(widget != nullptr, control.Name);
      QVERIFY2(widget->parentWidget() == parent, control.Name);
      QCOMPARE(QString::fromLatin1(widget->metaObject()->className()),
               QString::fromLatin1(control.Class));
      QCOMPARE(widget->geometry(), control.Place);
      if (control.Text != nullptr) {
        QString text;
        if (auto* label = qobject_cast<QLabel*>(widget)) text = label->text();
        if (auto* edit = qobject_cast<QLineEdit*>(widget)) text = edit->text();
        if (auto* box = qobject_cast<QCheckBox*>(widget)) text = box->text();
        QCOMPARE(text, U(control.Text));
      }
    }
  }

  void CheckLooks(const std::vector<Look>& looks) {
    for (const Look& look : looks) {
      QWidget* widget = Find(look.Name);
      QVERIFY2(widget != nullptr, look.Name);
      widget->ensurePolished();
      const QFont font = widget->font();
      QVERIFY2(font.pixelSize() == look.PixelSize, look.Name);
      QVERIFY2(font.bold() == look.Bold, look.Name);
      QCOMPARE(font.family(), U("DejaVu Sans"));
      QCOMPARE(widget->palette().color(widget->foregroundRole()), QColor(U(look.Colour)));
    }
  }

  void CheckButton(const char* name, int left, int top, const char* caption) {
    // The connect button's shape keeps the name the device selection knows it by.
    const QByteArray shapeName =
        qstrcmp(name, "Connect") == 0 ? QByteArray("Shape1") : QByteArray("Shape").append(name);
    auto* shape = Find<ui::TShape>(shapeName.constData());
    auto* label = Find<ui::TClickLabel>(name);
    QVERIFY(shape != nullptr && label != nullptr);
    QCOMPARE(shape->geometry(), QRect(left, top, 90, 20));
    QCOMPARE(shape->BrushColor(), QColor(0xDB, 0x00, 0x16));
    QCOMPARE(shape->PenColor(), QColor(Qt::white));
    QCOMPARE(label->geometry(), QRect(left, top + 3, 89, 14));
    QCOMPARE(label->text(), U(caption));
    QCOMPARE(label->alignment(), Qt::AlignCenter);
    QCOMPARE(label->cursor().shape(), Qt::PointingHandCursor);
    QVERIFY(!label->Color().isValid());  // transparent over its shape
    QCOMPARE(label->parentWidget(), shape->parentWidget());
    // The label lies above its shape, so that it takes the click.
    const QObjectList& siblings = label->parentWidget()->children();
    QVERIFY(siblings.indexOf(label) > siblings.indexOf(shape));
    CheckLooks({{name, 11, true, "#FFFFFF"}});
  }

  // Names of the focusable controls met by pressing Tab from `first` until it comes back.
  QStringList TabCycle(const char* first) {
    QWidget* start = Find(first);
    start->setFocus(Qt::TabFocusReason);
    QStringList names;
    for (int i = 0; i < 20; ++i) {
      QWidget* focused = QApplication::focusWidget();
      if (focused == nullptr) break;
      names << focused->objectName();
      QTest::keyClick(focused, Qt::Key_Tab);
      if (QApplication::focusWidget() == start) break;
    }
    return names;
  }

 private slots:
  void init() {
    window = std::make_unique<CountingMainForm>();
    window->show();
    QVERIFY(QTest::qWaitForWindowExposed(window.get(), 5000));
  }
  void cleanup() { window.reset(); }

  // --- The window -------------------------------------------------------------------------

  void windowHasFixedSizeAndNoMaximise() {
    QCOMPARE(window->size(), QSize(446, 396));
    QCOMPARE(window->minimumSize(), QSize(446, 396));
    QCOMPARE(window->maximumSize(), QSize(446, 396));
    const Qt::WindowFlags flags = window->windowFlags();
    QVERIFY(!(flags & Qt::WindowMaximizeButtonHint));
    QVERIFY(flags & Qt::WindowMinimizeButtonHint);
    QVERIFY(flags & Qt::WindowSystemMenuHint);
  }

  void windowIsCentred() {
    const QRect screen = window->screen()->availableGeometry();
    const QPoint offset = window->frameGeometry().center() - screen.center();
    QVERIFY2(qAbs(offset.x()) <= 1 && qAbs(offset.y()) <= 1, "not centred");
  }

  void windowCaption() {
    QCOMPARE(window->windowTitle(),
             U("Telvarion 0.3.0 (2006-08-11) - Un client SIP pour Brovandes"));
    QCOMPARE(window->windowTitle(), U(app::kWindowCaption));
  }

  void windowControls() {
    CheckControls(
        nullptr,
        {
            {"TelephoneIP", "QLabel", {0, 0, 446, 50}, "Téléphone IP "},
            {"Telvarion", "QLabel", {3, 25, 133, 29}, "Telvarion"},
            {"Title", "ui::TClickLabel", {8, 56, 197, 14}, "CONNEXION AU SERVICE SIP"},
            {"Line", "QLabel", {8, 64, 296, 14}, nullptr},
            {"MyAccount", "ui::TClickLabel", {14, 376, 174, 14}, "Gestion de mon compte SIP"},
            {"ShapeAccount", "ui::TShape", {3, 380, 8, 8}, nullptr},
            {"CreditLabel", "ui::TClickLabel", {326, 376, 120, 14}, app::kCreditText},
            {"ConnexionPanel", "QFrame", {40, 83, 369, 278}, nullptr},
            {"WaitPanel", "QFrame", {40, 102, 369, 225}, nullptr},
            {"PhoneBookPanel", "QFrame", {40, 86, 369, 281}, nullptr},
            {"PhoneEntryPanel", "QFrame", {40, 88, 369, 137}, nullptr},
        });
    QCOMPARE(Find<QLabel>("Line")->text(), QString(74, QLatin1Char('.')));
    QCOMPARE(Find<QLabel>("TelephoneIP")->alignment(), Qt::AlignRight | Qt::AlignVCenter);
    QCOMPARE(Find<QLabel>("CreditLabel")->alignment() & Qt::AlignHorizontal_Mask, Qt::AlignRight);
    QCOMPARE(Find("MyAccount")->cursor().shape(), Qt::PointingHandCursor);
    QCOMPARE(Find("CreditLabel")->cursor().shape(), Qt::PointingHandCursor);
    auto* bullet = Find<ui::TShape>("ShapeAccount");
    QCOMPARE(bullet->BrushColor(), QColor(0xCC, 0x00, 0x00));
    QCOMPARE(bullet->PenColor(), QColor(0x64, 0x01, 0x01));
  }

  void windowLooks() {
    CheckLooks({
        {"Title", 12, true, "#42596D"},
        {"Line", 12, true, "#42596D"},
        {"TelephoneIP", 35, true, "#CBD6DF"},
        {"Telvarion", 24, true, "#243340"},
        {"MyAccount", 12, false, "#26333E"},
        {"CreditLabel", 12, false, "#26333E"},
    });
    QVERIFY(Find("MyAccount")->font().underline());
    // Colours as drawn: the window's background, the banner and a panel's background.
    const QImage image = window->grab().toImage();
    QCOMPARE(image.pixelColor(440, 70), QColor(0xCD, 0xD6, 0xDF));
    QCOMPARE(image.pixelColor(2, 2), QColor(Qt::white));
    QCOMPARE(image.pixelColor(40 + 360, 83 + 270), QColor(0xE5, 0xEB, 0xEF));
  }

  // --- The panels -------------------------------------------------------------------------

  void connexionPanel() {
    CheckControls("ConnexionPanel",
                  {
                      {"Label4", "QLabel", {8, 8, 256, 14}, "Merci de remplir les champs suivants"},
                      {"Label11", "QLabel", {8, 35, 74, 14}, "Utilisateur :"},
                      {"Username", "QLineEdit", {224, 32, 121, 20}, "Anonymous"},
                      {"Label5", "QLabel", {8, 59, 164, 14}, "Identifiant (n° téléphone) :"},
                      {"UserID", "QLineEdit", {224, 56, 121, 20}, "087"},
                      {"Label6", "QLabel", {8, 83, 114, 14}, "Mot de passe SIP :"},
                      {"Password", "QLineEdit", {224, 80, 121, 20}, ""},
                      {"Label7", "QLabel", {8, 107, 66, 14}, "Domaine :"},
                      {"Domain", "QLineEdit", {224, 104, 121, 20}, app::kProviderDomain},
                      {"lbAddr", "QLabel", {8, 131, 210, 14}, "Votre adresse IP :"},
                      {"Addr", "QLineEdit", {224, 130, 121, 20}, "Addr"},
                      {"RememberPassword",
                       "QCheckBox",
                       {104, 184, 241, 17},
                       "Se souvenir de votre mot de passe"},
                      {"Label12", "QLabel", {8, 216, 84, 14}, "Sortie audio :"},
                      {"WaveOutList", "QComboBox", {112, 212, 233, 22}, nullptr},
                      {"Label13", "QLabel", {8, 248, 88, 14}, "Entrée audio :"},
                      {"WaveInList", "QComboBox", {112, 244, 233, 22}, nullptr},
                  });
    CheckButton("Connect", 224, 152, "CONNEXION");
    QCOMPARE(Find("UserID")->property("Tag").toInt(), 1);
    QVERIFY(!Find<QCheckBox>("RememberPassword")->isChecked());
    QVERIFY(!Find<QComboBox>("WaveOutList")->isEditable());
    QVERIFY(!Find<QComboBox>("WaveInList")->isEditable());
    auto* password = Find<QLineEdit>("Password");
    QCOMPARE(password->echoMode(), QLineEdit::Password);
    password->setText(U("abc"));
    QCOMPARE(password->displayText(), U("***"));
    auto* addr = Find<QLineEdit>("Addr");
    QVERIFY(addr->isReadOnly());
    QVERIFY(!addr->hasFrame());
    QVERIFY(!(addr->focusPolicy() & Qt::TabFocus));
    CheckLooks({
        {"Label4", 12, true, "#26333E"},
        {"Label11", 12, false, "#26333E"},
        {"Username", 12, false, "#26333E"},
        {"RememberPassword", 12, false, "#26333E"},
        {"Addr", 12, true, "#DB0016"},
    });
  }

  void waitPanel() {
    CheckControls("WaitPanel", {
                                   {"Status",
                                    "ui::TClickLabel",
                                    {0, 0, 369, 81},
                                    "Connexion en cours, merci de patienter..."},
                                   {"PaintBox1", "ui::TPaintBox", {64, 13, 240, 50}, nullptr},
                               });
    QCOMPARE(Find<QLabel>("Status")->alignment(), Qt::AlignCenter);
    CheckButton("Cancel", 144, 80, "ANNULER");
    CheckLooks({{"Status", 12, true, "#26333E"}});
  }

  void keypad() {
    struct Key {
      const char* Name;
      const char* Caption;
      int Tag;
    };
    const Key rows[4][4] = {
        {{"n1", "1", 1}, {"n2", "2", 2}, {"n3", "3", 3}, {"na", "A", 12}},
        {{"n4", "4", 4}, {"n5", "5", 5}, {"n6", "6", 6}, {"nb", "B", 13}},
        {{"n7", "7", 7}, {"n8", "8", 8}, {"n9", "9", 9}, {"nc", "C", 14}},
        {{"nStar", "*", 10}, {"n0", "0", 0}, {"nSharp", "#", 11}, {"nd", "D", 15}},
    };
    const int tops[4] = {115, 139, 163, 187};
    const int lefts[4] = {128, 160, 192, 224};
    for (int row = 0; row < 4; ++row) {
      for (int column = 0; column < 4; ++column) {
        const Key& key = rows[row][column];
        CheckControls(
            "WaitPanel",
            {{key.Name, "ui::TClickLabel", {lefts[column], tops[row], 24, 21}, key.Caption}});
        auto* label = Find<ui::TClickLabel>(key.Name);
        QCOMPARE(label->Tag(), key.Tag);
        QCOMPARE(label->Color(), QColor(0xDB, 0x00, 0x16));
        QCOMPARE(label->alignment(), Qt::AlignCenter);
        QCOMPARE(label->cursor().shape(), Qt::PointingHandCursor);
        CheckLooks({{key.Name, 11, true, "#FFFFFF"}});
      }
    }
  }

  void phoneBookPanel() {
    window->SetMode(2);
    CheckControls("PhoneBookPanel",
                  {
                      {"PhoneBookNumber", "QLineEdit", {8, 14, 241, 20}, ""},
                      {"PhoneBookList", "QListWidget", {8, 40, 241, 225}, nullptr},
                  });
    QVERIFY(Find<QListWidget>("PhoneBookList")->isSortingEnabled());
    CheckButton("PhoneBookCall", 264, 14, "APPELER");
    CheckButton("PhoneBookClose", 264, 40, "FERMER");
    CheckButton("PhoneBookAdd", 264, 176, "AJOUTER");
    CheckButton("PhoneBookChange", 264, 208, "MODIFIER");
    CheckButton("PhoneBookDel", 264, 240, "SUPPRIMER");
  }

  void phoneEntryPanel() {
    window->SetMode(3);
    CheckControls("PhoneEntryPanel", {
                                         {"Label2", "QLabel", {8, 19, 40, 14}, "Nom :"},
                                         {"PhoneEntryName", "QLineEdit", {104, 16, 241, 20}, ""},
                                         {"Label3", "QLabel", {8, 51, 91, 14}, "N° téléphone :"},
                                         {"PhoneEntryNumber", "QLineEdit", {104, 48, 241, 20}, ""},
                                     });
    CheckButton("PhoneEntryAccept", 80, 104, "VALIDER");
    CheckButton("PhoneEntryCancel", 224, 104, "ANNULER");
    QCOMPARE(Find<ui::TClickLabel>("PhoneEntryCancel")->Tag(), 2);
  }

  void panelsAreFlatWithTheirBackground() {
    for (int mode = 0; mode < 4; ++mode) {
      window->SetMode(mode);
      QWidget* panel = Find(kPanels[mode]);
      const QImage image = panel->grab().toImage();
      // A one-pixel border, then the panel's background.
      QCOMPARE(image.pixelColor(0, image.height() / 2), QColor(Qt::black));
      QCOMPARE(image.pixelColor(1, 1), QColor(0xE5, 0xEB, 0xEF));
    }
  }

  // Every text fits its box as designed (the dotted rule is cut by design).
  void textsFitTheirBoxes() {
    for (QLabel* label : window->findChildren<QLabel*>()) {
      if (label->objectName() == QLatin1String("Line")) continue;
      label->ensurePolished();
      const QFontMetrics metrics(label->font());
      const int width = metrics.horizontalAdvance(label->text());
      QVERIFY2(width <= label->width(), qPrintable(label->objectName()));
      QVERIFY2(metrics.height() <= label->height(), qPrintable(label->objectName()));
    }
    // The status texts of the wait panel, and the longer caption of lbAddr.
    const QFontMetrics status(Find("Status")->font());
    for (const char* text :
         {"Identifiant ou mot de passe invalide !", "votre correspond a raccroché"}) {
      QVERIFY(status.horizontalAdvance(U(text)) <= 369);
    }
    const QFontMetrics addr(Find("lbAddr")->font());
    QVERIFY(addr.horizontalAdvance(U("Votre adresse IP publique :")) <= Find("lbAddr")->width());
    const QFontMetrics title(Find("Title")->font());
    QVERIFY(title.horizontalAdvance(kPhoneBookTitle) <= Find("Title")->width());
    auto* remember = Find<QCheckBox>("RememberPassword");
    QVERIFY(remember->sizeHint().width() <= remember->width());
    auto* cancel = Find<QLabel>("Cancel");
    QVERIFY(QFontMetrics(cancel->font()).horizontalAdvance(U("Fermer")) <= cancel->width());
  }

  // --- Tab orders ---------------------------------------------------------------------------

  void panelsFollowTheirTabOrder() {
    QList<QWidget*> chain;
    QWidget* widget = window.get();
    do {
      chain << widget;
      widget = widget->nextInFocusChain();
    } while (widget != window.get() && chain.size() < 500);
    qsizetype previous = -1;
    for (const char* name : kPanels) {
      const auto at = chain.indexOf(Find(name));
      QVERIFY2(at > previous, name);
      previous = at;
    }
  }

  void connexionPanelTabOrder() {
    QVERIFY(QTest::qWaitForWindowActive(window.get(), 5000));
    QCOMPARE(TabCycle("Username"), QStringList({"Username", "UserID", "Password", "Domain",
                                                "WaveOutList", "WaveInList", "RememberPassword"}));
    // Addr takes the focus on a click only, so that its address can be copied.
    QCOMPARE(Find("Addr")->focusPolicy(), Qt::ClickFocus);
  }

  void phoneBookPanelTabOrder() {
    window->SetMode(2);
    QVERIFY(QTest::qWaitForWindowActive(window.get(), 5000));
    QCOMPARE(TabCycle("PhoneBookList"), QStringList({"PhoneBookList", "PhoneBookNumber"}));
  }

  void phoneEntryPanelTabOrder() {
    window->SetMode(3);
    QVERIFY(QTest::qWaitForWindowActive(window.get(), 5000));
    QCOMPARE(TabCycle("PhoneEntryName"), QStringList({"PhoneEntryName", "PhoneEntryNumber"}));
  }

  // --- SetMode and PhoneBookClick -------------------------------------------------------------

  void startsOnTheConnexionPanel() {
    QCOMPARE(window->CurrentMode(), 0);
    QVERIFY(Find("ConnexionPanel")->isVisible());
    QVERIFY(!Find("WaitPanel")->isVisible());
    QVERIFY(!Find("PhoneBookPanel")->isVisible());
    QVERIFY(!Find("PhoneEntryPanel")->isVisible());
    QCOMPARE(Find<QLabel>("Title")->text(), kConnexionTitle);
  }

  void designCaptionsAreRemembered() {
    QCOMPARE(Find<ui::TClickLabel>("Title")->Hint(), kConnexionTitle);
    QCOMPARE(Find<ui::TClickLabel>("Status")->Hint(),
             U("Connexion en cours, merci de patienter..."));
    QCOMPARE(Find<ui::TClickLabel>("Cancel")->Hint(), U("ANNULER"));
  }

  void setModeShowsExactlyOnePanel_data() {
    QTest::addColumn<int>("mode");
    QTest::addColumn<QString>("title");
    QTest::newRow("phone entry") << 3 << kPhoneBookTitle;
    QTest::newRow("phone book") << 2 << kPhoneBookTitle;
    QTest::newRow("wait") << 1 << kConnexionTitle;
    QTest::newRow("connexion") << 0 << kConnexionTitle;
  }
  void setModeShowsExactlyOnePanel() {
    QFETCH(int, mode);
    QFETCH(QString, title);
    // From every other mode, so that each panel is shown and hidden again.
    for (int from = 0; from < 4; ++from) {
      window->SetMode(from);
      window->SetMode(mode);
      QCOMPARE(window->CurrentMode(), mode);
      for (int panel = 0; panel < 4; ++panel) {
        QCOMPARE(Find(kPanels[panel])->isVisible(), panel == mode);
      }
      QCOMPARE(Find<QLabel>("Title")->text(), title);
    }
  }

  void titleComesBackFromItsHint() {
    auto* title = Find<ui::TClickLabel>("Title");
    title->setHint(U("AUTRE TITRE"));
    window->SetMode(2);
    QCOMPARE(title->text(), kPhoneBookTitle);
    window->SetMode(1);
    QCOMPARE(title->text(), U("AUTRE TITRE"));
  }

  void phoneBookIsLoadedWheneverItIsShown() {
    QCOMPARE(window->TabSheet3ShowCalls, 0);
    window->SetMode(2);
    window->SetMode(3);
    window->SetMode(2);
    window->SetMode(2);
    QCOMPARE(window->TabSheet3ShowCalls, 3);
  }

  void pendingDeviceRefreshWaitsForTheConnexionPanel() {
    window->SetMode(2);
    window->SetDeviceRefreshPending(true);
    window->SetMode(3);
    window->SetMode(1);
    window->SetMode(2);
    QCOMPARE(window->ListDevicesCalls, 0);
    window->SetMode(0);
    QCOMPARE(window->ListDevicesCalls, 1);
    QVERIFY(!window->DeviceRefreshPending());
    window->SetMode(0);
    QCOMPARE(window->ListDevicesCalls, 1);  // once only
  }

  void noRefreshWithoutAPendingMark() {
    window->SetMode(0);
    window->SetMode(2);
    window->SetMode(0);
    QCOMPARE(window->ListDevicesCalls, 0);
  }

  void entryCancelGoesBackToThePhoneBook() {
    window->SetMode(3);
    const int loads = window->TabSheet3ShowCalls;
    QTest::mouseClick(Find("PhoneEntryCancel"), Qt::LeftButton);
    QCOMPARE(window->CurrentMode(), 2);
    QVERIFY(Find("PhoneBookPanel")->isVisible());
    QVERIFY(!Find("PhoneEntryPanel")->isVisible());
    QCOMPARE(Find<QLabel>("Title")->text(), kPhoneBookTitle);
    QCOMPARE(window->TabSheet3ShowCalls, loads + 1);
  }

  void phoneBookClickFollowsTheSendersTag() {
    ui::TClickLabel sender;
    window->SetMode(2);
    sender.setTag(0);
    window->PhoneBookClick(&sender);
    QCOMPARE(window->CurrentMode(), 0);
    QCOMPARE(Find<QLabel>("Title")->text(), kConnexionTitle);
    sender.setTag(3);
    window->PhoneBookClick(&sender);
    QCOMPARE(window->CurrentMode(), 3);
    QCOMPARE(Find<QLabel>("Title")->text(), kPhoneBookTitle);
    sender.setTag(1);
    window->PhoneBookClick(&sender);
    QCOMPARE(window->CurrentMode(), 1);
    QCOMPARE(Find<QLabel>("Title")->text(), kConnexionTitle);
  }

  // --- The small widgets ----------------------------------------------------------------------

  void clickLabelClicksOnReleaseInside() {
    ui::TClickLabel label;
    label.resize(40, 20);
    QSignalSpy clicked(&label, &ui::TClickLabel::clicked);
    QSignalSpy pressed(&label, &ui::TClickLabel::mousePressed);
    QSignalSpy released(&label, &ui::TClickLabel::mouseReleased);
    QTest::mouseClick(&label, Qt::LeftButton);
    QCOMPARE(clicked.count(), 1);
    QTest::mouseClick(&label, Qt::RightButton);
    QCOMPARE(clicked.count(), 1);
    QCOMPARE(pressed.count(), 2);
    QCOMPARE(released.count(), 2);
    QTest::mousePress(&label, Qt::LeftButton);
    QTest::mouseRelease(&label, Qt::LeftButton, {}, QPoint(100, 100));  // dragged out
    QCOMPARE(clicked.count(), 1);
  }

  void clickLabelPaintsItsColour() {
    auto* key = Find<ui::TClickLabel>("n5");
    QCOMPARE(key->grab().toImage().pixelColor(1, 1), QColor(0xDB, 0x00, 0x16));
    key->setColor(QColor(0xFF, 0xFF, 0x00));
    QCOMPARE(key->grab().toImage().pixelColor(1, 1), QColor(0xFF, 0xFF, 0x00));
  }

  void shapePaintsOutlineAndFill() {
    auto* shape = Find<ui::TShape>("Shape1");
    QImage image = shape->grab().toImage();
    QCOMPARE(image.pixelColor(0, 0), QColor(Qt::white));
    QCOMPARE(image.pixelColor(89, 19), QColor(Qt::white));
    QCOMPARE(image.pixelColor(45, 1), QColor(0xDB, 0x00, 0x16));
    shape->setBrushColor(QColor(0xC0, 0xC0, 0xC0));
    image = shape->grab().toImage();
    QCOMPARE(image.pixelColor(45, 1), QColor(0xC0, 0xC0, 0xC0));
  }

  void paintBoxShowsTheLastDrawing() {
    window->SetMode(1);
    auto* box = Find<ui::TPaintBox>("PaintBox1");
    QWidget* panel = Find("WaitPanel");
    // As seen on the panel: the middle of the box, and a point above the middle line.
    const auto seen = [&](int x, int y) {
      return panel->grab(box->geometry()).toImage().pixelColor(x, y);
    };
    QCOMPARE(seen(120, 25), QColor(0xE5, 0xEB, 0xEF));  // nothing painted by itself
    QImage& canvas = box->Canvas();
    QCOMPARE(canvas.size(), QSize(240, 50));
    {
      QPainter painter(&canvas);
      painter.fillRect(QRect(0, 0, 480, 100), Qt::black);
      painter.setPen(QColor(0x00, 0xFF, 0x00));
      painter.drawLine(0, 25, 239, 25);
    }
    box->update();
    QCOMPARE(seen(120, 25), QColor(0x00, 0xFF, 0x00));
    QCOMPARE(seen(120, 10), QColor(Qt::black));
    // Still there after the panel is hidden and shown again.
    window->SetMode(0);
    window->SetMode(1);
    QCOMPARE(seen(120, 25), QColor(0x00, 0xFF, 0x00));
  }
};

QTEST_MAIN(MainFormTest)
#include "MainFormTest.moc"
