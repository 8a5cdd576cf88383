#include "ui/BrowseEdit.h"

#include <QFileDialog>
#include <QFileInfo>
#include <QKeyEvent>
#include <QToolButton>

BrowseEdit::BrowseEdit(Mode mode, QWidget* parent) : QLineEdit(parent), button_(new QToolButton(this)) {
  button_->setText(QStringLiteral("..."));
  button_->setCursor(Qt::ArrowCursor);
  button_->setFocusPolicy(Qt::NoFocus);  // part of the edit, not a tab stop of its own
  choose = [this, mode](const QString& current) {
    if (mode == Mode::Folder) return QFileDialog::getExistingDirectory(window(), QString(), current);
    return QFileDialog::getOpenFileName(window(), QString(), QFileInfo(current).path());
  };
  connect(button_, &QToolButton::clicked, this, &BrowseEdit::Browse);
}

void BrowseEdit::Browse() {
  if (!choose) return;
  const QString path = choose(text());
  if (path.isEmpty()) return;
  setText(path);
  emit pathChosen(path);
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
