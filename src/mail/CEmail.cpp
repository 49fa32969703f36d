#include "mail/CEmail.h"

#include "base/PageText.h"
#include "mail/FWinsock.h"

#include <QFile>
#include <QRegularExpression>
#include <QSslCertificate>
#include <QSslConfiguration>
#include <QSslSocket>
#include <QStringDecoder>
#include <QTimer>
#include <QUuid>
#include <QtDebug>

#include <algorithm>
#include <limits>

namespace {

const QString CrLf = QStringLiteral("\r\n");
const QString Mask = QStringLiteral("****");

const QString ErrorTextPrefix = QStringLiteral("Server returned the following error:\r\n");
const QString ClosedInErrorText = QStringLiteral("eMail connection has closed in error.");
const QString TimedOutText = QStringLiteral("Could not connect to host.  Timed out");

// How much of an over-long reply the error text quotes.
constexpr int OverflowQuote = 512;

// A reply is complete once its text ends with CR LF and its last line is not
// a continuation line ("250-..."): servers send the lines of one reply in
// several pieces (Postfix's postscreen pauses after the first greeting line),
// and whatever is sent before the last line would be read as the answer to
// the next command. A last line that is no reply line at all also ends the
// reply, so that nonsense is refused at once instead of waited on.
bool isCompleteReply(const QString &sText)
{
    if (!sText.endsWith(CrLf))
        return false;
    // The last line begins after the line end before the final one.
    const qsizetype iEndBefore = sText.size() > 2 ? sText.lastIndexOf(CrLf, sText.size() - 3) : -1;
    const QStringView last = QStringView(sText).mid(iEndBefore < 0 ? 0 : iEndBefore + 2);
    const auto isDigit = [](QChar c) { return c >= u'0' && c <= u'9'; };
    const bool bContinuation = last.size() >= 4 && isDigit(last[0]) && isDigit(last[1])
        && isDigit(last[2]) && last[3] == u'-';
    return !bContinuation;
}

QString base64(const QString &sText)
{
    return QString::fromLatin1(sText.toUtf8().toBase64());
}

// The verification settings of the secure modes: the system's trusted
// certificates plus those of the file, and the server's name checked.
bool tlsConfiguration(const QString &sFile, QSslConfiguration &config, QString &sProblem)
{
    config = QSslConfiguration::defaultConfiguration();
    config.setPeerVerifyMode(QSslSocket::VerifyPeer);
    if (sFile.isEmpty())
        return true;
    QFile file(sFile);
    if (!file.open(QIODevice::ReadOnly)) {
        sProblem = sFile + QStringLiteral(" cannot be read: ") + file.errorString();
        return false;
    }
    const QList<QSslCertificate> extra = QSslCertificate::fromData(file.readAll(), QSsl::Pem);
    if (extra.isEmpty()) {
        sProblem = sFile + QStringLiteral(" holds no PEM certificate");
        return false;
    }
    // Set as one list: adding to the default list would stop the system's
    // certificates from being found on demand.
    config.setCaCertificates(QSslConfiguration::systemCaCertificates() + extra);
    return true;
}

QString socketErrorWords(qint16 iNumber, const QString &sDescription)
{
    switch (iNumber) {
    case FWinsock::ErrorConnectionRefused: return QStringLiteral("connection refused");
    case FWinsock::ErrorHostNotFound: return QStringLiteral("the server name was not found");
    case FWinsock::ErrorNetworkUnreachable: return QStringLiteral("the network is unreachable");
    case FWinsock::ErrorTimedOut: return QStringLiteral("the connection attempt timed out");
    case FWinsock::ErrorConnectionReset: return QStringLiteral("the connection was reset");
    default: return sDescription;
    }
}

QString certificateName(const QStringList &commonNames, const QString &sFallback)
{
    return commonNames.isEmpty() ? sFallback : QStringLiteral("CN=") + commonNames.join(QStringLiteral(", "));
}

QString fingerprint(const QSslCertificate &certificate)
{
    return QString::fromLatin1(certificate.digest(QCryptographicHash::Sha256).toHex(':').toUpper());
}

} // namespace

