#include "HttpExchange.h"

#include "KeptConnections.h"

#include <QSslSocket>

namespace {

bool isRedirect(int status)
{
    return status == 301 || status == 302 || status == 303 || status == 307 || status == 308;
}

// The value of a header field, names compared without regard to case; the
// first one when there are several.
QByteArray fieldValue(const QList<QByteArray> &lines, const QByteArray &name)
{
    for (const QByteArray &line : lines) {
        const qsizetype colon = line.indexOf(':');
        if (colon > 0 && line.left(colon).trimmed().compare(name, Qt::CaseInsensitive) == 0)
            return line.mid(colon + 1).trimmed();
    }
    return {};
}

} // namespace

HttpExchange::HttpExchange(const QUrl &url, const QByteArray &userAgent, qint64 maxBodyBytes, QObject *parent)
    : QObject(parent)
    , m_userAgent(userAgent)
    , m_maxBodyBytes(maxBodyBytes)
{
    // Started from the event loop: whoever made the exchange connects to
    // finished() first, even when the address cannot be fetched at all.
    QMetaObject::invokeMethod(this, [this, url] { start(url); }, Qt::QueuedConnection);
}

HttpExchange::~HttpExchange()
{
    dropSocket();
}

bool HttpExchange::isFetchable(const QUrl &url)
{
    if (!url.isValid() || url.host().isEmpty())
        return false;
    const QString scheme = url.scheme().toLower();
    return scheme == QLatin1String("http") || scheme == QLatin1String("https");
}

void HttpExchange::abort()
{
    m_done = true;
    dropSocket();
}

void HttpExchange::start(const QUrl &url, Connection connection)
{
    if (m_done)
        return;
    if (!isFetchable(url))
        return finish(false);
    dropSocket();
    m_url = url;
    m_buffer.clear();
    m_body.clear();
    m_stage = Stage::Head;
    m_status = 0;
    m_location.clear();
    m_contentLength = -1;
    m_chunked = false;
    m_keepable = false;

    KeptConnections *keeper = connection == Connection::KeptOrNew ? KeptConnections::forThisThread() : nullptr;
    m_onKeptConnection = false;
    if (QTcpSocket *kept = keeper ? keeper->take(KeptConnections::serverOf(url)) : nullptr) {
        m_onKeptConnection = true;
        adopt(kept);
        onConnected();
        return;
    }
    const bool secure = url.scheme().compare(QLatin1String("https"), Qt::CaseInsensitive) == 0;
    QTcpSocket *socket = secure ? new QSslSocket : new QTcpSocket;
    adopt(socket);
    const quint16 port = quint16(url.port(secure ? 443 : 80));
    if (auto *ssl = qobject_cast<QSslSocket *>(socket)) {
        connect(ssl, &QSslSocket::encrypted, this, &HttpExchange::onConnected);
        ssl->connectToHostEncrypted(url.host(), port);
    } else {
        connect(socket, &QTcpSocket::connected, this, &HttpExchange::onConnected);
        socket->connectToHost(url.host(), port);
    }
}

void HttpExchange::adopt(QTcpSocket *socket)
{
    socket->setParent(this);
    m_socket = socket;
    connect(socket, &QTcpSocket::readyRead, this, &HttpExchange::onReadyRead);
    connect(socket, &QTcpSocket::disconnected, this, &HttpExchange::onDisconnected);
    connect(socket, &QTcpSocket::errorOccurred, this, &HttpExchange::onSocketError);
}

// A kept connection the server closed before answering (its idle time ran
// out as the request went): the request goes again, once, on a new one.
bool HttpExchange::retryOnNewConnection()
{
    // Anything of the answer (a status, or bytes not yet taken) means the
    // server did answer: a second request could do its work twice.
    if (!m_onKeptConnection || m_status != 0 || !m_buffer.isEmpty())
        return false;
    dropSocket();
    start(m_url, Connection::New);
    return true;
}

void HttpExchange::onConnected()
{
    QByteArray target = m_url.toEncoded(QUrl::RemoveScheme | QUrl::RemoveAuthority | QUrl::RemoveFragment);
    if (target.isEmpty())
        target = "/";
    m_socket->write("GET " + target + " HTTP/1.1\r\nHost: "
                    + m_url.adjusted(QUrl::RemoveUserInfo).authority(QUrl::FullyEncoded).toLatin1()
                    + "\r\nUser-Agent: " + m_userAgent + "\r\nAccept: */*\r\n\r\n");
}

