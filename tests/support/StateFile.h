// The state files the demos of the X-window tests write for their scripts.
#pragma once

#include <QFile>
#include <QString>

// Whole or not at all: the script reads the file while the demo rewrites it.
inline void WriteStateFile(const QString& path, const QString& text) {
  QFile file(path + QStringLiteral(".new"));
  if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate)) return;
  file.write(text.toUtf8());
  file.close();
  QFile::remove(path);
  QFile::rename(path + QStringLiteral(".new"), path);
}
