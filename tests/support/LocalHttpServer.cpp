#include "LocalHttpServer.h"

#include <QFile>
#include <QHostAddress>
#include <QSslConfiguration>
#include <QSslKey>
#include <QSslServer>
#include <QTcpSocket>
#include <QTimer>

#include <memory>

namespace {

// How much a generated body may have queued in the socket before the server
// waits for it to drain.
constexpr qint64 GeneratedQueueBytes = 256 * 1024;
constexpr qint64 GeneratedPieceBytes = 64 * 1024;

} // namespace

LocalHttpServer::Response LocalHttpServer::page(const QByteArray &body, int status)
{
    Response response;
    response.status = status;
    response.headers.append(qMakePair(QByteArray("Content-Type"), QByteArray("text/html; charset=ISO-8859-1")));
    response.body = body;
    return response;
}

LocalHttpServer::Response LocalHttpServer::stall()
{
    Response response;
    response.kind = Response::Kind::Stall;
    return response;
}

LocalHttpServer::Response LocalHttpServer::drip(const QByteArray &body, int bytesPerPiece,
                                                std::chrono::milliseconds interval)
{
    Response response = page(body);
    response.kind = Response::Kind::Drip;
    response.dripBytes = qMax(1, bytesPerPiece);
    response.dripInterval = interval;
    return response;
}

LocalHttpServer::Response LocalHttpServer::resetMidBody(const QByteArray &body, qint64 bytesBeforeReset)
{
    Response response = page(body);
    response.kind = Response::Kind::ResetMidBody;
    response.bytesBeforeReset = qBound<qint64>(0, bytesBeforeReset, body.size());
    return response;
}

LocalHttpServer::Response LocalHttpServer::redirect(const QByteArray &location, int status)
{
    Response response;
    response.status = status;
    response.headers.append(qMakePair(QByteArray("Location"), location));
    return response;
}

LocalHttpServer::Response LocalHttpServer::huge(qint64 size, bool announceLength)
{
    Response response;
    response.kind = Response::Kind::Generated;
    response.headers.append(qMakePair(QByteArray("Content-Type"), QByteArray("text/html; charset=ISO-8859-1")));
    response.generatedSize = size;
    response.sendContentLength = announceLength;
    return response;
}

LocalHttpServer::LocalHttpServer(QObject *parent)
    : QObject(parent)
    , m_server(std::make_unique<QTcpServer>())
{
    listen();
}

LocalHttpServer::LocalHttpServer(const QString &certificateFile, const QString &keyFile, QObject *parent)
    : QObject(parent)
{
    auto server = std::make_unique<QSslServer>();
    QSslConfiguration tls = QSslConfiguration::defaultConfiguration();
    QFile certificate(certificateFile);
    QFile key(keyFile);
    if (certificate.open(QIODevice::ReadOnly) && key.open(QIODevice::ReadOnly)) {
        tls.setLocalCertificate(QSslCertificate(certificate.readAll(), QSsl::Pem));
        tls.setPrivateKey(QSslKey(key.readAll(), QSsl::Ec, QSsl::Pem));
    }
    server->setSslConfiguration(tls);
    m_server = std::move(server);
    listen();
}

void LocalHttpServer::listen()
{
    // An https client is taken on once its handshake is done.
    connect(m_server.get(), &QTcpServer::pendingConnectionAvailable, this, &LocalHttpServer::onNewConnection);
    m_server->listen(QHostAddress::LocalHost, 0);
}

LocalHttpServer::~LocalHttpServer()
{
    m_server->close();
    // Drop every client before the bookkeeping goes; no socket signal may
    // reach this object any more.
    const auto sockets = m_connections.keys();
    m_connections.clear();
    for (QTcpSocket *socket : sockets) {
        socket->disconnect(this);
        socket->abort();
        delete socket;
    }
}

QString LocalHttpServer::url(const QString &path) const
{
    const bool secure = qobject_cast<QSslServer *>(m_server.get()) != nullptr;
    return QStringLiteral("%1://127.0.0.1:%2%3").arg(secure ? QStringLiteral("https") : QStringLiteral("http")).arg(port()).arg(path);
}

void LocalHttpServer::route(const QString &path, const Response &response)
{
    m_routes.insert(path, response);
}

int LocalHttpServer::openConnections() const
{
    return int(m_connections.size());
}

