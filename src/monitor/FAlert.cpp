#include "FAlert.h"

#include "ui_FAlert.h"

#include "base/ActivityLog.h"
#include "base/Brand.h"
#include "base/ErrorPatterns.h"
#include "base/ErrorReporter.h"
#include "base/MessageBoxes.h"
#include "base/ModalScope.h"
#include "base/ProgramFolder.h"
#include "base/Shell.h"
#include "base/UserSettings.h"
#include "base/Version.h"
#include "desktop/CToolTip.h"
#include "desktop/ShellIcon.h"
#include "dialogs/FAbout.h"
#include "dialogs/FMessage.h"
#include "dialogs/ModalDialogs.h"
#include "monitor/CheckCycle.h"
#include "monitor/FAlertToolTips.h"
#include "monitor/ListEditor.h"
#include "monitor/OutboxView.h"
#include "monitor/SendFromTab.h"
#include "monitor/StatusLine.h"
#include "monitor/StatusText.h"
#include "update/CStartStatus.h"

#include <QApplication>
#include <QCloseEvent>
#include <QCursor>
#include <QKeyEvent>
#include <QLabel>
#include <QMenu>
#include <QPushButton>
#include <QSettings>
#include <QUrl>

namespace {

const QString CrLf = QStringLiteral("\r\n");

// The key codes the list boxes' key handlers know keys by: only Delete
// means anything to them.
constexpr int DeleteKeyCode = 46;
constexpr int NoKeyCode = 0;

int listKeyCode(int qtKey)
{
    switch (qtKey) {
    case Qt::Key_Delete: return DeleteKeyCode;
    default: return NoKeyCode;
    }
}

// Mouse message numbers the tray icon reports.
constexpr int TrayLeftButtonUp = 514;
constexpr int TrayLeftDoubleClick = 515;
constexpr int TrayRightButtonUp = 517;

// Minutes for each entry of the interval box, in its order.
constexpr qint16 IntervalMinutes[] = {15, 30, 60, 120, 240, 480};
constexpr int DefaultIntervalIndex = 2; // "hour"

// The tabs of SSTab1, in their order.
constexpr int SellersTab = 0;
constexpr int RecipientsTab = 1;
constexpr int ServerTab = 2;

} // namespace

