#include "ProgramFolder.h"

#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>

// The data folder relative to the program's folder; the build sets it from
// the install layout.
#ifndef ZORVANE_DATA_FROM_PROGRAM
#define ZORVANE_DATA_FROM_PROGRAM "../share/zorvane"
#endif

namespace {
QString &overridden()
{
    static QString folder;
    return folder;
}

bool exists(const QString &path)
{
    // Anything but a folder counts: the callers decide what they can read.
    const QFileInfo info(path);
    return info.exists() && !info.isDir();
}
} // namespace

QString ProgramFolder::path()
{
    if (!overridden().isEmpty())
        return overridden();
    if (QCoreApplication::instance())
        return QCoreApplication::applicationDirPath();
    return QDir::currentPath();
}

void ProgramFolder::setPath(const QString &folder)
{
    QString cleaned = folder;
    while (cleaned.size() > 1 && (cleaned.endsWith(u'/') || cleaned.endsWith(u'\\')))
        cleaned.chop(1);
    overridden() = cleaned;
}

QString ProgramFolder::installedDataFolder()
{
    return QDir::cleanPath(path() + u'/' + QStringLiteral(ZORVANE_DATA_FROM_PROGRAM));
}

QString ProgramFolder::dataFile(const QString &name)
{
    const QString beside = path() + u'/' + name;
    if (exists(beside))
        return beside;
    const QString installed = installedDataFolder() + u'/' + name;
    if (exists(installed))
        return installed;
    return beside;
}
