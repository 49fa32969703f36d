#pragma once

#include <QByteArray>
#include <QObject>
#include <QString>
#include <QTcpServer>
#include <QUrlQuery>

#include <chrono>
#include <functional>

class QTcpSocket;

struct HttpRequest
{
    QByteArray method;   // "GET" or "HEAD"
    QByteArray target;   // as sent: path and query, still encoded
    QString path;        // decoded
    QUrlQuery query;
};

struct HttpResponse
{
    int status = 200;
    QByteArray contentType = "text/html; charset=ISO-8859-1";
    QByteArray body;
};

// A very small HTTP/1.1 server on 127.0.0.1: GET (or HEAD) requests,
// answered with a Content-Length, one after another on a connection as long
// as the client keeps it (an HTTP/1.0 client, a "Connection: close" or an
// error answer closes it). Whatever a client sends, it gets an answer or is
// cut off: request heads are bounded in size, a client that stops half-way
// is dropped after the idle time-out, and nothing waits outside the event
// loop.
class HttpServer : public QObject
{
    Q_OBJECT

public:
    using Handler = std::function<HttpResponse(const HttpRequest &)>;

    // Larger request heads get 431 and the connection is closed.
    static constexpr qsizetype MaxHeadBytes = 16 * 1024;

    explicit HttpServer(Handler handler, QObject *parent = nullptr);

    // Listens on 127.0.0.1 at this port (0: any free one).
    bool listen(quint16 port);
    quint16 port() const { return m_server.serverPort(); }
    QString errorString() const { return m_server.errorString(); }
    void close() { m_server.close(); }

    // How long a client may take to send its request, and how long a
    // connection is kept open for the next one.
    void setIdleTimeout(std::chrono::milliseconds timeout) { m_idleTimeout = timeout; }

    static QByteArray reasonPhrase(int status);

Q_SIGNALS:
    // One per answered request; method and target as the client sent them.
    void requestAnswered(const QByteArray &method, const QByteArray &target, int status);

private:
    void onNewConnection();
    void onReadyRead(QTcpSocket *socket);
    void serve(QTcpSocket *socket, const QByteArray &head);
    void answer(QTcpSocket *socket, const QByteArray &method, const QByteArray &target,
                const HttpResponse &response, bool keepOpen = false);

    QTcpServer m_server;
    Handler m_handler;
    std::chrono::milliseconds m_idleTimeout{30000};
};