FAlert::FAlert(QWidget *parent)
    : QMainWindow(parent)
    , m_ui(std::make_unique<Ui::FAlert>())
{
    m_ui->setupUi(this);
    setWindowIcon(QIcon(QStringLiteral(":/zorvane/zorvane.png")));

    m_statusPanel = new QLabel(QStringLiteral("Idle.  Waiting for next check."), this);
    m_statusPanel->setObjectName(QStringLiteral("sbrConnectionStatusPanel"));
    // The status text is fitted to the label, so the label must never ask
    // for more room: a long text would widen the window.
    m_statusPanel->setMinimumWidth(0);
    m_statusPanel->setSizePolicy(QSizePolicy::Ignored, QSizePolicy::Preferred);
    m_ui->sbrConnectionStatus->addWidget(m_statusPanel, 1);
    m_statusLine = new StatusLine(*m_statusPanel, [this](const QString &text) { return FitText(*m_statusPanel, text); },
                                  this);

    mnuPopup = new QMenu(QStringLiteral("Popup"), this);
    mnuPopup->setObjectName(QStringLiteral("mnuPopup"));
    mnuPopup->addAction(m_ui->mnuPopupRestore);
    mnuPopup->addAction(m_ui->mnuPopupExit);

    m_trayIcon.setIcon(windowIcon());
    m_trayIcon.setToolTip(QStringLiteral("Zorvane"));
    connect(&m_trayIcon, &QSystemTrayIcon::activated, this, [this](QSystemTrayIcon::ActivationReason reason) {
        switch (reason) {
        case QSystemTrayIcon::Trigger: Form_MouseMove(TrayLeftButtonUp); break;
        case QSystemTrayIcon::DoubleClick: Form_MouseMove(TrayLeftDoubleClick); break;
        case QSystemTrayIcon::Context: Form_MouseMove(TrayRightButtonUp); break;
        default: break;
        }
    });

    // The reusable tray control rides along with the window's icon, but the
    // window's own tray icon is the one the user sees: this one stays hidden.
    ShellIcon1 = new ShellIcon(this);
    ShellIcon1->setObjectName(QStringLiteral("ShellIcon1"));
    ShellIcon1->setIcon(windowIcon());

    connect(m_ui->cmdCheck, &QPushButton::clicked, this, &FAlert::OnCmdCheckClick);
    connect(m_ui->cboInterval, &QComboBox::activated, this, &FAlert::OnCboIntervalClick);
    connect(m_ui->cmdAddAccount, &QPushButton::clicked, this, &FAlert::OnCmdAddAccountClick);
    connect(m_ui->cmdAddEmail, &QPushButton::clicked, this, &FAlert::OnCmdAddEmailClick);
    connect(m_ui->cmdDeleteAccount, &QPushButton::clicked, this, &FAlert::OnCmdDeleteAccountClick);
    connect(m_ui->cmdDeleteEmail, &QPushButton::clicked, this, &FAlert::OnCmdDeleteEmailClick);
    connect(m_ui->lstAccounts, &QListWidget::itemSelectionChanged, this, &FAlert::OnLstAccountsClick);
    connect(m_ui->lstEmail, &QListWidget::itemSelectionChanged, this, &FAlert::OnListAddressesClick);
    connect(m_ui->lstAccounts, &QListWidget::itemDoubleClicked, this, &FAlert::OnLstAccountsDblClick);
    m_ui->lstAccounts->installEventFilter(this);
    m_ui->lstEmail->installEventFilter(this);
    m_ui->SSTab1->widget(RecipientsTab)->installEventFilter(this);
    connect(m_ui->chkChangesToAuctions, &QCheckBox::clicked, this, &FAlert::OnChkChangesToAuctionsClick);
    connect(m_ui->chkNewAuctions, &QCheckBox::clicked, this, &FAlert::OnChkNewAuctionsClick);
    m_sendFrom = new SendFromTab(*m_ui, this);
    connect(m_sendFrom, &SendFromTab::changed, this, &FAlert::handSettingsToCycle);
    connect(m_ui->chkRememberAuctions, &QCheckBox::toggled, this, &FAlert::handSettingsToCycle);
    connect(m_ui->chkFailureNoticeOnce, &QCheckBox::toggled, this, &FAlert::handSettingsToCycle);
    connect(m_ui->mnuFileExit, &QAction::triggered, this, &FAlert::OnMnuFileExitClick);
    connect(m_ui->mnuFileMinimize, &QAction::triggered, this, &FAlert::OnMnuFileMinimizeClick);
    connect(m_ui->mnuFileOutbox, &QAction::triggered, this, &FAlert::OnMnuFileOutboxClick);
    connect(m_ui->mnuHelpAbout, &QAction::triggered, this, &FAlert::OnMnuHelpAboutClick);
    connect(m_ui->mnuHelpContents, &QAction::triggered, this, &FAlert::OnMnuHelpContentsClick);
    connect(m_ui->mnuHelpActivityLog, &QAction::triggered, this, &FAlert::OnMnuHelpActivityLogClick);
    connect(m_ui->mnuHelpFeedback, &QAction::triggered, this, &FAlert::OnMnuHelpFeedbackClick);
    connect(m_ui->mnuHelpPellridge, &QAction::triggered, this, &FAlert::OnMnuHelpPellridgeClick);
    connect(m_ui->mnuHelpJoin, &QAction::triggered, this, &FAlert::OnMnuHelpJoinClick);
    connect(m_ui->mnuPopupRestore, &QAction::triggered, this, &FAlert::mnuPopupRestore_Click);
    connect(m_ui->mnuPopupExit, &QAction::triggered, this, &FAlert::mnuPopupExit_Click);
}

