#include "ScriptedSmtpServer.h"

#include <QHostAddress>
#include <QTcpSocket>
#include <QTimer>

#include <sys/socket.h>

ScriptedSmtpServer::ScriptedSmtpServer(QObject *parent)
    : QObject(parent)
{
    connect(&m_server, &QTcpServer::newConnection, this, &ScriptedSmtpServer::onNewConnection);
}

bool ScriptedSmtpServer::listen()
{
    return m_server.listen(QHostAddress::LocalHost, 0);
}

void ScriptedSmtpServer::send(const QByteArray &bytes)
{
    if (m_client) {
        m_client->write(bytes);
        m_client->flush();
    }
}

void ScriptedSmtpServer::closeClient()
{
    if (m_client) {
        m_client->flush();
        m_client->disconnectFromHost();
    }
}

void ScriptedSmtpServer::resetClient()
{
    if (!m_client)
        return;
    // Closing with a zero linger time sends RST instead of FIN.
    const linger immediately{1, 0};
    ::setsockopt(int(m_client->socketDescriptor()), SOL_SOCKET, SO_LINGER, &immediately,
                 sizeof immediately);
    m_client->abort();
}

void ScriptedSmtpServer::onNewConnection()
{
    while (QTcpSocket *socket = m_server.nextPendingConnection()) {
        if (m_client) {
            m_client->abort();
            m_client->deleteLater();
        }
        m_client = socket;
        ++m_connections;
        m_pending.clear();
        m_bInData = false;
        m_bDeaf = false;
        m_bReplying = false;
        connect(socket, &QTcpSocket::readyRead, this, &ScriptedSmtpServer::onReadyRead);
        connect(socket, &QTcpSocket::disconnected, this, &ScriptedSmtpServer::clientDisconnected);
        Q_EMIT clientConnected();
        play(m_greeting);
    }
}

void ScriptedSmtpServer::onReadyRead()
{
    auto *socket = qobject_cast<QTcpSocket *>(sender());
    if (!socket || socket != m_client)
        return;
    const QByteArray bytes = socket->readAll();
    if (m_bDeaf)
        return;
    m_received += bytes;
    m_pending += bytes;
    for (;;) {
        if (m_bInData) {
            // The message ends at CR LF "." CR LF; the data phase begins at
            // a line start (just after the DATA line's CR LF).
            const qsizetype found = (QByteArrayLiteral("\r\n") + m_pending).indexOf("\r\n.\r\n");
            if (found < 0)
                return;
            const qsizetype end = found + 3;
            m_data = m_pending.left(end);
            m_pending.remove(0, end);
            m_bInData = false;
            Q_EMIT messageReceived();
            reply(QStringLiteral("."), QByteArrayLiteral("250 2.0.0 queued\r\n"));
            continue;
        }
        const qsizetype eol = m_pending.indexOf("\r\n");
        if (eol < 0)
            return;
        const QString line = QString::fromLatin1(m_pending.left(eol));
        m_pending.remove(0, eol + 2);
        m_commands << line;
        if (m_bReplying)
            ++m_earlyCommands;
        QString verb = line.section(u' ', 0, 0).section(u':', 0, 0).toUpper();
        Q_EMIT commandReceived(verb);
        if (verb == QLatin1String("EHLO")) {
            reply(verb, QByteArrayLiteral("250-scripted.test\r\n250 STARTTLS\r\n"));
        } else if (verb == QLatin1String("STARTTLS")) {
            reply(verb, QByteArrayLiteral("220 go ahead\r\n"));
        } else if (verb == QLatin1String("HELO") || verb == QLatin1String("MAIL")
            || verb == QLatin1String("RCPT")) {
            reply(verb, QByteArrayLiteral("250 OK\r\n"));
        } else if (verb == QLatin1String("DATA")) {
            const Reply scripted = m_replies.value(verb, Reply{QByteArrayLiteral("354 go ahead\r\n")});
            m_bInData = scripted.bytes.startsWith("354");
            reply(verb, QByteArrayLiteral("354 go ahead\r\n"));
        } else if (verb == QLatin1String("QUIT")) {
            reply(verb, QByteArrayLiteral("221 bye\r\n"));
        } else {
            reply(verb, QByteArrayLiteral("500 unknown\r\n"));
        }
        if (!m_client || m_bDeaf)
            return;
    }
}

void ScriptedSmtpServer::reply(const QString &verb, const QByteArray &defaultReply)
{
    play(m_replies.value(verb, Reply{defaultReply}));
}

void ScriptedSmtpServer::play(const Reply &reply)
{
    if (!reply.bytes.isEmpty())
        send(reply.bytes);
    m_bDeaf = reply.bDeafAfter;
    if (reply.afterPause.isEmpty())
        return finish(reply);
    m_bReplying = true;
    QTimer::singleShot(PauseMs, this, [this, client = m_client, reply] {
        if (client != m_client)
            return;
        m_bReplying = false;
        send(reply.afterPause);
        finish(reply);
    });
}

void ScriptedSmtpServer::finish(const Reply &reply)
{
    if (reply.bResetAfter)
        resetClient();
    else if (reply.bCloseAfter)
        closeClient();
}
