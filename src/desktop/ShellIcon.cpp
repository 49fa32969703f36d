#include "desktop/ShellIcon.h"

#include "base/ErrorPatterns.h"

#include <QCursor>
#include <QMenu>
#include <QWidget>

namespace {

// The mouse message numbers the tray reports.
enum TrayMessage {
    MsgMouseMove = 512,
    MsgLeftDown = 513,
    MsgLeftUp = 514,
    MsgLeftDoubleClick = 515,
    MsgRightDown = 516,
    MsgRightUp = 517,
    MsgRightDoubleClick = 518,
};

constexpr int LeftButton = 1;
constexpr int RightButton = 2;

} // namespace

ShellIcon::ShellIcon(QWidget *owner)
    : QObject(owner)
    , m_owner(owner)
{
    tmrMenu.setObjectName(QStringLiteral("tmrMenu"));
    tmrMenu.setInterval(DefaultClickInterval);
    connect(&tmrMenu, &QTimer::timeout, this, &ShellIcon::onMenuTimer);
    connect(&m_tray, &QSystemTrayIcon::activated, this, &ShellIcon::onActivated);
}

ShellIcon::~ShellIcon()
{
    if (m_sysMenu)
        m_sysMenu->close();
    ShowIcon(false);
}

void ShellIcon::setToolTipText(const QString &text)
{
    m_sToolTipText = text;
    if (m_bInTray)
        notifyTray(TrayModify);
}

void ShellIcon::setIcon(const QIcon &icon)
{
    m_icon = icon;
    if (m_bInTray)
        notifyTray(TrayModify);
}

void ShellIcon::setVisible(bool visible)
{
    m_bVisible = visible;
    ShowIcon(visible);
}

bool ShellIcon::IsInTray() const
{
    return m_bInTray && QSystemTrayIcon::isSystemTrayAvailable();
}

// Adding twice or removing twice does nothing the second time.
void ShellIcon::ShowIcon(bool show)
{
    if (show && !m_bInTray) {
        notifyTray(TrayAdd);
        m_bInTray = true;
    } else if (!show && m_bInTray) {
        notifyTray(TrayDelete);
        m_bInTray = false;
    }
}

// The one place that talks to the tray. On a desktop without a tray Qt keeps
// the values and shows nothing; the control's state stays as requested.
void ShellIcon::notifyTray(TrayOperation operation)
{
    switch (operation) {
    case TrayAdd:
    case TrayModify:
        m_tray.setIcon(m_icon);
        m_tray.setToolTip(trayToolTip());
        if (operation == TrayAdd)
            m_tray.show();
        break;
    case TrayDelete:
        m_tray.hide();
        break;
    }
    Q_EMIT trayNotified(operation);
}

// Qt reports whole gestures, not the single mouse messages, so each reason
// is replayed as the messages it stands for:
//   Trigger      (left click)          -> 513 left down, 514 left up
//   DoubleClick  (left double click)   -> 515 double click, 514 left up
//                 Qt swallows the second release of a double click; replaying
//                 it stops tmrMenu again, so a double click (which Qt reports
//                 as Trigger then DoubleClick) gives no SingleClick.
//   Context      (right click / menu)  -> 516 right down, 517 right up
//   MiddleClick, Unknown               -> ignored (no message for them)
// Mouse moves (512) and right double clicks (518) are not reported by Qt.
void ShellIcon::onActivated(QSystemTrayIcon::ActivationReason reason)
{
    switch (reason) {
    case QSystemTrayIcon::Trigger:
        HandleTrayMessage(MsgLeftDown);
        HandleTrayMessage(MsgLeftUp);
        break;
    case QSystemTrayIcon::DoubleClick:
        HandleTrayMessage(MsgLeftDoubleClick);
        HandleTrayMessage(MsgLeftUp);
        break;
    case QSystemTrayIcon::Context:
        HandleTrayMessage(MsgRightDown);
        HandleTrayMessage(MsgRightUp);
        break;
    case QSystemTrayIcon::MiddleClick:
    case QSystemTrayIcon::Unknown:
        break;
    }
}

void ShellIcon::HandleTrayMessage(int number)
{
    // Reached from the event loop: a failing event handler is reported here
    // rather than thrown through Qt.
    reporting("ShellIcon", "HandleTrayMessage", [&] {
        switch (number) {
        case MsgMouseMove:
            Q_EMIT MouseMove();
            break;
        case MsgLeftDown:
            Q_EMIT MouseDown(LeftButton);
            break;
        case MsgLeftUp:
            Q_EMIT MouseUp(LeftButton);
            Q_EMIT Click(LeftButton);
            // The first release of a click starts the single-click wait; a
            // second release within it (a double click) cancels the wait.
            if (tmrMenu.isActive())
                tmrMenu.stop();
            else
                tmrMenu.start();
            break;
        case MsgLeftDoubleClick:
            Q_EMIT DblClick(LeftButton);
            break;
        case MsgRightDown:
            Q_EMIT MouseDown(RightButton);
            break;
        case MsgRightUp:
            if (m_bSysMenu) {
                ShowSysMenu();
            } else {
                Q_EMIT MouseUp(RightButton);
                Q_EMIT Click(RightButton);
            }
            break;
        case MsgRightDoubleClick:
            Q_EMIT DblClick(RightButton);
            break;
        default:
            break;
        }
    });
}

void ShellIcon::onMenuTimer()
{
    tmrMenu.stop();
    reporting("ShellIcon", "tmrMenu_Timer", [&] { Q_EMIT SingleClick(LeftButton); });
}

void ShellIcon::ShowSysMenu(QWidget *target)
{
    QWidget *const source = target ? target : m_owner.data();
    if (!source)
        return;
    const QPointer<QWidget> window = source->window();

    // One system menu at a time, like the shell's own.
    if (m_sysMenu)
        m_sysMenu->close();

    auto *menu = new QMenu;
    menu->setObjectName(QStringLiteral("sysMenu"));
    menu->setAttribute(Qt::WA_DeleteOnClose);
    m_sysMenu = menu;

    const Qt::WindowStates state = window->windowState();
    const bool minimized = state.testFlag(Qt::WindowMinimized);
    const bool maximized = state.testFlag(Qt::WindowMaximized);

    QAction *restore = menu->addAction(tr("&Restore"), menu, [window] {
        if (window)
            window->showNormal();
    });
    restore->setObjectName(QStringLiteral("mnuRestore"));
    restore->setEnabled(minimized || maximized);

    QAction *minimize = menu->addAction(tr("Mi&nimize"), menu, [window] {
        if (window)
            window->showMinimized();
    });
    minimize->setObjectName(QStringLiteral("mnuMinimize"));
    minimize->setEnabled(!minimized);

    QAction *maximize = menu->addAction(tr("Ma&ximize"), menu, [window] {
        if (window)
            window->showMaximized();
    });
    maximize->setObjectName(QStringLiteral("mnuMaximize"));
    maximize->setEnabled(!maximized);

    menu->addSeparator();
    QAction *close = menu->addAction(tr("&Close"), menu, [window] {
        if (window)
            window->close();
    });
    close->setObjectName(QStringLiteral("mnuClose"));

    // Closing the window also ends its menu.
    connect(window.data(), &QObject::destroyed, menu, &QWidget::close);

    menu->popup(QCursor::pos());
}
