#include "CheckCycle.h"

#include "auction/CUserIDs.h"
#include "auction/ListingSite.h"
#include "base/ActivityLog.h"
#include "base/ErrorPatterns.h"
#include "mail/CEmail.h"
#include "mail/FWinsock.h"
#include "update/CStartStatus.h"
#include "web/CWebConnection.h"

#include <QDir>
#include <QElapsedTimer>
#include <QStandardPaths>

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

// Who a message is for and what it is, as the log and the status line name it.
QString described(const QString &recipient, const QString &subject)
{
    return recipient + QStringLiteral(" \"") + subject + u'"';
}

QString described(const Outbox::Message &message)
{
    return described(message.recipient, message.subject);
}

QString alertCount(qsizetype count)
{
    return QString::number(count) + (count == 1 ? QStringLiteral(" alert") : QStringLiteral(" alerts"));
}

// What started a cycle, in the words the user knows.
QString startedBy(const char *entryProcedure)
{
    const QLatin1StringView entry(entryProcedure);
    if (entry == QLatin1StringView("OnTimerSubmitInterval"))
        return QStringLiteral("timer");
    if (entry == QLatin1StringView("OnCmdSendNowClick"))
        return QStringLiteral("Send Now");
    return QStringLiteral("Check Now");
}

QString quotedReply(const QString &reply)
{
    return reply.split(QStringLiteral("\r\n"), Qt::SkipEmptyParts).join(u' ').trimmed();
}

// A refusal that concerns this message or this recipient: sending the same
// again would be refused again. A refused sender, sign-in or connection is
// a matter of the settings, which the user can put right: those messages
// wait.
bool refusedForGood(const SessionResult &result)
{
    return result.outcome == SessionOutcome::RefusedPermanently
        && (result.step == SmtpStep::RcptTo || result.step == SmtpStep::Data || result.step == SmtpStep::Message);
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
    const QDir dataFolder(QStandardPaths::writableLocation(QStandardPaths::AppDataLocation));
    setOutbox(dataFolder.filePath(QStringLiteral("outbox")));
    setScanFolder(dataFolder.filePath(QStringLiteral("scans")));
}

// A cycle still waiting is ended first, while everything it holds is there.
CheckCycle::~CheckCycle()
{
    stop();
}

void CheckCycle::setSettings(const Settings &settings)
{
    const bool itemHostChanged = !m_changeAlerts || settings.network.itemHost != m_settings.network.itemHost;
    // Turned off, remembering keeps nothing, and what it kept goes.
    if (m_settings.rememberAuctions && !settings.rememberAuctions && m_scans)
        m_scans->clear();
    if (!settings.failureNoticeOnce)
        m_failureReported.clear();
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
                                ++m_tally.alerts;
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
    const QString waiting = waitingText();
    return (waiting.isEmpty() ? QStringLiteral("Idle") : waiting) + QStringLiteral(".  Minutes to next check: ")
        + QString::number(m_iCheckInterval - m_iMinutesElapsed);
}

void CheckCycle::setOutbox(const QString &folder, Outbox::Clock clock)
{
    m_outbox = std::make_unique<Outbox>(folder, std::move(clock));
}

void CheckCycle::setScanFolder(const QString &folder)
{
    m_scans = std::make_unique<ScanStore>(folder);
}

void CheckCycle::restoreScans()
{
    if (!m_settings.rememberAuctions)
        return;
    QStringList sellerIds;
    for (const CUserID &seller : m_oSellers)
        sellerIds << seller.UserID();
    m_scans->keepOnly(sellerIds);
    for (const QString &sellerId : std::as_const(sellerIds)) {
        CUserID *seller = m_oSellers.find(sellerId);
        ScanStore::Scan scan;
        if (!seller || !m_scans->load(sellerId, seller->OldItems(), scan))
            continue;
        seller->setFirstScan(false);
        m_restored.insert(sellerId.toCaseFolded());
        if (scan.failureReported)
            m_failureReported.insert(sellerId.toCaseFolded());
    }
}

void CheckCycle::keepScan(const QString &sSellerID)
{
    if (!m_settings.rememberAuctions)
        return;
    if (const CUserID *seller = m_oSellers.find(sSellerID))
        m_scans->save(sSellerID, seller->OldItems(), {m_failureReported.contains(sSellerID.toCaseFolded())});
}

