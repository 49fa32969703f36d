#pragma once

#include <QString>

// The folder the program was started from, without a trailing separator:
// the brand file and the list files are looked for there. Tests and tools
// point it elsewhere.
namespace ProgramFolder {

QString path();
void setPath(const QString &folder); // an empty text restores the default

// A read-only file that ships with the program (the help page, the brand
// file): beside the program when it is there, as in the build tree or an
// unpacked copy; else in the installed data folder, found from the program's
// folder (<prefix>/bin -> <prefix>/share/zorvane), so an installation works
// from whatever prefix it was put under. When neither exists the path beside
// the program is returned, so callers that test for the file find nothing.
QString dataFile(const QString &name);

// The installed data folder that dataFile() falls back to.
QString installedDataFolder();

} // namespace ProgramFolder
