#include "ListingPages.h"

#include "SellerPages.h"

QByteArray ListingPages::page(const QList<Auction> &auctions, bool hasNextPage)
{
    QString rows;
    for (const Auction &auction : auctions) {
        const bool hasBids = !auction.bidder.isEmpty();
        rows += SellerPages::row(auction.number,
                                 hasBids ? SellerPages::boldPrice(auction.price) : SellerPages::plainPrice(auction.price),
                                 auction.title, hasBids ? SellerPages::bidderCell(auction.bidder) : QString());
    }
    QByteArray page = SellerPages::page(QStringLiteral("<p>(*) indicates an auction that has ended.</p>\n") + rows)
                          .toLatin1();
    if (hasNextPage)
        page += "<a href=\"/next\">&gt;&gt;</a>\n";
    while (page.size() < 3000)
        page += "<!-- padding so the page is as long as a real listing page -->\n";
    return page;
}

QString ListingPages::path(const QString &seller, int page)
{
    return QStringLiteral("/ws/eBayISAPI.dll?ViewListedItems&userid=") + seller
        + QStringLiteral("&include=0&since=1&page=") + QString::number(page) + QStringLiteral("&sort=2&rows=100");
}