// The cycle goes first: it may still be waiting on the lists.
FAlert::~FAlert()
{
    m_outboxView.reset();
    m_cycle.reset();
    // The mail error window has no parent (it stands on its own on the
    // desktop) and deletes itself only when closed.
    delete m_frmMessage.data();
}

void FAlert::Initialize(CStartStatus *oStartStatus)
{
    passingOn("FAlert", "Initialize", [&] { m_oStartStatus = oStartStatus; });
}

// ---------------------------------------------------------------------------
// Load

void FAlert::OnFormLoad()
{
    reporting("FAlert", "OnFormLoad", [&] {
        m_lists = std::make_unique<ListStore>();
        m_sellersEditor = std::make_unique<ListEditor>(*m_lists, List::Sellers, *m_ui->lstAccounts, this);
        m_recipientsEditor = std::make_unique<ListEditor>(*m_lists, List::Recipients, *m_ui->lstEmail, this);
        m_cycle = std::make_unique<CheckCycle>(m_lists->sellers(), m_lists->recipients());
        m_cycle->setAlertSwitches([this] {
            return AlertSwitches{m_ui->chkChangesToAuctions->isChecked(), m_ui->chkNewAuctions->isChecked(),
                                 m_ui->optDetailedMessage->isChecked(), m_ui->optOneMessage->isChecked()};
        });
        connect(m_cycle.get(), &CheckCycle::statusText, this, &FAlert::UpdateStatusText);
        connect(m_cycle.get(), &CheckCycle::mailError, this, &FAlert::OnEmailErrorMessage);
        connect(m_cycle.get(), &CheckCycle::errorReported, this,
                [](const QString &report) { ErrorReporter::instance().ReportError(report); });
        connect(m_cycle.get(), &CheckCycle::cycleStarted, this, &FAlert::enableDeleteButtons);
        connect(m_cycle.get(), &CheckCycle::cycleFinished, this,
                [this] { reporting("FAlert", "OnCmdCheckClick", [this] { ReviseFormStatus(); }); });
        m_outboxView = std::make_unique<OutboxView>(*m_cycle, m_trayIcon);
        m_cycle->start();

        show();
        repaint();

        m_trayIcon.show();
        m_ui->mnuHelpPellridge->setText(Brand::CompanyName + QStringLiteral(" Home Page"));

        QSettings settings = userSettings();
        m_network = NetworkSettings::load(settings);
        // For the sandbox and soak runs only: a shorter minute, so that the
        // real program runs many check cycles in little time. Absent or
        // unusable, the minute is 60000 ms.
        bool bMinuteSet = false;
        const int iMinuteMilliseconds =
            settings.value(QStringLiteral("Testing/MinuteMilliseconds")).toString().toInt(&bMinuteSet);
        if (bMinuteSet && iMinuteMilliseconds > 0)
            m_cycle->setMinuteLength(std::chrono::milliseconds(iMinuteMilliseconds));
        if (m_oStartStatus)
            connect(m_oStartStatus, &CStartStatus::UpdateAccepted, this, [this] { Unload(UnloadByProgram); });
        m_cycle->setStartStatus(m_oStartStatus);
        m_storedSettings = MainSettings::load(settings);
        showSettings(m_storedSettings);

        m_ui->cboInterval->setCurrentIndex(DefaultIntervalIndex);
        SetInterval();

        // A list that cannot be read completely does not stop the load:
        // the window comes up whole, with what could be read.
        loadList(List::Recipients);
        loadList(List::Sellers);
        m_cycle->restoreScans();

        m_recipientsEditor->fill();
        m_sellersEditor->fill();
        CreateToolTips();
        ReviseFormStatus();
        m_recipientsEditor->tellLoadProblem();
        m_sellersEditor->tellLoadProblem();
    });
}

