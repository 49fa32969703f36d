#pragma once

#include "mail/Outbox.h"
#include "mail/SmtpSettings.h"
#include "monitor/ChangeAlerts.h"
#include "monitor/MainSettings.h"
#include "monitor/NetworkSettings.h"
#include "monitor/ScanStore.h"

#include <QObject>
#include <QSet>
#include <QTimer>

#include <qcoro/qcorotask.h>

#include <chrono>
#include <functional>
#include <memory>

class CEmail;
class CItems;
class CStartStatus;
class CUserIDs;
class CWebConnection;
struct SessionResult;

// The program's work: every N minutes, or on Check Now, walk the seller
// list, fetch each seller's listing pages, compare them with the previous
// scan and mail the alerts to every recipient, one session per recipient;
// between cycles, count minutes. The first cycle of a run starts the
// version check and sends the welcome mail.
//
// Every message goes through the outbox (mail/Outbox): it is written there
// first and removed once the server has accepted it; what could not be
// delivered is sent again at the start of every cycle, oldest first, until
// it has waited `outboxDays`. For each recipient the messages keep the
// order they were composed in: once a recipient's session has failed in a
// cycle, its later messages wait behind the failed one until the next.
//
// It has no window: it works on the two lists it is given and on the
// settings the owner hands it (and hands again whenever the user changes
// them), reads the alert switches through a function each time a block may
// be written, and tells the world through signals. Its errors are reported
// under the main window's procedure names ("FAlert.OnTimerSubmitInterval"),
// which is how the user has always seen them.
class CheckCycle : public QObject
{
    Q_OBJECT

public:
    struct Settings
    {
        QString sender;
        SmtpSettings smtp;
        NetworkSettings network;
        int outboxDays = MainSettings::DefaultOutboxDays;
        bool rememberAuctions = false;
        bool failureNoticeOnce = false;
    };
    using AlertSwitchSource = std::function<AlertSwitches()>;

    CheckCycle(CUserIDs &sellers, CUserIDs &recipients, QObject *parent = nullptr);
    ~CheckCycle() override;

    void setSettings(const Settings &settings);
    const Settings &settings() const { return m_settings; }
    void setAlertSwitches(AlertSwitchSource switches) { m_switches = std::move(switches); }
    // Asked for the version check and the first-run notice; may be null.
    void setStartStatus(CStartStatus *oStartStatus);

    // Minutes between checks (15 to 480) and minutes counted since the last.
    void SetInterval(qint16 iMinutes) { m_iCheckInterval = iMinutes; }
    qint16 CheckInterval() const { return m_iCheckInterval; }
    qint16 MinutesElapsed() const { return m_iMinutesElapsed; }
    // "Idle.  Minutes to next check: N", or with messages waiting
    // "3 alerts waiting to be sent.  Minutes to next check: N".
    QString idleText() const;

    // The outbox: "outbox" in the user's data folder unless set here (tests
    // give a folder and a clock of their own).
    void setOutbox(const QString &folder, Outbox::Clock clock = {});
    const Outbox &outbox() const { return *m_outbox; }
    // "3 alerts waiting to be sent" ("1 alert ..."); empty when none waits.
    QString waitingText() const;
    // Send Now: the waiting messages are sent at once, unless a cycle runs
    // (it sends them itself, first).
    void sendWaitingNow();
    // Removes waiting messages the user no longer wants sent.
    void discard(const QStringList &ids);

    // Where the sellers' scans are kept between runs: "scans" in the user's
    // data folder unless set here.
    void setScanFolder(const QString &folder);
    // With remembered auctions on: every seller whose scan was kept starts
    // with it as its previous scan (and is past its first scan), and the
    // scans of sellers no longer in the list go. Called once, after the
    // lists are loaded.
    void restoreScans();

    // Starts counting minutes; the first automatic cycle comes one interval
    // later.
    void start();
    // The minute tick; a cycle starts once the interval is reached.
    void OnTimerSubmitInterval();
    // What must be set before a cycle is worth running, in the order Check
    // Now asks for it: a recipient, a seller, a sender and a mail server (a
    // server name of fewer than 6 characters is none).
    enum class MissingSetting { None, Recipients, Sellers, MailServer };
    MissingSetting missingSetting() const;

    // A cycle now (Check Now, once its checks have passed), unless one runs.
    void checkNow();
    bool isRunning() const { return m_bCycleRunning; }

