#include "ListFolder.h"

#include "base/ProgramFolder.h"

#include <QDir>
#include <QFileInfo>
#include <QStandardPaths>

QString ListFolder::path()
{
    const QString programFolder = ProgramFolder::path();
    const QFileInfo info(programFolder);
    if (info.isDir() && info.isWritable())
        return programFolder;

    const QString dataFolder = QStandardPaths::writableLocation(QStandardPaths::AppDataLocation);
    QDir().mkpath(dataFolder);
    return dataFolder;
}

QString ListFolder::readFolder(const QString &fileName)
{
    const QString writeFolder = path();
    const QString programFolder = ProgramFolder::path();
    if (writeFolder != programFolder && !QFileInfo::exists(writeFolder + fileName)
        && QFileInfo::exists(programFolder + fileName))
        return programFolder;
    return writeFolder;
}
