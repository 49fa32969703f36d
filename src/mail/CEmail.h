#pragma once

#include <QObject>
#include <QString>

class FWinsock;

// One plain-text message to one recipient per session over SMTP (HELO,
// MAIL FROM, RCPT TO, DATA, QUIT; no extensions, no authentication).
// SendMail returns at once; the dialogue is a state machine driven by the
// events of the socket host, each state waiting for one complete reply.
// Every session ends with exactly one OnWinsockConnectionClosed.
class CEmail : public QObject
{
    Q_OBJECT

public:
    // A reply that grows past this many characters without ending in CR LF
    // ends the session as an error.
    static constexpr int ReplyLimit = 64 * 1024;

    explicit CEmail(QObject *parent = nullptr);
    ~CEmail() override;

    // Starts one session: connects to sServer at iPort and, once connected,
    // sends the message. A second call while a session is still running on
    // an open socket is refused (ignored, with a warning).
    void SendMail(const QString &sServer, int iPort, const QString &sTo, const QString &sFrom,
                  const QString &sSubject, const QString &sBody);

    // Closes the host's socket; with bError raises the closed-in-error text;
    // then raises OnWinsockConnectionClosed.
    void CloseConn(bool bError);

    // The socket host; the owner closes its socket before a batch.
    FWinsock *frmWinsock() const { return m_frmWinsock; }

    // True from SendMail until the session has ended.
    bool IsSending() const { return m_state != SessionState::Idle; }

    // The code of a reply: the leading decimal digits of its first
    // blank-separated piece (0 when it does not begin with a digit).
    static int ReplyCode(const QString &sReply);

    // What goes on the wire between the reply to DATA and the terminator:
    // the header block and the body with line ends made CR LF and lines
    // beginning with "." doubled. CR and LF never reach the header values.
    static QString MessageText(const QString &sTo, const QString &sFrom, const QString &sSubject,
                               const QString &sBody);

    // A body made safe for the DATA phase: every bare CR or LF becomes
    // CR LF and every line beginning with "." gets one more ".".
    static QString StuffBody(const QString &sBody);

    // A header value or address with CR and LF removed.
    static QString SingleLine(const QString &sValue);

Q_SIGNALS:
    void WinsockMessage(const QString &sMessage);
    void OnWinsockConnectionClosed();
    void OnErrorMessage(const QString &sMessage);

private:
    enum class SessionState {
        Idle,
        Connecting,
        AwaitingGreeting,
        AwaitingHelo,
        AwaitingMail,
        AwaitingRcpt,
        AwaitingData,
        AwaitingEndOfData,
        // Working on a reply or the connection (sending, raising events);
        // data arriving meanwhile is collected but not yet taken.
        Busy,
    };

    void frmWinsock_Connect();
    void frmWinsock_WinsockDataArrival(qint32 Bytes);
    void frmWinsock_WinsockError(qint16 Number, const QString &Description, qint32 Scode,
                                 const QString &Source);
    void frmWinsock_OnTimerExpired();
    void frmWinsock_closedByPeer();

    bool isAwaiting() const;
    bool stillBusy(quint64 iSession) const;
    bool endIfClosedByOwner();
    void awaitReply(SessionState next);
    void takeReply();
    void onReply(SessionState answered, const QString &sReply);
    void refuse(const QString &sReply, bool bError);

    FWinsock *m_frmWinsock;
    bool m_bResponseComplete = false;
    QString m_sResponse;
    QString m_sTo;
    QString m_sFrom;
    QString m_sSubject;
    QString m_sBody;
    SessionState m_state = SessionState::Idle;
    // Counts sessions, so that a handler can tell whether its session was
    // ended (and perhaps a new one started) by a listener of its events.
    quint64 m_iSession = 0;
};
