#pragma once

#include <QByteArray>
#include <QList>
#include <QString>

// Seller listing pages as the auction site writes them, for tests that feed
// the parser or the check cycle.
namespace ListingPages {

struct Auction
{
    QString number;
    QString price;
    QString bidder; // empty: no bids
    QString title = QStringLiteral("Brass lamp");
};

// One page with the auctions in order, the next-page link when asked for,
// padded so that it is long enough to count as arrived.
QByteArray page(const QList<Auction> &auctions, bool hasNextPage);

// The address path and query of page n of a seller, as the program asks for it.
QString path(const QString &seller, int page);

} // namespace ListingPages
