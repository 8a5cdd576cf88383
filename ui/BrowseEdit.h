#pragma once
// Line edits of the form: one with a browse button that replaces its text by a chosen file or folder,
// and one that takes typed digits only.
// The browse edit says when the user has finished changing its path (pathChosen): after a choice in the
// chooser, a paste or a drop, and after typing once Enter is pressed or the focus leaves the field. Text
// set by the program is no change of the user's.

#include <QLineEdit>
#include <functional>

class QToolButton;

class BrowseEdit : public QLineEdit {
  Q_OBJECT
 public:
  enum class Mode { File, Folder };
  BrowseEdit(Mode mode, QWidget* parent);

  // Asks for a path, given the current text; an empty answer changes nothing. Defaults to the
  // toolkit's file-open chooser (no filter) or folder chooser; tests replace it.
  std::function<QString(const QString& current)> choose;
  // Runs the chooser and, for a non-empty answer, sets it as the text and emits pathChosen.
  // Alt+Down and F4 in the field press the browse button.
  void Browse();
  QToolButton* browseButton() const { return button_; }

 signals:
  void pathChosen(const QString& path);

 protected:
  void resizeEvent(QResizeEvent* event) override;
  void keyPressEvent(QKeyEvent* event) override;

 private:
  void TakeEdit(const QString& now);
  void Commit();

  QToolButton* button_;
  QString before_;       // the text before the latest change
  bool typed_ = false;   // typed since the last pathChosen
};

// Typed characters other than digits are refused; text set by the program is taken as it is.
class DigitsEdit : public QLineEdit {
  Q_OBJECT
 public:
  explicit DigitsEdit(QWidget* parent) : QLineEdit(parent) {}

 protected:
  void keyPressEvent(QKeyEvent* event) override;
};
