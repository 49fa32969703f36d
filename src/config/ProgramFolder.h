#pragma once

#include <QString>

// The folder the program was started from, without a trailing separator:
// the brand file and the list files are looked for there. Tests and tools
// point it elsewhere.
namespace ProgramFolder {

QString path();
void setPath(const QString &folder); // an empty text restores the default

} // namespace ProgramFolder
