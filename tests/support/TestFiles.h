#pragma once

#include <QByteArray>
#include <QString>

// Small file helpers for tests that work on real files in a temporary folder.
namespace TestFiles {

QByteArray read(const QString &path);
void write(const QString &path, const QByteArray &bytes);

} // namespace TestFiles
