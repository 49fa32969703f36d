#include "CStartStatus.h"

#include "base/ActivityLog.h"
#include "base/UserSettings.h"
#include "base/Version.h"
#include "base/AppError.h"
#include "base/ErrorPatterns.h"
#include "base/MessageBoxes.h"
#include "web/CWebConnection.h"
#include "web/FWebBrowse.h"

#include <QSettings>
#include <QUrl>

#include <limits>

namespace {

const char *const ClassName = "oStartStatus";
const QString NoticeKey = QStringLiteral("Main/FirstRunNoticeSent");

// The reply is read with 16-bit signed positions and lengths: anything that
// does not fit is an overflow, as the run time would raise it.
qint16 toInteger(qsizetype value)
{
    if (value > std::numeric_limits<qint16>::max() || value < std::numeric_limits<qint16>::min())
        throw AppError::platform(ErrorNumber::Overflow);
    return qint16(value);
}

// 1-based position of the first tag in text, 0 when it is absent.
qint16 position(const QString &text, const QString &tag)
{
    return toInteger(text.indexOf(tag, 0, Qt::CaseSensitive) + 1);
}

// length characters of text from the 1-based position start; a negative
// length is an invalid argument.
QString middle(const QString &text, qint16 start, qint16 length)
{
    if (start < 1 || length < 0)
        throw AppError::platform(ErrorNumber::InvalidArgument);
    return text.mid(start - 1, length);
}

// The text between openTag and the first closeTag of the block (the closing
// tag is looked for from the start of the block). False when openTag is absent.
bool elementText(const QString &block, const QString &openTag, const QString &closeTag, QString &text)
{
    const qint16 r = position(block, openTag);
    if (r == 0)
        return false;
    const qint16 s = position(block, closeTag);
    const qint16 start = toInteger(qsizetype(r) + openTag.size());
    text = middle(block, start, toInteger(qsizetype(s) - start));
    return true;
}

} // namespace

CStartStatus::CStartStatus(QObject *parent)
    : CStartStatus(defaultMakerHost(), parent)
{
}

CStartStatus::CStartStatus(const QString &sMakerHost, QObject *parent)
    : QObject(parent)
    , m_bIsFirstTime(userSettings().value(NoticeKey).toString() != Version::full())
{
    setMakerHost(sMakerHost);
}

CStartStatus::~CStartStatus()
{
    try {
        if (m_oWebConnection)
            m_oWebConnection->Cancel();
    } catch (...) {
        reportCaughtError(ClassName, "OnClassTerminate");
    }
    delete m_oWebConnection;
}

QString CStartStatus::Version() const
{
    return Version::full();
}

void CStartStatus::setIsFirstTime(bool bIsFirstTime)
{
    m_bIsFirstTime = bIsFirstTime;
    if (!bIsFirstTime)
        userSettings().setValue(NoticeKey, Version::full());
}

void CStartStatus::setMakerHost(const QString &sMakerHost)
{
    QString host = sMakerHost.trimmed();
    if (!host.endsWith(u'/'))
        host += u'/';
    m_sMakerHost = host;
}

QString CStartStatus::VersionCheckURL() const
{
    // One line, nothing encoded: the version is digits and dots.
    return m_sMakerHost + QStringLiteral("version/versioncheck.asp") + QStringLiteral("?app=") + QStringLiteral("Zorvane")
        + QStringLiteral("&version=") + Version() + QStringLiteral("&appclass=") + QString::number(300000)
        + QStringLiteral("&language=") + QStringLiteral("English");
}

void CStartStatus::releaseConnection()
{
    CWebConnection *oOld = m_oWebConnection;
    m_oWebConnection = nullptr;
    if (!oOld)
        return;
    // Nothing of the old check reaches this object any more.
    disconnect(oOld, nullptr, this, nullptr);
    // Its reply may be what is running right now (a modal window of the
    // result lets events through); it then goes once it has returned.
    if (oOld == m_oDelivering)
        oOld->deleteLater();
    else
        delete oOld;
}

void CStartStatus::CheckVersion()
{
    try {
        releaseConnection();
        m_oWebConnection = new CWebConnection(this);
        connect(m_oWebConnection, &CWebConnection::ResponseCompleted, this,
                &CStartStatus::m_oWebConnection_ResponseCompleted);
        m_oWebConnection->GetWebPageAsynch(VersionCheckURL());
    } catch (...) {
        passOnCaughtError(ClassName, "Check");
    }
}

