#pragma once
// Line edits of the form: one with a browse button that replaces its text by a chosen file or folder,
// and one that takes typed digits only.

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
  void Browse();
  QToolButton* browseButton() const { return button_; }

 signals:
  void pathChosen(const QString& path);

 protected:
  void resizeEvent(QResizeEvent* event) override;

 private:
  QToolButton* button_;
};

// Typed characters other than digits are refused; text set by the program is taken as it is.
class DigitsEdit : public QLineEdit {
  Q_OBJECT
 public:
  explicit DigitsEdit(QWidget* parent) : QLineEdit(parent) {}

 protected:
  void keyPressEvent(QKeyEvent* event) override;
};
