#include "FAlert.h"

#include "ui_FAlert.h"

#include "auction/CUserIDs.h"
#include "base/Brand.h"
#include "base/ProgramFolder.h"
#include "base/UserSettings.h"
#include "base/Version.h"
#include "desktop/CToolTip.h"
#include "base/Shell.h"
#include "desktop/ShellIcon.h"
#include "base/ErrorPatterns.h"
#include "dialogs/FAbout.h"
#include "dialogs/FAdd.h"
#include "dialogs/FMessage.h"
#include "base/MessageBoxes.h"
#include "base/ModalScope.h"
#include "base/PageText.h"
#include "dialogs/ModalDialogs.h"
#include "mail/CEmail.h"
#include "mail/FWinsock.h"
#include "monitor/ListFolder.h"
#include "monitor/StatusText.h"
#include "web/CWebConnection.h"

#include "auction/CItems.h"
#include "update/CStartStatus.h"

#include <qcoro/qcorosignal.h>
#include <qcoro/qcorotimer.h>

#include <QApplication>
#include <QCloseEvent>
#include <QPushButton>
#include <QCursor>
#include <QFileInfo>
#include <QKeyEvent>
#include <QLabel>
#include <QMenu>
#include <QSettings>
#include <QUrl>

namespace {

const QString MainSection = QStringLiteral("Main");
const QString CheckBoxKind = QStringLiteral("CheckBox");
const QString OptionKind = QStringLiteral("Option");
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

using List = ListStore::List;

// Mouse message numbers the tray icon reports.
constexpr int TrayLeftButtonUp = 514;
constexpr int TrayLeftDoubleClick = 515;
constexpr int TrayRightButtonUp = 517;

// The end of a listing page's link to the page after it.
const QString NextPageMarker = QStringLiteral(">&gt;&gt;</a>");
// A listing page shorter than this did not arrive whole.
constexpr qsizetype ShortestListingPage = 2500;
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

    mnuPopup = new QMenu(QStringLiteral("Popup"), this);
    mnuPopup->setObjectName(QStringLiteral("mnuPopup"));
    mnuPopup->addAction(m_ui->mnuPopupRestore);
    mnuPopup->addAction(m_ui->mnuPopupExit);