void CStartStatus::m_oWebConnection_ResponseCompleted(const QString &sResponse)
{
    // The connection tells a failed request by the text "Error".
    CWebConnection *const oPrevious = m_oDelivering;
    m_oDelivering = qobject_cast<CWebConnection *>(sender());
    if (sResponse == QLatin1String("Error"))
        OnVersionCheckAsynchResponse(ResponseFailed, QString());
    else
        OnVersionCheckAsynchResponse(ResponseCompleted, sResponse);
    m_oDelivering = oPrevious;
}

void CStartStatus::OnVersionCheckAsynchResponse(qint32 Response, const QString &HTML)
{
    try {
        // 11 (the request failed) and anything else end the check quietly.
        if (Response == ResponseCompleted)
            CheckVersionPage(HTML);
        else
            qCInfo(lcActivity).noquote() << QStringLiteral("Version check: no answer from ") + VersionCheckURL();
    } catch (...) {
        reportCaughtError(ClassName, "OnVersionCheckAsynchResponse");
    }
}

void CStartStatus::CheckVersionPage(const QString &HTML)
{
    try {
        const QString StatusOpen = QStringLiteral("<status>");
        const qint16 p = position(HTML, StatusOpen);
        if (p == 0) {
            ShowCheckResult();
            return;
        }
        const qint16 q = position(HTML, QStringLiteral("</status>"));
        const qint16 blockStart = toInteger(qsizetype(p) + StatusOpen.size());
        const QString block = middle(HTML, blockStart, toInteger(qsizetype(q) - blockStart));
        if (block.size() <= 20) {
            ShowCheckResult();
            return;
        }

        QString text;
        // Only "1" announces a new version; any other text leaves the flag alone.
        if (elementText(block, QStringLiteral("<newversion>"), QStringLiteral("</newversion>"), text)
            && text == QLatin1String("1"))
            m_bNewVersion = true;
        if (elementText(block, QStringLiteral("<updateurl>"), QStringLiteral("</updateurl>"), text))
            m_sUpdateURL = text;
        if (elementText(block, QStringLiteral("<message>"), QStringLiteral("</message>"), text))
            m_sMessage = text;

        ShowCheckResult();
    } catch (...) {
        passOnCaughtError(ClassName, "CheckVersionPage");
    }
}

bool CStartStatus::IsDownloadAddress(const QString &sURL)
{
    const QUrl url(sURL.trimmed(), QUrl::TolerantMode);
    if (!url.isValid() || url.host().isEmpty())
        return false;
    const QString scheme = url.scheme().toLower();
    return scheme == QLatin1String("http") || scheme == QLatin1String("https");
}

void CStartStatus::ShowCheckResult()
{
    qCInfo(lcActivity).noquote() << (m_bNewVersion ? QStringLiteral("Version check: a newer version is offered at ")
                                                         + m_sUpdateURL
                                                   : QStringLiteral("Version check: %1 is current").arg(Version()))
            + (m_sMessage.isEmpty() ? QString() : QStringLiteral("; the maker sends a message"));
    if (m_bNewVersion) {
        const MessageAnswer answer = MessageBoxes::show({QStringLiteral("New Version Available."), m_sMessage,
                                                         MessageButtons::YesNo, MessageIcon::None,
                                                         MessageKind::UpdateOffer});
        if (answer != MessageAnswer::Yes)
            return;

        // The address comes from the network: the browser is only ever
        // handed a web address, never a file or another kind of link.
        if (!IsDownloadAddress(m_sUpdateURL))
            throw AppError(ErrorNumber::InvalidArgument,
                           runtimeDescription(ErrorNumber::InvalidArgument)
                               + QStringLiteral(": the update address is not a web address: ") + m_sUpdateURL);

        MessageBoxes::show(MessageRequest{
            QStringLiteral("Download update"),
            QStringLiteral("A setup file will now be retrieved from the internet.") + QStringLiteral("\r\n")
                + QStringLiteral("Please choose 'Open' when you are prompted."),
            MessageButtons::Ok, MessageIcon::None});
        FWebBrowse::OpenInBrowser(m_sUpdateURL.trimmed());
        Q_EMIT UpdateAccepted();
    } else if (!m_sMessage.isEmpty()) {
        MessageBoxes::show({QStringLiteral("Pellridge Message"), m_sMessage, MessageButtons::Ok, MessageIcon::None,
                            MessageKind::MakerMessage});
    }
}
