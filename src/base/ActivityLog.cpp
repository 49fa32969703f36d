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
QFile logFile;
QtMessageHandler previousHandler = nullptr;
bool installed = false;

void rotate()
{
    logFile.close();
    QFile::remove(logPath + QStringLiteral(".2"));
    QFile::rename(logPath + QStringLiteral(".1"), logPath + QStringLiteral(".2"));
    QFile::rename(logPath, logPath + QStringLiteral(".1"));
}

// One line: its line breaks become blanks.
QString oneLine(const QString &message)
{
    QString line = message.trimmed();
    if (!line.contains(u'\n') && !line.contains(u'\r'))
        return line;
    static const QRegularExpression lineBreaks(QStringLiteral("\\s*[\\r\\n]+\\s*"));
    return line.replace(lineBreaks, QStringLiteral(" "));
}

// The file stays open between lines; a user may move or delete it at any
// time, so before every line it is looked for where it belongs and opened
// anew when it is not there. The window and the headless program may both
// be writing: every line is appended whole.
void append(const QString &message)
{
    const QByteArray line = (ActivityLog::timestamp() + QStringLiteral("  ") + oneLine(message) + u'\n').toUtf8();
    const QMutexLocker lock(&mutex);
    if (logFile.isOpen() && !QFile::exists(logPath))
        logFile.close();
    if (logFile.isOpen() && logFile.size() + line.size() > ActivityLog::RotateBytes)
        rotate();
    if (!logFile.isOpen()) {
        logFile.setFileName(logPath);
        if (QFileInfo(logPath).size() + line.size() > ActivityLog::RotateBytes)
            rotate();
        if (!logFile.open(QIODevice::WriteOnly | QIODevice::Append | QIODevice::Unbuffered))
            return;
    }
    logFile.write(line);
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
        logFile.close();
        logPath = QDir(target).filePath(QStringLiteral("zorvane.log"));
    }
    previousHandler = qInstallMessageHandler(handler);
    installed = true;
    qCInfo(lcActivity).noquote() << QStringLiteral("Zorvane %1 started").arg(Version::full());
}

QString ActivityLog::timestamp()
{
    // Formatting local time reads the time zone each time: once a second
    // is enough.
    static qint64 second = -1;
    static QString text;
    static QMutex guard;
    const QMutexLocker lock(&guard);
    const qint64 now = QDateTime::currentMSecsSinceEpoch() / 1000;
    if (now != second) {
        second = now;
        text = QDateTime::fromSecsSinceEpoch(now).toString(QStringLiteral("yyyy-MM-dd HH:mm:ss"));
    }
    return text;
}

void ActivityLog::uninstall()
{
    if (!installed)
        return;
    {
        const QMutexLocker lock(&mutex);
        logFile.close();
    }
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
