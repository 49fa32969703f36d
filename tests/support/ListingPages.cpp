#include "ListingPages.h"

#include "auction/ListingSite.h"

QByteArray ListingPages::page(const QList<Auction> &auctions, bool hasNextPage)
{
    QString html = QStringLiteral("<html><body><table>\n<p>(*) indicates an auction that has ended.</p>\n");
    for (const Auction &auction : auctions) {
        const bool hasBids = !auction.bidder.isEmpty();
        html += QStringLiteral("<tr><td><a href=\"v?ViewItem&amp;item=%1\">%1</a></td><td align=\"right\">%2</td>"
                               "<td width=\"45%\">%3</td>%4</tr>\n")
                    .arg(auction.number, hasBids ? QStringLiteral("<b>%1</b>").arg(auction.price) : auction.price,
                         auction.title,
                         hasBids ? QStringLiteral("<td><a href=\"f?ViewFeedback&amp;userid=s&amp;requested=%1"
                                                  "&amp;frm=1\">%1</a></td>").arg(auction.bidder)
                                 : QString());
    }
    QByteArray page = (html + QStringLiteral("</table></body></html>\n")).toLatin1();
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
