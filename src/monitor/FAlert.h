#pragma once

#include "monitor/ChangeAlerts.h"
#include "monitor/ListStore.h"
#include "monitor/NetworkSettings.h"

#include <QMainWindow>
#include <QPointer>
#include <QSystemTrayIcon>
#include <QTimer>

#include <qcoro/qcorotask.h>

#include <array>
#include <memory>

class CEmail;
class CItems;
class CUserID;
class CStartStatus;
class CToolTip;
class CUserIDs;
class CWebConnection;
class FMessage;
class QLabel;
class QListWidget;
class QMenu;
class ShellIcon;

namespace Ui {
class FAlert;
}

// The main window: the seller and recipient lists, the sender and server,
// the alert options, the status line and the tray icon. It owns everything
// that lives as long as the program and saves it when it unloads.
//
// Window and control events forward at once to the procedure named On +
// control + event; entry procedures report their errors, inner ones pass
// them on (see dialogs/ErrorPatterns.h).
class FAlert : public QMainWindow
{
    Q_OBJECT

public:
    // Why the window is unloading: the user closed it (the only case that
    // asks first), the program unloaded it, or the desktop session is ending.
    enum UnloadMode { UnloadByUser = 0, UnloadByProgram = 1, UnloadBySession = 2 };

    explicit FAlert(QWidget *parent = nullptr);
    ~FAlert() override;

    void Initialize(CStartStatus *oStartStatus);

    // Shows the window and loads settings, lists, tray icon and tooltips.
    void OnFormLoad();

    // Unloads the window without asking, as Exit does; `mode` tells why.
    // Asked while a modal window is open, it closes the modal windows and
    // unloads once their handlers have returned.
    void Unload(UnloadMode mode = UnloadByProgram);
    bool IsUnloaded() const { return m_bUnloaded; }

    // The tray icon's mouse notifications, by mouse message number:
    // 514 left release and 515 double click restore the window, 517 right
    // release opens the tray menu; other numbers do nothing.
    void Form_MouseMove(int iMessage);

    // Shows a text in the status line, shortened to fit.
    void UpdateStatusText(const QString &sText);
    QString StatusText() const;

    // Sets the check interval from the interval box and shows the countdown.
    void SetInterval();
    int CheckInterval() const { return m_iCheckInterval; }
    int MinutesElapsed() const { return m_iMinutesElapsed; }

    static QString URLEncode(const QString &sText);

    // The minute tick and Check Now. A check cycle runs on the event loop:
    // these start it and return; `CycleFinished` tells when it has ended.
    // A tick or a press while a cycle runs starts no second one.
    void OnTimerSubmitInterval();
    void OnCmdCheckClick();
    bool IsChecking() const { return m_bCycleRunning; }

    // The length of the program's minute; tests and the sandbox shorten it.
    void setMinuteLength(std::chrono::milliseconds length) { timSubmitInterval.setInterval(length); }
    // Time allowed for one listing page, and for each mail server reply (and
    // the connection attempt); tests shorten them. Only after the load, which
    // creates the page connection and the mail sender.
    void setPageTimeout(std::chrono::milliseconds timeout);
    void setMailTimeout(std::chrono::milliseconds timeout);

    const CUserIDs &Sellers() const { return m_lists->sellers(); }
    const CUserIDs &Recipients() const { return m_lists->recipients(); }
    const NetworkSettings &Network() const { return m_network; }
    QMenu *PopupMenu() const { return mnuPopup; }
    const QSystemTrayIcon &TrayIcon() const { return m_trayIcon; }
    // The tooltip made at load for a control, or null.
    const CToolTip *ToolTipOf(const QWidget *control) const;

Q_SIGNALS:
    // The unload has ended; the program should end now. `bSaved` is false
    // when a shutdown step failed (its report is on screen).
    void Unloaded(bool bSaved);
    // A check cycle has ended, completely or with an error report.
    void CycleFinished();
    // Internal, for the check cycle's waits: the event loop has had its turn
    // during long work; a mail session has ended (or the window unloads).
    void eventLoopTurned();
    void mailSessionEnded();

protected:
    void closeEvent(QCloseEvent *event) override;
    void changeEvent(QEvent *event) override;

private:
    // Load and unload.
    void OnFormQueryUnload(bool &bCancel, int iUnloadMode);
    void OnFormResize();
    void OnFormUnload();
    int GetControlSetting(const QString &sSection, const QString &sKey, const QString &sKind);
    void SaveCheckboxSetting(const QString &sSection, const QString &sKey, int iValue);
    void SaveOptionSetting(const QString &sSection, const QString &sKey, bool bValue);
    void FillEmailListBox();
    void FillAccountList();
    void CreateToolTips();
    void CreateToolTip(std::unique_ptr<CToolTip> &oToolTip, const QString &sText,
                       const QString &sTitle, QWidget *control);
    void ReviseFormStatus();
    QString FitText(const QWidget &control, const QString &sCaption);
    void loadList(ListStore::List which);
    void tellListProblems();
    bool refuseReadOnly(ListStore::List which);
    void saveSettings();

