#pragma once

#include <QByteArray>
#include <QObject>
#include <QPointer>
#include <QUrl>

class QTcpSocket;

// One HTTP/1.1 GET, from the request to the whole answer, on a socket of
// its own in the calling thread: redirects that are no less safe than the
// request are followed (at most ten), an answer with anything but a 2xx
// status, a body larger than the bound or a connection lost before the end
// of the body is a failure. http and https (certificates checked against
// the system's, and the server's name); the application's proxy applies.
// A connection the answer leaves open is kept for the next request to the
// same server (KeptConnections); should the server have closed it meanwhile,
// the request goes again once on a new connection.
//
// Listing pages are fetched by the hundred: Qt's network access manager
// would hand every answer from its own thread to this one, which costs
// several times what the fetch itself does.
//
// It reports once, through finished(), never from inside its constructor or
// abort(); after abort() it reports nothing.
class HttpExchange : public QObject
{
    Q_OBJECT

public:
    static constexpr int MaxRedirects = 10;
    // A head (status line and header fields) longer than this is no answer.
    static constexpr qsizetype MaxHeadBytes = 64 * 1024;

    HttpExchange(const QUrl &url, const QByteArray &userAgent, qint64 maxBodyBytes, QObject *parent = nullptr);
    ~HttpExchange() override;

    // Stops the transfer; nothing is reported.
    void abort();

    // Whether a request can be made for this address at all: http or https
    // with a host.
    static bool isFetchable(const QUrl &url);

Q_SIGNALS:
    void finished(bool ok, const QByteArray &body);

private:
    enum class Stage { Head, Body, Chunk, ChunkData, ChunkEnd, Trailer };

    enum class Connection { KeptOrNew, New };
    void start(const QUrl &url, Connection connection = Connection::KeptOrNew);
    void adopt(QTcpSocket *socket);
    bool retryOnNewConnection();
    void onConnected();
    void onReadyRead();
    void onDisconnected();
    void onSocketError();
    bool takeHead();
    bool takeBody();
    bool takeChunks();
    bool appendBody(const QByteArray &bytes);
    void redirect();
    void finish(bool ok);
    void dropSocket();

    QByteArray m_userAgent;
    qint64 m_maxBodyBytes;
    QUrl m_url;
    int m_redirects = 0;
    QPointer<QTcpSocket> m_socket;

    // The answer as it arrives.
    QByteArray m_buffer;
    Stage m_stage = Stage::Head;
    int m_status = 0;
    QByteArray m_location;
    qint64 m_contentLength = -1; // -1: the body runs to the end of the connection
    bool m_chunked = false;
    qint64 m_chunkLeft = 0;
    QByteArray m_body;
    bool m_done = false;
    // The socket came from KeptConnections.
    bool m_onKeptConnection = false;
    // The answer lets the connection serve another request.
    bool m_keepable = false;
};
