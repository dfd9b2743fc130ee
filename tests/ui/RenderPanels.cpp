// Renders the window once per panel mode into PNG files of the folder given as argument:
// panel-0-connexion.png, panel-1-wait.png, panel-2-phonebook.png, panel-3-phoneentry.png.
#include <QApplication>
#include <QDir>
#include <QPixmap>
#include <cstdio>

#include "ui/MainForm.h"

int main(int argc, char** argv) {
  QApplication application(argc, argv);
  if (argc != 2) {
    std::fprintf(stderr, "usage: render_panels <output folder>\n");
    return 2;
  }
  const QString folder = QString::fromLocal8Bit(argv[1]);
  if (!QDir().mkpath(folder)) return 1;
  ui::TMainForm window;
  window.show();
  const char* const names[] = {"connexion", "wait", "phonebook", "phoneentry"};
  for (int mode = 0; mode < 4; ++mode) {
    window.SetMode(mode);
    const QString file =
        QStringLiteral("%1/panel-%2-%3.png").arg(folder).arg(mode).arg(names[mode]);
    if (!window.grab().save(file)) return 1;
    std::printf("%s\n", file.toLocal8Bit().constData());
  }
  return 0;
}
