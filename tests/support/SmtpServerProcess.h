#pragma once

#include <QByteArray>
#include <QHash>
#include <QJsonObject>
#include <QProcess>
#include <QString>
#include <QTemporaryDir>

// Real SMTP servers (aiosmtpd, tests/support/smtp_server.py) on 127.0.0.1
// in one child process, storing what they accept in a temporary folder.
// The process ends when its standard input closes: stop(), the destructor,
// or the test process dying all end it.
class SmtpServerProcess
{
public:
    SmtpServerProcess();
    ~SmtpServerProcess();

    SmtpServerProcess(const SmtpServerProcess &) = delete;
    SmtpServerProcess &operator=(const SmtpServerProcess &) = delete;

    // The account the servers of start(modes) accept.
    static inline const QString User = QStringLiteral("zorvane@example.test");
    static inline const QString Password = QStringLiteral("s3cret p\u00e4ss");

    // Starts one plain server (on `port`, or any free one) and waits
    // (bounded) for its port; false on failure, with errorText() saying
    // why. Started again after stop() on the same port, it goes on
    // counting the messages.
    bool start(quint16 port = 0);
    // Starts one server per mode ("plain", "plain-auth", "starttls",
    // "starttls-login", "tls", "tls-wrong-name"; see smtp_server.py).
    bool start(const QStringList &modes);
    void stop();

    quint16 port() const { return m_port; }
    quint16 port(const QString &mode) const { return m_ports.value(mode); }
    // The throw-away CA that signed the TLS modes' certificates.
    QString caFile() const { return m_store.filePath(QStringLiteral("certs/ca.pem")); }
    // The AUTH commands a mode's server has received.
    int authCommands(const QString &mode) const;
    QString errorText() const { return m_error; }

    // The number of messages stored so far.
    int messageCount() const;
    // Message n (from 1) as the server received it, after dot-unstuffing.
    QByteArray message(int n) const;
    // Its envelope: "helo", "mail_from", "rcpt_tos".
    QJsonObject envelope(int n) const;

private:
    bool launch(const QStringList &args, bool bModes);

    QTemporaryDir m_store;
    QHash<QString, quint16> m_ports;
    QProcess m_process;
    quint16 m_port = 0;
    QString m_error;
};
