#include "mail/CEmail.h"

#include "mail/FWinsock.h"

#include <QtDebug>

#include <limits>

namespace {

const QString CrLf = QStringLiteral("\r\n");

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

    ++m_iSession;
    m_state = SessionState::Connecting;
    // The timer covers the connection attempt and the greeting together.
    m_frmWinsock->SetTimerEnabled(true);
    m_frmWinsock->ConnectToServer(sServer, QString::number(iPort));
}

void CEmail::CloseConn(bool bError)
{
    m_frmWinsock->Close();
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
    awaitReply(SessionState::AwaitingGreeting);
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
        const QString sQuote = m_sResponse.left(OverflowQuote) + QStringLiteral("...");
        m_sResponse.clear();
        m_bResponseComplete = false;
        m_frmWinsock->SetTimerEnabled(false);
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
    Q_UNUSED(Description);
    Q_UNUSED(Scode);
    Q_UNUSED(Source);
    // The socket layer's success code is no error.
    if (Number == FWinsock::SuccessCode)
        return;
    if (m_state == SessionState::Idle)
        return;
    m_frmWinsock->SetTimerEnabled(false);
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
    CloseConn(true);
}

bool CEmail::isAwaiting() const
{
    switch (m_state) {
    case SessionState::AwaitingGreeting:
    case SessionState::AwaitingHelo:
    case SessionState::AwaitingMail:
    case SessionState::AwaitingRcpt:
    case SessionState::AwaitingData:
    case SessionState::AwaitingEndOfData:
        return true;
    default:
        return false;
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
    if (endIfClosedByOwner())
        return;
    m_frmWinsock->SetTimerEnabled(true);
    if (m_bResponseComplete)
        takeReply();
}

void CEmail::takeReply()
{
    m_frmWinsock->SetTimerEnabled(false);
    const QString sReply = m_sResponse;
    m_sResponse.clear();
    m_bResponseComplete = false;
    const SessionState answered = m_state;
    m_state = SessionState::Busy;
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
        m_frmWinsock->SendData(QStringLiteral("HELO ") + m_frmWinsock->LocalHostName() + CrLf);
        return awaitReply(SessionState::AwaitingHelo);
    case SessionState::AwaitingHelo:
        if (iCode != 250)
            return refuse(sReply, false);
        m_frmWinsock->SendData(QStringLiteral("MAIL FROM:<") + m_sFrom + QStringLiteral(">") + CrLf);
        return awaitReply(SessionState::AwaitingMail);
    case SessionState::AwaitingMail:
        if (iCode != 250)
            return refuse(sReply, true);
        m_frmWinsock->SendData(QStringLiteral("RCPT TO:<") + m_sTo + QStringLiteral(">") + CrLf);
        return awaitReply(SessionState::AwaitingRcpt);
    case SessionState::AwaitingRcpt:
        if (iCode != 250)
            return refuse(sReply, true);
        m_frmWinsock->SendData(QStringLiteral("DATA") + CrLf);
        return awaitReply(SessionState::AwaitingData);
    case SessionState::AwaitingData:
        if (iCode != 354)
            return refuse(sReply, false);
        Q_EMIT WinsockMessage(QStringLiteral("Sending Mail . . ."));
        if (!stillBusy(iSession))
            return;
        m_frmWinsock->SendData(MessageText(m_sTo, m_sFrom, m_sSubject, m_sBody));
        m_frmWinsock->SendData(QStringLiteral("\r\n.\r\n"));
        return awaitReply(SessionState::AwaitingEndOfData);
    case SessionState::AwaitingEndOfData:
        if (iCode != 250)
            return refuse(sReply, false);
        m_frmWinsock->SendData(QStringLiteral("QUIT") + CrLf);
        Q_EMIT WinsockMessage(QStringLiteral("Message Sent"));
        if (!stillBusy(iSession))
            return;
        return CloseConn(false);
    default:
        return;
    }
}

void CEmail::refuse(const QString &sReply, bool bError)
{
    const quint64 iSession = m_iSession;
    Q_EMIT OnErrorMessage(ErrorTextPrefix + sReply);
    if (!stillBusy(iSession))
        return;
    CloseConn(bError);
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
