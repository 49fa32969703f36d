#include "HttpServer.h"

#include "ListingPage.h"

#include <QTcpSocket>
#include <QTimer>
#include <QUrl>

namespace {

// Where a connection's not yet answered bytes wait.
constexpr const char *BufferProperty = "sandboxRequestBuffer";
constexpr const char *AnsweredProperty = "sandboxAnswered";

HttpResponse errorResponse(int status)
{
    HttpResponse response;
    response.status = status;
    response.body = ListingPage::errorPage(status, QString::fromLatin1(HttpServer::reasonPhrase(status))).toLatin1();
    return response;
}

} // namespace

HttpServer::HttpServer(Handler handler, QObject *parent)
    : QObject(parent)
    , m_handler(std::move(handler))
{
    connect(&m_server, &QTcpServer::newConnection, this, &HttpServer::onNewConnection);
}

bool HttpServer::listen(quint16 port)
{
    return m_server.listen(QHostAddress::LocalHost, port);
}

QByteArray HttpServer::reasonPhrase(int status)
{
    switch (status) {
    case 200: return "OK";
    case 400: return "Bad Request";
    case 404: return "Not Found";
    case 405: return "Method Not Allowed";
    case 408: return "Request Timeout";
    case 431: return "Request Header Fields Too Large";
    case 500: return "Internal Server Error";
    case 505: return "HTTP Version Not Supported";
    default: return "Unknown";
    }
}

void HttpServer::onNewConnection()
{
    while (QTcpSocket *socket = m_server.nextPendingConnection()) {
        connect(socket, &QTcpSocket::disconnected, socket, &QObject::deleteLater);
        connect(socket, &QTcpSocket::readyRead, this, [this, socket] { onReadyRead(socket); });
        // A client that never finishes its request does not keep the
        // connection for ever.
        auto *idle = new QTimer(socket);
        idle->setSingleShot(true);
        connect(idle, &QTimer::timeout, socket, [this, socket] {
            if (!socket->property(AnsweredProperty).toBool() && socket->state() == QAbstractSocket::ConnectedState)
                answer(socket, {}, {}, errorResponse(408));
        });
        idle->start(m_idleTimeout);
    }
}

void HttpServer::onReadyRead(QTcpSocket *socket)
{
    if (socket->property(AnsweredProperty).toBool()) {
        socket->readAll();   // one request per connection; the rest is ignored
        return;
    }
    QByteArray buffer = socket->property(BufferProperty).toByteArray() + socket->readAll();
    qsizetype headEnd = buffer.indexOf("\r\n\r\n");
    if (headEnd < 0)
        headEnd = buffer.indexOf("\n\n");
    if (headEnd < 0 || headEnd > MaxHeadBytes) {
        if (buffer.size() > MaxHeadBytes)
            answer(socket, {}, {}, errorResponse(431));
        else
            socket->setProperty(BufferProperty, buffer);
        return;
    }
    socket->setProperty(BufferProperty, QVariant());

    const QByteArray requestLine = buffer.left(buffer.indexOf('\n')).trimmed();
    const QList<QByteArray> parts = requestLine.split(' ');
    if (parts.size() != 3 || !parts[1].startsWith('/')) {
        answer(socket, {}, {}, errorResponse(400));
        return;
    }
    const QByteArray &method = parts[0];
    const QByteArray &target = parts[1];
    if (!parts[2].startsWith("HTTP/1.")) {
        answer(socket, method, target, errorResponse(505));
        return;
    }
    if (method != "GET" && method != "HEAD") {
        answer(socket, method, target, errorResponse(405));
        return;
    }
    const QUrl url = QUrl::fromEncoded(target, QUrl::StrictMode);
    if (!url.isValid()) {
        answer(socket, method, target, errorResponse(400));
        return;
    }
    HttpRequest request;
    request.method = method;
    request.target = target;
    request.path = url.path(QUrl::FullyDecoded);
    request.query = QUrlQuery(url.query(QUrl::FullyEncoded));
    answer(socket, method, target, m_handler(request));
}

void HttpServer::answer(QTcpSocket *socket, const QByteArray &method, const QByteArray &target,
                        const HttpResponse &response)
{
    socket->setProperty(AnsweredProperty, true);
    QByteArray head = "HTTP/1.1 " + QByteArray::number(response.status) + ' ' + reasonPhrase(response.status)
                      + "\r\nContent-Type: " + response.contentType
                      + "\r\nContent-Length: " + QByteArray::number(response.body.size())
                      + "\r\nServer: zorvane-sandbox\r\nConnection: close\r\n";
    if (response.status == 405)
        head += "Allow: GET, HEAD\r\n";
    head += "\r\n";
    // Head and body in one write: written apart, they leave as two segments
    // and the body's last one waits for the client's delayed ACK of the
    // head (Nagle), 40 ms on every page.
    socket->write(method == "HEAD" ? head : head + response.body);
    // Closes once everything written has gone out.
    socket->disconnectFromHost();
    Q_EMIT requestAnswered(method, target, response.status);
}