void FAlert::showSettings(const MainSettings &settings)
{
    m_sendFrom->show(settings, m_network.trustedCertificates);
    m_ui->chkNewAuctions->setChecked(settings.newAuctions);
    m_ui->chkChangesToAuctions->setChecked(settings.changesToAuctions);
    (settings.briefMessages ? m_ui->optBriefMessages : m_ui->optDetailedMessage)->setChecked(true);
    (settings.oneMessage ? m_ui->optOneMessage : m_ui->optManyMessages)->setChecked(true);
    m_ui->chkRememberAuctions->setChecked(settings.rememberAuctions);
    m_ui->chkFailureNoticeOnce->setChecked(settings.failureNoticeOnce);
    handSettingsToCycle();
}

MainSettings FAlert::shownSettings() const
{
    MainSettings settings = m_storedSettings; // with what the window does not show
    m_sendFrom->collect(settings);
    settings.newAuctions = m_ui->chkNewAuctions->isChecked();
    settings.changesToAuctions = m_ui->chkChangesToAuctions->isChecked();
    settings.briefMessages = m_ui->optBriefMessages->isChecked();
    settings.oneMessage = m_ui->optOneMessage->isChecked();
    settings.rememberAuctions = m_ui->chkRememberAuctions->isChecked();
    settings.failureNoticeOnce = m_ui->chkFailureNoticeOnce->isChecked();
    return settings;
}

// The cycle reads the sender and server as they are at each alert.
void FAlert::handSettingsToCycle()
{
    if (m_cycle)
        m_cycle->setSettings({m_sendFrom->sender(), m_sendFrom->smtpSettings(), m_network,
                              m_storedSettings.outboxDays, m_ui->chkRememberAuctions->isChecked(),
                              m_ui->chkFailureNoticeOnce->isChecked()});
}

void FAlert::loadList(List which)
{
    try {
        m_lists->load(which);
    } catch (...) {
        reportCaughtError("FAlert", "OnFormLoad");
    }
}

void FAlert::CreateToolTips()
{
    passingOn("FAlert", "CreateToolTips", [&] {
        for (const FAlertToolTips::ToolTipText &tip : FAlertToolTips::ToolTipTexts) {
            CreateToolTip(m_toolTips.emplace_back(), tip.lines.join(CrLf), QString::fromLatin1(tip.title),
                          findChild<QWidget *>(QString::fromLatin1(tip.control)));
        }
    });
}

void FAlert::CreateToolTip(std::unique_ptr<CToolTip> &oToolTip, const QString &sText, const QString &sTitle,
                           QWidget *control)
{
    passingOn("FAlert", "CreateToolTip", [&] {
        oToolTip = std::make_unique<CToolTip>();
        oToolTip->setHwndParentControl(control);
        oToolTip->setText(sText);
        oToolTip->setStyle(CToolTip::StyleBalloon);
        oToolTip->setCentered(false);
        oToolTip->setBackColor(oToolTip->SystemToolTipBackColor());
        oToolTip->setForeColor(oToolTip->SystemToolTipForeColor());
        oToolTip->setTitle(sTitle);
        oToolTip->Create();
    });
}

const CToolTip *FAlert::ToolTipOf(const QWidget *control) const
{
    for (const auto &toolTip : m_toolTips) {
        if (toolTip && toolTip->HwndParentControl() == control)
            return toolTip.get();
    }
    return nullptr;
}

// ---------------------------------------------------------------------------
// Interval and status line

void FAlert::OnCboIntervalClick()
{
    reporting("FAlert", "OnCboIntervalClick", [&] { SetInterval(); });
}

void FAlert::SetInterval()
{
    passingOn("FAlert", "SetInterval", [&] {
        const int index = m_ui->cboInterval->currentIndex();
        if (index >= 0 && index < int(std::size(IntervalMinutes)))
            m_cycle->SetInterval(IntervalMinutes[index]);
        UpdateStatusText(m_cycle->idleText());
    });
}

