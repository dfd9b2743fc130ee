// The softphone: one window, shown until it is closed.
#include <QApplication>

#include "ui/MainForm.h"

int main(int argc, char** argv) {
  QApplication application(argc, argv);
  // Names the per-user configuration folder (~/.config/telvarion) of a system-wide install.
  QApplication::setApplicationName("telvarion");
  ui::TMainForm window;
  window.show();
  return QApplication::exec();
}
