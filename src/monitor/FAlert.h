#pragma once

#include "monitor/ListStore.h"
#include "monitor/MainSettings.h"
#include "monitor/NetworkSettings.h"

#include <QMainWindow>
#include <QPointer>
#include <QSystemTrayIcon>

#include <vector>
#include <memory>

class CheckCycle;
class CStartStatus;
class CToolTip;
class FMessage;
class ListEditor;
class SendFromTab;
class StatusLine;
class OutboxView;
class QLabel;
class QMenu;
class ShellIcon;

namespace Ui {
class FAlert;
}

// The main window: the seller and recipient lists, the sender and server,
// the alert options, the status line, the menus and the tray icon. The work
// itself is the check cycle's (CheckCycle); the lists and their files are
// the ListStore's; the window shows them, hands the user's choices on, and
// saves everything when it unloads.
//
// Window and control events forward at once to the procedure named On +
// control + event; entry procedures report their errors, inner ones pass
// them on (see base/ErrorPatterns.h).
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

    // Shows a text in the status line, shortened to fit (at a pace a person
    // can read: see StatusLine).
    void UpdateStatusText(const QString &sText);
    QString StatusText() const;

    // Sets the check interval from the interval box and shows the countdown.
    void SetInterval();

    static QString URLEncode(const QString &sText);

    // Check Now: the settings are checked first, then a cycle runs.
    void OnCmdCheckClick();

    CheckCycle &Cycle() { return *m_cycle; }
    const CUserIDs &Sellers() const { return m_lists->sellers(); }
    const CUserIDs &Recipients() const { return m_lists->recipients(); }
    const NetworkSettings &Network() const { return m_network; }
    QMenu *PopupMenu() const { return mnuPopup; }
    const QSystemTrayIcon &TrayIcon() const { return m_trayIcon; }
    OutboxView &outboxView() { return *m_outboxView; }
    // The tooltip made at load for a control, or null.
    const CToolTip *ToolTipOf(const QWidget *control) const;

Q_SIGNALS:
    // The unload has ended; the program should end now. `bSaved` is false
    // when a shutdown step failed (its report is on screen).
    void Unloaded(bool bSaved);

protected:
    void closeEvent(QCloseEvent *event) override;
    void changeEvent(QEvent *event) override;
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    using List = ListStore::List;

    // Load and unload.
    void OnFormQueryUnload(bool &bCancel, int iUnloadMode);
    void OnFormResize();
    void OnFormUnload();
    void showSettings(const MainSettings &settings);
    MainSettings shownSettings() const;
    void handSettingsToCycle();
    void loadList(List which);
    void CreateToolTips();
    void CreateToolTip(std::unique_ptr<CToolTip> &oToolTip, const QString &sText, const QString &sTitle,
                       QWidget *control);
    void ReviseFormStatus();
    void enableDeleteButtons();
    QString FitText(const QWidget &control, const QString &sCaption);

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
    void OnMnuFileOutboxClick();
    void OnMnuHelpAboutClick();
    void OnMnuHelpContentsClick();
    void OnMnuHelpActivityLogClick();
    void OnMnuHelpFeedbackClick();
    void OnMnuHelpPellridgeClick();
    void OnMnuHelpJoinClick();
    void mnuPopupRestore_Click();
    void mnuPopupExit_Click();
    void OnEmailErrorMessage(const QString &sMessage);
    void BrowseSellerHistory(const QString &sSellerID);
    void WebBrowse(const QString &sURL);
    void restoreFromTray();

    std::unique_ptr<Ui::FAlert> m_ui;
    QLabel *m_statusPanel;
    StatusLine *m_statusLine;
    QMenu *mnuPopup;
    QSystemTrayIcon m_trayIcon;
    ShellIcon *ShellIcon1;

    // The seller list m_oSellers and the recipient list m_oRecipients, with
    // their files; the cycle that works on them.
    std::unique_ptr<ListStore> m_lists;
    std::unique_ptr<ListEditor> m_sellersEditor;
    std::unique_ptr<ListEditor> m_recipientsEditor;
    std::unique_ptr<CheckCycle> m_cycle;
    std::unique_ptr<OutboxView> m_outboxView;
    CStartStatus *m_oStartStatus = nullptr;
    QPointer<FMessage> m_frmMessage;
    std::vector<std::unique_ptr<CToolTip>> m_toolTips;
    SendFromTab *m_sendFrom;
    NetworkSettings m_network;
    // The stored settings as loaded, for the keys the window does not show.
    MainSettings m_storedSettings;

    // The system message window is offered once per run: after the user has
    // closed it, later mail errors are not shown.
    bool m_bMessageWindowOffered = false;
    int m_iUnloadMode = UnloadByUser;
    bool m_bUnloaded = false;
};
