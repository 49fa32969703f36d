#pragma once

#include <QHash>
#include <QPointer>
#include <QStringList>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTimer>

#include <sys/socket.h>

// An SMTP peer on 127.0.0.1 that answers from a script, for what a real
// server will not do: odd replies, silence, closing or resetting the connection without a word, a peer
// that stops listening. One client at a time.
//
// Each command (HELO, EHLO, STARTTLS, MAIL, RCPT, DATA, QUIT, and "." for
// the end of the message data) gets its scripted reply, or a plain success
// reply when the script names none (EHLO offers STARTTLS; no TLS follows).
// An empty reply means silence.
class ScriptedSmtpServer : public QObject
{
    Q_OBJECT

public:
    struct Reply
    {
        QByteArray bytes = {};    // sent as one write; empty: say nothing
        bool bCloseAfter = false; // close the connection after sending
        bool bResetAfter = false; // reset the connection (RST) after sending
        bool bDeafAfter = false;  // ignore everything the client sends later
    };

    bool listen()
    {
        connect(&m_server, &QTcpServer::newConnection, this, &ScriptedSmtpServer::onNewConnection, Qt::UniqueConnection);
        return m_server.listen(QHostAddress::LocalHost, 0);
    }
    quint16 port() const { return m_server.serverPort(); }

    // The greeting sent when a client connects (default "220 ...").
    void setGreeting(const Reply &reply) { m_greeting = reply; }
    // The reply to a command verb, or "." for the end of message data.
    void setReply(const QString &verb, const Reply &reply) { m_replies.insert(verb, reply); }

    // The command lines received (without CR LF), message data excluded.
    QStringList commands() const { return m_commands; }
    // The bytes of the last DATA phase: from after "DATA" CR LF up to and
    // including the terminating CR LF "." CR LF.
    QByteArray messageData() const { return m_data; }

Q_SIGNALS:
    void messageReceived();

private:
    void onNewConnection()
    {
        while (QTcpSocket *socket = m_server.nextPendingConnection()) {
            if (m_client)
                m_client->abort();
            m_client = socket;
            m_pending.clear();
            m_bInData = m_bDeaf = false;
            connect(socket, &QTcpSocket::readyRead, this, [this, socket] { onReadyRead(socket); });
            play(m_greeting);
        }
    }

    void onReadyRead(QTcpSocket *socket)
    {
        if (socket != m_client || m_bDeaf)
            return;
        static const QHash<QString, QByteArray> Defaults{
            {QStringLiteral("EHLO"), "250-scripted.test\r\n250 STARTTLS\r\n"}, {QStringLiteral("STARTTLS"), "220 go ahead\r\n"},
            {QStringLiteral("HELO"), "250 OK\r\n"}, {QStringLiteral("MAIL"), "250 OK\r\n"}, {QStringLiteral("RCPT"), "250 OK\r\n"},
            {QStringLiteral("DATA"), "354 go ahead\r\n"}, {QStringLiteral("QUIT"), "221 bye\r\n"}, {QStringLiteral("."), "250 2.0.0 queued\r\n"}};
        m_pending += socket->readAll();
        while (m_client && !m_bDeaf) {
            QString verb = QStringLiteral(".");
            // The message ends at CR LF "." CR LF; the data phase begins at
            // a line start (just after the DATA line's CR LF).
            const qsizetype end = m_bInData ? ("\r\n" + m_pending).indexOf("\r\n.\r\n") + 3 : m_pending.indexOf("\r\n");
            if (end < (m_bInData ? 3 : 0))
                return;
            if (m_bInData) {
                m_data = m_pending.left(end);
                Q_EMIT messageReceived();
            } else {
                m_commands << QString::fromLatin1(m_pending.left(end));
                verb = m_commands.last().section(u' ', 0, 0).section(u':', 0, 0).toUpper();
            }
            m_pending.remove(0, m_bInData ? end : end + 2);
            const Reply reply = m_replies.value(verb, Reply{Defaults.value(verb, "500 unknown\r\n")});
            m_bInData = verb == QLatin1String("DATA") && reply.bytes.startsWith("354");
            play(reply);
        }
    }

    void play(const Reply &reply)
    {
        m_client->write(reply.bytes);
        m_bDeaf = reply.bDeafAfter;
        m_client->flush();
        if (reply.bResetAfter) {
            // Closing with a zero linger time sends RST instead of FIN.
            const linger immediately{1, 0};
            ::setsockopt(int(m_client->socketDescriptor()), SOL_SOCKET, SO_LINGER, &immediately, sizeof immediately);
            m_client->abort();
        } else if (reply.bCloseAfter) {
            m_client->disconnectFromHost();
        }
    }

    QTcpServer m_server;
    QPointer<QTcpSocket> m_client;
    Reply m_greeting{QByteArrayLiteral("220 scripted.test ready\r\n")};
    QHash<QString, Reply> m_replies;
    QByteArray m_pending;
    QStringList m_commands;
    QByteArray m_data;
    bool m_bInData = false, m_bDeaf = false;
};