void FAlert::UpdateStatusText(const QString &sText)
{
    passingOn("FAlert", "UpdateStatusText", [&] { m_statusLine->setText(sText); });
}

QString FAlert::StatusText() const
{
    return m_statusLine->text();
}

QString FAlert::FitText(const QWidget &control, const QString &sCaption)
{
    return passingOn("FAlert", "FitText", [&] { return StatusText::FitText(control, sCaption); });
}

// Entries cannot be deleted while a check cycle works on the lists.
void FAlert::enableDeleteButtons()
{
    const bool idle = !m_cycle->isRunning();
    m_ui->cmdDeleteEmail->setEnabled(idle && m_recipientsEditor->hasSelection());
    m_ui->cmdDeleteAccount->setEnabled(idle && m_sellersEditor->hasSelection());
}

void FAlert::ReviseFormStatus()
{
    passingOn("FAlert", "ReviseFormStatus", [&] {
        enableDeleteButtons();
        if (m_lists->recipients().Count() == 0)
            UpdateStatusText(QStringLiteral("Idle.  Please add an email address to receive alerts."));
        else if (m_lists->sellers().Count() == 0)
            UpdateStatusText(QStringLiteral("Idle.  Please add an eBay seller account to check."));
        else
            SetInterval();
    });
}

// ---------------------------------------------------------------------------
// Check Now

void FAlert::OnCmdCheckClick()
{
    reporting("FAlert", "OnCmdCheckClick", [&] {
        const auto ask = [this](const char *title, const QString &text, int tab) {
            MessageBoxes::show({QString::fromLatin1(title), text, MessageButtons::Ok, MessageIcon::Information});
            m_ui->SSTab1->setCurrentIndex(tab);
        };
        switch (m_cycle->missingSetting()) {
        case CheckCycle::MissingSetting::Recipients:
            ask("Please enter an email address",
                QStringLiteral("Please enter at least one email address") + CrLf + QStringLiteral("to receive alerts."),
                RecipientsTab);
            break;
        case CheckCycle::MissingSetting::Sellers:
            ask("Please enter an eBay seller account",
                QStringLiteral("Please enter at least one eBay seller") + CrLf + QStringLiteral("account to check."),
                SellersTab);
            break;
        case CheckCycle::MissingSetting::MailServer:
            ask("Please enter mail server information",
                QStringLiteral("Please enter an email address and mail server ") + CrLf
                    + QStringLiteral("to send the alert messages."),
                ServerTab);
            break;
        case CheckCycle::MissingSetting::None:
            m_cycle->checkNow(); // it ends with ReviseFormStatus itself
            break;
        }
        if (!m_cycle->isRunning())
            ReviseFormStatus();
    });
}

void FAlert::OnEmailErrorMessage(const QString &sMessage)
{
    reporting("FAlert", "OnEmailErrorMessage", [&] {
        if (m_bMessageWindowOffered)
            return;
        m_bMessageWindowOffered = true;
        m_frmMessage = new FMessage;
        m_frmMessage->LoadMessage(sMessage);
        // Later texts reach the window for as long as it is open.
        connect(m_cycle.get(), &CheckCycle::mailError, m_frmMessage.data(), &FMessage::m_oEmail_OnErrorMessage);
        m_frmMessage->show();
    });
}

// ---------------------------------------------------------------------------
// Close, minimise, unload

// A request to unload may come while a modal window of the program is open
// (a termination signal, the session's end, an accepted update offer), in
// the middle of the handler that opened it. The unload then waits until that
// handler has returned, and the modal windows close as if cancelled, so no
// handler ever finds the window's members gone.
void FAlert::Unload(UnloadMode mode)
{
    ModalScope::whenNoneOpen([window = QPointer<FAlert>(this), mode] {
        if (!window || window->m_bUnloaded)
            return;
        window->m_iUnloadMode = mode;
        window->close();
    });
    if (ModalScope::closing())
        ModalDialogs::closeAll();
}