void LocalHttpServer::onNewConnection()
{
    while (QTcpSocket *socket = m_server->nextPendingConnection()) {
        m_connections.insert(socket, Connection{});
        connect(socket, &QTcpSocket::readyRead, this, [this, socket] { onReadyRead(socket); });
        connect(socket, &QTcpSocket::bytesWritten, this, [this, socket] { feedGenerated(socket); });
        connect(socket, &QTcpSocket::disconnected, this, [this, socket] {
            m_connections.remove(socket);
            socket->disconnect(this);
            socket->deleteLater();
        });
    }
}

void LocalHttpServer::onReadyRead(QTcpSocket *socket)
{
    auto found = m_connections.find(socket);
    if (found == m_connections.end())
        return;
    Connection &connection = *found;
    const QByteArray data = socket->readAll();
    if (connection.answered)
        return;
    connection.request += data;
    if (!connection.request.contains("\r\n\r\n"))
        return;
    connection.answered = true;

    // "GET /path HTTP/1.1"
    const QByteArray requestLine = connection.request.left(connection.request.indexOf("\r\n"));
    const QList<QByteArray> words = requestLine.split(' ');
    const QString path = words.size() >= 2 ? QString::fromLatin1(words.at(1)) : QString();
    m_requestedPaths.append(path);
    Q_EMIT requestReceived(path);

    // The signal's receivers may have changed the routes, or closed the socket.
    if (!m_connections.contains(socket))
        return;
    const auto route = m_routes.constFind(path);
    respond(socket, route != m_routes.constEnd() ? *route : page("Not found", 404));
}

void LocalHttpServer::respond(QTcpSocket *socket, const Response &response)
{
    using Kind = Response::Kind;
    if (response.kind == Kind::Stall)
        return;

    const qint64 bodySize = response.kind == Kind::Generated ? response.generatedSize : response.body.size();
    QByteArray head = "HTTP/1.1 " + QByteArray::number(response.status) + ' ' + reasonPhrase(response.status)
                      + "\r\n";
    for (const auto &header : response.headers)
        head += header.first + ": " + header.second + "\r\n";
    if (response.sendContentLength)
        head += "Content-Length: " + QByteArray::number(bodySize) + "\r\n";
    head += "Connection: close\r\n\r\n";
    socket->write(head);

    switch (response.kind) {
    case Kind::Stall:
        break;
    case Kind::Normal:
        socket->write(response.body);
        socket->disconnectFromHost();
        break;
    case Kind::Drip: {
        auto *timer = new QTimer(socket);
        auto sent = std::make_shared<qsizetype>(0);
        const QByteArray body = response.body;
        const int piece = response.dripBytes;
        connect(timer, &QTimer::timeout, socket, [socket, timer, sent, body, piece] {
            socket->write(body.mid(*sent, piece));
            *sent += piece;
            if (*sent >= body.size()) {
                timer->stop();
                socket->disconnectFromHost();
            }
        });
        timer->start(response.dripInterval);
        break;
    }
    case Kind::ResetMidBody:
        socket->write(response.body.left(response.bytesBeforeReset));
        // Drop the connection once the part is on its way.
        connect(socket, &QTcpSocket::bytesWritten, socket, [socket] {
            if (socket->bytesToWrite() == 0)
                socket->abort();
        });
        break;
    case Kind::Generated:
        m_connections[socket].generatedLeft = response.generatedSize;
        feedGenerated(socket);
        break;
    }
}

void LocalHttpServer::feedGenerated(QTcpSocket *socket)
{
    auto found = m_connections.find(socket);
    if (found == m_connections.end() || found->generatedLeft <= 0)
        return;
    static const QByteArray piece(GeneratedPieceBytes, 'x');
    while (found->generatedLeft > 0 && socket->bytesToWrite() < GeneratedQueueBytes) {
        const qint64 size = qMin(found->generatedLeft, GeneratedPieceBytes);
        socket->write(piece.constData(), size);
        found->generatedLeft -= size;
    }
    if (found->generatedLeft == 0)
        socket->disconnectFromHost();
}

QByteArray LocalHttpServer::reasonPhrase(int status)
{
    switch (status) {
    case 200: return "OK";
    case 204: return "No Content";
    case 301: return "Moved Permanently";
    case 302: return "Found";
    case 303: return "See Other";
    case 307: return "Temporary Redirect";
    case 308: return "Permanent Redirect";
    case 404: return "Not Found";
    case 500: return "Internal Server Error";
    case 503: return "Service Unavailable";
    default: return "Status";
    }
}
