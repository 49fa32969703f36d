#include "CheckCycle.h"

#include "auction/CUserIDs.h"
#include "auction/ListingSite.h"
#include "base/ErrorPatterns.h"
#include "mail/CEmail.h"
#include "mail/FWinsock.h"
#include "update/CStartStatus.h"
#include "web/CWebConnection.h"

#include <qcoro/qcorosignal.h>

namespace {

// The user has always known these procedures as the main window's.
const char *const ErrorClass = "FAlert";

// A seller whose every page claims a successor is read this far at most.
constexpr int MostListingPages = 1000;
// How long an alert waits for a mail session to end: the session's own
// time-outs end it long before, unless something is badly wrong.
constexpr std::chrono::minutes SessionWaitBound{5};

const QString WelcomeBody = QStringLiteral("Welcome to Zorvane.  \r\n\r\n")
    + QStringLiteral("The auctions of the sellers you have chosen ")
    + QStringLiteral("to watch have been scanned and loaded into memory, ")
    + QStringLiteral("and the program will continue to monitor them on ")
    + QStringLiteral("a periodic basis to look for changes.  When it ")
    + QStringLiteral("finds a change in the high bid of any item, it will send the ")
    + QStringLiteral("details to this email address.  Receipt of this message ")
    + QStringLiteral("means that everything is working fine.");

QString failureBody(const QString &sellerId)
{
    return QStringLiteral("There was an error retrieving the auctions of ") + sellerId
        + QStringLiteral(".  This user's auctions will scanned again during the next check.");
}

} // namespace

CheckCycle::CheckCycle(CUserIDs &sellers, CUserIDs &recipients, QObject *parent)
    : QObject(parent)
    , m_oSellers(sellers)
    , m_oRecipients(recipients)
    , m_oPageConnection(std::make_unique<CWebConnection>())
    , m_oEmail(std::make_unique<CEmail>())
{
    connect(m_oEmail.get(), &CEmail::WinsockMessage, this, &CheckCycle::OnEmailWinsockMessage);
    connect(m_oEmail.get(), &CEmail::OnWinsockConnectionClosed, this, &CheckCycle::OnEmailWinsockConnectionClosed);
    connect(m_oEmail.get(), &CEmail::OnErrorMessage, this, &CheckCycle::mailError);

    m_minuteTimer.setObjectName(QStringLiteral("timSubmitInterval"));
    m_minuteTimer.setInterval(std::chrono::minutes(1));
    connect(&m_minuteTimer, &QTimer::timeout, this, &CheckCycle::OnTimerSubmitInterval);
    m_eventTurn.setSingleShot(true);
    m_eventTurn.setInterval(0);
    connect(&m_eventTurn, &QTimer::timeout, this, &CheckCycle::eventLoopTurned);
    setSettings({});
}

// A cycle still waiting is ended first, while everything it holds is there.
CheckCycle::~CheckCycle()
{
    stop();
}

void CheckCycle::setSettings(const Settings &settings)
{
    const bool itemHostChanged = !m_changeAlerts || settings.network.itemHost != m_settings.network.itemHost;
    m_settings = settings;
    if (m_oStartStatus)
        m_oStartStatus->setMakerHost(m_settings.network.makerHost);
    if (!itemHostChanged || m_bCycleRunning)
        return;
    m_changeAlerts = std::make_unique<ChangeAlerts>(
        m_settings.network.itemHost,
        ChangeAlerts::Hooks{[this] { return m_switches ? m_switches() : AlertSwitches{}; },
                            [this](const QString &text) { Q_EMIT statusText(text); },
                            [this] { return letEventsRun(); }, [this] { return m_bStopped; },
                            [this](QString body, QString sellerId) {
                                return SendEmail(std::move(body), std::move(sellerId));
                            }});
}

void CheckCycle::setStartStatus(CStartStatus *oStartStatus)
{
    m_oStartStatus = oStartStatus;
    if (m_oStartStatus)
        m_oStartStatus->setMakerHost(m_settings.network.makerHost);
}

QString CheckCycle::idleText() const
{
    return QStringLiteral("Idle.  Minutes to next check: ") + QString::number(m_iCheckInterval - m_iMinutesElapsed);
}

void CheckCycle::start()
{
    m_minuteTimer.start();
}

void CheckCycle::setPageTimeout(std::chrono::milliseconds timeout)
{
    if (m_oPageConnection)
        m_oPageConnection->setTimeout(timeout);
}