void HttpExchange::onReadyRead()
{
    if (m_done || !m_socket)
        return;
    // Once in a body of known length, bytes go straight to it.
    if (m_stage == Stage::Body && m_buffer.isEmpty() && m_contentLength >= 0) {
        const qint64 wanted = m_contentLength - m_body.size();
        if (m_socket->bytesAvailable() <= wanted) {
            if (!appendBody(m_socket->readAll()))
                return;
            if (m_body.size() == m_contentLength)
                finish(true);
            return;
        }
    }
    m_buffer += m_socket->readAll();
    for (;;) {
        const Stage before = m_stage;
        const qsizetype left = m_buffer.size();
        bool going = true;
        switch (m_stage) {
        case Stage::Head: going = takeHead(); break;
        case Stage::Body: going = takeBody(); break;
        default: going = takeChunks(); break;
        }
        if (!going || m_done)
            return;
        // Nothing more can be taken until more arrives.
        if (m_stage == before && m_buffer.size() == left)
            return;
    }
}

bool HttpExchange::takeHead()
{
    qsizetype end = m_buffer.indexOf("\r\n\r\n");
    qsizetype gap = 4;
    if (end < 0) {
        end = m_buffer.indexOf("\n\n");
        gap = 2;
    }
    if (end < 0) {
        if (m_buffer.size() > MaxHeadBytes)
            finish(false);
        return false; // more to come
    }
    QList<QByteArray> lines = m_buffer.left(end).split('\n');
    m_buffer.remove(0, end + gap);
    for (QByteArray &line : lines)
        line = line.trimmed();
    // "HTTP/1.1 200 OK"
    const QList<QByteArray> statusLine = lines.value(0).split(' ');
    bool isNumber = false;
    m_status = statusLine.value(1).toInt(&isNumber);
    if (!statusLine.value(0).startsWith("HTTP/1.") || !isNumber) {
        finish(false);
        return false;
    }
    const QByteArray version = statusLine.value(0);
    lines.removeFirst();
    if (m_status >= 100 && m_status < 200)
        return true; // an interim answer: the real one follows
    if (isRedirect(m_status)) {
        m_location = fieldValue(lines, "Location");
        redirect();
        return false;
    }
    if (m_status < 200 || m_status > 299) {
        finish(false);
        return false;
    }
    m_chunked = fieldValue(lines, "Transfer-Encoding").toLower().endsWith("chunked");
    const QByteArray length = fieldValue(lines, "Content-Length");
    bool lengthKnown = false;
    m_contentLength = m_chunked ? -1 : length.toLongLong(&lengthKnown);
    if (!lengthKnown)
        m_contentLength = -1;
    // HTTP/1.1 keeps the connection unless the server says otherwise; a
    // body that runs to the close cannot leave it open.
    m_keepable = version == "HTTP/1.1" && (m_chunked || m_contentLength >= 0)
        && !fieldValue(lines, "Connection").toLower().contains("close");
    if (m_contentLength > m_maxBodyBytes) {
        finish(false);
        return false;
    }
    if (m_contentLength > 0)
        m_body.reserve(m_contentLength);
    m_stage = m_chunked ? Stage::Chunk : Stage::Body;
    if (m_status == 204 || m_status == 205 || m_contentLength == 0) {
        finish(true);
        return false;
    }
    return true;
}

bool HttpExchange::takeBody()
{
    QByteArray bytes = std::exchange(m_buffer, {});
    if (m_contentLength >= 0 && m_body.size() + bytes.size() > m_contentLength) {
        // More than announced: whatever follows on this connection is suspect.
        m_keepable = false;
        bytes.truncate(m_contentLength - m_body.size());
    }
    if (!appendBody(bytes))
        return false;
    if (m_contentLength >= 0 && m_body.size() == m_contentLength) {
        finish(true);
        return false;
    }
    return true;
}