void FAlert::closeEvent(QCloseEvent *event)
{
    if (m_bUnloaded) {
        event->accept();
        return;
    }
    bool bCancel = false;
    OnFormQueryUnload(bCancel, m_iUnloadMode);
    m_iUnloadMode = UnloadByUser;
    if (bCancel) {
        event->ignore();
        return;
    }
    event->accept();
    OnFormUnload();
}

void FAlert::OnFormQueryUnload(bool &bCancel, int iUnloadMode)
{
    reporting("FAlert", "OnFormQueryUnload", [&] {
        if (iUnloadMode != UnloadByUser)
            return;
        const MessageAnswer answer = MessageBoxes::show(
            {QStringLiteral("Are you sure?"),
             QStringLiteral("Are you sure you want to stop ") + CrLf + QStringLiteral("monitoring auctions?  ") + CrLf
                 + CrLf + QStringLiteral("Press cancel and minimize this form ") + CrLf
                 + QStringLiteral("if you want to continue monitoring.") + CrLf + CrLf
                 + QStringLiteral("Press OK if you want to quit."),
             MessageButtons::OkCancel, MessageIcon::Question});
        if (answer == MessageAnswer::Cancel)
            bCancel = true;
    });
}

void FAlert::changeEvent(QEvent *event)
{
    QMainWindow::changeEvent(event);
    if (event->type() == QEvent::WindowStateChange)
        OnFormResize();
}

void FAlert::OnFormResize()
{
    reporting("FAlert", "OnFormResize", [&] {
        if (isMinimized()) {
            // Without a tray there would be no way back to a hidden window:
            // it then stays minimised on the task bar.
            if (QSystemTrayIcon::isSystemTrayAvailable())
                QMetaObject::invokeMethod(this, &QWidget::hide, Qt::QueuedConnection);
        } else if (!m_bUnloaded) {
            show();
        }
    });
}

void FAlert::OnFormUnload()
{
    m_cycle->stop();
    // Every step is tried, whatever became of the one before: settings typed
    // in this run are kept even when a list file cannot be written.
    QStringList unsaved;
    const auto attempt = [&unsaved](const QString &what, const auto &step) {
        try {
            step();
        } catch (...) {
            unsaved << what + QStringLiteral(" could not be saved: ") + caughtError().description();
        }
    };
    attempt(QStringLiteral("The seller list"), [this] { m_lists->save(List::Sellers); });
    attempt(QStringLiteral("The recipient list"), [this] { m_lists->save(List::Recipients); });
    attempt(QStringLiteral("The settings"), [this] {
        QSettings settings = userSettings();
        shownSettings().save(settings);
    });
    reporting("FAlert", "OnFormUnload", [&] {
        if (!unsaved.isEmpty())
            throw AppError(ErrorNumber::Component, unsaved.join(CrLf));
    });

    m_outboxView.reset();
    m_cycle.reset();
    m_sellersEditor.reset();
    m_recipientsEditor.reset();
    m_lists.reset();
    if (m_frmMessage)
        m_frmMessage->close();
    m_oStartStatus = nullptr;
    m_trayIcon.hide();
    m_bUnloaded = true;
    // With something unsaved, its report is on screen; the program still
    // ends cleanly once the report has been read.
    Q_EMIT Unloaded(unsaved.isEmpty());
}

// ---------------------------------------------------------------------------
// Lists

void FAlert::OnCmdAddAccountClick()
{
    reporting("FAlert", "OnCmdAddAccountClick", [&] {
        m_sellersEditor->add();
        ReviseFormStatus();
    });
}

void FAlert::OnCmdAddEmailClick()
{
    reporting("FAlert", "OnCmdAddEmailClick", [&] {
        m_recipientsEditor->add();
        ReviseFormStatus();
    });
}

