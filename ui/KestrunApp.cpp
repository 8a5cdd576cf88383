#include "ui/KestrunApp.h"

#include <QSettings>

#include "ui/KestrunDlg.h"

CKestrunApp::CKestrunApp(int& argc, char** argv) : QApplication(argc, argv) {
  setApplicationName(QStringLiteral("Kestrun"));
  setApplicationVersion(QStringLiteral(KESTRUN_VERSION));
  if (settings_.isValid()) {
    QSettings::setPath(QSettings::NativeFormat, QSettings::UserScope, settings_.path());
    QSettings::setPath(QSettings::IniFormat, QSettings::UserScope, settings_.path());
  }
}

bool CKestrunApp::InitInstance() {
  // The toolkit has already taken its own options out of the arguments.
  CKestrunDlg dialog(arguments().mid(1));
  dialog.exec();
  return false;
}