// The failure notice, at every failing check, or only the first time when
// the user wants to hear of a failing seller once.
QCoro::Task<> CheckCycle::tellPageFailed(const QString &sSellerID)
{
    const QString key = sSellerID.toCaseFolded();
    if (m_settings.failureNoticeOnce && m_failureReported.contains(key))
        co_return;
    co_await SendEmail(failureBody(sSellerID), QStringLiteral("Zorvane"));
    if (m_bStopped || !m_settings.failureNoticeOnce)
        co_return;
    m_failureReported.insert(key);
    keepScan(sSellerID);
}

QCoro::Task<> CheckCycle::tellPageBack(const QString &sSellerID)
{
    if (!m_failureReported.remove(sSellerID.toCaseFolded()))
        co_return;
    qCInfo(lcActivity).noquote() << QStringLiteral("Seller %1: the listing can be read again").arg(sSellerID);
    co_await SendEmail(QStringLiteral("The auctions of ") + sSellerID
                           + QStringLiteral(" could be retrieved again.  This user's auctions are checked as usual "
                                            "from now on."),
                       QStringLiteral("Zorvane"));
}

QString CheckCycle::waitingText() const
{
    const int waiting = m_outbox->count();
    return waiting == 0 ? QString() : alertCount(waiting) + QStringLiteral(" waiting to be sent");
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
    const QString report = QString::fromLatin1(ErrorClass) + u'.' + QString::fromLatin1(sProcedure)
        + QStringLiteral("\r\n") + error.description();
    qCWarning(lcActivity).noquote() << QStringLiteral("Error: ") + report;
    Q_EMIT errorReported(report);
}

