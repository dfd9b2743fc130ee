// Where the end-to-end scripts click, from the form itself: for each widget they click or type
// into, a shell assignment of its centre in the window's client coordinates ("Connect=(308 244)");
// for the phone book list, its first row's centre; where they look, the level trace's paint box
// as a crop geometry ("PaintBox1_area=240x50+104+115").
//   QT_QPA_PLATFORM=offscreen e2e_coordinates > coordinates.sh
#include <QApplication>
#include <QListWidget>
#include <cstdio>

#include "ui/MainForm.h"

int main(int argc, char** argv) {
  QApplication application(argc, argv);
  ui::TMainForm window;  // the form alone: no call control, no settings, no sockets
  window.show();
  const auto print = [&](const char* name, const QWidget* widget, QRect rect) {
    const QPoint centre = widget->mapTo(&window, rect.center());
    std::printf("%s=(%d %d)\n", name, centre.x(), centre.y());
  };
  for (const char* name :
       {"Username", "UserID", "Password", "Domain", "Connect", "RememberPassword", "Cancel", "n1",
        "n5", "n9", "PhoneBookCall", "PhoneBookClose", "PhoneBookAdd", "PhoneEntryName",
        "PhoneEntryNumber", "PhoneEntryAccept"}) {
    const auto* widget = window.findChild<QWidget*>(name);
    if (widget == nullptr) return 1;  // renamed in the form: the build stops here
    print(name, widget, widget->rect());
  }
  // The row's height is the list's own (font, style): measured on a shown panel.
  auto* list = window.findChild<QListWidget*>("PhoneBookList");
  list->parentWidget()->show();
  list->addItem("Echo");
  list->doItemsLayout();
  print("PhoneBookList", list->viewport(), list->visualItemRect(list->item(0)));
  const auto* box = window.findChild<QWidget*>("PaintBox1");
  if (box == nullptr) return 1;
  const QPoint corner = box->mapTo(&window, QPoint(0, 0));
  std::printf("PaintBox1_area=%dx%d+%d+%d\n", box->width(), box->height(), corner.x(), corner.y());
  return 0;
}
