#pragma once

#include <QByteArray>
#include <QJsonObject>
#include <QProcess>
#include <QString>
#include <QTemporaryDir>

// A real SMTP server (aiosmtpd, tests/support/smtp_server.py) on 127.0.0.1
// in a child process, storing what it accepts in a temporary folder. The
// server ends when its standard input closes: stop(), the destructor, or
// the test process dying all end it.
class SmtpServerProcess
{
public:
    SmtpServerProcess();
    ~SmtpServerProcess();

    SmtpServerProcess(const SmtpServerProcess &) = delete;
    SmtpServerProcess &operator=(const SmtpServerProcess &) = delete;

    // Starts the server and waits (bounded) for its port; false on failure,
    // with errorText() saying why.
    bool start();
    void stop();

    quint16 port() const { return m_port; }
    QString errorText() const { return m_error; }

    // The number of messages stored so far.
    int messageCount() const;
    // Message n (from 1) as the server received it, after dot-unstuffing.
    QByteArray message(int n) const;
    // Its envelope: "helo", "mail_from", "rcpt_tos".
    QJsonObject envelope(int n) const;

private:
    QTemporaryDir m_store;
    QProcess m_process;
    quint16 m_port = 0;
    QString m_error;
};
