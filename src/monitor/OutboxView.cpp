#include "OutboxView.h"

#include "dialogs/FOutbox.h"
#include "monitor/CheckCycle.h"

#include <QSet>
#include <QSystemTrayIcon>

OutboxView::OutboxView(CheckCycle &cycle, QSystemTrayIcon &trayIcon, QObject *parent)
    : QObject(parent)
    , m_cycle(cycle)
    , m_trayIcon(trayIcon)
{
    // While a cycle sends, the outbox changes with every session: the
    // window reads it again at most a few times a second.
    m_refreshSoon.setSingleShot(true);
    m_refreshSoon.setInterval(300);
    connect(&m_refreshSoon, &QTimer::timeout, this, &OutboxView::refresh);
    connect(&cycle, &CheckCycle::outboxChanged, this, [this] {
        if (!m_refreshSoon.isActive())
            m_refreshSoon.start();
    });
    connect(&cycle, &CheckCycle::deliveryEnded, this, [this](bool delivered, const QString &reason) {
        notify(m_notice.sessionEnded(delivered, m_cycle.outbox().count(), reason));
    });
    connect(&cycle, &CheckCycle::cycleStarted, this, [this] {
        if (m_window)
            m_window->setSending(true);
    });
    connect(&cycle, &CheckCycle::cycleFinished, this, [this] {
        if (m_window)
            m_window->setSending(false);
        refresh();
        notify(m_notice.cycleEnded(m_cycle.outbox().count()));
    });
    refresh();
}

OutboxView::~OutboxView()
{
    delete m_window.data();
}

void OutboxView::showWindow()
{
    if (!m_window) {
        m_window = new FOutbox;
        connect(m_window, &FOutbox::sendNowRequested, &m_cycle, &CheckCycle::sendWaitingNow);
        connect(m_window, &FOutbox::discardRequested, this, [this](const QStringList &ids) {
            m_cycle.discard(ids);
            refresh();
        });
        m_window->setSending(m_cycle.isRunning());
        refresh();
    }
    m_window->show();
    m_window->raise();
    m_window->activateWindow();
}

void OutboxView::refresh()
{
    const QString waiting = m_cycle.waitingText();
    m_trayIcon.setToolTip(waiting.isEmpty() ? QStringLiteral("Zorvane") : QStringLiteral("Zorvane\n") + waiting);
    if (!m_window)
        return;
    QList<FOutbox::Row> rows;
    QSet<QString> recipients;
    for (const Outbox::Message &message : m_cycle.outbox().messages()) {
        // A message behind one that failed is not tried before it.
        const QString why = !message.lastError.isEmpty() ? message.lastError
            : recipients.contains(message.recipient)
            ? QStringLiteral("Not tried yet: it waits behind an earlier alert to this recipient")
            : QStringLiteral("Not tried yet");
        recipients.insert(message.recipient);
        rows << FOutbox::Row{message.id, message.created, message.recipient, message.subject, why};
    }
    m_window->setRows(rows);
}

void OutboxView::notify(const QString &text)
{
    if (!text.isEmpty())
        m_trayIcon.showMessage(QStringLiteral("Zorvane"), text, QSystemTrayIcon::Warning);
}