CEmail::CEmail(QObject *parent)
    : QObject(parent)
    , m_frmWinsock(new FWinsock(this))
{
    connect(m_frmWinsock, &FWinsock::Connect, this, &CEmail::frmWinsock_Connect);
    connect(m_frmWinsock, &FWinsock::WinsockDataArrival, this, &CEmail::frmWinsock_WinsockDataArrival);
    connect(m_frmWinsock, &FWinsock::WinsockError, this, &CEmail::frmWinsock_WinsockError);
    connect(m_frmWinsock, &FWinsock::OnTimerExpired, this, &CEmail::frmWinsock_OnTimerExpired);
    connect(m_frmWinsock, &FWinsock::closedByPeer, this, &CEmail::frmWinsock_closedByPeer);
    connect(m_frmWinsock, &FWinsock::Encrypted, this, &CEmail::frmWinsock_Encrypted);
}

CEmail::~CEmail()
{
    // Going away ends any session without events.
    m_frmWinsock->disconnect(this);
    m_frmWinsock->SetTimerEnabled(false);
    m_frmWinsock->Close();
}

void CEmail::SendMail(const QString &sServer, int iPort, const QString &sTo, const QString &sFrom,
                      const QString &sSubject, const QString &sBody)
{
    SmtpSettings settings;
    settings.server = sServer;
    // The port goes to the host as given: one out of range fails there, as
    // a connection error.
    settings.port = quint16(qBound(0, iPort, 65535));
    startSession(settings, iPort, sTo, sFrom, sSubject, sBody);
}

void CEmail::SendMail(const SmtpSettings &settings, const QString &sTo, const QString &sFrom,
                      const QString &sSubject, const QString &sBody)
{
    startSession(settings, settings.port, sTo, sFrom, sSubject, sBody);
}

void CEmail::startSession(const SmtpSettings &settings, int iPort, const QString &sTo, const QString &sFrom,
                          const QString &sSubject, const QString &sBody)
{
    if (m_state != SessionState::Idle) {
        if (m_frmWinsock->State() != FWinsock::Closed) {
            qWarning("CEmail::SendMail: a session is still running; the new message is not sent");
            return;
        }
        // The owner closed the socket under the running session: that
        // session has ended without events, as its reply wait would have.
        m_frmWinsock->SetTimerEnabled(false);
        m_state = SessionState::Idle;
    }

    // Header values and envelope addresses are single lines: a CR or LF in
    // them could add headers or commands of its own.
    m_sTo = SingleLine(sTo);
    m_sFrom = SingleLine(sFrom);
    m_sSubject = SingleLine(sSubject);
    m_sBody = sBody;
    // Text left over from an earlier session (a reply cut off by a
    // time-out) must not become the start of this server's greeting.
    m_sResponse.clear();
    m_bResponseComplete = false;

    m_settings = settings;
    m_capabilities = {};
    m_bEncrypted = false;
    m_bAccepted = false;
    m_secrets.clear();
    if (isSecure() && settings.signsIn() && !settings.password.isEmpty()) {
        m_secrets << base64(QChar() + settings.user + QChar() + settings.password)
                  << base64(settings.password) << settings.password;
    }
    m_result = SessionResult{};
    m_result.server = settings.server;
    m_result.port = settings.port;
    m_result.security = settings.security;
    m_result.timeoutMs = m_frmWinsock->TimerInterval();

    ++m_iSession;
    m_state = SessionState::Connecting;

    // Settings that cannot work end the session before a byte is sent.
    if (settings.security == SmtpSecurity::None && settings.signsIn())
        return failSoon(SessionFailure::SignInNeedsEncryption, {});
    QSslConfiguration config;
    QString sProblem;
    if (isSecure() && !tlsConfiguration(settings.trustedCertificatesFile, config, sProblem))
        return failSoon(SessionFailure::BadCertificateFile, sProblem);

    // The timer covers the connection attempt and the greeting together
    // (with TLS from the first byte, the handshake too).
    m_frmWinsock->SetTimerEnabled(true);
    if (isSecure())
        m_frmWinsock->ConnectToServerSecure(settings.server, QString::number(iPort), config,
                                            settings.security == SmtpSecurity::Tls);
    else
        m_frmWinsock->ConnectToServer(settings.server, QString::number(iPort));
}

