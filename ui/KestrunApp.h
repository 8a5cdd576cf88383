#pragma once
// The application object: prepares the toolkit and shows the main dialog; the program ends when the
// dialog closes.

#include <QApplication>
#include <QTemporaryDir>

class CKestrunApp : public QApplication {
 public:
  CKestrunApp(int& argc, char** argv);
  // Runs the dialog, pre-filled from the command-line words, until it closes. Returns false: there
  // is nothing left to run afterwards.
  bool InitInstance();

 private:
  // The toolkit's file choosers keep their history in a user settings file; it goes here and is
  // removed with the program, so nothing persists between runs.
  QTemporaryDir settings_;
};
