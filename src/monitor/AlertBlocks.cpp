#include "AlertBlocks.h"

#include "auction/CItem.h"

namespace {

const QString CrLf = QStringLiteral("\r\n");

// The high bidder with its label, or " (no bids)" for an auction without
// bids (the blank at its start is part of the text).
QString bidderPart(const CItem &item, const QString &label)
{
    return item.Bids() ? label + item.HighBidder() : QStringLiteral(" (no bids)");
}

QString firstTwenty(const CItem &item)
{
    return item.Description().left(20);
}

} // namespace

QString AlertBlocks::itemLink(const QString &itemHost, const QString &itemNumber)
{
    return itemHost + QStringLiteral("aw-cgi/eBayISAPI.dll?ViewItem&item=") + itemNumber;
}

QString AlertBlocks::changed(const CItem &current, const CItem &previous, bool detailed,
                             const QString &itemHost)
{
    if (detailed) {
        const QString head = CrLf + CrLf + QStringLiteral("CHANGES TO ITEM# ") + current.ItemNumber()
            + QStringLiteral(", ") + current.Description() + CrLf
            + itemLink(itemHost, current.ItemNumber()) + CrLf;
        if (current.IsDutch())
            return head + QStringLiteral("PREVIOUS # OF DUTCH BIDS: ") + previous.NumBids() + CrLf
                + QStringLiteral("CURRENT # OF DUTCH BIDS: ") + current.NumBids() + CrLf;
        return head + QStringLiteral("PREVIOUS PRICE: ") + previous.HighBid() + CrLf
            + QStringLiteral("CURRENT PRICE: ") + current.HighBid() + CrLf
            + bidderPart(current, QStringLiteral("High Bidder: "));
    }
    const QString head = QStringLiteral("CHANGE: ") + firstTwenty(current) + QStringLiteral(" . . .") + CrLf;
    if (current.IsDutch())
        return head + QStringLiteral("DUTCH BIDS: ") + current.NumBids() + CrLf + CrLf;
    return head + QStringLiteral("PRICE: ") + current.HighBid() + CrLf
        + bidderPart(current, QStringLiteral("Bidder: ")) + CrLf + CrLf;
}

QString AlertBlocks::added(const CItem &current, bool detailed, const QString &itemHost)
{
    if (detailed) {
        const QString head = CrLf + CrLf + QStringLiteral("NEW ITEM# ") + current.ItemNumber()
            + QStringLiteral(", ") + current.Description() + CrLf
            + itemLink(itemHost, current.ItemNumber()) + CrLf;
        if (current.IsDutch())
            return head + QStringLiteral("CURRENT DUTCH BIDS: ") + current.NumBids() + CrLf;
        return head + QStringLiteral("CURRENT PRICE: ") + current.HighBid() + CrLf
            + bidderPart(current, QStringLiteral("High Bidder: "));
    }
    if (current.IsDutch())
        return QStringLiteral("NEW DUTCH ITEM: ") + firstTwenty(current) + QStringLiteral(" . . .") + CrLf + CrLf;
    return QStringLiteral("NEW ITEM: ") + firstTwenty(current) + QStringLiteral(" . . . ") + CrLf
        + QStringLiteral("PRICE: ") + current.HighBid() + CrLf + CrLf;
}