void FAlert::OnCmdDeleteAccountClick()
{
    reporting("FAlert", "OnCmdDeleteAccountClick", [&] {
        m_sellersEditor->DeleteListItem(m_cycle->isRunning());
        ReviseFormStatus();
    });
}

void FAlert::OnCmdDeleteEmailClick()
{
    reporting("FAlert", "OnCmdDeleteEmailClick", [&] {
        m_recipientsEditor->DeleteListItem(m_cycle->isRunning());
        ReviseFormStatus();
    });
}

void FAlert::OnLstAccountsKeyDown(int iKeyCode)
{
    reporting("FAlert", "OnLstAccountsKeyDown", [&] {
        if (iKeyCode == DeleteKeyCode)
            m_sellersEditor->DeleteListItem(m_cycle->isRunning());
        ReviseFormStatus();
    });
}

void FAlert::OnLstEmailKeyDown(int iKeyCode)
{
    reporting("FAlert", "OnLstEmailKeyDown", [&] {
        if (iKeyCode == DeleteKeyCode)
            m_recipientsEditor->DeleteListItem(m_cycle->isRunning());
        ReviseFormStatus();
    });
}

bool FAlert::eventFilter(QObject *watched, QEvent *event)
{
    if (event->type() != QEvent::KeyPress)
        return QMainWindow::eventFilter(watched, event);
    const int key = static_cast<QKeyEvent *>(event)->key();
    if (watched == m_ui->lstAccounts || watched == m_ui->lstEmail) {
        if (watched == m_ui->lstAccounts)
            OnLstAccountsKeyDown(listKeyCode(key));
        else
            OnLstEmailKeyDown(listKeyCode(key));
        return key == Qt::Key_Delete;
    }
    // Enter on the Send To tab presses the focused button, or Add when no
    // button has the focus: the tab's default button. (Keys the lists and
    // buttons leave alone come up to the tab page.)
    QWidget *page = m_ui->SSTab1->widget(RecipientsTab);
    if (watched == page && (key == Qt::Key_Return || key == Qt::Key_Enter)) {
        auto *focused = qobject_cast<QPushButton *>(QApplication::focusWidget());
        QPushButton *button = focused && page->isAncestorOf(focused) ? focused : m_ui->cmdAddEmail;
        if (button->isEnabled())
            button->click();
        return true;
    }
    return QMainWindow::eventFilter(watched, event);
}

void FAlert::OnLstAccountsClick()
{
    reporting("FAlert", "OnLstAccountsClick", [&] { ReviseFormStatus(); });
}

void FAlert::OnListAddressesClick()
{
    reporting("FAlert", "OnListAddressesClick", [&] { ReviseFormStatus(); });
}

void FAlert::OnLstAccountsDblClick()
{
    reporting("FAlert", "OnLstAccountsDblClick", [&] {
        const QListWidgetItem *selected = m_ui->lstAccounts->currentItem();
        if (selected && !selected->text().isEmpty())
            BrowseSellerHistory(selected->text());
    });
}

void FAlert::BrowseSellerHistory(const QString &sSellerID)
{
    passingOn("FAlert", "BrowseSellerHistory", [&] {
        WebBrowse(m_network.listingHost + QStringLiteral("ws/eBayISAPI.dll?") + QStringLiteral("ViewSellersOtherItems&userid=")
                  + sSellerID + QStringLiteral("&completed=") + QStringLiteral("0")
                  + QStringLiteral("&sort=3&since=-1&include=0&page=1&rows=25"));
    });
}

void FAlert::WebBrowse(const QString &sURL)
{
    passingOn("FAlert", "WebBrowse", [&] { Shell::open(m_network.clickThroughPrefix + URLEncode(sURL)); });
}

