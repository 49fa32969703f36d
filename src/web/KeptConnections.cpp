#include "KeptConnections.h"

#include <QCoreApplication>
#include <QPointer>
#include <QTcpSocket>
#include <QThread>
#include <QTimer>
#include <QUrl>

// The keeper's own timer among the socket's children (the socket has timers of its own).
static const QString IdleTimerName = QStringLiteral("keptConnectionIdle");

KeptConnections *KeptConnections::forThisThread()
{
    static QPointer<KeptConnections> keeper;
    QCoreApplication *application = QCoreApplication::instance();
    if (!application || QThread::currentThread() != application->thread())
        return nullptr;
    // A child of the application: whatever is still kept closes with it.
    if (!keeper)
        keeper = new KeptConnections(application);
    return keeper;
}

QString KeptConnections::serverOf(const QUrl &url)
{
    const QString scheme = url.scheme().toLower();
    return scheme + QLatin1String("://") + url.host().toLower() + QLatin1Char(':')
        + QString::number(url.port(scheme == QLatin1String("https") ? 443 : 80));
}

QTcpSocket *KeptConnections::take(const QString &server)
{
    QTcpSocket *socket = m_idle.take(server);
    if (!socket)
        return nullptr;
    socket->disconnect(this);
    delete socket->findChild<QTimer *>(IdleTimerName, Qt::FindDirectChildrenOnly);
    // Closed or spoken to since: what the server meant is unknown, so unusable.
    if (socket->state() != QAbstractSocket::ConnectedState || socket->bytesAvailable() > 0) {
        drop(socket);
        return nullptr;
    }
    socket->setParent(nullptr);
    return socket;
}

void KeptConnections::keep(const QString &server, QTcpSocket *socket)
{
    if (QTcpSocket *before = m_idle.value(server))
        drop(before);
    socket->setParent(this);
    m_idle.insert(server, socket);
    const auto unusable = [this, socket] { drop(socket); };
    connect(socket, &QTcpSocket::readyRead, this, unusable);
    connect(socket, &QTcpSocket::disconnected, this, unusable);
    connect(socket, &QTcpSocket::errorOccurred, this, unusable);
    auto *idle = new QTimer(socket);
    idle->setObjectName(IdleTimerName);
    idle->setSingleShot(true);
    connect(idle, &QTimer::timeout, this, unusable);
    idle->start(IdleMilliseconds);
}

void KeptConnections::drop(QTcpSocket *socket)
{
    m_idle.removeIf([socket](const auto &kept) { return kept.value() == socket; });
    socket->disconnect(this);
    socket->abort();
    // Perhaps inside one of the socket's own signals.
    socket->deleteLater();
}
