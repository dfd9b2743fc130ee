// The texts Qt makes itself (a question's buttons, an edit box's context menu) in the window's
// language, French, whatever the desktop's language: a window half in French and half in
// English reads as broken.
#pragma once

class QCoreApplication;

namespace ui {

// Installs Qt's own French translations in `application`; false when they are not installed.
bool InstallQtFrench(QCoreApplication& application);

}  // namespace ui
