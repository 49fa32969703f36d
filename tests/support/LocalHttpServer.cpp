#include "LocalHttpServer.h"

#include <QFile>
#include <QSslKey>
#include <QSslServer>
#include <QTcpSocket>
#include <QTimer>

// Bodies go out in pieces as the socket drains, so that even a huge one is
// never held in memory.
static constexpr qint64 PieceBytes = 64 * 1024;

LocalHttpServer::LocalHttpServer(const QString &certificateFile, const QString &keyFile)
{
    m_server.reset(certificateFile.isEmpty() ? new QTcpServer : new QSslServer);
    if (auto *secure = qobject_cast<QSslServer *>(m_server.get())) {
        QFile key(keyFile);
        key.open(QIODevice::ReadOnly);
        QSslConfiguration tls = QSslConfiguration::defaultConfiguration();
        tls.setLocalCertificate(QSslCertificate::fromPath(certificateFile).value(0));
        tls.setPrivateKey(QSslKey(&key, QSsl::Ec));
        secure->setSslConfiguration(tls);
    }
    // An https client is taken on once its handshake is done.
    connect(m_server.get(), &QTcpServer::pendingConnectionAvailable, this, [this] {
        while (QTcpSocket *socket = m_server->nextPendingConnection()) {
            m_open.insert(socket, {});
            ++m_accepted;
            connect(socket, &QTcpSocket::readyRead, this, [this, socket] { onReadyRead(socket); });
            connect(socket, &QTcpSocket::bytesWritten, this, [this, socket] { feed(socket, false); });
            connect(socket, &QTcpSocket::disconnected, this,
                    [this, socket] { m_open.remove(socket), socket->disconnect(this), socket->deleteLater(); });
        }
    });
    m_server->listen(QHostAddress::LocalHost, 0);
}

QString LocalHttpServer::url(const QString &path) const
{
    return (qobject_cast<QSslServer *>(m_server.get()) ? "https" : "http") + QStringLiteral("://127.0.0.1:%1").arg(port()) + path;
}

void LocalHttpServer::onReadyRead(QTcpSocket *socket)
{
    QByteArray &request = m_open[socket].request;
    const bool answered = request.contains("\r\n\r\n"); // one response at a time
    request += socket->readAll();
    if (answered || !request.contains("\r\n\r\n"))
        return;
    const int answeredBefore = m_open[socket].answered;
    if (m_answersPerConnection > 0 && answeredBefore == m_answersPerConnection)
        return socket->abort();
    const QString path = QString::fromLatin1(request.left(request.indexOf("\r\n")).split(' ').value(1));
    m_requestedPaths.append(path);
    Q_EMIT requestReceived(path);
    // The signal's receivers may have changed the routes, or closed the socket.
    const Response response = m_routes.value(path, page("Not found", 404));
    if (!m_open.contains(socket) || response.kind == Kind::Stall)
        return;
    QByteArray head = "HTTP/1.1 " + QByteArray::number(response.status) + " Status\r\n";
    for (const auto &[name, value] : response.headers)
        head += name + ": " + value + "\r\n";
    if (response.sendContentLength)
        head += "Content-Length: " + QByteArray::number(response.size()) + "\r\n";
    socket->write(head + (m_answersPerConnection > 0 ? "\r\n" : "Connection: close\r\n\r\n"));
    m_open[socket] = Exchange{response, request, 0, answeredBefore};
    if (response.kind != Kind::Drip)
        return feed(socket, false);
    auto *timer = new QTimer(socket);
    connect(timer, &QTimer::timeout, this, [this, socket] { feed(socket, true); });
    timer->start(20);
}

void LocalHttpServer::feed(QTcpSocket *socket, bool tick)
{
    const auto exchange = m_open.find(socket);
    if (exchange == m_open.end() || exchange->sent < 0)
        return;
    const bool drip = exchange->kind == Kind::Drip;
    const qint64 end = exchange->kind == Kind::ResetMidBody ? exchange->bytesBeforeReset : exchange->size();
    while (exchange->sent < end && socket->bytesToWrite() < 4 * PieceBytes && (tick || !drip)) {
        const qint64 size = qMin(end - exchange->sent, drip ? 1 : PieceBytes);
        socket->write(exchange->kind == Kind::Generated ? QByteArray(size, 'x') : exchange->body.mid(exchange->sent, size));
        exchange->sent += size;
        tick = false;
    }
    if (exchange->sent == end && exchange->kind != Kind::ResetMidBody && m_answersPerConnection > 0) {
        const int answered = exchange->answered + 1;
        *exchange = {};
        exchange->answered = answered; // ready for the next request
    } else if (exchange->sent == end && exchange->kind != Kind::ResetMidBody) {
        socket->disconnectFromHost();
    }
    else if (exchange->sent == end && socket->bytesToWrite() == 0)
        socket->abort();
}
