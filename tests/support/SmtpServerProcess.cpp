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

bool SmtpServerProcess::start(quint16 port)
{
    return launch(port ? QStringList{QString::number(port)} : QStringList{}, false);
}

bool SmtpServerProcess::start(const QStringList &modes)
{
    return launch({QStringLiteral("--listen"), modes.join(u','), QStringLiteral("--user"), User,
                   QStringLiteral("--password"), Password},
                  true);
}

bool SmtpServerProcess::launch(const QStringList &args, bool bModes)
{
    if (!m_store.isValid()) {
        m_error = QStringLiteral("no temporary folder");
        return false;
    }
    m_process.setProgram(QStringLiteral("/usr/bin/python3"));
    m_process.setArguments(QStringList{QStringLiteral(ZORVANE_SMTP_SERVER_SCRIPT), m_store.path()} + args);
    m_process.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    QSignalSpy output(&m_process, &QProcess::readyReadStandardOutput);
    QSignalSpy finished(&m_process, &QProcess::finished);
    m_process.start();

    // One line per server, then "ready" (a plain server: its port alone);
    // aiosmtpd and openssl take a moment.
    const QDeadlineTimer deadline(30000);
    for (;;) {
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
        const QList<QByteArray> words = m_process.readLine().trimmed().split(' ');
        if (bModes && words.value(0) == "ready")
            return true;
        bool ok = false;
        const quint16 port = quint16(words.last().toUInt(&ok));
        if (!ok || port == 0) {
            m_error = QStringLiteral("smtp_server.py gave no valid port");
            stop();
            return false;
        }
        m_ports.insert(QString::fromUtf8(words.first()), port);
        m_port = port;
        if (!bModes)
            return true;
    }
}

int SmtpServerProcess::authCommands(const QString &mode) const
{
    QFile file(m_store.filePath(QStringLiteral("auth.log")));
    if (!file.open(QIODevice::ReadOnly))
        return 0;
    int count = 0;
    for (const QByteArray &line : file.readAll().split('\n'))
        count += line.startsWith(mode.toUtf8() + ' ') ? 1 : 0;
    return count;
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