void CEmail::CloseConn(bool bError)
{
    m_frmWinsock->Close();
    if (m_bAccepted)
        m_result.outcome = SessionOutcome::Accepted;
    else if ((m_result.failure == SessionFailure::Refused || m_result.failure == SessionFailure::SignInRefused)
             && m_result.replyCode >= 500 && m_result.replyCode <= 599)
        m_result.outcome = SessionOutcome::RefusedPermanently;
    else
        m_result.outcome = SessionOutcome::FailedTemporarily;
    // The session is over before anyone hears of it, so that a listener may
    // start the next one from its handler.
    m_state = SessionState::Idle;
    if (bError)
        Q_EMIT OnErrorMessage(ClosedInErrorText);
    Q_EMIT OnWinsockConnectionClosed();
}

void CEmail::frmWinsock_Connect()
{
    if (m_state != SessionState::Connecting)
        return;
    const quint64 iSession = m_iSession;
    m_state = SessionState::Busy;
    Q_EMIT WinsockMessage(QStringLiteral("Connected to send email"));
    if (!stillBusy(iSession))
        return;
    // The timer started by SendMail keeps running: connection attempt and
    // greeting share one period.
    if (m_settings.security == SmtpSecurity::Tls)
        return awaitHandshake();
    awaitReply(SessionState::AwaitingGreeting);
}

void CEmail::frmWinsock_Encrypted()
{
    if (m_state != SessionState::AwaitingHandshake)
        return;
    const quint64 iSession = m_iSession;
    m_state = SessionState::Busy;
    m_bEncrypted = true;
    // Nothing that came before the handshake was protected by it.
    m_sResponse.clear();
    m_bResponseComplete = false;
    Q_EMIT dialogueLine(LineKind::Tls, handshakeSummary());
    if (!stillBusy(iSession))
        return;
    if (m_settings.security == SmtpSecurity::Tls)
        return awaitReply(SessionState::AwaitingGreeting);
    // STARTTLS: the dialogue starts again, with a period of its own.
    m_frmWinsock->SetTimerEnabled(false);
    sendEhlo();
}

void CEmail::frmWinsock_WinsockDataArrival(qint32 Bytes)
{
    Q_UNUSED(Bytes);
    const QString sData = m_frmWinsock->GetData();
    if (m_state == SessionState::Idle)
        return;
    m_sResponse += sData;
    if (isCompleteReply(m_sResponse)) {
        m_bResponseComplete = true;
    } else if (m_sResponse.size() > ReplyLimit) {
        // A peer that sends without ever ending its reply would otherwise
        // make it grow without bound.
        const QString sQuote = masked(m_sResponse.left(OverflowQuote)) + QStringLiteral("...");
        m_sResponse.clear();
        m_bResponseComplete = false;
        m_frmWinsock->SetTimerEnabled(false);
        record(SessionFailure::OverlongReply);
        const quint64 iSession = m_iSession;
        Q_EMIT OnErrorMessage(ErrorTextPrefix + sQuote);
        if (m_iSession == iSession && m_state != SessionState::Idle)
            CloseConn(true);
        return;
    }
    if (m_bResponseComplete && isAwaiting())
        takeReply();
}

void CEmail::frmWinsock_WinsockError(qint16 Number, const QString &Description, qint32 Scode,
                                     const QString &Source)
{
    Q_UNUSED(Scode);
    Q_UNUSED(Source);
    // The socket layer's success code is no error.
    if (Number == FWinsock::SuccessCode)
        return;
    if (m_state == SessionState::Idle)
        return;
    m_frmWinsock->SetTimerEnabled(false);
    if (Number == FWinsock::ErrorSecureChannel) {
        const QList<QSslError> errors = m_frmWinsock->SslErrors();
        if (errors.isEmpty())
            return fail(SessionFailure::TlsFailed, Description);
        const QSslCertificate certificate = m_frmWinsock->PeerCertificate();
        for (const QSslError &error : errors)
            m_result.certificateErrors << error.errorString();
        m_result.certificateSubject = certificateName(certificate.subjectInfo(QSslCertificate::CommonName),
                                                      certificate.subjectDisplayName());
        m_result.certificateFingerprint = fingerprint(certificate);
        return fail(SessionFailure::CertificateNotTrusted);
    }
    record(SessionFailure::ConnectionFailed, socketErrorWords(Number, Description));
    CloseConn(true);
}