void CheckCycle::OnTimerSubmitInterval()
{
    try {
        ++m_iMinutesElapsed;
        const QString waiting = waitingText();
        Q_EMIT statusText((waiting.isEmpty() ? QString() : waiting + QStringLiteral(".  "))
                          + QStringLiteral("Minutes to next check: ")
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

void CheckCycle::sendWaitingNow()
{
    if (!m_bCycleRunning && !m_bStopped)
        runCycle("OnCmdSendNowClick", true);
}

QCoro::Task<> CheckCycle::runCycle(const char *sEntryProcedure, bool bOutboxOnly)
{
    m_bCycleRunning = true;
    m_heldRecipients.clear();
    m_bOutboxFailureReported = false;
    m_tally = {};
    QElapsedTimer took;
    took.start();
    const QString what = bOutboxOnly ? QStringLiteral("Sending the waiting alerts") : QStringLiteral("Check");
    qCInfo(lcActivity).noquote() << what + QStringLiteral(" started (%1)").arg(startedBy(sEntryProcedure))
            + (bOutboxOnly ? QString()
                           : QStringLiteral(": sellers %1, recipients %2").arg(m_oSellers.Count()).arg(m_oRecipients.Count()));
    Q_EMIT cycleStarted();
    bool bFailed = false;
    try {
        if (bOutboxOnly)
            co_await sendWaiting();
        else
            co_await Check();
    } catch (...) {
        bFailed = true;
        report(sEntryProcedure);
    }
    if (m_bStopped)
        co_return;
    if (bOutboxOnly)
        Q_EMIT statusText(idleText());
    const QString waiting = waitingText();
    QString summary = what + (bFailed ? QStringLiteral(" ended with an error") : QStringLiteral(" ended"))
        + (took.elapsed() < 10000 ? QStringLiteral(" after %1 ms").arg(took.elapsed())
                                  : QStringLiteral(" after %1 s").arg(took.elapsed() / 1000));
    if (!bOutboxOnly)
        summary += QStringLiteral(": sellers %1, pages %2, items %3, %4")
                       .arg(m_tally.sellers)
                       .arg(m_tally.pages)
                       .arg(m_tally.items)
                       .arg(alertCount(m_tally.alerts));
    qCInfo(lcActivity).noquote() << summary + QStringLiteral("; ")
            + (waiting.isEmpty() ? QStringLiteral("nothing waiting to be sent") : waiting);
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

        // What could not be delivered before goes first, so that each
        // recipient gets its messages in the order they were composed.
        co_await sendWaiting();
        if (m_bStopped)
            co_return;

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
            co_await tellPageBack(sellerId);
            if (m_bStopped)
                co_return;
            seller = m_oSellers.find(sellerId);
            if (!seller)
                continue;
            ++m_tally.sellers;
            m_tally.items += int(seller->Items().Count());

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

            // Rotate: this scan becomes the previous one, every item with
            // all its values; the current list starts empty.
            seller->OldItems().swap(seller->Items());
            seller->Items().Clear();
            keepScan(sellerId);
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
        ++m_tally.pages;
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
            qCWarning(lcActivity).noquote() << QStringLiteral("Seller %1: page %2 failed (%3)")
                                                   .arg(sSellerID)
                                                   .arg(page)
                                                   .arg(text.isEmpty() ? QStringLiteral("no page arrived")
                                                        : ListingSite::isWhole(text)
                                                            ? QStringLiteral("not a listing page")
                                                            : QStringLiteral("only %1 characters").arg(text.size()));
            co_await tellPageFailed(sSellerID);
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
        // After a long absence a seller may have changed a lot: more than
        // this many alerts in the first check after a start come in one
        // message for the seller rather than one per auction.
        constexpr int FloodThreshold = 50;
        const bool bRestored = m_restored.remove(sSellerID.toCaseFolded());
        const bool bOneMessage = bRestored
            && ChangeAlerts::alertCount(oPrevious, oCurrent, m_switches ? m_switches() : AlertSwitches{})
                   > FloodThreshold;
        if (bOneMessage)
            qCInfo(lcActivity).noquote()
                << QStringLiteral("Seller %1: more than %2 alerts after the start, sent in one message")
                       .arg(sSellerID)
                       .arg(FloodThreshold);
        co_await m_changeAlerts->CompareLists(oPrevious, oCurrent, sSellerID, bOneMessage);
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

// Every copy is in the outbox before the first is sent, so that a crash
// part-way through the batch loses none.
QCoro::Task<> CheckCycle::SendEmail(QString sBody, QString sSubjectPrefix)
{
    try {
        m_oEmail->frmWinsock()->Close();
        const QString subject = sSubjectPrefix + QStringLiteral(" Auction Update");
        QList<Outbox::Message> copies;
        for (const CUserID &recipient : m_oRecipients)
            copies << keep(recipient.UserID(), subject, sBody);
        if (!copies.isEmpty())
            Q_EMIT outboxChanged();

        for (const Outbox::Message &message : std::as_const(copies)) {
            // Behind a message that failed in this cycle it waits its turn;
            // one that could not be kept cannot wait and is tried anyway.
            if (!message.id.isEmpty() && m_heldRecipients.contains(message.recipient))
                continue;
            co_await deliver(message);
            if (m_bStopped)
                co_return;
        }
    } catch (...) {
        passOnCaughtError(ErrorClass, "SendEmail");
    }
}

// Oldest first, each with the settings of this moment; one that has waited
// too long is dropped instead.
QCoro::Task<> CheckCycle::sendWaiting()
{
    try {
        const QList<Outbox::Message> waiting = m_outbox->messages();
        if (waiting.isEmpty())
            co_return;
        qCInfo(lcActivity).noquote() << QStringLiteral("Outbox: %1 waiting, sending again").arg(alertCount(waiting.size()));
        Q_EMIT statusText(QStringLiteral("Sending %1 waiting in the outbox").arg(alertCount(waiting.size())));
        m_oEmail->frmWinsock()->Close();
        for (const Outbox::Message &message : waiting) {
            // The user may have discarded it while an earlier one was sent.
            if (!m_outbox->contains(message.id))
                continue;
            if (m_outbox->hasExpired(message, m_settings.outboxDays)) {
                drop(message, QStringLiteral("not sent for %1 days").arg(m_settings.outboxDays)
                                  + (message.lastError.isEmpty() ? QString() : QStringLiteral(": ") + message.lastError));
                continue;
            }
            if (m_heldRecipients.contains(message.recipient))
                continue;
            co_await deliver(message);
            if (m_bStopped)
                co_return;
        }
    } catch (...) {
        passOnCaughtError(ErrorClass, "SendWaiting");
    }
}

// A message that cannot be written to the outbox (a full disk) is still
// sent, without a copy; the user hears of it once a cycle.
Outbox::Message CheckCycle::keep(const QString &recipient, const QString &subject, const QString &body)
{
    try {
        return m_outbox->add(recipient, subject, body);
    } catch (...) {
        const AppError error = caughtError();
        qCWarning(lcActivity).noquote() << QStringLiteral("Outbox: the mail to %1 could not be kept (%2); sending it "
                                                          "without a copy")
                                               .arg(described(recipient, subject), error.description());
        if (!m_bOutboxFailureReported) {
            m_bOutboxFailureReported = true;
            Q_EMIT errorReported(QString::fromLatin1(ErrorClass) + QStringLiteral(".SendEmail\r\n")
                                 + error.description() + QStringLiteral(" (") + m_outbox->folder()
                                 + QStringLiteral("): alerts are sent without a copy in the outbox and are lost "
                                                  "if the server cannot take them"));
        }
        return {{}, recipient, subject, body, m_outbox->now(), 0, {}};
    }
}

QCoro::Task<> CheckCycle::deliver(Outbox::Message message)
{
    m_bEmailDone = false;
    m_sDelivering = message.id;
    m_bCopyLeftAfterAcceptance = false;
    m_oEmail->SendMail(m_settings.smtp, message.recipient, m_settings.sender, message.subject, message.body);
    if (!m_bEmailDone) {
        const auto ended = co_await qCoro(this, &CheckCycle::mailSessionEnded, SessionWaitBound);
        if (m_bStopped)
            co_return;
        if (!ended) // a session that never ended is ended here, as an error
            m_oEmail->CloseConn(true);
    }
    m_bEmailDone = false;
    m_sDelivering.clear();
    settle(message, m_oEmail->result());
}

void CheckCycle::settle(Outbox::Message &message, const SessionResult &result)
{
    const QString verdict = result.verdict();
    const QString retry = message.attempts > 0 ? QStringLiteral(" (waiting since %1, attempt %2)")
                                                     .arg(message.created.toLocalTime().toString(
                                                              QStringLiteral("yyyy-MM-dd HH:mm")))
                                                     .arg(message.attempts + 1)
                                               : QString();
    if (result.outcome == SessionOutcome::Accepted) {
        qCInfo(lcActivity).noquote() << QStringLiteral("Mail to %1%2: accepted (%3)")
                                            .arg(described(message), retry, quotedReply(result.reply));
        if (m_bCopyLeftAfterAcceptance)
            qCWarning(lcActivity).noquote() << QStringLiteral("Outbox: %1 could not be removed; it will be sent again")
                                                   .arg(message.id);
        if (!message.id.isEmpty())
            Q_EMIT outboxChanged();
        Q_EMIT deliveryEnded(true, {});
        return;
    }
    qCWarning(lcActivity).noquote() << QStringLiteral("Mail to %1%2: not sent: %3").arg(described(message), retry, verdict);
    if (message.id.isEmpty()) {
        qCWarning(lcActivity).noquote() << QStringLiteral("Mail to %1 is lost: it had no copy in the outbox")
                                               .arg(described(message));
    } else if (refusedForGood(result)) {
        drop(message, verdict);
    } else {
        m_heldRecipients.insert(message.recipient);
        if (m_outbox->recordFailure(message, verdict))
            Q_EMIT outboxChanged();
    }
    Q_EMIT deliveryEnded(false, verdict);
}

void CheckCycle::drop(const Outbox::Message &message, const QString &why)
{
    m_outbox->remove(message.id);
    qCWarning(lcActivity).noquote() << QStringLiteral("Outbox: dropped the mail to %1 of %2: %3")
                                           .arg(described(message),
                                                message.created.toLocalTime().toString(QStringLiteral("yyyy-MM-dd HH:mm")),
                                                why);
    Q_EMIT statusText(QStringLiteral("Alert to ") + message.recipient + QStringLiteral(" dropped: ") + why);
    Q_EMIT outboxChanged();
}

void CheckCycle::discard(const QStringList &ids)
{
    for (const Outbox::Message &message : m_outbox->messages()) {
        if (ids.contains(message.id) && m_outbox->remove(message.id))
            qCInfo(lcActivity).noquote() << QStringLiteral("Outbox: the mail to %1 was discarded by the user")
                                                .arg(described(message));
    }
    Q_EMIT outboxChanged();
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
    // The server has the message: its copy goes at once, before anything
    // else is done, so that a crash from here on cannot send it twice.
    if (!m_sDelivering.isEmpty() && m_oEmail->result().outcome == SessionOutcome::Accepted)
        m_bCopyLeftAfterAcceptance = !m_outbox->remove(m_sDelivering);
    m_bEmailDone = true;
    Q_EMIT mailSessionEnded();
}