    // Ends the work for good: the minute timer stops, and a cycle under way
    // ends at the wait it is in, touching nothing more. No signal follows.
    void stop();

    // The length of the program's minute (the sandbox and soak runs
    // shorten it), the time allowed for one listing page, and for each mail
    // server reply and the connection.
    void setMinuteLength(std::chrono::milliseconds length) { m_minuteTimer.setInterval(length); }
    void setPageTimeout(std::chrono::milliseconds timeout);
    void setMailTimeout(std::chrono::milliseconds timeout);

Q_SIGNALS:
    // A progress or idle text for the status line, in order.
    void statusText(const QString &sText);
    void cycleStarted();
    // A cycle has ended, completely or with an error report.
    void cycleFinished();
    // An error text of a mail session, for the user.
    void mailError(const QString &sMessage);
    // A mail session has ended: the message delivered, or why not.
    void deliveryEnded(bool delivered, const QString &reason);
    // Messages were added to or removed from the outbox, or failed again.
    void outboxChanged();
    // A report for the error reporter ("FAlert.OnCmdCheckClick" CR LF ...).
    void errorReported(const QString &sReport);
    // Internal: the event loop has had its turn; a mail session has ended
    // (or the cycle stops).
    void eventLoopTurned();
    void mailSessionEnded();

private:
    QCoro::Task<> runCycle(const char *sEntryProcedure, bool bOutboxOnly = false);
    QCoro::Task<> Check();
    QCoro::Task<bool> scanSeller(const QString &sSellerID);
    void CheckFirstTime();
    QCoro::Task<> CompareLists(const CItems &oPrevious, const CItems &oCurrent, QString sSellerID);
    QCoro::Task<> SendEmail(QString sBody, QString sSubjectPrefix);
    QCoro::Task<> tellPageFailed(const QString &sSellerID);
    QCoro::Task<> tellPageBack(const QString &sSellerID);
    void keepScan(const QString &sSellerID);
    QCoro::Task<> sendWaiting();
    Outbox::Message keep(const QString &recipient, const QString &subject, const QString &body);
    QCoro::Task<> deliver(Outbox::Message message);
    void settle(Outbox::Message &message, const SessionResult &result);
    void drop(const Outbox::Message &message, const QString &why);
    QCoro::Task<> letEventsRun();
    void OnEmailWinsockMessage(const QString &sMessage);
    void OnEmailWinsockConnectionClosed();
    void report(const char *sProcedure);

    CUserIDs &m_oSellers;
    CUserIDs &m_oRecipients;
    Settings m_settings;
    AlertSwitchSource m_switches;
    CStartStatus *m_oStartStatus = nullptr;
    std::unique_ptr<CWebConnection> m_oPageConnection;
    std::unique_ptr<CEmail> m_oEmail;
    std::unique_ptr<CWebConnection> m_oNewInstallConnection;
    std::unique_ptr<ChangeAlerts> m_changeAlerts;
    std::unique_ptr<Outbox> m_outbox;
    std::unique_ptr<ScanStore> m_scans;
    // Sellers (case-folded) whose failed page has been reported once.
    QSet<QString> m_failureReported;
    // Sellers (case-folded) that started from a kept scan and have not been
    // compared in this run yet.
    QSet<QString> m_restored;
    // The outbox message of the session under way; empty for none, or for
    // one that could not be kept there.
    QString m_sDelivering;
    bool m_bCopyLeftAfterAcceptance = false;
    // Recipients whose session failed in this cycle: their later messages
    // wait, in order, for the next.
    QSet<QString> m_heldRecipients;
    bool m_bOutboxFailureReported = false;
    // What the cycle did, for the activity log.
    struct Tally
    {
        int sellers = 0;
        int pages = 0;
        int items = 0;
        int alerts = 0;
    } m_tally;

    QTimer m_minuteTimer; // timSubmitInterval
    // Gives the event loop a turn during long work; a member, so that a
    // cycle waiting on it goes with the cycle.
    QTimer m_eventTurn;
    qint16 m_iCheckInterval = 60;
    qint16 m_iMinutesElapsed = 0;
    bool m_bFirstCheck = true;
    bool m_bVersionChecked = false;
    bool m_bEmailDone = false;
    bool m_bCycleRunning = false;
    // Set by stop(): a cycle that resumes ends at once.
    bool m_bStopped = false;
};
