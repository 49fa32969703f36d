#include "ChangeAlerts.h"

#include "auction/CItems.h"
#include "monitor/AlertBlocks.h"

#include <QElapsedTimer>

namespace {
// How long the comparison works before it lets waiting events run: short
// enough for a responsive window, long enough not to slow a large list.
constexpr qint64 WorkSliceMs = 10;
// Reading the clock costs about as much as comparing an item; a few dozen
// items take microseconds.
constexpr int ItemsBetweenClockReads = 32;

bool bidsChanged(const CItem &current, const CItem &previous)
{
    return current.Bids() != previous.Bids() || current.HighBid() != previous.HighBid()
        || current.HighBidder() != previous.HighBidder();
}
} // namespace

ChangeAlerts::ChangeAlerts(QString itemHost, Hooks hooks)
    : m_itemHost(std::move(itemHost))
    , m_hooks(std::move(hooks))
{
}

int ChangeAlerts::alertCount(const CItems &previous, const CItems &current, const AlertSwitches &switches)
{
    int count = 0;
    for (const CItem &item : current) {
        const CItem *old = previous.find(item.ItemNumber());
        if (old && old->ItemNumber() != item.ItemNumber())
            old = nullptr;
        count += old ? switches.changesWanted && bidsChanged(item, *old) : switches.newAuctionsWanted;
    }
    return count;
}

QCoro::Task<> ChangeAlerts::CompareLists(const CItems &previous, const CItems &current, QString sellerId,
                                         bool bOnePerSeller) const
{
    const bool onePerSeller = bOnePerSeller || m_hooks.switches().onePerSeller;
    QString message;
    int itemCount = 0;
    QElapsedTimer slice;
    slice.start();
    // Both scans list the auctions in the same order, so the previous item
    // is most often the one after the last match, which saves the lookup;
    // where it is not, the lookup puts the walk back in step.
    auto next = previous.begin();

    // The lists cannot change while the comparison waits: the check cycle
    // owns them until it has ended. A window that goes away first resumes
    // the comparison, which then stops before it touches them.
    for (const CItem &item : current) {
        ++itemCount;
        if (itemCount == 1 || (itemCount % ItemsBetweenClockReads == 0 && slice.elapsed() >= WorkSliceMs)) {
            m_hooks.showProgress(QStringLiteral("Analyzing Item ") + QString::number(itemCount)
                                 + QStringLiteral(" for changes."));
            co_await m_hooks.letEventsRun();
            if (m_hooks.stopped())
                co_return;
            slice.restart();
        }

        // Item numbers are unique within a list without regard to letter
        // case; a match must be exact.
        if (next == previous.end() || next->ItemNumber() != item.ItemNumber())
            next = previous.position(item.ItemNumber());
        const CItem *old = nullptr;
        if (next != previous.end() && next->ItemNumber() == item.ItemNumber())
            old = &*next++;

        bool blockWritten = false;
        if (old) {
            if (bidsChanged(item, *old)) {
                const AlertSwitches switches = m_hooks.switches();
                if (switches.changesWanted) {
                    message += AlertBlocks::changed(item, *old, switches.detailed, m_itemHost);
                    blockWritten = true;
                }
            }
        } else {
            const AlertSwitches switches = m_hooks.switches();
            if (switches.newAuctionsWanted) {
                message += AlertBlocks::added(item, switches.detailed, m_itemHost);
                blockWritten = true;
            }
        }
        if (blockWritten && !onePerSeller) {
            co_await m_hooks.send(message, sellerId);
            if (m_hooks.stopped())
                co_return;
            message.clear();
            slice.restart();
        }
    }
    if (onePerSeller && !message.isEmpty())
        co_await m_hooks.send(message, sellerId);
}
