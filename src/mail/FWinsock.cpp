#include "mail/FWinsock.h"

#include "base/PageText.h"

#include <QHostInfo>
#include <QSslCipher>
#include <QSslSocket>
#include <QTcpSocket>

namespace {

qint16 errorNumber(QAbstractSocket::SocketError error)
{
    switch (error) {
    case QAbstractSocket::ConnectionRefusedError: return FWinsock::ErrorConnectionRefused;
    case QAbstractSocket::HostNotFoundError: return FWinsock::ErrorHostNotFound;
    case QAbstractSocket::SocketAccessError: return FWinsock::ErrorPermissionDenied;
    case QAbstractSocket::SocketResourceError: return FWinsock::ErrorNoBufferSpace;
    case QAbstractSocket::SocketTimeoutError: return FWinsock::ErrorTimedOut;
    case QAbstractSocket::NetworkError: return FWinsock::ErrorNetworkUnreachable;
    case QAbstractSocket::UnsupportedSocketOperationError:
    case QAbstractSocket::SocketAddressNotAvailableError: return FWinsock::ErrorAddressNotAvailable;
    case QAbstractSocket::SslHandshakeFailedError:
    case QAbstractSocket::SslInternalError:
    case QAbstractSocket::SslInvalidUserDataError: return FWinsock::ErrorSecureChannel;
    default: return FWinsock::ErrorUnknown;
    }
}

FWinsock::SocketFactory &socketFactory()
{
    static FWinsock::SocketFactory factory;
    return factory;
}

} // namespace

void FWinsock::setSocketFactory(SocketFactory factory)
{
    socketFactory() = std::move(factory);
}

FWinsock::FWinsock(QObject *parent)
    : QObject(parent)
    , m_timWinsock(this)
{
    setObjectName(QStringLiteral("FWinsock"));
    m_timWinsock.setObjectName(QStringLiteral("timWinsock"));
    m_timWinsock.setInterval(DefaultTimerInterval);
    m_timWinsock.setSingleShot(false);
    connect(&m_timWinsock, &QTimer::timeout, this, &FWinsock::OnTimerExpired);
}

FWinsock::~FWinsock()
{
    // The socket must not call back into a host that is half destroyed.
    if (m_wskWinsock) {
        m_wskWinsock->disconnect(this);
        m_wskWinsock->abort();
        delete m_wskWinsock.data();
    }
}

void FWinsock::ConnectToServer(const QString &sHost, const QString &sPort)
{
    releaseSocket();
    // Every connection gets a socket of its own, so that nothing from an
    // earlier connection (late data, late errors) can reach a later one.
    QTcpSocket *socket = socketFactory() ? socketFactory()(this) : new QTcpSocket(this);
    startConnection(socket, sHost, sPort,
                    [socket](const QString &sName, quint16 port) { socket->connectToHost(sName, port); });
}

void FWinsock::ConnectToServerSecure(const QString &sHost, const QString &sPort, const QSslConfiguration &config,
                                     bool bEncryptAtOnce)
{
    releaseSocket();
    auto *socket = new QSslSocket(this);
    socket->setSslConfiguration(config);
    connect(socket, &QSslSocket::sslErrors, this, [this, socket](const QList<QSslError> &errors) {
        if (socket != m_wskWinsock)
            return;
        // Kept for the owner's report; never ignored, so the handshake fails.
        m_sslErrors = errors;
        m_peerCertificate = socket->peerCertificate();
        for (const QSslError &error : errors) {
            if (m_peerCertificate.isNull())
                m_peerCertificate = error.certificate();
        }
    });
    connect(socket, &QSslSocket::encrypted, this, [this, socket] {
        if (socket != m_wskWinsock)
            return;
        m_peerCertificate = socket->peerCertificate();
        m_sTlsProtocol = socket->sessionCipher().protocolString();
        m_sTlsCipher = socket->sessionCipher().name();
        Q_EMIT Encrypted();
    });
    startConnection(socket, sHost, sPort, [socket, bEncryptAtOnce](const QString &sName, quint16 port) {
        if (bEncryptAtOnce)
            socket->connectToHostEncrypted(sName, port);
        else
            socket->connectToHost(sName, port);
    });
}

bool FWinsock::StartEncryption()
{
    auto *socket = qobject_cast<QSslSocket *>(m_wskWinsock.data());
    if (!socket || socket->state() != QAbstractSocket::ConnectedState)
        return false;
    socket->startClientEncryption();
    return true;
}

