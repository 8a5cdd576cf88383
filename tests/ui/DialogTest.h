#pragma once
// Helpers for driving the dialog in tests: controls by id, message boxes recorded instead of shown,
// chosen paths, and waiting for the end of a run.

#include <gtest/gtest.h>

#include <QCheckBox>
#include <QComboBox>
#include <QEventLoop>
#include <QLabel>
#include <QLineEdit>
#include <QMetaProperty>
#include <QProgressBar>
#include <QPushButton>
#include <QStringList>
#include <QTest>
#include <QTimer>
#include <QVariant>
#include <filesystem>
#include <ostream>
#include <string>
#include <utility>

#include "support/TestSupport.h"
#include "ui/BrowseEdit.h"
#include "ui/KestrunDlg.h"

QT_BEGIN_NAMESPACE
// Readable failure messages.
inline void PrintTo(const QString& s, std::ostream* os) { *os << '"' << s.toStdString() << '"'; }
QT_END_NAMESPACE

namespace kestrun::test {

// The dialog with its message boxes collected in `messages`.
class Dialog {
 public:
  explicit Dialog(QStringList arguments = {}) : dlg(std::move(arguments)) {
    dlg.showMessage = [this](const QString& text) { messages.push_back(text); };
  }
  template <class T = QWidget>
  T* Get(const char* id) {
    T* control = dlg.findChild<T*>(QString::fromLatin1(id));
    EXPECT_NE(control, nullptr) << id;
    return control;
  }
  QLineEdit* Edit(const char* id) { return Get<QLineEdit>(id); }
  QComboBox* Combo(const char* id) { return Get<QComboBox>(id); }
  QPushButton* Button(const char* id) { return Get<QPushButton>(id); }
  QString Text(const char* id) { return Get<QWidget>(id)->property("text").toString(); }
  // What the file name decides: device, data type, resolution, the resolution edit and the packet info box.
  QString Form() {
    return Combo("IDC_DEVICE_TYPE")->currentText() + " " + Combo("IDC_DATA_TYPE")->currentText() + " '" +
           Text("IDC_RESOLUTION") + (Edit("IDC_RESOLUTION")->isEnabled() ? "' enabled" : "' disabled") +
           (Get("IDC_OUTPUT_PACKET_INFO")->isHidden() ? " hidden" : " shown");
  }
  // What a run leaves on the form: progress text and bar, whether Start is enabled, the messages shown.
  QString Ending() {
    return Text("IDC_PROGRESS_TEXT") + " " + QString::number(Get<QProgressBar>("IDC_PROGRESS")->value()) +
           (Button("IDC_START")->isEnabled() ? " start" : " no start") + (messages.isEmpty() ? "" : " | ") +
           messages.join(" | ");
  }

  // Sets controls by id, in order: an edit's text, a list's item by its text, whether a box is checked.
  void Set(std::initializer_list<std::pair<const char*, QVariant>> values) {
    for (const auto& [id, value] : values)
      EXPECT_TRUE(Get(id)->metaObject()->userProperty().write(Get(id), value)) << id;
  }
  // Picks `path` with the input field's browse button, as the user would.
  void ChooseInput(const std::string& path) {
    auto* edit = Get<BrowseEdit>("IDC_INPUT_FILE");
    edit->choose = [path](const QString&) { return QString::fromStdString(path); };
    edit->Browse();
  }
  // Handles events until the current run's worker has returned; false after 60 s without that.
  bool WaitForRunEnd() {
    if (!dlg.IsRunning()) return true;
    QEventLoop loop;
    QObject::connect(&dlg, &CKestrunDlg::runEnded, &loop, &QEventLoop::quit);
    QTimer::singleShot(60'000, &loop, &QEventLoop::quit);
    loop.exec();
    return !dlg.IsRunning();
  }
  // Presses Start and waits for the run's end.
  bool Run() {
    Button("IDC_START")->click();
    return WaitForRunEnd();
  }

  CKestrunDlg dlg;
  QStringList messages;
};

inline QString Q(const std::string& s) { return QString::fromStdString(s); }
inline bool Exists(const std::string& path) { return std::filesystem::exists(path); }

}  // namespace kestrun::test