void CEmail::frmWinsock_OnTimerExpired()
{
    if (m_state == SessionState::Idle) {
        m_frmWinsock->SetTimerEnabled(false);
        return;
    }
    if (endIfClosedByOwner())
        return;
    // Stopped first, so that a session started from the closed event gets
    // a timer of its own.
    m_frmWinsock->SetTimerEnabled(false);
    record(SessionFailure::TimedOut);
    CloseConn(true);
    Q_EMIT WinsockMessage(TimedOutText);
}

void CEmail::frmWinsock_closedByPeer()
{
    if (m_state == SessionState::Idle)
        return;
    // What the server said before it went may still complete the reply
    // that was awaited (a server that closes right after its last reply).
    const quint64 iSession = m_iSession;
    frmWinsock_WinsockDataArrival(0);
    if (m_iSession != iSession || m_state == SessionState::Idle)
        return;
    // Gone before the reply that was awaited: nothing more can come, so
    // waiting for the time-out would only delay the error.
    m_frmWinsock->SetTimerEnabled(false);
    record(SessionFailure::ClosedByServer);
    CloseConn(true);
}

bool CEmail::isAwaiting() const
{
    switch (m_state) {
    case SessionState::Idle:
    case SessionState::Connecting:
    case SessionState::AwaitingHandshake:
    case SessionState::Busy:
        return false;
    default:
        return true;
    }
}

bool CEmail::stillBusy(quint64 iSession) const
{
    return m_iSession == iSession && m_state == SessionState::Busy;
}

bool CEmail::endIfClosedByOwner()
{
    if (m_state == SessionState::Idle || m_frmWinsock->State() != FWinsock::Closed)
        return false;
    // Whoever closed the socket has said what there was to say.
    m_frmWinsock->SetTimerEnabled(false);
    m_state = SessionState::Idle;
    return true;
}

void CEmail::awaitReply(SessionState next)
{
    m_state = next;
    switch (next) {
    case SessionState::AwaitingGreeting: m_result.step = SmtpStep::Greeting; break;
    case SessionState::AwaitingHelo: m_result.step = SmtpStep::Helo; break;
    case SessionState::AwaitingEhlo: m_result.step = SmtpStep::Ehlo; break;
    case SessionState::AwaitingStartTls: m_result.step = SmtpStep::StartTls; break;
    case SessionState::AwaitingLoginUser:
    case SessionState::AwaitingLoginPassword:
    case SessionState::AwaitingSignIn: m_result.step = SmtpStep::SignIn; break;
    case SessionState::AwaitingMail: m_result.step = SmtpStep::MailFrom; break;
    case SessionState::AwaitingRcpt: m_result.step = SmtpStep::RcptTo; break;
    case SessionState::AwaitingData: m_result.step = SmtpStep::Data; break;
    case SessionState::AwaitingEndOfData: m_result.step = SmtpStep::Message; break;
    default: break;
    }
    if (endIfClosedByOwner())
        return;
    m_frmWinsock->SetTimerEnabled(true);
    if (m_bResponseComplete)
        takeReply();
}

void CEmail::awaitHandshake()
{
    m_state = SessionState::AwaitingHandshake;
    m_result.step = SmtpStep::TlsHandshake;
    if (endIfClosedByOwner())
        return;
    // A handshake that stalls runs into the time-out like a silent reply.
    m_frmWinsock->SetTimerEnabled(true);
}

void CEmail::takeReply()
{
    m_frmWinsock->SetTimerEnabled(false);
    const QString sReply = m_sResponse;
    m_sResponse.clear();
    m_bResponseComplete = false;
    const SessionState answered = m_state;
    m_state = SessionState::Busy;
    const quint64 iSession = m_iSession;
    // The challenges of AUTH LOGIN are the same for everyone, but what is
    // answered to them is not: both sides of that exchange stay masked.
    const bool bLoginStep = answered == SessionState::AwaitingLoginUser
        || answered == SessionState::AwaitingLoginPassword;
    for (const QString &sLine : sReply.split(CrLf, Qt::SkipEmptyParts)) {
        const bool bChallenge = bLoginStep && sLine.startsWith(QLatin1String("334"));
        Q_EMIT dialogueLine(LineKind::Received, bChallenge ? QStringLiteral("334 ") + Mask : masked(sLine));
    }
    if (!stillBusy(iSession))
        return;
    onReply(answered, sReply);
}

