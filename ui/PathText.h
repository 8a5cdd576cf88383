#pragma once
// Paths between the dialog's text and the engine's byte strings: UTF-8, relative paths made absolute
// against the working directory.

#include <QDir>
#include <QString>
#include <string>

inline std::string EnginePath(const QString& text) {
  if (text.isEmpty()) return std::string();
  const QString absolute = QDir::isAbsolutePath(text) ? text : QDir::current().absoluteFilePath(text);
  return absolute.toUtf8().toStdString();
}

inline QString UiText(const std::string& bytes) { return QString::fromUtf8(bytes.data(), static_cast<qsizetype>(bytes.size())); }