void CheckCycle::setMailTimeout(std::chrono::milliseconds timeout)
{
    m_oEmail->frmWinsock()->SetTimerInterval(int(timeout.count()));
}

void CheckCycle::report(const char *sProcedure)
{
    const AppError error = caughtError();
    Q_EMIT errorReported(QString::fromLatin1(ErrorClass) + u'.' + QString::fromLatin1(sProcedure)
                         + QStringLiteral("\r\n") + error.description());
}

void CheckCycle::OnTimerSubmitInterval()
{
    try {
        ++m_iMinutesElapsed;
        Q_EMIT statusText(QStringLiteral("Minutes to next check: ")
                          + QString::number(m_iCheckInterval - m_iMinutesElapsed));
        if (m_iMinutesElapsed >= m_iCheckInterval && !m_bCycleRunning && !m_bStopped)
            runCycle("OnTimerSubmitInterval");
    } catch (...) {
        report("OnTimerSubmitInterval");
    }
}

CheckCycle::MissingSetting CheckCycle::missingSetting() const
{
    if (m_oRecipients.Count() == 0)
        return MissingSetting::Recipients;
    if (m_oSellers.Count() == 0)
        return MissingSetting::Sellers;
    if (m_settings.sender.isEmpty() || m_settings.smtp.server.size() < 6)
        return MissingSetting::MailServer;
    return MissingSetting::None;
}

void CheckCycle::checkNow()
{
    if (!m_bCycleRunning && !m_bStopped)
        runCycle("OnCmdCheckClick");
}

QCoro::Task<> CheckCycle::runCycle(const char *sEntryProcedure)
{
    m_bCycleRunning = true;
    Q_EMIT cycleStarted();
    try {
        co_await Check();
    } catch (...) {
        report(sEntryProcedure);
    }
    if (m_bStopped)
        co_return;
    m_bCycleRunning = false;
    Q_EMIT cycleFinished();
}

QCoro::Task<> CheckCycle::Check()
{
    try {
        if (!m_bVersionChecked) {
            m_bVersionChecked = true;
            if (m_oStartStatus)
                m_oStartStatus->CheckVersion();
        }
        CheckFirstTime();

        // Sellers added while the cycle runs wait for the next one.
        QStringList sellerIds;
        for (const CUserID &seller : m_oSellers)
            sellerIds << seller.UserID();

        for (const QString &sellerId : std::as_const(sellerIds)) {
            if (!m_oSellers.find(sellerId))
                continue;
            const bool scanned = co_await scanSeller(sellerId);
            if (m_bStopped)
                co_return;
            CUserID *seller = m_oSellers.find(sellerId);
            if (!scanned || !seller)
                continue;

            Q_EMIT statusText(QStringLiteral("Checking for new items for ") + sellerId);
            // A scan that found nothing at all, after one that found
            // auctions, is more likely a broken page than a seller whose
            // every auction ended at once: the last scan stays the baseline,
            // so the next good scan does not report every auction as new.
            if (seller->Items().Count() == 0 && seller->OldItems().Count() > 0)
                continue;
            if (seller->FirstScan())
                seller->setFirstScan(false);
            else
                co_await CompareLists(seller->OldItems(), seller->Items(), sellerId);
            if (m_bStopped)
                co_return;

            seller->OldItems().Clear();
            for (const CItem &item : seller->Items())
                seller->OldItems().Add(item.ItemNumber(), item.Bids(), item.NumBids(), item.IsDutch(),
                                       item.Description(), item.HighBidder(), item.Completed(), item.HighBid());
            seller->Items().Clear();
        }

        if (m_bFirstCheck)
            co_await SendEmail(WelcomeBody, QStringLiteral("Zorvane"));
        if (m_bStopped)
            co_return;
        m_bFirstCheck = false;
        m_iMinutesElapsed = 0;
        Q_EMIT statusText(idleText());
    } catch (...) {
        passOnCaughtError(ErrorClass, "Check");
    }
}

