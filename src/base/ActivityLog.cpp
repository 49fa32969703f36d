#include "ActivityLog.h"

#include "base/Version.h"

#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QMutex>
#include <QRegularExpression>
#include <QStandardPaths>

#include <cstring>

Q_LOGGING_CATEGORY(lcActivity, "zorvane.activity", QtInfoMsg)

namespace {

QMutex mutex;
QString logPath;
QtMessageHandler previousHandler = nullptr;
bool installed = false;

void rotate()
{
    QFile::remove(logPath + QStringLiteral(".2"));
    QFile::rename(logPath + QStringLiteral(".1"), logPath + QStringLiteral(".2"));
    QFile::rename(logPath, logPath + QStringLiteral(".1"));
}

// Opened and closed for every line: a user may move or delete the file at
// any time, and the window and the headless program may both be writing.
void append(const QString &message)
{
    static const QRegularExpression lineBreaks(QStringLiteral("\\s*[\\r\\n]+\\s*"));
    const QByteArray line = (QDateTime::currentDateTime().toString(QStringLiteral("yyyy-MM-dd HH:mm:ss  "))
                             + QString(message).replace(lineBreaks, QStringLiteral(" ")) + u'\n')
                                .toUtf8();
    const QMutexLocker lock(&mutex);
    const QFileInfo info(logPath);
    if (info.exists() && info.size() + line.size() > ActivityLog::RotateBytes)
        rotate();
    QFile file(logPath);
    if (file.open(QIODevice::WriteOnly | QIODevice::Append))
        file.write(line);
}

void handler(QtMsgType type, const QMessageLogContext &context, const QString &message)
{
    if (context.category && std::strcmp(context.category, lcActivity().categoryName()) == 0)
        append(message);
    else if (previousHandler)
        previousHandler(type, context, message);
}

} // namespace

void ActivityLog::install(const QString &folder)
{
    uninstall();
    const QString target = folder.isEmpty() ? QStandardPaths::writableLocation(QStandardPaths::AppDataLocation)
                                            : folder;
    QDir().mkpath(target);
    {
        const QMutexLocker lock(&mutex);
        logPath = QDir(target).filePath(QStringLiteral("zorvane.log"));
    }
    previousHandler = qInstallMessageHandler(handler);
    installed = true;
    qCInfo(lcActivity).noquote() << QStringLiteral("Zorvane %1 started").arg(Version::full());
}

void ActivityLog::uninstall()
{
    if (!installed)
        return;
    qInstallMessageHandler(previousHandler);
    previousHandler = nullptr;
    installed = false;
}

QString ActivityLog::path()
{
    const QMutexLocker lock(&mutex);
    if (!logPath.isEmpty())
        return logPath;
    return QDir(QStandardPaths::writableLocation(QStandardPaths::AppDataLocation)).filePath(QStringLiteral("zorvane.log"));
}
