#pragma once

#include <QByteArray>
#include <QHash>
#include <QObject>
#include <QPointer>
#include <QStringList>
#include <QTcpServer>

class QTcpSocket;

// An SMTP peer on 127.0.0.1 that answers from a script, for what a real
// server will not do: odd replies, replies in pieces with a pause between
// them, silence, closing or resetting the connection without a word, a peer
// that stops listening. One client at a time.
//
// Each command (HELO, EHLO, STARTTLS, MAIL, RCPT, DATA, QUIT, and "." for
// the end of the message data) gets its scripted reply, or a plain success
// reply when the script names none (EHLO offers STARTTLS; no TLS follows). An empty reply means silence. The test can also send
// bytes or close the connection itself at any time.
class ScriptedSmtpServer : public QObject
{
    Q_OBJECT

public:
    struct Reply
    {
        QByteArray bytes = {};    // sent as one write; empty: say nothing
        bool bCloseAfter = false; // close the connection after sending
        QByteArray afterPause = {}; // sent PauseMs after bytes, unless empty
        bool bResetAfter = false; // reset the connection (RST) after sending
        bool bDeafAfter = false;  // ignore everything the client sends later
    };

    // The pause inside a reply sent in two pieces: long enough that the
    // client has read the first piece before the second comes.
    static constexpr int PauseMs = 150;

    explicit ScriptedSmtpServer(QObject *parent = nullptr);

    bool listen();
    quint16 port() const { return m_server.serverPort(); }

    // The greeting sent when a client connects (default "220 ...").
    void setGreeting(const Reply &reply) { m_greeting = reply; }
    // The reply to a command verb, or "." for the end of message data.
    void setReply(const QString &verb, const Reply &reply) { m_replies.insert(verb, reply); }

    // Sends bytes to the connected client now.
    void send(const QByteArray &bytes);
    // Closes the client's connection from this side.
    void closeClient();
    // Resets it: the client sees ECONNRESET, not an orderly close.
    void resetClient();

    // Every byte received from the client, in order.
    QByteArray received() const { return m_received; }
    // The command lines received (without CR LF), message data excluded.
    QStringList commands() const { return m_commands; }
    // The bytes of the DATA phase: from after "DATA" CR LF up to and
    // including the terminating CR LF "." CR LF.
    QByteArray messageData() const { return m_data; }
    int connectionCount() const { return m_connections; }
    // Commands that arrived while a reply was still being sent: a client
    // that answers a reply it has not yet read whole.
    int earlyCommands() const { return m_earlyCommands; }

Q_SIGNALS:
    void clientConnected();
    void commandReceived(const QString &verb);
    void messageReceived();
    void clientDisconnected();

private:
    void onNewConnection();
    void onReadyRead();
    void reply(const QString &verb, const QByteArray &defaultReply);
    void play(const Reply &reply);
    void finish(const Reply &reply);

    QTcpServer m_server;
    QPointer<QTcpSocket> m_client;
    Reply m_greeting{QByteArrayLiteral("220 scripted.test ready\r\n")};
    QHash<QString, Reply> m_replies;
    QByteArray m_pending;
    QByteArray m_received;
    QStringList m_commands;
    QByteArray m_data;
    bool m_bInData = false;
    bool m_bDeaf = false;
    bool m_bReplying = false;
    int m_connections = 0;
    int m_earlyCommands = 0;
};
