#pragma once

#include <QByteArray>
#include <QHash>
#include <QList>
#include <QObject>
#include <QPair>
#include <QStringList>
#include <QTcpServer>

#include <chrono>
#include <memory>

class QTcpSocket;

// A scripted HTTP/1.1 server on 127.0.0.1 (a free port) for tests. Each path
// is given a response; a path without one gets 404. Every response closes its
// connection. Besides plain answers it can misbehave the ways real servers
// do: never answer, drip the body, drop the connection half-way through the
// body, redirect, or stream a body of any size without holding it in memory.
//
//     LocalHttpServer server;
//     QVERIFY(server.isListening());
//     server.route("/page", LocalHttpServer::page("<html>..."));
//     connection.GetWebPage(server.url("/page"));
class LocalHttpServer : public QObject
{
    Q_OBJECT

public:
    struct Response
    {
        enum class Kind {
            Normal,       // headers and body at once
            Stall,        // reads the request and never answers
            Drip,         // headers at once, then the body in pieces on a timer
            ResetMidBody, // announces the whole body, sends part of it, drops the connection
            Generated,    // a body of generatedSize bytes ('x'), produced as the socket drains
        };

        Kind kind = Kind::Normal;
        int status = 200;
        QList<QPair<QByteArray, QByteArray>> headers;
        QByteArray body;
        bool sendContentLength = true;
        // Drip: bytes per piece and time between pieces.
        int dripBytes = 1;
        std::chrono::milliseconds dripInterval{20};
        // ResetMidBody: how many body bytes go out before the connection drops.
        qint64 bytesBeforeReset = 0;
        // Generated: the body's size.
        qint64 generatedSize = 0;
    };

    // 200 with the body as text/html in ISO 8859-1.
    static Response page(const QByteArray &body, int status = 200);
    static Response stall();
    static Response drip(const QByteArray &body, int bytesPerPiece, std::chrono::milliseconds interval);
    static Response resetMidBody(const QByteArray &body, qint64 bytesBeforeReset);
    // 302 (or the given 3xx) to location, which may be a path or a whole address.
    static Response redirect(const QByteArray &location, int status = 302);
    // A body of size bytes, with or without a Content-Length header.
    static Response huge(qint64 size, bool announceLength = true);

    explicit LocalHttpServer(QObject *parent = nullptr);
    // An https server with this certificate and key (PEM files).
    LocalHttpServer(const QString &certificateFile, const QString &keyFile, QObject *parent = nullptr);
    ~LocalHttpServer() override;

    bool isListening() const { return m_server->isListening(); }
    quint16 port() const { return m_server->serverPort(); }
    // "http://127.0.0.1:<port>" + path ("https://..." for an https server).
    QString url(const QString &path) const;

    void route(const QString &path, const Response &response);

    // The paths asked for so far, in order (the request target as sent).
    const QStringList &requestedPaths() const { return m_requestedPaths; }
    // Connections currently open (a client that gave up has closed its own).
    int openConnections() const;

Q_SIGNALS:
    void requestReceived(const QString &path);

private:
    // What the server knows of one client connection.
    struct Connection
    {
        QByteArray request;    // bytes of the request head so far
        bool answered = false; // one response per connection
        qint64 generatedLeft = 0;
    };

    void onNewConnection();
    void onReadyRead(QTcpSocket *socket);
    void respond(QTcpSocket *socket, const Response &response);
    void feedGenerated(QTcpSocket *socket);
    static QByteArray reasonPhrase(int status);

    void listen();

    std::unique_ptr<QTcpServer> m_server;
    QHash<QString, Response> m_routes;
    QStringList m_requestedPaths;
    QHash<QTcpSocket *, Connection> m_connections;
};
