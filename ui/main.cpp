#include "ui/KestrunApp.h"

int main(int argc, char** argv) {
  CKestrunApp app(argc, argv);
  app.InitInstance();
  return 0;
}
