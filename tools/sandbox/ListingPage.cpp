#include "ListingPage.h"

#include "auction/ListingSite.h"

#include <QUrl>

#include <algorithm>
#include <array>

namespace ListingPage {

namespace {

const QString CrLf = QStringLiteral("\r\n");

// "Mar-14-03 18:22:10", the way the site writes times; month names are
// spelled out here so that no locale can change them.
QString siteTime(const QDateTime &time)
{
    static constexpr std::array<const char *, 12> Months{"Jan", "Feb", "Mar", "Apr", "May", "Jun",
                                                         "Jul", "Aug", "Sep", "Oct", "Nov", "Dec"};
    const QDate date = time.date();
    return QString::fromLatin1(Months.at(size_t(date.month() - 1))) + u'-'
           + QStringLiteral("%1-%2 ").arg(date.day(), 2, 10, QLatin1Char('0')).arg(date.year() % 100, 2, 10, QLatin1Char('0'))
           + time.time().toString(QStringLiteral("HH:mm:ss"));
}

QString head(const QString &title)
{
    return QStringLiteral("<html>\r\n<head>\r\n<title>") + title + QStringLiteral("</title>\r\n")
           + QStringLiteral("<meta http-equiv=\"Content-Type\" content=\"text/html; charset=iso-8859-1\">\r\n")
           + QStringLiteral("</head>\r\n<body bgcolor=\"#ffffff\" link=\"#0000ff\" vlink=\"#660099\">\r\n")
           + QStringLiteral("<!-- Zorvane sandbox: a simulated auction site on this computer. "
                            "Nothing here is real: no sellers, no bidders, no money. -->\r\n");
}

// The site's banner and navigation bar.
QString banner()
{
    return QStringLiteral(
        "<table border=\"0\" cellpadding=\"0\" cellspacing=\"0\" width=\"100%\">\r\n"
        "<tr><td width=\"150\"><font face=\"Arial,Helvetica\" size=\"6\" color=\"#cc0000\"><b>sand</b></font>"
        "<font face=\"Arial,Helvetica\" size=\"6\" color=\"#0000cc\"><b>box</b></font></td>\r\n"
        "<td align=\"right\" valign=\"bottom\"><font face=\"Arial,Helvetica\" size=\"2\">"
        "<a href=\"/\">home</a> | <a href=\"/\">my sandbox</a> | <a href=\"/\">site map</a> | "
        "<a href=\"/\">sign in</a></font></td></tr>\r\n"
        "<tr><td colspan=\"2\" bgcolor=\"#ffcc00\"><font face=\"Arial,Helvetica\" size=\"2\">&nbsp;"
        "<a href=\"/\">Browse</a> &nbsp; <a href=\"/\">Sell</a> &nbsp; <a href=\"/\">Services</a> &nbsp; "
        "<a href=\"/\">Search</a> &nbsp; <a href=\"/\">Help</a> &nbsp; <a href=\"/\">Community</a>"
        "</font></td></tr>\r\n"
        "</table>\r\n"
        "<form action=\"/\" method=\"get\"><font face=\"Arial,Helvetica\" size=\"2\">"
        "Search titles: <input type=\"text\" name=\"query\" size=\"30\" maxlength=\"100\"> "
        "<input type=\"submit\" value=\"Search\"> <a href=\"/\">smart search</a></font></form>\r\n");
}

// Small print under every page; also keeps even an empty listing well over
// the length the program expects of a real page.
QString footer()
{
    return QStringLiteral(
        "<hr size=\"1\" noshade>\r\n"
        "<table border=\"0\" cellpadding=\"2\" cellspacing=\"0\" width=\"100%\">\r\n"
        "<tr><td align=\"center\"><font face=\"Arial,Helvetica\" size=\"2\">"
        "<a href=\"/\">Announcements</a> | <a href=\"/\">Register</a> | <a href=\"/\">Safe Harbor (Rules &amp; Safety)</a> | "
        "<a href=\"/\">Feedback Forum</a> | <a href=\"/\">About the sandbox</a></font></td></tr>\r\n"
        "<tr><td align=\"center\"><font face=\"Arial,Helvetica\" size=\"1\">"
        "This site is the Zorvane sandbox, a stand-in for an auction site that runs on your own computer. "
        "Its sellers, auctions, bids and bidders are made up and change a little every time a seller's "
        "first listing page is requested, so that a program watching them has something to report. "
        "No item shown here exists and nothing can be bought or sold. Prices are in made-up dollars.<br>\r\n"
        "Designated trademarks and brands are the property of their respective owners. "
        "Use of this Web site constitutes acceptance of the sandbox User Agreement, which says that "
        "nothing here is real.</font></td></tr>\r\n"
        "</table>\r\n"
        "</body>\r\n</html>\r\n");
}

QString hrefText(const QString &text)
{
    return QString::fromLatin1(QUrl::toPercentEncoding(text));
}

// One auction's row, in the order of the markers the parser looks for.
QString row(const SandboxAuction &auction, bool shaded)
{
    QString text;
    text += QStringLiteral("<tr bgcolor=\"") + (shaded ? QStringLiteral("#efefef") : QStringLiteral("#ffffff"))
            + QStringLiteral("\">\r\n");
    text += QStringLiteral("<td valign=\"top\"><a href=\"/ws/eBayISAPI.dll?ViewItem&amp;item=") + auction.number
            + QStringLiteral("\">") + auction.number + QStringLiteral("</a>")
            + (auction.completed() ? QStringLiteral(" (*)") : QString()) + QStringLiteral("</td>\r\n");
    text += QStringLiteral("<td valign=\"top\" nowrap>") + siteTime(auction.start) + QStringLiteral("</td>\r\n");
    text += QStringLiteral("<td valign=\"top\" nowrap>") + siteTime(auction.end) + QStringLiteral("</td>\r\n");
    text += QStringLiteral("<td valign=\"top\" align=\"center\">")
            + (auction.hasBids() ? QString::number(auction.bidCount) : QStringLiteral("-"))
            + QStringLiteral("</td>\r\n");
    // A bold price means bids; an unbolded one sits alone in its cell.
    if (auction.hasBids())
        text += QStringLiteral("<td align=\"right\"><b>") + formatPrice(auction.priceCents) + QStringLiteral("</b></td>\r\n");
    else
        text += QStringLiteral("<td align=\"right\">") + formatPrice(auction.priceCents) + QStringLiteral("</td>\r\n");
    // The camera icon follows the title directly: the parser ends the title
    // at the icon, so a blank in between would become part of the title.
    text += QStringLiteral("<td valign=\"top\">") + auction.title;
    if (auction.picture)
        text += QStringLiteral("<img src=\"/pics/camera.gif\" width=\"16\" height=\"15\" hspace=\"3\" alt=\"[Picture!]\">");
    text += QStringLiteral("</td>\r\n");
    // "#dutch", four characters ("> (") and the count before the word Dutch.
    if (auction.isDutch()) {
        text += QStringLiteral("<td valign=\"top\" align=\"center\"><a href=\"/help/buying/dutch.html#dutch\"> (")
                + QString::number(auction.bidCount) + QStringLiteral(" Dutch bids)</a><br><font size=\"1\">qty ")
                + QString::number(auction.dutchQuantity) + QStringLiteral("</font></td>\r\n");
    } else {
        text += QStringLiteral("<td>&nbsp;</td>\r\n");
    }
    if (auction.hasBids()) {
        text += QStringLiteral("<td valign=\"top\"><a href=\"/ws/eBayISAPI.dll?ViewFeedback&amp;userid=")
                + auction.highBidder + QStringLiteral("&amp;requested=") + auction.highBidder
                + QStringLiteral("&amp;frm=284\">") + auction.highBidder + QStringLiteral("</a></td>\r\n");
    } else {
        text += QStringLiteral("<td valign=\"top\">&nbsp;</td>\r\n");
    }
    text += QStringLiteral("</tr>\r\n");
    return text;
}

// "Page 1 of 3: 1 2 3 >>", the last link being the next-page marker.
QString pageLinks(const QString &sellerId, int page, int pages, int rows)
{
    QString text = QStringLiteral("<p><font face=\"Arial,Helvetica\" size=\"2\">Page ") + QString::number(page)
                   + QStringLiteral(" of ") + QString::number(pages) + QStringLiteral(": ");
    const auto link = [&](int target, const QString &label) {
        return QStringLiteral("<a href=\"") + listingAddress(sellerId, target, rows).toHtmlEscaped()
               + QStringLiteral("\">") + label + QStringLiteral("</a>");
    };
    if (page > 1 && page <= pages + 1)
        text += link(page - 1, QStringLiteral("&lt;&lt;")) + u' ';
    for (int n = 1; n <= pages; ++n)
        text += (n == page ? QStringLiteral("<b>") + QString::number(n) + QStringLiteral("</b>") : link(n, QString::number(n))) + u' ';
    if (page < pages)
        text += link(page + 1, QStringLiteral("&gt;&gt;"));
    return text + QStringLiteral("</font></p>\r\n");
}

// A steady, made-up feedback score for a seller.
int feedbackScore(const QString &sellerId)
{
    int score = 7;
    for (const QChar c : sellerId)
        score = (score * 31 + c.unicode()) % 4999;
    return score + 1;
}

} // namespace

int pageCount(int auctionCount, int rows)
{
    return std::max(1, (auctionCount + rows - 1) / rows);
}

QString listingAddress(const QString &sellerId, int page, int rows)
{
    return u'/' + ListingSite::pagePath(hrefText(sellerId), page, rows);
}

QString inertText(const QString &text)
{
    QString out;
    for (const QChar c : text) {
        const char16_t u = c.unicode();
        const bool plain = u >= 0x20 && u < 0x7f && !QStringView(u"&<>\"';#()*=").contains(c);
        if (plain)
            out += c;
        else
            out += QStringLiteral("&#") + QString::number(u) + u';';
    }
    return out;
}

QString render(const QString &sellerId, const std::vector<SandboxAuction> &auctions, int page, int rows)
{
    const QString shownId = inertText(sellerId);
    const int total = int(auctions.size());
    const int pages = pageCount(total, rows);
    const int first = std::min(total, (page - 1) * rows);
    const int last = std::min(total, first + rows);

    QString text = head(QStringLiteral("sandbox View Items for sale by ") + shownId);
    text += banner();
    text += QStringLiteral("<table border=\"0\" cellpadding=\"4\" cellspacing=\"0\" width=\"100%\">\r\n"
                           "<tr><td bgcolor=\"#99ccff\"><font face=\"Arial,Helvetica\" size=\"4\"><b>Items for sale by ")
            + shownId + QStringLiteral(" (") + QString::number(feedbackScore(sellerId))
            + QStringLiteral(")</b></font></td></tr>\r\n</table>\r\n");
    if (total == 0) {
        text += QStringLiteral("<p><font face=\"Arial,Helvetica\" size=\"3\">There are no items for sale by this seller "
                               "at the moment. Please check again later, or browse the categories above.</font></p>\r\n");
    } else {
        text += QStringLiteral("<p><font face=\"Arial,Helvetica\" size=\"2\">");
        if (first < last)
            text += QStringLiteral("Items ") + QString::number(first + 1) + QStringLiteral(" - ") + QString::number(last)
                    + QStringLiteral(" of ") + QString::number(total) + QStringLiteral(" total, ending first.");
        else
            text += QStringLiteral("No items on this page; this seller has ") + QString::number(total)
                    + QStringLiteral(" items on ") + QString::number(pages) + QStringLiteral(" pages.");
        text += QStringLiteral("</font></p>\r\n");
    }
    if (first < last) {
        text += QStringLiteral(
            "<table border=\"1\" cellpadding=\"3\" cellspacing=\"0\" width=\"100%\">\r\n"
            "<tr bgcolor=\"#ccccff\"><th>Item</th><th>Start</th><th>End</th><th>Bids</th>"
            "<th>Price</th><th>Title</th><th>Dutch</th><th>High Bidder</th></tr>\r\n");
        for (int i = first; i < last; ++i)
            text += row(auctions[size_t(i)], (i - first) % 2 == 1);
        text += QStringLiteral("</table>\r\n");
    }
    text += pageLinks(sellerId, page, pages, rows);
    // The legend begins with the mark it explains; the parser knows it.
    text += QStringLiteral("<p><font face=\"Arial,Helvetica\" size=\"2\">(*) indicates an auction that has ended. "
                           "Ended auctions stay on the list for a short while. A bold price means the auction has bids; "
                           "Dutch auctions show how many bids their lots have drawn.</font></p>\r\n");
    text += footer();
    return text;
}

QString truncatedPage()
{
    return QStringLiteral("<html>\r\n<head><title>sandbox</title></head>\r\n<body>\r\n"
                          "<p>The listing could not be completed. Please try again.</p>\r\n");
}

QString companyMessage()
{
    return QStringLiteral("Welcome to the Zorvane sandbox. The auction site and the mail server you are using "
                          "are simulated on this computer: nothing is bought, sold or sent anywhere. "
                          "Press Check Now once more in a moment and the alerts will arrive.");
}

QString versionReply(bool withMessage)
{
    if (!withMessage)
        return QStringLiteral("<!-- no news -->") + CrLf;
    return QStringLiteral("<status>") + CrLf + QStringLiteral("<newversion>0</newversion>") + CrLf
           + QStringLiteral("<updateurl></updateurl>") + CrLf + QStringLiteral("<message>") + companyMessage()
           + QStringLiteral("</message>") + CrLf + QStringLiteral("</status>") + CrLf;
}

QString newInstallPage()
{
    return head(QStringLiteral("Thank you for installing Zorvane"))
           + QStringLiteral("<h2>Thank you for installing Zorvane</h2>\r\n"
                            "<p>This is the sandbox's stand-in for the maker's first-run page.</p>\r\n"
                            "</body>\r\n</html>\r\n");
}

QString errorPage(int status, const QString &reason)
{
    return QStringLiteral("<html><head><title>") + QString::number(status) + u' ' + reason
           + QStringLiteral("</title></head><body><h1>") + QString::number(status) + u' ' + reason
           + QStringLiteral("</h1></body></html>\r\n");
}

} // namespace ListingPage
