#pragma once
// The application object: prepares the toolkit and shows the main dialog; the program ends when the
// dialog closes.

#include <QApplication>

class CKestrunApp : public QApplication {
  Q_OBJECT
 public:
  CKestrunApp(int& argc, char** argv);
  // Runs the dialog, pre-filled from the command-line words, until it closes. Returns false: there
  // is nothing left to run afterwards.
  bool InitInstance();
};
