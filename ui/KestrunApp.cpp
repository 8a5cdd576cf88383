#include "ui/KestrunApp.h"

#include "ui/KestrunDlg.h"

CKestrunApp::CKestrunApp(int& argc, char** argv) : QApplication(argc, argv) {
  setApplicationName(QStringLiteral("Kestrun"));
  setApplicationVersion(QStringLiteral(KESTRUN_VERSION));
}

bool CKestrunApp::InitInstance() {
  // The toolkit has already taken its own options out of the arguments.
  CKestrunDlg dialog(arguments().mid(1));
  dialog.exec();
  return false;
}