void CEmail::onReply(SessionState answered, const QString &sReply)
{
    const quint64 iSession = m_iSession;
    const int iCode = ReplyCode(sReply);
    switch (answered) {
    case SessionState::AwaitingGreeting:
        if (iCode != 220)
            return refuse(sReply, false);
        Q_EMIT WinsockMessage(QStringLiteral("Receiving Welcome Message"));
        if (!stillBusy(iSession))
            return;
        if (isSecure())
            return sendEhlo();
        send(QStringLiteral("HELO ") + m_frmWinsock->LocalHostName());
        return awaitReply(SessionState::AwaitingHelo);
    case SessionState::AwaitingHelo:
        if (iCode != 250)
            return refuse(sReply, false);
        return sendMailFrom();
    case SessionState::AwaitingEhlo:
        if (iCode != 250)
            return refuse(sReply, false);
        m_capabilities = SmtpCapabilities(sReply);
        if (m_bEncrypted)
            return signIn();
        // STARTTLS before anything else; without it nothing more is said
        // in clear.
        if (!m_capabilities.offersStartTls())
            return fail(SessionFailure::NoStartTls, m_capabilities.extensions().join(QStringLiteral(", ")));
        send(QStringLiteral("STARTTLS"));
        return awaitReply(SessionState::AwaitingStartTls);
    case SessionState::AwaitingStartTls:
        if (iCode != 220)
            return refuse(sReply, false);
        awaitHandshake();
        if (m_state == SessionState::AwaitingHandshake && !m_frmWinsock->StartEncryption())
            fail(SessionFailure::TlsFailed, QStringLiteral("the connection cannot start TLS"));
        return;
    case SessionState::AwaitingLoginUser:
        if (iCode != 334)
            return refuse(sReply, false, SessionFailure::SignInRefused);
        send(base64(m_settings.user), Mask);
        return awaitReply(SessionState::AwaitingLoginPassword);
    case SessionState::AwaitingLoginPassword:
        if (iCode != 334)
            return refuse(sReply, false, SessionFailure::SignInRefused);
        send(base64(m_settings.password), Mask);
        return awaitReply(SessionState::AwaitingSignIn);
    case SessionState::AwaitingSignIn:
        if (iCode != 235)
            return refuse(sReply, false, SessionFailure::SignInRefused);
        return sendMailFrom();
    case SessionState::AwaitingMail:
        if (iCode != 250)
            return refuse(sReply, true);
        send(QStringLiteral("RCPT TO:<") + m_sTo + QStringLiteral(">"));
        return awaitReply(SessionState::AwaitingRcpt);
    case SessionState::AwaitingRcpt:
        if (iCode != 250)
            return refuse(sReply, true);
        send(QStringLiteral("DATA"));
        return awaitReply(SessionState::AwaitingData);
    case SessionState::AwaitingData: {
        if (iCode != 354)
            return refuse(sReply, false);
        Q_EMIT WinsockMessage(QStringLiteral("Sending Mail . . ."));
        if (!stillBusy(iSession))
            return;
        const QString sMessage = isSecure() ? SecureMessageText(m_sTo, m_sFrom, m_sSubject, m_sBody,
                                                                QDateTime::currentDateTime(), NewMessageId(m_sFrom))
                                            : MessageText(m_sTo, m_sFrom, m_sSubject, m_sBody);
        // One write: the end of data sent on its own would wait for the
        // server's delayed acknowledgement of the message (Nagle), 40 ms.
        m_frmWinsock->SendData(sMessage + QStringLiteral("\r\n.\r\n"));
        Q_EMIT dialogueLine(LineKind::Sent, QStringLiteral("(the message, %1 bytes)").arg(sMessage.size()));
        Q_EMIT dialogueLine(LineKind::Sent, QStringLiteral("."));
        if (!stillBusy(iSession))
            return;
        return awaitReply(SessionState::AwaitingEndOfData);
    }
    case SessionState::AwaitingEndOfData:
        if (iCode != 250)
            return refuse(sReply, false);
        m_bAccepted = true;
        m_result.reply = masked(sReply);
        m_result.replyCode = iCode;
        send(QStringLiteral("QUIT"));
        Q_EMIT WinsockMessage(QStringLiteral("Message Sent"));
        if (!stillBusy(iSession))
            return;
        return CloseConn(false);
    default:
        return;
    }
}