QString FAlert::URLEncode(const QString &sText)
{
    return passingOn("FAlert", "URLEncode", [&] {
        QString text = sText;
        text.replace(u':', QStringLiteral("%3A"));
        text.replace(u'?', QStringLiteral("%3F"));
        text.replace(u'&', QStringLiteral("%26"));
        text.replace(u'=', QStringLiteral("%3D"));
        return text;
    });
}

// ---------------------------------------------------------------------------
// Alert kinds: at least one stays chosen.

void FAlert::OnChkChangesToAuctionsClick()
{
    reporting("FAlert", "OnChkChangesToAuctionsClick", [&] {
        if (!m_ui->chkChangesToAuctions->isChecked() && !m_ui->chkNewAuctions->isChecked())
            m_ui->chkNewAuctions->setChecked(true);
    });
}

void FAlert::OnChkNewAuctionsClick()
{
    reporting("FAlert", "OnChkNewAuctionsClick", [&] {
        if (!m_ui->chkNewAuctions->isChecked() && !m_ui->chkChangesToAuctions->isChecked())
            m_ui->chkChangesToAuctions->setChecked(true);
    });
}

// ---------------------------------------------------------------------------
// Menus and tray

void FAlert::OnMnuFileExitClick()
{
    reporting("FAlert", "OnMnuFileExitClick", [&] { Unload(UnloadByProgram); });
}

void FAlert::OnMnuFileMinimizeClick()
{
    reporting("FAlert", "OnMnuFileMinimizeClick", [&] { setWindowState(windowState() | Qt::WindowMinimized); });
}

void FAlert::OnMnuFileOutboxClick()
{
    reporting("FAlert", "OnMnuFileOutboxClick", [&] { m_outboxView->showWindow(); });
}

void FAlert::OnMnuHelpActivityLogClick()
{
    reporting("FAlert", "OnMnuHelpActivityLogClick",
              [&] { Shell::open(QUrl::fromLocalFile(ActivityLog::path()).toString()); });
}

void FAlert::OnMnuHelpAboutClick()
{
    reporting("FAlert", "OnMnuHelpAboutClick", [&] {
        FAbout about(this);
        ModalDialogs::exec(about);
    });
}

void FAlert::OnMnuHelpContentsClick()
{
    reporting("FAlert", "OnMnuHelpContentsClick", [&] {
        Shell::open(QUrl::fromLocalFile(ProgramFolder::dataFile(QStringLiteral("help.html"))).toString());
    });
}

void FAlert::OnMnuHelpFeedbackClick()
{
    reporting("FAlert", "OnMnuHelpFeedbackClick", [&] {
        Shell::open(QStringLiteral("mailto:") + Brand::SupportEmail + QStringLiteral("?subject=Zorvane ")
                    + Version::full());
    });
}

void FAlert::OnMnuHelpPellridgeClick()
{
    reporting("FAlert", "OnMnuHelpPellridgeClick", [&] { Shell::open(Brand::CompanyURL); });
}

void FAlert::OnMnuHelpJoinClick()
{
    reporting("FAlert", "OnMnuHelpJoinClick", [&] {
        Shell::open(QStringLiteral("mailto:") + Brand::SubscribeEmail
                    + QStringLiteral("?subject=Subscribe Mailing List - ZV"));
    });
}

void FAlert::Form_MouseMove(int iMessage)
{
    switch (iMessage) {
    case TrayLeftButtonUp:
    case TrayLeftDoubleClick:
        restoreFromTray();
        break;
    case TrayRightButtonUp:
        activateWindow();
        mnuPopup->popup(QCursor::pos());
        break;
    default:
        break;
    }
}

void FAlert::mnuPopupRestore_Click()
{
    restoreFromTray();
}

void FAlert::mnuPopupExit_Click()
{
    OnMnuFileExitClick();
}

void FAlert::restoreFromTray()
{
    setWindowState(windowState() & ~Qt::WindowMinimized);
    show();
    raise();
    activateWindow();
}