    // The check cycle and its alerts.
    QCoro::Task<> runCycle(const char *sEntryProcedure);
    QCoro::Task<> Check();
    void CheckFirstTime();
    QCoro::Task<> CompareLists(const CItems &oPrevious, const CItems &oCurrent, QString sSellerID);
    QCoro::Task<> SendEmail(QString sBody, QString sSubjectPrefix);
    QCoro::Task<> letEventsRun();
    void endWaitingCycle();
    QString listingPageAddress(const QString &sSellerID, int iPage) const;
    AlertSwitches currentSwitches() const;
    void OnEmailWinsockMessage(const QString &sMessage);
    void OnEmailWinsockConnectionClosed();
    void OnEmailErrorMessage(const QString &sMessage);

    // The user's work with the window.
    void OnCboIntervalClick();
    void OnCmdAddAccountClick();
    void OnCmdAddEmailClick();
    void OnCmdDeleteAccountClick();
    void OnCmdDeleteEmailClick();
    void OnLstAccountsKeyDown(int iKeyCode);
    void OnLstEmailKeyDown(int iKeyCode);
    void OnLstAccountsClick();
    void OnListAddressesClick();
    void OnLstAccountsDblClick();
    void OnChkChangesToAuctionsClick();
    void OnChkNewAuctionsClick();
    void OnMnuFileExitClick();
    void OnMnuFileMinimizeClick();
    void OnMnuHelpAboutClick();
    void OnMnuHelpContentsClick();
    void OnMnuHelpFeedbackClick();
    void OnMnuHelpPellridgeClick();
    void OnMnuHelpJoinClick();
    void mnuPopupRestore_Click();
    void mnuPopupExit_Click();
    void addEntry(ListStore::List which);
    void DeleteListItem(ListStore::List which, QListWidget &list);
    void BrowseSellerHistory(const QString &sSellerID);
    void WebBrowse(const QString &sURL);
    void restoreFromTray();

    bool eventFilter(QObject *watched, QEvent *event) override;

    std::unique_ptr<Ui::FAlert> m_ui;
    QLabel *m_statusPanel;
    QMenu *mnuPopup;
    QSystemTrayIcon m_trayIcon;
    ShellIcon *ShellIcon1;

    // The seller list m_oSellers and the recipient list m_oRecipients, with
    // their files.
    std::unique_ptr<ListStore> m_lists;
    std::unique_ptr<CWebConnection> m_oPageConnection;
    std::unique_ptr<CEmail> m_oEmail;
    std::unique_ptr<CWebConnection> m_oNewInstallConnection;
    CStartStatus *m_oStartStatus = nullptr;
    QPointer<FMessage> m_frmMessage;
    std::array<std::unique_ptr<CToolTip>, 10> m_toolTips;
    std::unique_ptr<ChangeAlerts> m_changeAlerts;

    QTimer timSubmitInterval;
    // Gives the event loop a turn during long work; a member, so that a
    // cycle waiting on it goes with the window.
    QTimer m_eventTurn;
    bool m_bCycleRunning = false;
    // The system message window is offered once per run: after the user has
    // closed it, later mail errors are not shown.
    bool m_bMessageWindowOffered = false;

    NetworkSettings m_network;

    qint16 m_iCheckInterval = 60;
    qint16 m_iMinutesElapsed = 0;
    bool m_bFirstCheck = true;
    bool m_bVersionChecked = false;
    bool m_bEmailDone = false;

    int m_iUnloadMode = UnloadByUser;
    // Set when the unload begins: a check cycle that resumes then ends at
    // once, touching nothing.
    bool m_bUnloading = false;
    bool m_bUnloaded = false;
};