void CEmail::send(const QString &sCommand, const QString &sShown)
{
    m_frmWinsock->SendData(sCommand + CrLf);
    Q_EMIT dialogueLine(LineKind::Sent, sShown.isNull() ? sCommand : sShown);
}

void CEmail::sendEhlo()
{
    send(QStringLiteral("EHLO ") + m_frmWinsock->LocalHostName());
    awaitReply(SessionState::AwaitingEhlo);
}

void CEmail::signIn()
{
    if (!m_settings.signsIn())
        return sendMailFrom();
    // Only ever reached encrypted; kept as a guard, whatever the path.
    if (!m_bEncrypted)
        return fail(SessionFailure::SignInNeedsEncryption);
    switch (m_capabilities.preferredSignIn()) {
    case SmtpCapabilities::SignIn::Plain:
        send(QStringLiteral("AUTH PLAIN ") + base64(QChar() + m_settings.user + QChar() + m_settings.password),
             QStringLiteral("AUTH PLAIN ") + Mask);
        return awaitReply(SessionState::AwaitingSignIn);
    case SmtpCapabilities::SignIn::Login:
        send(QStringLiteral("AUTH LOGIN"));
        return awaitReply(SessionState::AwaitingLoginUser);
    case SmtpCapabilities::SignIn::None:
        break;
    }
    fail(SessionFailure::NoSignInMethod, m_capabilities.authMechanisms().join(u' '));
}

void CEmail::sendMailFrom()
{
    send(QStringLiteral("MAIL FROM:<") + m_sFrom + QStringLiteral(">"));
    awaitReply(SessionState::AwaitingMail);
}

void CEmail::refuse(const QString &sReply, bool bError, SessionFailure failure)
{
    const quint64 iSession = m_iSession;
    m_result.reply = masked(sReply);
    m_result.replyCode = ReplyCode(sReply);
    record(failure);
    Q_EMIT OnErrorMessage(ErrorTextPrefix + m_result.reply);
    if (!stillBusy(iSession))
        return;
    CloseConn(bError);
}

void CEmail::record(SessionFailure failure, const QString &sDetail)
{
    m_result.failure = failure;
    if (!sDetail.isNull())
        m_result.detail = sDetail;
}

void CEmail::fail(SessionFailure failure, const QString &sDetail)
{
    // A failure the plain dialogue never has: the user is told what it was,
    // then the session ends as an error.
    m_frmWinsock->SetTimerEnabled(false);
    record(failure, sDetail);
    const quint64 iSession = m_iSession;
    Q_EMIT OnErrorMessage(m_result.verdict());
    if (m_iSession != iSession || m_state == SessionState::Idle)
        return;
    CloseConn(true);
}

void CEmail::failSoon(SessionFailure failure, const QString &sDetail)
{
    // Reported from the event loop, like every other end of a session, so
    // that a caller starting sessions from the closed event does not recurse.
    QTimer::singleShot(0, this, [this, iSession = m_iSession, failure, sDetail] {
        if (m_iSession == iSession && m_state == SessionState::Connecting)
            fail(failure, sDetail);
    });
}

QString CEmail::masked(QString sText) const
{
    for (const QString &sSecret : m_secrets)
        sText.replace(sSecret, Mask);
    return sText;
}

QString CEmail::handshakeSummary() const
{
    const QSslCertificate certificate = m_frmWinsock->PeerCertificate();
    const QString sExpiry = certificate.expiryDate().toUTC().toString(QStringLiteral("yyyy-MM-dd"));
    return QStringLiteral("TLS handshake done: ") + m_frmWinsock->TlsProtocol() + QStringLiteral(", ")
        + m_frmWinsock->TlsCipher() + QStringLiteral(", certificate ")
        + certificateName(certificate.subjectInfo(QSslCertificate::CommonName), certificate.subjectDisplayName())
        + QStringLiteral(" issued by ")
        + certificateName(certificate.issuerInfo(QSslCertificate::CommonName), certificate.issuerDisplayName())
        + QStringLiteral(", valid until ") + sExpiry + QStringLiteral(", SHA-256 ") + fingerprint(certificate);
}

