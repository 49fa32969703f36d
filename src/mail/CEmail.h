#pragma once

#include "mail/SessionResult.h"
#include "mail/SmtpCapabilities.h"
#include "mail/SmtpSettings.h"

#include <QDateTime>
#include <QObject>
#include <QString>
#include <QStringList>

class FWinsock;

// One plain-text message to one recipient per session over SMTP. SendMail
// returns at once; the dialogue is a state machine driven by the events of
// the socket host, each state waiting for one complete reply. Every session
// ends with exactly one OnWinsockConnectionClosed, after which result() says
// how it ended.
//
// Plain mode (SmtpSecurity::None) is the program's original dialogue: HELO,
// MAIL FROM, RCPT TO, DATA, QUIT; no extensions, no sign-in. The secure modes
// speak EHLO, have TLS (STARTTLS, or from the first byte) before anything
// else is said, sign in when a user name is set, and write a header block
// that also carries Date, Message-ID and the body's real charset. A password
// never goes over an unencrypted connection and never into an event.
class CEmail : public QObject
{
    Q_OBJECT

public:
    // What a dialogue line is: a command we sent, a reply line we received,
    // or a step of the TLS layer.
    enum class LineKind { Sent, Received, Tls };
    Q_ENUM(LineKind)

    // A reply that grows past this many characters without ending ends the
    // session as an error.
    static constexpr int ReplyLimit = 64 * 1024;

    explicit CEmail(QObject *parent = nullptr);
    ~CEmail() override;

    // Starts one plain-mode session: connects to sServer at iPort and, once
    // connected, sends the message. A second call while a session is still
    // running on an open socket is refused (ignored, with a warning).
    void SendMail(const QString &sServer, int iPort, const QString &sTo, const QString &sFrom,
                  const QString &sSubject, const QString &sBody);
    // The same with the server, port, security and sign-in of the settings.
    // Settings that cannot work (a user name without encryption, an unusable
    // certificates file) end the session before anything is sent.
    void SendMail(const SmtpSettings &settings, const QString &sTo, const QString &sFrom,
                  const QString &sSubject, const QString &sBody);

    // Closes the host's socket; with bError raises the closed-in-error text;
    // then raises OnWinsockConnectionClosed.
    void CloseConn(bool bError);

    // The socket host; the owner closes its socket before a batch.
    FWinsock *frmWinsock() const { return m_frmWinsock; }

    // True from SendMail until the session has ended.
    bool IsSending() const { return m_state != SessionState::Idle; }

    // How the last session ended; complete once its OnWinsockConnectionClosed
    // has been raised.
    const SessionResult &result() const { return m_result; }

    // The code of a reply: the leading decimal digits of its first
    // blank-separated piece (0 when it does not begin with a digit).
    static int ReplyCode(const QString &sReply);

    // What plain mode puts on the wire between the reply to DATA and the
    // terminator: the header block and the body with line ends made CR LF
    // and lines beginning with "." doubled. CR and LF never reach the header
    // values.
    static QString MessageText(const QString &sTo, const QString &sFrom, const QString &sSubject,
                               const QString &sBody);
    // The same for the secure modes, whose header block also carries Date,
    // Message-ID, MIME-Version and the body's charset.
    static QString SecureMessageText(const QString &sTo, const QString &sFrom, const QString &sSubject,
                                     const QString &sBody, const QDateTime &date, const QString &sMessageId);
    // The charset that says what the body's bytes are: "us-ascii" when all
    // are ASCII, "utf-8" when they are valid UTF-8, else "iso-8859-1".
    static QString BodyCharset(const QString &sBody);
    // A new "<random@domain>", the domain taken from the sender address.
    static QString NewMessageId(const QString &sFrom);

    // A body made safe for the DATA phase: every bare CR or LF becomes
    // CR LF and every line beginning with "." gets one more ".".
    static QString StuffBody(const QString &sBody);

    // A header value or address with CR and LF removed.
    static QString SingleLine(const QString &sValue);

Q_SIGNALS:
    void WinsockMessage(const QString &sMessage);
    void OnWinsockConnectionClosed();
    void OnErrorMessage(const QString &sMessage);
    // The dialogue as it goes, for a transcript: one line per command sent,
    // per reply line received and per TLS step, the sign-in exchange masked
    // ("AUTH PLAIN ****").
    void dialogueLine(CEmail::LineKind kind, const QString &sLine);

private:
    enum class SessionState {
        Idle,
        Connecting,
        AwaitingHandshake,
        AwaitingGreeting,
        AwaitingHelo,
        AwaitingEhlo,
        AwaitingStartTls,
        AwaitingLoginUser,     // 334 to AUTH LOGIN
        AwaitingLoginPassword, // 334 to the user name
        AwaitingSignIn,        // 235
        AwaitingMail,
        AwaitingRcpt,
        AwaitingData,
        AwaitingEndOfData,
        // Working on a reply or the connection (sending, raising events);
        // data arriving meanwhile is collected but not yet taken.
        Busy,
    };

    void startSession(const SmtpSettings &settings, int iPort, const QString &sTo, const QString &sFrom,
                      const QString &sSubject, const QString &sBody);
    void frmWinsock_Connect();
    void frmWinsock_WinsockDataArrival(qint32 Bytes);
    void frmWinsock_WinsockError(qint16 Number, const QString &Description, qint32 Scode,
                                 const QString &Source);
    void frmWinsock_OnTimerExpired();
    void frmWinsock_closedByPeer();
    void frmWinsock_Encrypted();

    bool isAwaiting() const;
    bool stillBusy(quint64 iSession) const;
    bool endIfClosedByOwner();
    void awaitReply(SessionState next);
    void awaitHandshake();
    void takeReply();
    void onReply(SessionState answered, const QString &sReply);
    void refuse(const QString &sReply, bool bError, SessionFailure failure = SessionFailure::Refused);
    void record(SessionFailure failure, const QString &sDetail = {});
    void fail(SessionFailure failure, const QString &sDetail = {});
    void failSoon(SessionFailure failure, const QString &sDetail);
    void send(const QString &sCommand, const QString &sShown = {});
    void sendEhlo();
    void signIn();
    void sendMailFrom();
    QString masked(QString sText) const;
    QString handshakeSummary() const;
    bool isSecure() const { return m_settings.security != SmtpSecurity::None; }

    FWinsock *m_frmWinsock;
    bool m_bResponseComplete = false;
    QString m_sResponse;
    QString m_sTo;
    QString m_sFrom;
    QString m_sSubject;
    QString m_sBody;
    SmtpSettings m_settings;
    SmtpCapabilities m_capabilities;
    bool m_bEncrypted = false;
    bool m_bAccepted = false;
    // What must never leave this object: the password and the sign-in
    // tokens made from it.
    QStringList m_secrets;
    SessionResult m_result;
    SessionState m_state = SessionState::Idle;
    // Counts sessions, so that a handler can tell whether its session was
    // ended (and perhaps a new one started) by a listener of its events.
    quint64 m_iSession = 0;
};
