#include "AlertBlocks.h"

#include "auction/CItem.h"

#include <QStringBuilder>

// Every block is one concatenation, so that it is built in one allocation:
// a comparison that finds thousands of changes writes thousands of blocks.

namespace {

constexpr QStringView CrLf = u"\r\n";
constexpr QStringView ItemPath = u"aw-cgi/eBayISAPI.dll?ViewItem&item=";

// The high bidder with its label, or " (no bids)" for an auction without
// bids (the blank at its start is part of the text).
QStringView bidderLabel(const CItem &item, QStringView label)
{
    return item.Bids() ? label : QStringView();
}

QStringView bidderText(const CItem &item)
{
    return item.Bids() ? QStringView(item.HighBidder()) : QStringView(u" (no bids)");
}

QString firstTwenty(const CItem &item)
{
    return item.Description().left(20);
}

} // namespace

QString AlertBlocks::itemLink(const QString &itemHost, const QString &itemNumber)
{
    return itemHost % ItemPath % itemNumber;
}

// (No builder is kept in a variable: it refers to the temporaries of its
// own expression.)

QString AlertBlocks::changed(const CItem &current, const CItem &previous, bool detailed,
                             const QString &itemHost)
{
    const QString &number = current.ItemNumber();
    if (detailed && current.IsDutch())
        return CrLf % CrLf % u"CHANGES TO ITEM# " % number % u", " % current.Description() % CrLf % itemHost
            % ItemPath % number % CrLf % u"PREVIOUS # OF DUTCH BIDS: " % previous.NumBids() % CrLf
            % u"CURRENT # OF DUTCH BIDS: " % current.NumBids() % CrLf;
    if (detailed)
        return CrLf % CrLf % u"CHANGES TO ITEM# " % number % u", " % current.Description() % CrLf % itemHost
            % ItemPath % number % CrLf % u"PREVIOUS PRICE: " % previous.HighBid() % CrLf % u"CURRENT PRICE: "
            % current.HighBid() % CrLf % bidderLabel(current, u"High Bidder: ") % bidderText(current);
    if (current.IsDutch())
        return u"CHANGE: " % firstTwenty(current) % u" . . ." % CrLf % u"DUTCH BIDS: " % current.NumBids() % CrLf
            % CrLf;
    return u"CHANGE: " % firstTwenty(current) % u" . . ." % CrLf % u"PRICE: " % current.HighBid() % CrLf
        % bidderLabel(current, u"Bidder: ") % bidderText(current) % CrLf % CrLf;
}

QString AlertBlocks::added(const CItem &current, bool detailed, const QString &itemHost)
{
    const QString &number = current.ItemNumber();
    if (detailed && current.IsDutch())
        return CrLf % CrLf % u"NEW ITEM# " % number % u", " % current.Description() % CrLf % itemHost % ItemPath
            % number % CrLf % u"CURRENT DUTCH BIDS: " % current.NumBids() % CrLf;
    if (detailed)
        return CrLf % CrLf % u"NEW ITEM# " % number % u", " % current.Description() % CrLf % itemHost % ItemPath
            % number % CrLf % u"CURRENT PRICE: " % current.HighBid() % CrLf
            % bidderLabel(current, u"High Bidder: ") % bidderText(current);
    if (current.IsDutch())
        return u"NEW DUTCH ITEM: " % firstTwenty(current) % u" . . ." % CrLf % CrLf;
    return u"NEW ITEM: " % firstTwenty(current) % u" . . . " % CrLf % u"PRICE: " % current.HighBid() % CrLf % CrLf;
}
