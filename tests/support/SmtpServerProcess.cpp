#include "SmtpServerProcess.h"

#include <QDeadlineTimer>
#include <QDir>
#include <QFile>
#include <QJsonDocument>
#include <QSignalSpy>

SmtpServerProcess::SmtpServerProcess() = default;

SmtpServerProcess::~SmtpServerProcess()
{
    stop();
}

bool SmtpServerProcess::start()
{
    if (!m_store.isValid()) {
        m_error = QStringLiteral("no temporary folder");
        return false;
    }
    m_process.setProgram(QStringLiteral("/usr/bin/python3"));
    m_process.setArguments({QStringLiteral(ZORVANE_SMTP_SERVER_SCRIPT), m_store.path()});
    m_process.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    QSignalSpy started(&m_process, &QProcess::started);
    QSignalSpy output(&m_process, &QProcess::readyReadStandardOutput);
    QSignalSpy finished(&m_process, &QProcess::finished);
    m_process.start();

    // The first line of output is the port; aiosmtpd takes a moment to start.
    const QDeadlineTimer deadline(20000);
    while (!m_process.canReadLine()) {
        if (finished.count() > 0 || m_process.state() == QProcess::NotRunning) {
            m_error = QStringLiteral("smtp_server.py did not start: ") + m_process.errorString();
            return false;
        }
        if (deadline.hasExpired()) {
            m_error = QStringLiteral("smtp_server.py gave no port in time");
            stop();
            return false;
        }
        output.wait(int(qMax<qint64>(1, qMin<qint64>(deadline.remainingTime(), 500))));
    }
    bool ok = false;
    m_port = quint16(m_process.readLine().trimmed().toUInt(&ok));
    if (!ok || m_port == 0) {
        m_error = QStringLiteral("smtp_server.py gave no valid port");
        stop();
        return false;
    }
    return true;
}

void SmtpServerProcess::stop()
{
    if (m_process.state() == QProcess::NotRunning)
        return;
    QSignalSpy finished(&m_process, &QProcess::finished);
    m_process.closeWriteChannel();
    if (finished.count() == 0 && !finished.wait(10000)) {
        m_process.kill();
        m_process.waitForFinished(5000);
    }
}

int SmtpServerProcess::messageCount() const
{
    return int(QDir(m_store.path()).entryList({QStringLiteral("*.json")}, QDir::Files).size());
}

QByteArray SmtpServerProcess::message(int n) const
{
    QFile file(m_store.filePath(QString::number(n) + QStringLiteral(".eml")));
    if (!file.open(QIODevice::ReadOnly))
        return {};
    return file.readAll();
}

QJsonObject SmtpServerProcess::envelope(int n) const
{
    QFile file(m_store.filePath(QString::number(n) + QStringLiteral(".json")));
    if (!file.open(QIODevice::ReadOnly))
        return {};
    return QJsonDocument::fromJson(file.readAll()).object();
}
