#pragma once

#include <QIcon>
#include <QObject>
#include <QPointer>
#include <QString>
#include <QSystemTrayIcon>
#include <QTimer>

class QMenu;
class QWidget;

// One icon in the desktop's notification area (the system tray).
//
// The control keeps the icon's picture and tip in step with the tray, turns
// the tray's mouse notifications into events, tells a single left click from
// a double click, and pops up the owner window's system menu when the right
// button is released over the icon (unless SysMenu is false).
//
// Mouse notifications are decoded from the classic mouse message numbers
// (512 move, 513/514 left down/up, 515 left double click, 516/517 right
// down/up, 518 right double click) by HandleTrayMessage. The tray reaches us
// through QSystemTrayIcon::activated, whose reasons are turned into those
// numbers; see onActivated() for the mapping.
//
// The icon is only registered while Visible is true. Setting ToolTipText or
// Icon while it is not registered only stores the value; the next add
// carries it. The tray shows at most MaxTrayTipLength characters of the tip;
// ToolTipText keeps the whole text.
class ShellIcon : public QObject
{
    Q_OBJECT
    Q_PROPERTY(QString ToolTipText READ ToolTipText WRITE setToolTipText)
    Q_PROPERTY(QIcon Icon READ Icon WRITE setIcon)
    Q_PROPERTY(bool Visible READ Visible WRITE setVisible)
    Q_PROPERTY(bool SysMenu READ SysMenu WRITE setSysMenu)

public:
    // What is handed to the tray, in the shell's own numbering.
    enum TrayOperation { TrayAdd = 0, TrayModify = 1, TrayDelete = 2 };
    Q_ENUM(TrayOperation)

    // The tray's tip field holds 63 characters and a terminating zero.
    static constexpr int MaxTrayTipLength = 63;
    static constexpr int DefaultClickInterval = 500; // ms, tmrMenu

    // The owner is the window holding the control: the default target of
    // ShowSysMenu, and the control's QObject parent.
    explicit ShellIcon(QWidget *owner = nullptr);
    ~ShellIcon() override;

    QString ToolTipText() const { return m_sToolTipText; }
    void setToolTipText(const QString &text);

    QIcon Icon() const { return m_icon; }
    void setIcon(const QIcon &icon);

    bool Visible() const { return m_bVisible; }
    void setVisible(bool visible);

    bool SysMenu() const { return m_bSysMenu; }
    void setSysMenu(bool sysMenu) { m_bSysMenu = sysMenu; }

    // Pops up, at the mouse position, a menu standing for the system menu of
    // target's window (the owner's window when target is null): Restore,
    // Minimize, Maximize and Close, acting on that window. Does nothing
    // when there is no window to act on.
    void ShowSysMenu(QWidget *target = nullptr);

    // Decodes one mouse message number reported by the tray (see the class
    // comment) and raises the matching events. Unknown numbers are ignored.
    void HandleTrayMessage(int number);

    // Whether the control has registered its icon with the tray (Visible was
    // set true and not yet false). True even when the desktop has no tray.
    bool IsRegistered() const { return m_bInTray; }
    // Whether the icon is really shown: registered, and a tray exists.
    bool IsInTray() const;

    // The tip as the tray carries it: ToolTipText cut to MaxTrayTipLength.
    QString trayToolTip() const { return m_sToolTipText.left(MaxTrayTipLength); }

    // The tray icon object the control drives (always present).
    const QSystemTrayIcon &trayIcon() const { return m_tray; }

    // The single/double click window; tests shorten it.
    int clickInterval() const { return tmrMenu.interval(); }
    void setClickInterval(int ms) { tmrMenu.setInterval(ms); }
    bool isClickTimerActive() const { return tmrMenu.isActive(); }

Q_SIGNALS:
    void MouseMove();
    void MouseDown(int Button);
    void MouseUp(int Button);
    void DblClick(int Button);
    void Click(int Button);
    void SingleClick(int Button);

    // Raised whenever the control adds, modifies or deletes its tray entry.
    void trayNotified(ShellIcon::TrayOperation operation);

private:
    void ShowIcon(bool show);
    void notifyTray(TrayOperation operation);
    void onActivated(QSystemTrayIcon::ActivationReason reason);
    void onMenuTimer();

    QString m_sToolTipText;
    bool m_bVisible = false;
    bool m_bInTray = false;
    bool m_bSysMenu = true;
    QIcon m_icon;
    QTimer tmrMenu;

    QPointer<QWidget> m_owner;
    QSystemTrayIcon m_tray;
    QPointer<QMenu> m_sysMenu;
};
