#include "HttpServer.h"

#include "ListingPage.h"

#include <QTcpSocket>
#include <QTimer>
#include <QUrl>

namespace {

// Where a connection's not yet answered bytes wait.
constexpr const char *BufferProperty = "sandboxRequestBuffer";
constexpr const char *AnsweredProperty = "sandboxAnswered";
// Set once an answer has said it closes the connection.
constexpr const char *ClosingProperty = "sandboxClosing";
// The server's own timer among the socket's children (the socket has timers of its own).
constexpr const char *IdleTimerName = "sandboxIdle";

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
        // A client that never finishes its request, or keeps a connection
        // without using it, does not keep it for ever.
        auto *idle = new QTimer(socket);
        idle->setObjectName(QLatin1String(IdleTimerName));
        idle->setSingleShot(true);
        connect(idle, &QTimer::timeout, socket, [this, socket] {
            if (socket->state() != QAbstractSocket::ConnectedState || socket->property(ClosingProperty).toBool())
                return;
            if (socket->property(AnsweredProperty).toBool() && socket->property(BufferProperty).toByteArray().isEmpty())
                socket->disconnectFromHost();
            else
                answer(socket, {}, {}, errorResponse(408));
        });
        idle->start(m_idleTimeout);
    }
}

void HttpServer::onReadyRead(QTcpSocket *socket)
{
    QByteArray buffer = socket->property(BufferProperty).toByteArray() + socket->readAll();
    // Requests sent one after another without waiting are answered in turn;
    // after a closing answer the rest is ignored.
    while (!socket->property(ClosingProperty).toBool()) {
        qsizetype headEnd = buffer.indexOf("\r\n\r\n");
        qsizetype gap = 4;
        if (headEnd < 0) {
            headEnd = buffer.indexOf("\n\n");
            gap = 2;
        }
        if (headEnd < 0 || headEnd > MaxHeadBytes) {
            if (buffer.size() > MaxHeadBytes)
                answer(socket, {}, {}, errorResponse(431));
            break;
        }
        const QByteArray head = buffer.left(headEnd);
        buffer.remove(0, headEnd + gap);
        serve(socket, head);
    }
    socket->setProperty(BufferProperty, socket->property(ClosingProperty).toBool() ? QByteArray() : buffer);
}

void HttpServer::serve(QTcpSocket *socket, const QByteArray &head)
{
    const QByteArray requestLine = head.left(head.indexOf('\n')).trimmed();
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
    // HTTP/1.1 keeps the connection unless the client asks to close it.
    bool keepOpen = parts[2] == "HTTP/1.1";
    for (const QByteArray &line : head.split('\n')) {
        const qsizetype colon = line.indexOf(':');
        if (colon > 0 && line.left(colon).trimmed().compare("Connection", Qt::CaseInsensitive) == 0
            && line.mid(colon + 1).toLower().contains("close"))
            keepOpen = false;
    }
    answer(socket, method, target, m_handler(request), keepOpen);
}

void HttpServer::answer(QTcpSocket *socket, const QByteArray &method, const QByteArray &target,
                        const HttpResponse &response, bool keepOpen)
{
    socket->setProperty(AnsweredProperty, true);
    socket->setProperty(ClosingProperty, !keepOpen);
    QByteArray head = "HTTP/1.1 " + QByteArray::number(response.status) + ' ' + reasonPhrase(response.status)
                      + "\r\nContent-Type: " + response.contentType
                      + "\r\nContent-Length: " + QByteArray::number(response.body.size())
                      + "\r\nServer: zorvane-sandbox\r\n";
    if (!keepOpen)
        head += "Connection: close\r\n";
    if (response.status == 405)
        head += "Allow: GET, HEAD\r\n";
    head += "\r\n";
    // Head and body in one write: written apart, they leave as two segments
    // and the body's last one waits for the client's delayed ACK of the
    // head (Nagle), 40 ms on every page.
    socket->write(method == "HEAD" ? head : head + response.body);
    if (keepOpen) {
        if (auto *idle = socket->findChild<QTimer *>(QLatin1String(IdleTimerName), Qt::FindDirectChildrenOnly))
            idle->start(m_idleTimeout);
    } else {
        // Closes once everything written has gone out.
        socket->disconnectFromHost();
    }
    Q_EMIT requestAnswered(method, target, response.status);
}