bool HttpExchange::takeChunks()
{
    switch (m_stage) {
    case Stage::Chunk: {
        const qsizetype end = m_buffer.indexOf('\n');
        if (end < 0)
            return m_buffer.size() <= MaxHeadBytes || (finish(false), false);
        const QByteArray line = m_buffer.left(end).trimmed();
        m_buffer.remove(0, end + 1);
        bool isNumber = false;
        m_chunkLeft = line.left(line.indexOf(';') < 0 ? line.size() : line.indexOf(';')).trimmed().toLongLong(&isNumber, 16);
        if (!isNumber || m_chunkLeft < 0) {
            finish(false);
            return false;
        }
        m_stage = m_chunkLeft == 0 ? Stage::Trailer : Stage::ChunkData;
        return true;
    }
    case Stage::ChunkData: {
        const qsizetype take = qMin<qint64>(m_chunkLeft, m_buffer.size());
        if (!appendBody(m_buffer.left(take)))
            return false;
        m_buffer.remove(0, take);
        m_chunkLeft -= take;
        if (m_chunkLeft == 0)
            m_stage = Stage::ChunkEnd;
        return true;
    }
    case Stage::ChunkEnd: {
        const qsizetype end = m_buffer.indexOf('\n');
        if (end < 0)
            return true;
        m_buffer.remove(0, end + 1);
        m_stage = Stage::Chunk;
        return true;
    }
    case Stage::Trailer: {
        const qsizetype end = m_buffer.indexOf('\n');
        if (end < 0)
            return m_buffer.size() <= MaxHeadBytes || (finish(false), false);
        const bool last = m_buffer.left(end).trimmed().isEmpty();
        m_buffer.remove(0, end + 1);
        if (last) {
            finish(true);
            return false;
        }
        return true;
    }
    default: return true;
    }
}

bool HttpExchange::appendBody(const QByteArray &bytes)
{
    if (m_body.size() + bytes.size() > m_maxBodyBytes) {
        finish(false);
        return false;
    }
    m_body += bytes;
    return true;
}

// No less safe than the request: from https only to https.
void HttpExchange::redirect()
{
    const QUrl target = m_url.resolved(QUrl::fromEncoded(m_location, QUrl::TolerantMode));
    const bool downgrade = m_url.scheme().compare(QLatin1String("https"), Qt::CaseInsensitive) == 0
        && target.scheme().compare(QLatin1String("https"), Qt::CaseInsensitive) != 0;
    if (m_location.isEmpty() || downgrade || ++m_redirects > MaxRedirects)
        return finish(false);
    // A new connection for the new address, once this handler has returned.
    dropSocket();
    QMetaObject::invokeMethod(this, [this, target] { start(target); }, Qt::QueuedConnection);
}

void HttpExchange::onDisconnected()
{
    if (m_done)
        return;
    onReadyRead(); // what arrived with the close
    if (m_done || retryOnNewConnection())
        return;
    // Only a body without a stated length ends with the connection.
    finish(m_stage == Stage::Body && m_contentLength < 0);
}

void HttpExchange::onSocketError()
{
    if (m_done || !m_socket)
        return;
    // The server closing is no error by itself; what it cut short is
    // judged when the connection is gone.
    if (m_socket->error() == QAbstractSocket::RemoteHostClosedError || retryOnNewConnection())
        return;
    finish(false);
}

void HttpExchange::finish(bool ok)
{
    if (m_done)
        return;
    m_done = true;
    KeptConnections *keeper = KeptConnections::forThisThread();
    QTcpSocket *socket = m_socket.data();
    if (ok && m_keepable && keeper && socket && m_buffer.isEmpty() && socket->bytesAvailable() == 0
        && socket->state() == QAbstractSocket::ConnectedState) {
        m_socket = nullptr;
        socket->disconnect(this);
        keeper->keep(KeptConnections::serverOf(m_url), socket);
    }
    dropSocket();
    if (!ok)
        m_body.clear();
    Q_EMIT finished(ok, std::exchange(m_body, {}));
}

void HttpExchange::dropSocket()
{
    QTcpSocket *socket = m_socket.data();
    if (!socket)
        return;
    m_socket = nullptr;
    socket->disconnect(this);
    socket->abort();
    // Perhaps inside one of the socket's own signals.
    socket->deleteLater();
}
