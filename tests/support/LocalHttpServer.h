#pragma once

#include <QHash>
#include <QStringList>
#include <QTcpServer>

#include <memory>

class QTcpSocket;

// A scripted HTTP/1.1 server on 127.0.0.1 (a free port) for tests. Each path
// is given a response; a path without one gets 404. Every response closes its
// connection, unless connections are kept (keepConnections). Besides plain answers it misbehaves the ways real servers do:
// never answer, drip the body, drop the connection half-way through the
// body, redirect, or stream a body of any size without holding it in memory.
class LocalHttpServer : public QObject
{
    Q_OBJECT

public:
    struct Response
    {
        enum class Kind { Normal, Stall, Drip, ResetMidBody, Generated };
        Kind kind = Kind::Normal;
        int status = 200;
        QList<QPair<QByteArray, QByteArray>> headers{{"Content-Type", "text/html; charset=ISO-8859-1"}};
        QByteArray body{};
        bool sendContentLength = true;
        qint64 bytesBeforeReset = 0; // ResetMidBody: body bytes sent before the connection drops
        qint64 generatedSize = 0;    // Generated: a body of this many 'x'
        qint64 size() const { return kind == Kind::Generated ? generatedSize : body.size(); }
    };
    using Kind = Response::Kind;

    static Response page(const QByteArray &body, int status = 200) { return {.status = status, .body = body}; }
    static Response stall() { return {.kind = Kind::Stall}; }
    // One byte every 20 ms.
    static Response drip(const QByteArray &body) { return {.kind = Kind::Drip, .body = body}; }
    static Response resetMidBody(const QByteArray &body, qint64 bytesBeforeReset)
    { return {.kind = Kind::ResetMidBody, .body = body, .bytesBeforeReset = qMin(bytesBeforeReset, body.size())}; }
    // location may be a path or a whole address.
    static Response redirect(const QByteArray &location, int status = 302)
    { return {.status = status, .headers = {{"Location", location}}}; }
    static Response huge(qint64 size, bool announceLength = true)
    { return {.kind = Kind::Generated, .sendContentLength = announceLength, .generatedSize = size}; }

    // Plain http, or https with this certificate and key (PEM files).
    explicit LocalHttpServer(const QString &certificateFile = {}, const QString &keyFile = {});

    quint16 port() const { return m_server->serverPort(); }
    // "http://127.0.0.1:<port>" + path ("https://..." for an https server).
    QString url(const QString &path) const;
    void route(const QString &path, const Response &response) { m_routes.insert(path, response); }
    // The request targets asked for so far, in order.
    const QStringList &requestedPaths() const { return m_requestedPaths; }
    // Connections currently open (a client that gave up has closed its own).
    int openConnections() const { return int(m_open.size()); }
    int acceptedConnections() const { return m_accepted; }
    // From now on a connection serves this many answers, each saying it
    // stays open; the request after them is met by closing the connection,
    // as a server does whose idle time runs out just as the request comes.
    void keepConnections(int answers) { m_answersPerConnection = answers; }

Q_SIGNALS:
    void requestReceived(const QString &path);

private:
    struct Exchange : Response
    {
        QByteArray request;
        qint64 sent = -1; // body bytes sent; -1 before the answer
        int answered = 0; // before this one, on the same connection
    };
    void onReadyRead(QTcpSocket *socket);
    // Sends what is due of the answer; a dripped body moves on only at a tick.
    void feed(QTcpSocket *socket, bool tick);

    QHash<QString, Response> m_routes;
    QStringList m_requestedPaths;
    QHash<QTcpSocket *, Exchange> m_open;
    int m_accepted = 0;
    int m_answersPerConnection = 0;
    // Last, so that it goes first: its sockets, closing, still find the
    // bookkeeping above.
    std::unique_ptr<QTcpServer> m_server;
};
