#include "ProgramFolder.h"

#include <QCoreApplication>
#include <QDir>

namespace {
QString &overridden()
{
    static QString folder;
    return folder;
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
