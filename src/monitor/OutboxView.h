#pragma once

#include "dialogs/FOutbox.h"
#include "monitor/TrayNotice.h"

#include <QObject>
#include <QPointer>
#include <QTimer>

class CheckCycle;
class QSystemTrayIcon;

// What the user sees of the outbox besides the status line: the Outbox
// window (File > Outbox...), the tray icon's tooltip ("3 alerts waiting to
// be sent") and its balloon when mail cannot be delivered.
class OutboxView : public QObject
{
    Q_OBJECT

public:
    OutboxView(CheckCycle &cycle, QSystemTrayIcon &trayIcon, QObject *parent = nullptr);
    // Closes the window.
    ~OutboxView() override;

    // Opens the Outbox window, or brings it to the front.
    void showWindow();
    FOutbox *window() const { return m_window; }

private:
    void refresh();
    void notify(const QString &text);

    CheckCycle &m_cycle;
    QSystemTrayIcon &m_trayIcon;
    TrayNotice m_notice;
    QPointer<FOutbox> m_window;
    QTimer m_refreshSoon;
};
