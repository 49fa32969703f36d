// Times the seller-page parser on a realistic listing page and on hostile
// ones, and compares it with one plain scan of the same text for ";item=".
//
//     bench_parser [seconds-per-page [page-name...]]
//     bench_parser --write FOLDER      (writes the pages, for zorvane-inspect)
//
// Prints MB/s (1 MB = 10^6 characters; one character is one byte of the
// page) and the ratio of parse time to scan time for every page. Parse and
// scan are timed in alternating rounds and the best round of each counts, so
// that a busy machine slows both alike and the ratio stays put.

#include "auction/CItems.h"
#include "base/AppError.h"
#include "base/PageText.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QString>

#include <algorithm>
#include <cstdio>
#include <functional>
#include <limits>

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

// Rows with an item link but neither a price cell nor a cell end of their
// own, and one "</td>" at the very end: every row's price runs from near the
// page's start and its title from the page's start to that last "</td>", so
// each row would hold two copies of nearly the whole page. The parser gives
// such a page up as malformed at its first row.
QString runawayPage(qsizetype length)
{
    QString page = QStringLiteral("<html><head><title>items</title></head><body>\n<table>\n");
    page.reserve(length + 64);
    for (int row = 0; page.size() < length - 40; ++row)
        page += QStringLiteral("<tr><td><a href=\"v?ViewItem&amp;item=%1\">%1</a> Lamp</tr>\n").arg(100000 + row);
    page += QStringLiteral("</td></table></body></html>\n");
    return page;
}

struct Page
{
    const char *name;
    QString text;
};

QList<Page> pages()
{
    return {{"realistic", realisticPage()},
            // Twice the rows should take about twice the time: the parse is linear.
            {"hostile", hostilePage(40000)},
            {"hostile2x", hostilePage(80000)},
            {"runaway", runawayPage(144 * 1024)},
            {"runaway1M", runawayPage(1024 * 1024)}};
}

// Seconds per run of body: runs are batched to about sliceSeconds, and the
// fastest batch of this round and of all earlier ones is kept.
void timeRound(double sliceSeconds, double &best, const std::function<void()> &body)
{
    QElapsedTimer clock;
    clock.start();
    qint64 runs = 0;
    do {
        body();
        ++runs;
    } while (clock.nsecsElapsed() < qint64(sliceSeconds * 1e9));
    best = std::min(best, double(clock.nsecsElapsed()) / 1e9 / double(runs));
}

void measure(const Page &page, double seconds)
{
    constexpr int Rounds = 25;
    int items = 0;
    bool failed = false;
    const auto parse = [&] {
        CItems list;
        try {
            list.LoadFromSellerPage(page.text);
        } catch (const AppError &) {
            failed = true;
        }
        items = list.Count();
    };
    qsizetype found = 0;
    const auto scan = [&] {
        found = 0;
        for (qsizetype at = page.text.indexOf(u";item="); at >= 0; at = page.text.indexOf(u";item=", at + 6))
            ++found;
    };
    parse(); // warm up
    scan();
    double parseTime = std::numeric_limits<double>::infinity();
    double scanTime = parseTime;
    for (int round = 0; round < Rounds; ++round) {
        timeRound(seconds / Rounds / 2, parseTime, parse);
        timeRound(seconds / Rounds / 2, scanTime, scan);
    }
    const double megabytes = double(page.text.size()) / 1e6;
    std::printf("%-10s %9lld chars %6d items%s  parse %9.3f ms  %8.1f MB/s   scan %8.3f ms  %8.1f MB/s   parse/scan %.2f\n",
                page.name, static_cast<long long>(page.text.size()), items, failed ? " (failed)" : "",
                parseTime * 1e3, megabytes / parseTime, scanTime * 1e3, megabytes / scanTime, parseTime / scanTime);
    std::fflush(stdout);
}

int writePages(const QString &folder)
{
    for (const Page &page : pages()) {
        QFile file(folder + u'/' + QLatin1String(page.name) + QStringLiteral(".html"));
        if (!file.open(QIODevice::WriteOnly) || file.write(PageText::toBytes(page.text)) != page.text.size()) {
            std::fprintf(stderr, "cannot write %s\n", qPrintable(file.fileName()));
            return 1;
        }
        std::printf("%s\n", qPrintable(file.fileName()));
    }
    return 0;
}

} // namespace

int main(int argc, char *argv[])
{
    QCoreApplication application(argc, argv);
    const QStringList args = application.arguments().mid(1);
    if (args.size() == 2 && args.at(0) == QStringLiteral("--write"))
        return writePages(args.at(1));
    const double given = args.isEmpty() ? 0 : args.at(0).toDouble();
    const double seconds = given > 0 ? given : 2.0;
    const QStringList only = args.mid(1);
    for (const Page &page : pages()) {
        if (only.isEmpty() || only.contains(QLatin1String(page.name)))
            measure(page, seconds);
    }
    return 0;
}
