#pragma once

#include <QByteArray>
#include <QList>
#include <QObject>
#include <QString>
#include <QStringList>
#include <QTcpServer>

#include <chrono>

// One message as the catcher received it.
struct CaughtMessage
{
    int number = 0;
    QString filePath;            // where its .eml file was written
    QByteArray sender;           // envelope sender, without angle brackets
    QList<QByteArray> recipients;
    QByteArray data;             // the message bytes, dot-unstuffed, as written to the file

    // The message for a person to read: envelope, subject and body, one text
    // per line, with control characters shown as "?". A body longer than
    // maxBodyLines is cut there, with a line saying how much more the file has.
    QStringList describe(int maxBodyLines = 200) const;
};

// An SMTP server on 127.0.0.1 that accepts every message (no checks, no
// relaying) and keeps each one as a numbered .eml file in its folder:
// 0001.eml, 0002.eml, ... It answers HELO/EHLO, MAIL, RCPT, DATA, RSET,
// NOOP, VRFY and QUIT; every reply is a single line. A command or message
// line longer than the line limit, or a message larger than the message
// limit, is refused with 552 and the session is closed; so is a session
// that stays silent past the idle time-out (421).
class MailCatcher : public QObject
{
    Q_OBJECT

public:
    struct Limits
    {
        qsizetype lineBytes = 4096;                 // without the CR LF
        qsizetype messageBytes = 4 * 1024 * 1024;
        std::chrono::milliseconds idle{5 * 60 * 1000};
    };

    explicit MailCatcher(QString folder, QObject *parent = nullptr);

    // Creates the folder when it is missing and numbers new files after the
    // highest NNNN.eml already in it, so an earlier run's mail is never
    // overwritten. False, with errorString(), when the folder cannot be used.
    bool prepareFolder();

    bool listen(quint16 port);
    quint16 port() const { return m_server.serverPort(); }
    QString errorString() const { return m_error; }
    QString folder() const { return m_folder; }
    void close() { m_server.close(); }

    void setLimits(const Limits &limits) { m_limits = limits; }
    const Limits &limits() const { return m_limits; }

Q_SIGNALS:
    void messageCaught(const CaughtMessage &message);
    // A message was received but could not be written; the client was told.
    void storeFailed(const QString &reason);

private:
    friend class SmtpSession;
    void onNewConnection();
    // Writes the message to the next free numbered file; false on failure.
    bool store(CaughtMessage &message, QString *reason);

    QTcpServer m_server;
    QString m_folder;
    QString m_error;
    int m_nextNumber = 1;
    Limits m_limits;
};