// Fetches and parses a seller's listing pages into its Items. False when a
// page failed: the failure notice has gone out and the seller's lists are
// neither compared nor rotated this time.
QCoro::Task<bool> CheckCycle::scanSeller(const QString &sSellerID)
{
    Q_EMIT statusText(QStringLiteral("Connecting.  Getting auctions for ") + sSellerID);
    bool bFailed = false;
    // A scan starts from nothing: values left by an earlier failed scan must
    // not be compared as if they were current.
    if (CUserID *seller = m_oSellers.find(sSellerID))
        seller->Items().Clear();

    for (int page = 1; page <= MostListingPages; ++page) {
        const QString text = co_await m_oPageConnection->GetWebPage(
            ListingSite::pageAddress(m_settings.network.listingHost, sSellerID, page));
        CUserID *seller = m_oSellers.find(sSellerID);
        if (m_bStopped || !seller)
            co_return false;
        Q_EMIT statusText(QStringLiteral("Page ") + QString::number(page) + QStringLiteral(" of auctions gotten for ")
                          + sSellerID + QStringLiteral(". ") + QString::number(seller->Items().Count())
                          + QStringLiteral(" items grabbed."));
        bool bPageFailed = !ListingSite::isWhole(text);
        if (!bPageFailed) {
            try {
                seller->Items().LoadFromSellerPage(text);
            } catch (const AppError &error) {
                // A page whose rows would hold more than the page is no
                // listing: it fails like one that did not arrive.
                if (!CItems::isMalformedPageError(error))
                    throw;
                bPageFailed = true;
            }
        }
        if (bPageFailed) {
            bFailed = true;
            co_await SendEmail(failureBody(sSellerID), QStringLiteral("Zorvane"));
            if (m_bStopped)
                co_return false;
        }
        if (!ListingSite::hasNextPage(text))
            break;
    }
    co_return !bFailed;
}

void CheckCycle::CheckFirstTime()
{
    passingOn(ErrorClass, "CheckFirstTime", [&] {
        if (!m_oStartStatus || !m_oStartStatus->IsFirstTime())
            return;
        m_oStartStatus->setIsFirstTime(false);
        m_oNewInstallConnection = std::make_unique<CWebConnection>();
        m_oNewInstallConnection->GetWebPageAsynch(m_settings.network.makerHost
                                                  + QStringLiteral("zorvane/ZorvaneNewInstall.html"));
    });
}

QCoro::Task<> CheckCycle::CompareLists(const CItems &oPrevious, const CItems &oCurrent, QString sSellerID)
{
    try {
        co_await m_changeAlerts->CompareLists(oPrevious, oCurrent, sSellerID);
    } catch (...) {
        passOnCaughtError(ErrorClass, "CompareLists");
    }
}

// A cycle under way when the work stops is resumed from the wait it is in
// and ends at once (it sees m_bStopped), while everything it holds is still
// there: no coroutine is left suspended for ever. A wait for a page ends when
// the page connection is released.
void CheckCycle::stop()
{
    if (m_bStopped)
        return;
    m_bStopped = true;
    m_minuteTimer.stop();
    m_eventTurn.stop();
    if (!m_bCycleRunning)
        return;
    Q_EMIT eventLoopTurned();
    Q_EMIT mailSessionEnded();
    m_oPageConnection.reset();
}

QCoro::Task<> CheckCycle::letEventsRun()
{
    m_eventTurn.start();
    // Through a signal of our own, which stop() also raises: a stopped
    // timer would never resume the wait. (Awaiting QTimer::timeout itself
    // would bind its private-signal tag, a null pointer, to a reference.)
    co_await qCoro(this, &CheckCycle::eventLoopTurned);
}

QCoro::Task<> CheckCycle::SendEmail(QString sBody, QString sSubjectPrefix)
{
    try {
        m_oEmail->frmWinsock()->Close();
        QStringList recipients;
        for (const CUserID &recipient : m_oRecipients)
            recipients << recipient.UserID();

        for (const QString &recipient : std::as_const(recipients)) {
            m_bEmailDone = false;
            m_oEmail->SendMail(m_settings.smtp, recipient, m_settings.sender,
                               sSubjectPrefix + QStringLiteral(" Auction Update"), sBody);
            if (!m_bEmailDone) {
                const auto ended = co_await qCoro(this, &CheckCycle::mailSessionEnded, SessionWaitBound);
                if (m_bStopped)
                    co_return;
                if (!ended) // a session that never ended is ended here, as an error
                    m_oEmail->CloseConn(true);
            }
            m_bEmailDone = false;
        }
    } catch (...) {
        passOnCaughtError(ErrorClass, "SendEmail");
    }
}

void CheckCycle::OnEmailWinsockMessage(const QString &sMessage)
{
    try {
        Q_EMIT statusText(sMessage);
    } catch (...) {
        report("OnEmailWinsockMessage");
    }
}

void CheckCycle::OnEmailWinsockConnectionClosed()
{
    m_bEmailDone = true;
    Q_EMIT mailSessionEnded();
}
