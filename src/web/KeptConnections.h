#pragma once

#include <QHash>
#include <QObject>
#include <QString>

class QTcpSocket;
class QUrl;

// Connections whose last answer left them ready for another request, at most
// one per server, each kept a few seconds. A seller's pages follow one
// another on the same server, and setting up a connection per page costs
// the program more than reading the page does.
//
// Only the application's own thread keeps connections; a kept one that
// says anything at all (the server closing it, stray bytes) is dropped.
class KeptConnections : public QObject
{
    Q_OBJECT

public:
    static constexpr int IdleMilliseconds = 5000;

    // The keeper of the calling thread; nullptr where none may be kept.
    static KeptConnections *forThisThread();

    // The server a request for this address goes to.
    static QString serverOf(const QUrl &url);

    // A connection kept for the server, now the caller's (no parent, no
    // connections), or nullptr.
    QTcpSocket *take(const QString &server);

    // Takes the connected socket over; one kept before for the server is closed.
    void keep(const QString &server, QTcpSocket *socket);

private:
    using QObject::QObject;
    void drop(QTcpSocket *socket);

    QHash<QString, QTcpSocket *> m_idle;
};
