// Times the seller-page parser on a realistic listing page and on a hostile
// one, and compares it with one plain scan of the same text for ";item=".
//
//     bench_parser [seconds-per-measurement]
//
// Prints MB/s (1 MB = 10^6 characters; one character is one byte of the
// page) and the ratio of parse time to scan time for both pages.

#include "auction/CItems.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QString>

#include <cstdio>
#include <functional>

namespace {

QString realisticPage()
{
    QString page;
    page += QStringLiteral(
        "<html><head><title>eBay items for sale by seller</title>\n"
        "<meta http-equiv=\"Content-Type\" content=\"text/html; charset=iso-8859-1\">\n"
        "<link rel=\"stylesheet\" href=\"http://pics.ebaystatic.com/aw/pics/css/ebay.css\">\n"
        "</head><body bgcolor=\"#ffffff\">\n"
        "<table border=\"0\" cellpadding=\"0\" cellspacing=\"0\" width=\"100%\"><tr>"
        "<td><a href=\"http://www.ebay.com\"><img src=\"http://pics.ebaystatic.com/aw/pics/logos/logoEbay_150x70.gif\" "
        "width=\"150\" height=\"70\" border=\"0\" alt=\"eBay\"></a></td>"
        "<td align=\"right\"><a href=\"http://pages.ebay.com/sitemap.html\">site map</a> | "
        "<a href=\"http://signin.ebay.com/aw-cgi/eBayISAPI.dll?SignIn&amp;ru=x\">sign in</a></td></tr></table>\n");
    for (int i = 0; i < 40; ++i)
        page += QStringLiteral("<a href=\"http://listings.ebay.com/aw/listings/list/category%1/index.html\">Category %1</a> &middot; \n")
                    .arg(1000 + i);
    page += QStringLiteral("<table border=\"1\" cellpadding=\"3\" cellspacing=\"0\" width=\"100%\">\n"
                           "<tr bgcolor=\"#ccccff\"><th>Item#</th><th>Price</th><th>Title</th>"
                           "<th>Bids</th><th>High bidder</th><th>Ends PDT</th></tr>\n");
    for (int row = 0; row < 100; ++row) {
        const QString number = QString::number(2043518000LL + row * 37);
        const bool bids = row % 3 != 0;
        const bool dutch = row % 17 == 5;
        const bool completed = row % 11 == 4;
        page += QStringLiteral("<tr bgcolor=\"%1\">\n").arg(row % 2 ? QStringLiteral("#efefef") : QStringLiteral("#ffffff"));
        page += QStringLiteral("<td valign=\"top\" nowrap><font face=\"Verdana,Arial,Helvetica\" size=\"2\">"
                               "<a href=\"http://cgi.ebay.com/aw-cgi/eBayISAPI.dll?ViewItem&amp;item=%1\">%1</a>%2"
                               "</font></td>\n")
                    .arg(number, completed ? QStringLiteral(" (*)") : QString());
        if (bids)
            page += QStringLiteral("<td valign=\"top\" align=\"right\" nowrap><font face=\"Verdana,Arial,Helvetica\" size=\"2\">"
                                   "<b>$%1.%2</b></font></td>\n").arg(row + 3).arg(row % 100, 2, 10, QLatin1Char('0'));
        else
            page += QStringLiteral("<td valign=\"top\" align=\"right\">$%1.99</td>\n").arg(row + 1);
        page += QStringLiteral("<td valign=\"top\" width=\"45%\">Vintage brass ship's telescope no. %1 with "
                               "leather case, tripod and original box - excellent condition"
                               "%2</td>\n")
                    .arg(row)
                    .arg(row % 2 ? QStringLiteral(" <img src=\"http://pics.ebaystatic.com/aw/pics/lst/_p__16x15.gif\" "
                                                  "width=\"16\" height=\"15\" border=\"0\" alt=\"Picture\">")
                                 : QString());
        page += QStringLiteral("<td valign=\"top\" align=\"center\">%1</td>\n")
                    .arg(dutch ? QStringLiteral("<a href=\"http://pages.ebay.com/help/buyerguide/bidding-types.html#dutch\"> -  %1 Dutch</a>")
                                     .arg(row % 9 + 2)
                               : QString::number(bids ? row % 13 + 1 : 0));
        if (bids)
            page += QStringLiteral("<td valign=\"top\"><a href=\"http://cgi.ebay.com/aw-cgi/eBayISAPI.dll?ViewFeedback"
                                   "&amp;userid=seller&amp;requested=collector_%1&amp;frm=284\">collector_%1</a> "
                                   "(<a href=\"http://cgi.ebay.com/aw-cgi/eBayISAPI.dll?ViewFeedback&amp;userid=collector_%1\">%2</a>)"
                                   "</td>\n").arg(row * 7).arg(row * 3 + 1);
        else
            page += QStringLiteral("<td valign=\"top\">&nbsp;</td>\n");
        page += QStringLiteral("<td valign=\"top\" nowrap><font face=\"Verdana,Arial,Helvetica\" size=\"2\">"
                               "Jun-%1-02 18:%2:11</font></td>\n</tr>\n")
                    .arg(row % 28 + 1, 2, 10, QLatin1Char('0'))
                    .arg(row % 60, 2, 10, QLatin1Char('0'));
    }
    page += QStringLiteral("</table>\n<p><font size=\"2\">(*) indicates an auction that has ended.</font></p>\n"
                           "<p><a href=\"http://cgi6.ebay.com/ws/eBayISAPI.dll?ViewSellersOtherItems&amp;userid=seller"
                           "&amp;include=0&amp;since=-1&amp;sort=3&amp;rows=100&amp;page=2\">Next page</a></p>\n"
                           "<p>Copyright &copy; 1995-2002 eBay Inc. All Rights Reserved.</p></body></html>\n");
    return page;
}

// Tens of thousands of short rows, no "(*)" and no ";requested=" anywhere,
// all prices bold: every row sends the completed-mark and bidder searches
// to the end of the page.
QString hostilePage(int rows)
{
    QString page = QStringLiteral("<html><body><a href=\"x?a=1&amp;b=2\">top</a>\n<table>\n");
    page.reserve(rows * 130);
    for (int row = 0; row < rows; ++row)
        page += QStringLiteral("<tr><td><a href=\"v?ViewItem&amp;item=%1\">%1</a></td>"
                               "<td align=\"right\"><b>$%2.00</b></td><td width=\"45%\">Title %1</td></tr>\n")
                    .arg(100000 + row)
                    .arg(row % 500);
    page += QStringLiteral("</table></body></html>\n");
    return page;
}

// Runs body repeatedly for at least the given time; seconds per run.
double timePerRun(double seconds, const std::function<void()> &body)
{
    body(); // warm up
    QElapsedTimer clock;
    clock.start();
    qint64 runs = 0;
    do {
        body();
        ++runs;
    } while (clock.nsecsElapsed() < qint64(seconds * 1e9));
    return double(clock.nsecsElapsed()) / 1e9 / double(runs);
}

void measure(const char *name, const QString &page, double seconds)
{
    int items = 0;
    const double parse = timePerRun(seconds, [&] {
        CItems list;
        list.LoadFromSellerPage(page);
        items = list.Count();
    });
    qsizetype found = 0;
    const double scan = timePerRun(seconds, [&] {
        found = 0;
        for (qsizetype at = page.indexOf(u";item="); at >= 0; at = page.indexOf(u";item=", at + 6))
            ++found;
    });
    const double megabytes = double(page.size()) / 1e6;
    std::printf("%-10s %9lld chars %6d items  parse %9.3f ms  %8.1f MB/s   scan %8.3f ms  %8.1f MB/s   parse/scan %.2f\n",
                name, static_cast<long long>(page.size()), items, parse * 1e3, megabytes / parse, scan * 1e3,
                megabytes / scan, parse / scan);
    std::fflush(stdout);
}

} // namespace

int main(int argc, char *argv[])
{
    QCoreApplication application(argc, argv);
    const double seconds = argc > 1 ? QString::fromLocal8Bit(argv[1]).toDouble() : 1.0;
    measure("realistic", realisticPage(), seconds > 0 ? seconds : 1.0);
    // Twice the rows should take about twice the time: the parse is linear.
    measure("hostile", hostilePage(40000), seconds > 0 ? seconds : 1.0);
    measure("hostile2x", hostilePage(80000), seconds > 0 ? seconds : 1.0);
    return 0;
}