    m_trayIcon.setIcon(windowIcon());
    m_trayIcon.setToolTip(QStringLiteral("Zorvane"));
    connect(&m_trayIcon, &QSystemTrayIcon::activated, this,
            [this](QSystemTrayIcon::ActivationReason reason) {
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

    timSubmitInterval.setObjectName(QStringLiteral("timSubmitInterval"));
    timSubmitInterval.setInterval(std::chrono::minutes(1));
    connect(&timSubmitInterval, &QTimer::timeout, this, &FAlert::OnTimerSubmitInterval);
    m_eventTurn.setSingleShot(true);
    m_eventTurn.setInterval(0);
    connect(&m_eventTurn, &QTimer::timeout, this, &FAlert::eventLoopTurned);

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
    connect(m_ui->mnuFileExit, &QAction::triggered, this, &FAlert::OnMnuFileExitClick);
    connect(m_ui->mnuFileMinimize, &QAction::triggered, this, &FAlert::OnMnuFileMinimizeClick);
    connect(m_ui->mnuHelpAbout, &QAction::triggered, this, &FAlert::OnMnuHelpAboutClick);
    connect(m_ui->mnuHelpContents, &QAction::triggered, this, &FAlert::OnMnuHelpContentsClick);
    connect(m_ui->mnuHelpFeedback, &QAction::triggered, this, &FAlert::OnMnuHelpFeedbackClick);
    connect(m_ui->mnuHelpPellridge, &QAction::triggered, this, &FAlert::OnMnuHelpPellridgeClick);
    connect(m_ui->mnuHelpJoin, &QAction::triggered, this, &FAlert::OnMnuHelpJoinClick);
    connect(m_ui->mnuPopupRestore, &QAction::triggered, this, &FAlert::mnuPopupRestore_Click);
    connect(m_ui->mnuPopupExit, &QAction::triggered, this, &FAlert::mnuPopupExit_Click);
}

FAlert::~FAlert() = default;

void FAlert::Initialize(CStartStatus *oStartStatus)
{
    passingOn("FAlert", "Initialize", [&] { m_oStartStatus = oStartStatus; });
}

// ---------------------------------------------------------------------------
// Load

void FAlert::OnFormLoad()
{
    reporting("FAlert", "OnFormLoad", [&] {
        m_oPageConnection = std::make_unique<CWebConnection>();
        m_lists = std::make_unique<ListStore>();
        m_oEmail = std::make_unique<CEmail>();
        connect(m_oEmail.get(), &CEmail::WinsockMessage, this, &FAlert::OnEmailWinsockMessage);
        connect(m_oEmail.get(), &CEmail::OnWinsockConnectionClosed, this,
                &FAlert::OnEmailWinsockConnectionClosed);
        connect(m_oEmail.get(), &CEmail::OnErrorMessage, this, &FAlert::OnEmailErrorMessage);
        timSubmitInterval.start();

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
            setMinuteLength(std::chrono::milliseconds(iMinuteMilliseconds));
        m_changeAlerts = std::make_unique<ChangeAlerts>(
            m_network.itemHost,
            ChangeAlerts::Hooks{[this] { return currentSwitches(); },
                                [this](const QString &text) { UpdateStatusText(text); },
                                [this] { return letEventsRun(); },
                                [this] { return m_bUnloading; },
                                [this](QString body, QString sellerId) {
                                    return SendEmail(std::move(body), std::move(sellerId));
                                }});
        if (m_oStartStatus) {
            m_oStartStatus->setMakerHost(m_network.makerHost);
            connect(m_oStartStatus, &CStartStatus::UpdateAccepted, this, [this] { Unload(UnloadByProgram); });
        }
        m_ui->txtUserName->setText(settings.value(MainSection + QStringLiteral("/FromAddress")).toString());
        m_ui->txtSMTP->setText(settings.value(MainSection + QStringLiteral("/SMTP")).toString());

        m_ui->chkNewAuctions->setChecked(GetControlSetting(MainSection, QStringLiteral("NewAuctions"), CheckBoxKind) == 1);
        m_ui->chkChangesToAuctions->setChecked(
            GetControlSetting(MainSection, QStringLiteral("ChangesToAuctions"), CheckBoxKind) == 1);
        if (GetControlSetting(MainSection, QStringLiteral("BriefMessages"), OptionKind))
            m_ui->optBriefMessages->setChecked(true);
        if (GetControlSetting(MainSection, QStringLiteral("DetailedMessages"), OptionKind))
            m_ui->optDetailedMessage->setChecked(true);
        if (GetControlSetting(MainSection, QStringLiteral("ManyMessages"), OptionKind))
            m_ui->optManyMessages->setChecked(true);
        if (GetControlSetting(MainSection, QStringLiteral("OneMessage"), OptionKind))
            m_ui->optOneMessage->setChecked(true);

        if (!m_ui->optDetailedMessage->isChecked() && !m_ui->optBriefMessages->isChecked())
            m_ui->optDetailedMessage->setChecked(true);
        if (!m_ui->optOneMessage->isChecked() && !m_ui->optManyMessages->isChecked())
            m_ui->optManyMessages->setChecked(true);

        m_ui->cboInterval->setCurrentIndex(DefaultIntervalIndex);
        SetInterval();

        m_bFirstCheck = true;

        // A list that cannot be read completely does not stop the load:
        // the window comes up whole, with what could be read.
        loadList(List::Recipients);
        loadList(List::Sellers);

        FillEmailListBox();
        FillAccountList();
        CreateToolTips();
        ReviseFormStatus();
        tellListProblems();
    });
}

int FAlert::GetControlSetting(const QString &sSection, const QString &sKey, const QString &sKind)
{
    return passingOn("FAlert", "GetControlSetting", [&] {
        const QString value = userSettings().value(sSection + u'/' + sKey).toString();
        if (sKind == CheckBoxKind)
            return (value == QStringLiteral("1") || value.isEmpty()) ? 1 : 0;
        return value == QStringLiteral("1") ? 1 : 0;
    });
}

void FAlert::loadList(List which)
{
    try {
        m_lists->load(which);
    } catch (...) {
        reportCaughtError("FAlert", "OnFormLoad");
    }
}

void FAlert::tellListProblems()
{
    for (const List which : {List::Recipients, List::Sellers}) {
        if (!m_lists->isReadOnly(which))
            continue;
        QString problem = m_lists->problem(which);
        problem[0] = problem[0].toUpper();
        MessageBoxes::show({QStringLiteral("Zorvane"),
                            QStringLiteral("Zorvane could not read all of the file") + CrLf
                                + m_lists->readPath(which) + u'.' + CrLf + CrLf + problem + u'.' + CrLf + CrLf
                                + QStringLiteral("The entries before that line are shown.  To keep the ones it "
                                                 "could not read, Zorvane will not change this list or write "
                                                 "over the file while it runs.  Correct or remove the file, "
                                                 "then start Zorvane again."),
                            MessageButtons::Ok, MessageIcon::Warning});
    }
}

// A list whose file could not be read completely is not changed: the
// user hears why instead.
bool FAlert::refuseReadOnly(List which)
{
    if (!m_lists->isReadOnly(which))
        return false;
    MessageBoxes::show({QStringLiteral("Zorvane"),
                        (which == List::Sellers ? QStringLiteral("The seller list") : QStringLiteral("The recipient list"))
                            + QStringLiteral(" cannot be changed while Zorvane runs: Zorvane could not read all "
                                             "of its file") + CrLf + m_lists->readPath(which) + CrLf + u'('
                            + m_lists->problem(which)
                            + QStringLiteral(") and will not write over it.  Correct or remove the file, then "
                                             "start Zorvane again."),
                        MessageButtons::Ok, MessageIcon::Information});
    return true;
}

void FAlert::FillEmailListBox()
{
    passingOn("FAlert", "FillEmailListBox", [&] {
        for (const CUserID &recipient : m_lists->recipients())
            m_ui->lstEmail->addItem(recipient.UserID());
    });
}

void FAlert::FillAccountList()
{
    passingOn("FAlert", "FillAccountList", [&] {
        for (const CUserID &seller : m_lists->sellers())
            m_ui->lstAccounts->addItem(seller.UserID());
    });
}

void FAlert::CreateToolTips()
{
    passingOn("FAlert", "CreateToolTips", [&] {
        CreateToolTip(m_toolTips[0],
                      QStringLiteral("These eBay sellers' accounts will ") + CrLf
                          + QStringLiteral("be checked on a regular basis and you ") + CrLf
                          + QStringLiteral("will be notified by email of new auctions ") + CrLf
                          + QStringLiteral("and/or changes to current auctions."),
                      QStringLiteral("Sellers to check"), m_ui->lstAccounts);
        CreateToolTip(m_toolTips[1],
                      QStringLiteral("Zorvane alert messages will ") + CrLf
                          + QStringLiteral("be sent to these email addresses."),
                      QStringLiteral("Alert recipients"), m_ui->lstEmail);
        CreateToolTip(m_toolTips[2],
                      QStringLiteral("Zorvane alert messages will be ") + CrLf
                          + QStringLiteral("sent from this email address.  Be sure the SMTP ") + CrLf
                          + QStringLiteral("server you specify below is able to send ") + CrLf
                          + QStringLiteral("messages from this address."),
                      QStringLiteral("Email Address"), m_ui->txtUserName);
        CreateToolTip(m_toolTips[3],
                      QStringLiteral("Enter an SMTP server to send email.  It is") + CrLf
                          + QStringLiteral("best to use an SMTP server associated with") + CrLf
                          + QStringLiteral("the email address you have entered, or one") + CrLf
                          + QStringLiteral("provided by your internet service provider."),
                      QStringLiteral("SMTP Server"), m_ui->txtSMTP);
        CreateToolTip(m_toolTips[4],
                      QStringLiteral("A brief message includes the first 20 characters ") + CrLf
                          + QStringLiteral("of the auction description, the current auction ") + CrLf
                          + QStringLiteral("price, and the name of the high bidder (if any). ") + CrLf + CrLf
                          + QStringLiteral("This format is best if you are sending messages ") + CrLf
                          + QStringLiteral("to a wireless phone or pager."),
                      QStringLiteral("Brief Message Format"), m_ui->optBriefMessages);
        CreateToolTip(m_toolTips[5],
                      QStringLiteral("Choose this option to be informed of changes to ") + CrLf
                          + QStringLiteral("the auctions currently posted by the sellers you ") + CrLf
                          + QStringLiteral("are monitoring.  You will be informed any time a ") + CrLf
                          + QStringLiteral("bid is placed or retracted on any of the sellers' ") + CrLf
                          + QStringLiteral("auctions."),
                      QStringLiteral("Changes to Auctions"), m_ui->chkChangesToAuctions);
        CreateToolTip(m_toolTips[6],
                      QStringLiteral("Detailed messages include the auction number, ") + CrLf
                          + QStringLiteral("the auction title, a hyperlink to the auction ") + CrLf
                          + QStringLiteral("page on eBay, information about the most recent ") + CrLf
                          + QStringLiteral("price and the current price, and the name of the ") + CrLf
                          + QStringLiteral("high bidder."),
                      QStringLiteral("Detailed Messages"), m_ui->optDetailedMessage);
        CreateToolTip(m_toolTips[7],
                      QStringLiteral("Receive an individual email message for each ") + CrLf
                          + QStringLiteral("auction that has changes.  Each time the sellers' ") + CrLf
                          + QStringLiteral("auctions are checked, a message will be sent ") + CrLf
                          + QStringLiteral("for each auction with changes."),
                      QStringLiteral("Individual Auction Alerts"), m_ui->optManyMessages);
        CreateToolTip(m_toolTips[8],
                      QStringLiteral("Choose this option to be informed of new auctions ") + CrLf
                          + QStringLiteral("posted by the sellers you have chosen to monitor."),
                      QStringLiteral("New Auction Alerts"), m_ui->chkNewAuctions);
        CreateToolTip(m_toolTips[9],
                      QStringLiteral("Receive one message for each seller you are ") + CrLf
                          + QStringLiteral("monitoring, with details on the changes to all ") + CrLf
                          + QStringLiteral("that seller's auctions.  This option results in ") + CrLf
                          + QStringLiteral("fewer total alert messages being sent, because ") + CrLf
                          + QStringLiteral("may contain information about many auctions."),
                      QStringLiteral("Consolidated messages"), m_ui->optOneMessage);
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

void FAlert::CreateToolTip(std::unique_ptr<CToolTip> &oToolTip, const QString &sText,
                           const QString &sTitle, QWidget *control)
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
            m_iCheckInterval = IntervalMinutes[index];
        UpdateStatusText(QStringLiteral("Idle.  Minutes to next check: ")
                         + QString::number(m_iCheckInterval - m_iMinutesElapsed));
    });
}

void FAlert::UpdateStatusText(const QString &sText)
{
    passingOn("FAlert", "UpdateStatusText", [&] {
        m_statusPanel->setText(FitText(*m_statusPanel, sText));
    });
}

QString FAlert::StatusText() const
{
    return m_statusPanel->text();
}

QString FAlert::FitText(const QWidget &control, const QString &sCaption)
{
    return passingOn("FAlert", "FitText", [&] { return StatusText::FitText(control, sCaption); });
}

void FAlert::ReviseFormStatus()
{
    passingOn("FAlert", "ReviseFormStatus", [&] {
        // Entries cannot be deleted while a check cycle works on the lists.
        m_ui->cmdDeleteEmail->setEnabled(!m_bCycleRunning && m_ui->lstEmail->currentRow() != -1
                                         && !m_ui->lstEmail->selectedItems().isEmpty());
        m_ui->cmdDeleteAccount->setEnabled(!m_bCycleRunning && m_ui->lstAccounts->currentRow() != -1
                                           && !m_ui->lstAccounts->selectedItems().isEmpty());
        if (m_lists->recipients().Count() == 0)
            UpdateStatusText(QStringLiteral("Idle.  Please add an email address to receive alerts."));
        else if (m_lists->sellers().Count() == 0)
            UpdateStatusText(QStringLiteral("Idle.  Please add an eBay seller account to check."));
        else
            SetInterval();
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
             QStringLiteral("Are you sure you want to stop ") + CrLf + QStringLiteral("monitoring auctions?  ")
                 + CrLf + CrLf + QStringLiteral("Press cancel and minimize this form ") + CrLf
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
    endWaitingCycle();
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
    attempt(QStringLiteral("The settings"), [this] { saveSettings(); });
    reporting("FAlert", "OnFormUnload", [&] {
        if (!unsaved.isEmpty())
            throw AppError(ErrorNumber::Component, unsaved.join(CrLf));
    });

    // A cycle that was under way is never resumed: what it waits on is
    // stopped or gone.
    timSubmitInterval.stop();
    m_eventTurn.stop();
    m_lists.reset();
    m_oEmail.reset();
    m_oPageConnection.reset();
    if (m_frmMessage)
        m_frmMessage->close();
    m_oNewInstallConnection.reset();
    m_oStartStatus = nullptr;
    m_trayIcon.hide();
    m_bUnloaded = true;
    // With something unsaved, its report is on screen; the program still
    // ends cleanly once the report has been read.
    Q_EMIT Unloaded(unsaved.isEmpty());
}

void FAlert::saveSettings()
{
    QSettings settings = userSettings();
    settings.setValue(MainSection + QStringLiteral("/FromAddress"), m_ui->txtUserName->text());
    settings.setValue(MainSection + QStringLiteral("/SMTP"), m_ui->txtSMTP->text());
    SaveCheckboxSetting(MainSection, QStringLiteral("ChangesToAuctions"), m_ui->chkChangesToAuctions->isChecked() ? 1 : 0);
    SaveCheckboxSetting(MainSection, QStringLiteral("NewAuctions"), m_ui->chkNewAuctions->isChecked() ? 1 : 0);
    SaveOptionSetting(MainSection, QStringLiteral("BriefMessages"), m_ui->optBriefMessages->isChecked());
    SaveOptionSetting(MainSection, QStringLiteral("DetailedMessages"), m_ui->optDetailedMessage->isChecked());
    SaveOptionSetting(MainSection, QStringLiteral("ManyMessages"), m_ui->optManyMessages->isChecked());
    SaveOptionSetting(MainSection, QStringLiteral("OneMessage"), m_ui->optOneMessage->isChecked());
    settings.sync();
    if (settings.status() != QSettings::NoError)
        throw AppError::platform(ErrorNumber::PathFileAccess);
}

void FAlert::SaveCheckboxSetting(const QString &sSection, const QString &sKey, int iValue)
{
    passingOn("FAlert", "SaveCheckboxSetting", [&] {
        userSettings().setValue(sSection + u'/' + sKey, iValue == 1 ? QStringLiteral("1") : QStringLiteral("0"));
    });
}

void FAlert::SaveOptionSetting(const QString &sSection, const QString &sKey, bool bValue)
{
    passingOn("FAlert", "SaveOptionSetting", [&] {
        userSettings().setValue(sSection + u'/' + sKey, bValue ? QStringLiteral("1") : QStringLiteral("0"));
    });
}

// ---------------------------------------------------------------------------
// Lists

void FAlert::OnCmdAddAccountClick()
{
    reporting("FAlert", "OnCmdAddAccountClick", [&] { addEntry(List::Sellers); });
}

void FAlert::OnCmdAddEmailClick()
{
    reporting("FAlert", "OnCmdAddEmailClick", [&] { addEntry(List::Recipients); });
}

void FAlert::addEntry(List which)
{
    if (!refuseReadOnly(which)) {
        FAdd dialog(this);
        dialog.setEmailMode(which == List::Recipients);
        ModalDialogs::exec(dialog);
        const QString entry = dialog.Address();
        if (dialog.Cancelled()) {
        } else if (!PageText::isBytes(entry)) {
            // The list files hold one byte a character: anything else would
            // come back changed after the next start.
            MessageBoxes::show({QStringLiteral("Zorvane"),
                                QStringLiteral("\"") + PageText::firstNonByte(entry)
                                    + QStringLiteral("\" cannot be kept in Zorvane's lists, which hold "
                                                     "only the characters of ISO 8859-1 (Latin-1).") + CrLf
                                    + QStringLiteral("Please type the entry without it."),
                                MessageButtons::Ok, MessageIcon::Information});
        } else if (const CUserID *added = m_lists->list(which).Add(entry)) {
            (which == List::Recipients ? m_ui->lstEmail : m_ui->lstAccounts)->addItem(added->UserID());
            m_lists->save(which);
        }
    }
    ReviseFormStatus();
}

void FAlert::OnCmdDeleteAccountClick()
{
    reporting("FAlert", "OnCmdDeleteAccountClick", [&] {
        DeleteListItem(List::Sellers, *m_ui->lstAccounts);
        ReviseFormStatus();
    });
}

void FAlert::OnCmdDeleteEmailClick()
{
    reporting("FAlert", "OnCmdDeleteEmailClick", [&] {
        DeleteListItem(List::Recipients, *m_ui->lstEmail);
        ReviseFormStatus();
    });
}

void FAlert::OnLstAccountsKeyDown(int iKeyCode)
{
    reporting("FAlert", "OnLstAccountsKeyDown", [&] {
        if (iKeyCode == DeleteKeyCode)
            DeleteListItem(List::Sellers, *m_ui->lstAccounts);
        ReviseFormStatus();
    });
}

void FAlert::OnLstEmailKeyDown(int iKeyCode)
{
    reporting("FAlert", "OnLstEmailKeyDown", [&] {
        if (iKeyCode == DeleteKeyCode)
            DeleteListItem(List::Recipients, *m_ui->lstEmail);
        ReviseFormStatus();
    });
}

bool FAlert::eventFilter(QObject *watched, QEvent *event)
{
    if (event->type() == QEvent::KeyPress
        && (watched == m_ui->lstAccounts || watched == m_ui->lstEmail)) {
        const int key = static_cast<QKeyEvent *>(event)->key();
        const int keyCode = listKeyCode(key);
        if (watched == m_ui->lstAccounts)
            OnLstAccountsKeyDown(keyCode);
        else
            OnLstEmailKeyDown(keyCode);
        if (key == Qt::Key_Delete)
            return true;
    }
    // Enter on the Send To tab presses the focused button, or Add when no
    // button has the focus: the tab's default button. (Keys the lists and
    // buttons leave alone come up to the tab page.)
    if (event->type() == QEvent::KeyPress && watched == m_ui->SSTab1->widget(RecipientsTab)) {
        const int key = static_cast<QKeyEvent *>(event)->key();
        if (key == Qt::Key_Return || key == Qt::Key_Enter) {
            auto *focused = qobject_cast<QPushButton *>(QApplication::focusWidget());
            QPushButton *button = focused && m_ui->SSTab1->widget(RecipientsTab)->isAncestorOf(focused)
                                      ? focused
                                      : m_ui->cmdAddEmail;
            if (button->isEnabled())
                button->click();
            return true;
        }
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

void FAlert::DeleteListItem(List which, QListWidget &list)
{
    passingOn("FAlert", "DeleteListItem", [&] {
        const int index = list.currentRow();
        if (index == -1 || list.selectedItems().isEmpty() || m_bCycleRunning || refuseReadOnly(which))
            return;
        m_lists->list(which).Remove(list.item(index)->text());
        delete list.takeItem(index);
        const int next = std::min(index, list.count() - 1);
        list.setCurrentRow(next);
        if (next >= 0)
            list.item(next)->setSelected(true);
        // Saved last: a failed save leaves the entry gone from both the list
        // and the box (the next successful save writes it so).
        m_lists->save(which);
    });
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
// Alert kinds

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

// ---------------------------------------------------------------------------
// The check cycle

void FAlert::OnTimerSubmitInterval()
{
    reporting("FAlert", "OnTimerSubmitInterval", [&] {
        ++m_iMinutesElapsed;
        UpdateStatusText(QStringLiteral("Minutes to next check: ")
                         + QString::number(m_iCheckInterval - m_iMinutesElapsed));
        if (m_iMinutesElapsed >= m_iCheckInterval && !m_bCycleRunning)
            runCycle("OnTimerSubmitInterval");
    });
}

void FAlert::OnCmdCheckClick()
{
    reporting("FAlert", "OnCmdCheckClick", [&] {
        if (m_lists->recipients().Count() == 0) {
            MessageBoxes::show({QStringLiteral("Please enter an email address"),
                                QStringLiteral("Please enter at least one email address") + CrLf
                                    + QStringLiteral("to receive alerts."),
                                MessageButtons::Ok, MessageIcon::Information});
            m_ui->SSTab1->setCurrentIndex(RecipientsTab);
        } else if (m_lists->sellers().Count() == 0) {
            MessageBoxes::show({QStringLiteral("Please enter an eBay seller account"),
                                QStringLiteral("Please enter at least one eBay seller") + CrLf
                                    + QStringLiteral("account to check."),
                                MessageButtons::Ok, MessageIcon::Information});
            m_ui->SSTab1->setCurrentIndex(SellersTab);
        } else if (m_ui->txtUserName->text().isEmpty() || m_ui->txtSMTP->text().size() < 6) {
            MessageBoxes::show({QStringLiteral("Please enter mail server information"),
                                QStringLiteral("Please enter an email address and mail server ") + CrLf
                                    + QStringLiteral("to send the alert messages."),
                                MessageButtons::Ok, MessageIcon::Information});
            m_ui->SSTab1->setCurrentIndex(ServerTab);
        } else if (!m_bCycleRunning) {
            // The cycle ends with ReviseFormStatus itself.
            runCycle("OnCmdCheckClick");
            return;
        }
        if (!m_bCycleRunning)
            ReviseFormStatus();
    });
}

QCoro::Task<> FAlert::runCycle(const char *sEntryProcedure)
{
    m_bCycleRunning = true;
    m_ui->cmdDeleteAccount->setEnabled(false);
    m_ui->cmdDeleteEmail->setEnabled(false);
    try {
        co_await Check();
    } catch (...) {
        reportCaughtError("FAlert", sEntryProcedure);
    }
    if (m_bUnloading)
        co_return;
    m_bCycleRunning = false;
    reporting("FAlert", sEntryProcedure, [&] { ReviseFormStatus(); });
    Q_EMIT CycleFinished();
}

QCoro::Task<> FAlert::Check()
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
        for (const CUserID &seller : m_lists->sellers())
            sellerIds << seller.UserID();

        for (const QString &sellerId : std::as_const(sellerIds)) {
            CUserID *seller = m_lists->sellers().find(sellerId);
            if (!seller)
                continue;
            UpdateStatusText(QStringLiteral("Connecting.  Getting auctions for ") + sellerId);
            bool bFailed = false;
            // A scan starts from nothing: values left by an earlier failed
            // scan must not be compared as if they were current.
            seller->Items().Clear();

            for (int page = 1; page <= MostListingPages; ++page) {
                const QString text = co_await m_oPageConnection->GetWebPage(listingPageAddress(sellerId, page));
                if (m_bUnloading)
                    co_return;
                UpdateStatusText(QStringLiteral("Page ") + QString::number(page)
                                 + QStringLiteral(" of auctions gotten for ") + sellerId + QStringLiteral(". ")
                                 + QString::number(seller->Items().Count()) + QStringLiteral(" items grabbed."));
                if (text.size() < ShortestListingPage) {
                    bFailed = true;
                    co_await SendEmail(QStringLiteral("There was an error retrieving the auctions of ") + sellerId
                                           + QStringLiteral(".  This user's auctions will scanned again during "
                                                            "the next check."),
                                       QStringLiteral("Zorvane"));
                    if (m_bUnloading)
                        co_return;
                } else {
                    seller->Items().LoadFromSellerPage(text);
                }
                if (!text.contains(NextPageMarker))
                    break;
            }
            if (bFailed)
                continue;

            UpdateStatusText(QStringLiteral("Checking for new items for ") + sellerId);
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
            if (m_bUnloading)
                co_return;

            seller->OldItems().Clear();
            for (const CItem &item : seller->Items())
                seller->OldItems().Add(item.ItemNumber(), item.Bids(), item.NumBids(), item.IsDutch(),
                                       item.Description(), item.HighBidder(), item.Completed(), item.HighBid());
            seller->Items().Clear();
        }

        if (m_bFirstCheck)
            co_await SendEmail(WelcomeBody, QStringLiteral("Zorvane"));
        if (m_bUnloading)
            co_return;
        m_bFirstCheck = false;
        m_iMinutesElapsed = 0;
        SetInterval();
    } catch (...) {
        passOnCaughtError("FAlert", "Check");
    }
}

void FAlert::CheckFirstTime()
{
    passingOn("FAlert", "CheckFirstTime", [&] {
        if (!m_oStartStatus || !m_oStartStatus->IsFirstTime())
            return;
        m_oStartStatus->setIsFirstTime(false);
        m_oNewInstallConnection = std::make_unique<CWebConnection>();
        m_oNewInstallConnection->GetWebPageAsynch(m_network.makerHost
                                                  + QStringLiteral("zorvane/ZorvaneNewInstall.html"));
    });
}

void FAlert::setPageTimeout(std::chrono::milliseconds timeout)
{
    if (m_oPageConnection)
        m_oPageConnection->setTimeout(timeout);
}

void FAlert::setMailTimeout(std::chrono::milliseconds timeout)
{
    if (m_oEmail)
        m_oEmail->frmWinsock()->SetTimerInterval(int(timeout.count()));
}

QString FAlert::listingPageAddress(const QString &sSellerID, int iPage) const
{
    return m_network.listingHost + QStringLiteral("ws/eBayISAPI.dll?ViewListedItems&userid=") + sSellerID
        + QStringLiteral("&include=0&since=1&page=") + QString::number(iPage)
        + QStringLiteral("&sort=2&rows=100");
}

QCoro::Task<> FAlert::CompareLists(const CItems &oPrevious, const CItems &oCurrent, QString sSellerID)
{
    try {
        co_await m_changeAlerts->CompareLists(oPrevious, oCurrent, sSellerID);
    } catch (...) {
        passOnCaughtError("FAlert", "CompareLists");
    }
}

AlertSwitches FAlert::currentSwitches() const
{
    return {m_ui->chkChangesToAuctions->isChecked(), m_ui->chkNewAuctions->isChecked(),
            m_ui->optDetailedMessage->isChecked(), m_ui->optOneMessage->isChecked()};
}

// A cycle under way when the window unloads is resumed from the wait it is
// in and ends at once (it sees m_bUnloading), while everything it holds is
// still there: no coroutine is left suspended for ever. A wait for a page
// ends when the page connection is released.
void FAlert::endWaitingCycle()
{
    m_bUnloading = true;
    timSubmitInterval.stop();
    m_eventTurn.stop();
    if (!m_bCycleRunning)
        return;
    Q_EMIT eventLoopTurned();
    Q_EMIT mailSessionEnded();
}

QCoro::Task<> FAlert::letEventsRun()
{
    m_eventTurn.start();
    // Awaited through the timer's own awaitable: awaiting the timeout signal
    // would bind its private-signal tag, which Qt passes as a null pointer,
    // to a reference (undefined behaviour that UBSan reports).
    co_await qCoro(&m_eventTurn).waitForTimeout();
}

QCoro::Task<> FAlert::SendEmail(QString sBody, QString sSubjectPrefix)
{
    try {
        m_oEmail->frmWinsock()->Close();
        QStringList recipients;
        for (const CUserID &recipient : m_lists->recipients())
            recipients << recipient.UserID();

        for (const QString &recipient : std::as_const(recipients)) {
            m_bEmailDone = false;
            m_oEmail->SendMail(m_ui->txtSMTP->text(), m_network.smtpPort, recipient, m_ui->txtUserName->text(),
                               sSubjectPrefix + QStringLiteral(" Auction Update"), sBody);
            if (!m_bEmailDone) {
                const auto ended = co_await qCoro(this, &FAlert::mailSessionEnded, SessionWaitBound);
                if (m_bUnloading)
                    co_return;
                if (!ended) // a session that never ended is ended here, as an error
                    m_oEmail->CloseConn(true);
            }
            m_bEmailDone = false;
        }
    } catch (...) {
        passOnCaughtError("FAlert", "SendEmail");
    }
}

void FAlert::OnEmailWinsockMessage(const QString &sMessage)
{
    reporting("FAlert", "OnEmailWinsockMessage", [&] { UpdateStatusText(sMessage); });
}

void FAlert::OnEmailWinsockConnectionClosed()
{
    reporting("FAlert", "OnEmailWinsockConnectionClosed", [&] {
        m_bEmailDone = true;
        Q_EMIT mailSessionEnded();
    });
}

void FAlert::OnEmailErrorMessage(const QString &sMessage)
{
    reporting("FAlert", "OnEmailErrorMessage", [&] {
        if (m_bMessageWindowOffered)
            return;
        m_bMessageWindowOffered = true;
        m_frmMessage = new FMessage;
        m_frmMessage->LoadMessage(m_oEmail.get(), sMessage);
        m_frmMessage->show();
    });
}
