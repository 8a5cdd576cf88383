#include "ui/BrowseEdit.h"

#include <QFileDialog>
#include <QFileInfo>
#include <QKeyEvent>
#include <QToolButton>
#include <algorithm>

BrowseEdit::BrowseEdit(Mode mode, QWidget* parent) : QLineEdit(parent), button_(new QToolButton(this)) {
  button_->setText(QStringLiteral("..."));
  button_->setCursor(Qt::ArrowCursor);
  button_->setFocusPolicy(Qt::NoFocus);  // part of the edit, not a tab stop of its own
  choose = [this, mode](const QString& current) {
    if (mode == Mode::Folder) return QFileDialog::getExistingDirectory(window(), QString(), current);
    return QFileDialog::getOpenFileName(window(), QString(), QFileInfo(current).path());
  };
  connect(button_, &QToolButton::clicked, this, &BrowseEdit::Browse);
  setToolTip(QStringLiteral("Alt+Down: browse"));
  // textEdited comes before textChanged, so TakeEdit still sees the text before the change.
  connect(this, &QLineEdit::textEdited, this, &BrowseEdit::TakeEdit);
  connect(this, &QLineEdit::textChanged, this, [this](const QString& now) { before_ = now; });
  connect(this, &QLineEdit::editingFinished, this, [this] {
    if (typed_) Commit();
  });
}

void BrowseEdit::TakeEdit(const QString& now) {
  // A keystroke adds one character at most; more at once is a paste or a drop, a whole path.
  qsizetype prefix = 0;
  const qsizetype common = std::min(before_.size(), now.size());
  while (prefix < common && before_[prefix] == now[prefix]) ++prefix;
  qsizetype suffix = 0;
  while (suffix < common - prefix && before_[before_.size() - 1 - suffix] == now[now.size() - 1 - suffix]) ++suffix;
  if (now.size() - prefix - suffix > 1) {
    Commit();
  } else {
    typed_ = true;
  }
}

void BrowseEdit::Commit() {
  typed_ = false;
  emit pathChosen(text());
}

void BrowseEdit::keyPressEvent(QKeyEvent* event) {
  if (event->key() == Qt::Key_F4 || (event->key() == Qt::Key_Down && (event->modifiers() & Qt::AltModifier))) {
    event->accept();
    button_->click();
    return;
  }
  QLineEdit::keyPressEvent(event);
}

void BrowseEdit::Browse() {
  if (!choose) return;
  const QString path = choose(text());
  if (path.isEmpty()) return;
  setText(path);
  Commit();
}

void BrowseEdit::resizeEvent(QResizeEvent* event) {
  QLineEdit::resizeEvent(event);
  const int side = height() - 4;
  button_->setGeometry(width() - side - 2, 2, side, side);
  setTextMargins(0, 0, side + 2, 0);
}

void DigitsEdit::keyPressEvent(QKeyEvent* event) {
  const QString typed = event->text();
  const bool command = event->modifiers() & (Qt::ControlModifier | Qt::AltModifier | Qt::MetaModifier);
  if (!command && !typed.isEmpty() && typed.at(0).isPrint()) {
    for (const QChar c : typed) {
      if (c < u'0' || c > u'9') {
        event->accept();
        return;
      }
    }
  }
  QLineEdit::keyPressEvent(event);
}