int CEmail::ReplyCode(const QString &sReply)
{
    // The first blank-separated piece, read as far as it is a number.
    qint64 iCode = 0;
    for (const QChar c : sReply) {
        if (c < u'0' || c > u'9')
            break;
        iCode = qMin<qint64>(iCode * 10 + (c.unicode() - u'0'), std::numeric_limits<int>::max());
    }
    return int(iCode);
}

QString CEmail::SingleLine(const QString &sValue)
{
    QString sLine = sValue;
    sLine.remove(u'\r');
    sLine.remove(u'\n');
    return sLine;
}

QString CEmail::StuffBody(const QString &sBody)
{
    QString sOut;
    sOut.reserve(sBody.size() + sBody.size() / 32 + 2);
    bool bLineStart = true;
    const qsizetype n = sBody.size();
    for (qsizetype i = 0; i < n; ++i) {
        const QChar c = sBody.at(i);
        if (c == u'\r' || c == u'\n') {
            // CR LF, bare CR and bare LF all end one line.
            if (c == u'\r' && i + 1 < n && sBody.at(i + 1) == u'\n')
                ++i;
            sOut += CrLf;
            bLineStart = true;
            continue;
        }
        if (bLineStart && c == u'.')
            sOut += u'.';
        sOut += c;
        bLineStart = false;
    }
    return sOut;
}

QString CEmail::MessageText(const QString &sTo, const QString &sFrom, const QString &sSubject,
                            const QString &sBody)
{
    return QStringLiteral("From: <") + SingleLine(sFrom) + QStringLiteral(">") + CrLf
        + QStringLiteral("To: ") + SingleLine(sTo) + CrLf
        + QStringLiteral("Subject: ") + SingleLine(sSubject) + CrLf
        + QStringLiteral("X-Mailer: Quillet v1.1") + CrLf
        + QStringLiteral("Mime-Version: 1.0") + CrLf
        + QStringLiteral("Content-Type: text/plain;\tcharset=us-ascii") + CrLf
        + CrLf
        + StuffBody(sBody);
}

QString CEmail::SecureMessageText(const QString &sTo, const QString &sFrom, const QString &sSubject,
                                  const QString &sBody, const QDateTime &date, const QString &sMessageId)
{
    // RFC2822Date writes English day and month names whatever the locale.
    return QStringLiteral("From: <") + SingleLine(sFrom) + QStringLiteral(">") + CrLf
        + QStringLiteral("To: ") + SingleLine(sTo) + CrLf
        + QStringLiteral("Subject: ") + SingleLine(sSubject) + CrLf
        + QStringLiteral("Date: ") + date.toString(Qt::RFC2822Date) + CrLf
        + QStringLiteral("Message-ID: ") + SingleLine(sMessageId) + CrLf
        + QStringLiteral("X-Mailer: Quillet v1.1") + CrLf
        + QStringLiteral("MIME-Version: 1.0") + CrLf
        + QStringLiteral("Content-Type: text/plain; charset=") + BodyCharset(sBody) + CrLf
        + QStringLiteral("Content-Transfer-Encoding: 8bit") + CrLf
        + CrLf
        + StuffBody(sBody);
}

QString CEmail::BodyCharset(const QString &sBody)
{
    // The body's characters are its bytes (see PageText).
    const QByteArray bytes = PageText::toBytes(sBody);
    if (std::all_of(bytes.cbegin(), bytes.cend(), [](char c) { return uchar(c) < 0x80; }))
        return QStringLiteral("us-ascii");
    QStringDecoder utf8(QStringDecoder::Utf8, QStringDecoder::Flag::Stateless);
    const QString sDecoded = utf8(bytes);
    return utf8.hasError() ? QStringLiteral("iso-8859-1") : QStringLiteral("utf-8");
}

QString CEmail::NewMessageId(const QString &sFrom)
{
    QString sDomain = SingleLine(sFrom).section(u'@', -1).trimmed();
    static const QRegularExpression hostName(QStringLiteral("^[A-Za-z0-9.-]+$"));
    if (!sFrom.contains(u'@') || !hostName.match(sDomain).hasMatch())
        sDomain = QStringLiteral("zorvane.invalid");
    return u'<' + QUuid::createUuid().toString(QUuid::Id128) + u'@' + sDomain + u'>';
}
