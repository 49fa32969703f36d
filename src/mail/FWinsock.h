#pragma once

#include <QObject>
#include <QList>
#include <QPointer>
#include <QSslCertificate>
#include <QSslConfiguration>
#include <QSslError>
#include <QString>
#include <QTimer>

#include <functional>

class QTcpSocket;

// The hidden host of one SMTP session: a TCP client socket (wskWinsock) and
// a time-out timer (timWinsock), whose events it passes on as its own. All
// events are delivered on the thread that owns the host, synchronously from
// the handler of their source.
class FWinsock : public QObject
{
    Q_OBJECT

public:
    // The socket states as the owner sees them. Only Closed (0) matters to
    // it: the socket is closed only when it was never connected or Close
    // was called; a close by the peer leaves it Closing until Close.
    enum SocketState : qint16 {
        Closed = 0,
        ResolvingHost = 4,
        Connecting = 6,
        Connected = 7,
        Closing = 8, // the peer closed the connection; Close not yet called
        Error = 9,   // the connection failed; Close not yet called
    };

    // The socket layer's success code 40017, as the 16-bit Number carries it.
    static constexpr qint16 SuccessCode = qint16(-25519);

    // Error numbers raised through WinsockError.
    static constexpr qint16 ErrorPermissionDenied = 10013;
    static constexpr qint16 ErrorAddressNotAvailable = 10049;
    static constexpr qint16 ErrorNetworkUnreachable = 10051;
    static constexpr qint16 ErrorConnectionReset = 10054;
    static constexpr qint16 ErrorNoBufferSpace = 10055;
    static constexpr qint16 ErrorTimedOut = 10060;
    static constexpr qint16 ErrorConnectionRefused = 10061;
    static constexpr qint16 ErrorHostNotFound = 11001;
    static constexpr qint16 ErrorUnknown = 10053;
    // The TLS handshake failed (a number of our own: the socket layer of
    // old had no TLS).
    static constexpr qint16 ErrorSecureChannel = 12001;

    static constexpr int DefaultTimerInterval = 30000;

    // Makes the socket of every later connection. Empty (the default) makes a
    // plain QTcpSocket; the fuzz harness puts an in-memory socket here so that
    // sessions run without the network.
    using SocketFactory = std::function<QTcpSocket *(QObject *parent)>;
    static void setSocketFactory(SocketFactory factory);

    explicit FWinsock(QObject *parent = nullptr);
    ~FWinsock() override;

    // Starts connecting to sHost (name or dotted address) at sPort (decimal
    // digits) and returns at once. Later exactly one of Connect or
    // WinsockError follows, never from inside this call. A connection still
    // open from before is closed first.
    void ConnectToServer(const QString &sHost, const QString &sPort);

    // The same over TLS with the given configuration (trusted certificates,
    // peer verification): encrypted from the first byte (bEncryptAtOnce),
    // or plain until StartEncryption. Encrypted follows a handshake that
    // succeeded; one that failed raises WinsockError with ErrorSecureChannel.
    void ConnectToServerSecure(const QString &sHost, const QString &sPort, const QSslConfiguration &config,
                               bool bEncryptAtOnce);
    // Starts the TLS handshake on the open connection (after STARTTLS);
    // false when the connection cannot do TLS.
    bool StartEncryption();

    // Of the current connection's handshake, kept after Close: the
    // certificate problems found, the server's certificate, and once
    // encrypted the protocol ("TLSv1.3") and cipher.
    QList<QSslError> SslErrors() const { return m_sslErrors; }
    QSslCertificate PeerCertificate() const { return m_peerCertificate; }
    QString TlsProtocol() const { return m_sTlsProtocol; }
    QString TlsCipher() const { return m_sTlsCipher; }

    // Sends the text's characters as bytes (ISO 8859-1), after everything
    // sent before. Text sent while the socket is not connected is dropped.
    void SendData(const QString &sData);

    // Every received character not read before, as one string; marks it read.
    QString GetData();

    // Closes the connection at once (text already handed to SendData is
    // still passed to the system first). State becomes 0; harmless when
    // already closed; raises no event.
    void Close();

    qint16 State() const;
    QString LocalHostName() const;

    // timWinsock: enabling a stopped timer starts it counting from zero,
    // enabling a running one leaves its count; disabling stops it.
    void SetTimerEnabled(bool bEnabled);
    bool TimerEnabled() const;
    // The program uses 30000 ms; tests set a short period.
    void SetTimerInterval(int iMilliseconds);
    int TimerInterval() const;

Q_SIGNALS:
    void WinsockError(qint16 Number, const QString &Description, qint32 Scode, const QString &Source);
    void WinsockDataArrival(qint32 Bytes);
    void Connect();
    void OnTimerExpired();
    // The peer closed or reset the connection (the socket cannot tell the
    // two apart). Raised once, after everything the peer sent before has
    // been offered through WinsockDataArrival; State stays non-zero.
    void closedByPeer();
    // The TLS handshake succeeded.
    void Encrypted();

private:
    void onSocketError(QTcpSocket *socket);
    void releaseSocket();
    void startConnection(QTcpSocket *socket, const QString &sHost, const QString &sPort,
                         std::function<void(const QString &, quint16)> connectNow);

    QPointer<QTcpSocket> m_wskWinsock;
    QTimer m_timWinsock;
    // True between ConnectToServer and the moment the socket itself starts
    // connecting (the start is deferred to the event loop).
    bool m_bConnectPending = false;
    // True once the current socket has raised an error.
    bool m_bFailed = false;
    QList<QSslError> m_sslErrors;
    QSslCertificate m_peerCertificate;
    QString m_sTlsProtocol;
    QString m_sTlsCipher;
};
