#include "ListingPages.h"

#include "SellerPages.h"

#include "auction/ListingSite.h"

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
        page += "<a href=\"/next\"" + ListingSite::NextPageMarker.toLatin1() + '\n';
    while (page.size() < ListingSite::ShortestPage + 500)
        page += "<!-- padding so the page is as long as a real listing page -->\n";
    return page;
}

QString ListingPages::path(const QString &seller, int page)
{
    return u'/' + ListingSite::pagePath(seller, page);
}
