#pragma once

#include <QDeadlineTimer>
#include <QDir>
#include <QFile>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QSignalSpy>
#include <QTemporaryDir>

// Real SMTP servers (aiosmtpd, tests/support/smtp_server.py) on 127.0.0.1
// in one child process, storing what they accept in a temporary folder.
// The process ends when its standard input closes: stop(), the destructor,
// or the test process dying all end it.
class SmtpServerProcess
{
public:
    ~SmtpServerProcess() { stop(); }

    // The account the servers of start(modes) accept.
    static inline const QString User = QStringLiteral("zorvane@example.test");
    static inline const QString Password = QStringLiteral("s3cret p\u00e4ss");

    // Starts one server per mode ("plain", "starttls", "starttls-login",
    // "tls", "tls-wrong-name"; see smtp_server.py) and waits (bounded) for
    // their ports; false on failure, with errorText() saying why.
    bool start(const QStringList &modes) { return launch({QStringLiteral("--listen"), modes.join(u','), QStringLiteral("--user"), User, QStringLiteral("--password"), Password}); }

    void stop()
    {
        if (m_process.state() == QProcess::NotRunning)
            return;
        QSignalSpy finished(&m_process, &QProcess::finished);
        m_process.closeWriteChannel();
        if (!finished.wait(10000)) {
            m_process.kill();
            m_process.waitForFinished(5000);
        }
    }

    quint16 port(const QString &mode) const { return m_ports.value(mode); }
    // The throw-away CA that signed the TLS modes' certificates.
    QString caFile() const { return m_store.filePath(QStringLiteral("certs/ca.pem")); }
    QString errorText() const { return m_error; }

    // The number of messages stored so far.
    int messageCount() const { return int(QDir(m_store.path()).entryList({QStringLiteral("*.json")}, QDir::Files).size()); }
    // Message n (from 1) as the server received it, after dot-unstuffing.
    QByteArray message(int n) const { return contents(QString::number(n) + QStringLiteral(".eml")); }
    // Its envelope: "helo", "mail_from", "rcpt_tos", "user", "tls".
    QJsonObject envelope(int n) const { return QJsonDocument::fromJson(contents(QString::number(n) + QStringLiteral(".json"))).object(); }

private:
    static QString script(); // the path of smtp_server.py

    bool launch(const QStringList &args)
    {
        m_process.setProcessChannelMode(QProcess::ForwardedErrorChannel);
        QSignalSpy output(&m_process, &QProcess::readyReadStandardOutput);
        m_process.start(QStringLiteral("/usr/bin/python3"), QStringList{script(), m_store.path()} + args);
        // One "MODE PORT" line per server, then "ready"; aiosmtpd and
        // openssl take a moment.
        for (const QDeadlineTimer deadline(30000); !deadline.hasExpired() && m_process.state() != QProcess::NotRunning;) {
            if (!m_process.canReadLine()) {
                output.wait(500);
                continue;
            }
            const QList<QByteArray> words = m_process.readLine().trimmed().split(' ');
            if (words.value(0) == "ready")
                return true;
            m_ports.insert(QString::fromUtf8(words.value(0)), quint16(words.value(1).toUInt()));
        }
        m_error = QStringLiteral("smtp_server.py did not start: ") + m_process.errorString();
        stop();
        return false;
    }

    QByteArray contents(const QString &name) const
    {
        QFile file(m_store.filePath(name));
        return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
    }

    QTemporaryDir m_store;
    QHash<QString, quint16> m_ports;
    QProcess m_process;
    QString m_error;
};