void FWinsock::startConnection(QTcpSocket *socket, const QString &sHost, const QString &sPort,
                               std::function<void(const QString &, quint16)> connectNow)
{
    socket->setObjectName(QStringLiteral("wskWinsock"));
    m_wskWinsock = socket;
    m_bConnectPending = true;
    m_bFailed = false;
    m_sslErrors.clear();
    m_peerCertificate = QSslCertificate();
    m_sTlsProtocol.clear();
    m_sTlsCipher.clear();

    connect(socket, &QTcpSocket::connected, this, [this, socket] {
        if (socket == m_wskWinsock)
            Q_EMIT Connect();
    });
    connect(socket, &QTcpSocket::readyRead, this, [this, socket] {
        if (socket == m_wskWinsock)
            Q_EMIT WinsockDataArrival(qint32(qMin<qint64>(socket->bytesAvailable(), 0x7fffffff)));
    });
    connect(socket, &QTcpSocket::errorOccurred, this, [this, socket] {
        if (socket == m_wskWinsock)
            onSocketError(socket);
    });

    bool bPortOk = false;
    const uint port = sPort.trimmed().toUInt(&bPortOk, 10);
    bPortOk = bPortOk && port > 0 && port <= 65535;

    // The connection starts from the event loop: the caller gets control
    // back before any event, even one that the system reports at once.
    QTimer::singleShot(0, this, [this, socket, sHost, port, bPortOk, connectNow] {
        if (socket != m_wskWinsock || !m_bConnectPending)
            return;
        m_bConnectPending = false;
        if (!bPortOk) {
            m_bFailed = true;
            Q_EMIT WinsockError(ErrorAddressNotAvailable, QStringLiteral("Invalid port"), 0,
                                QStringLiteral("Winsock"));
            return;
        }
        connectNow(sHost, quint16(port));
    });
}

void FWinsock::onSocketError(QTcpSocket *socket)
{
    const QAbstractSocket::SocketError error = socket->error();
    // The socket reports a reset (ECONNRESET) the same way as an orderly
    // close; the owner decides whether the close came too early.
    if (error == QAbstractSocket::RemoteHostClosedError) {
        Q_EMIT closedByPeer();
        return;
    }
    m_bFailed = true;
    Q_EMIT WinsockError(errorNumber(error), socket->errorString(), qint32(error),
                        QStringLiteral("Winsock"));
}

void FWinsock::SendData(const QString &sData)
{
    if (!m_wskWinsock || m_wskWinsock->state() != QAbstractSocket::ConnectedState)
        return;
    m_wskWinsock->write(PageText::toBytes(sData));
}

QString FWinsock::GetData()
{
    if (!m_wskWinsock)
        return {};
    return PageText::fromBytes(m_wskWinsock->readAll());
}

void FWinsock::Close()
{
    m_bConnectPending = false;
    releaseSocket();
}

void FWinsock::releaseSocket()
{
    QTcpSocket *socket = m_wskWinsock.data();
    if (!socket)
        return;
    m_wskWinsock = nullptr;
    m_bFailed = false;
    // No event of this socket reaches the owner any more.
    socket->disconnect(this);
    // Hand what is still buffered (the QUIT after the last reply) to the
    // system before the socket goes; the system sends it on after close.
    if (socket->state() == QAbstractSocket::ConnectedState)
        socket->flush();
    socket->abort();
    // Close may be called from inside one of the socket's own signals.
    socket->deleteLater();
}

qint16 FWinsock::State() const
{
    if (!m_wskWinsock)
        return Closed;
    if (m_bConnectPending)
        return ResolvingHost;
    switch (m_wskWinsock->state()) {
    case QAbstractSocket::HostLookupState: return ResolvingHost;
    case QAbstractSocket::ConnectingState: return Connecting;
    case QAbstractSocket::ConnectedState: return Connected;
    case QAbstractSocket::ClosingState: return Closing;
    case QAbstractSocket::UnconnectedState: return m_bFailed ? Error : Closing;
    default: return Connected;
    }
}

QString FWinsock::LocalHostName() const
{
    // Asked of the system once a run: it is said in every session.
    static const QString name = QHostInfo::localHostName();
    return name;
}

void FWinsock::SetTimerEnabled(bool bEnabled)
{
    if (!bEnabled)
        m_timWinsock.stop();
    else if (!m_timWinsock.isActive())
        m_timWinsock.start();
}

bool FWinsock::TimerEnabled() const
{
    return m_timWinsock.isActive();
}

void FWinsock::SetTimerInterval(int iMilliseconds)
{
    // A running timer starts its new period afresh.
    m_timWinsock.setInterval(qMax(1, iMilliseconds));
}

int FWinsock::TimerInterval() const
{
    return m_timWinsock.interval();
}
