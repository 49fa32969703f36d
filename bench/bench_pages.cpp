// Writes the listing pages that bench/versus-urlwatch.sh serves: realistic
// pages of 100 auctions each, in the sandbox's page layout (which the
// program's parser reads), once as the site shows them at first ("before")
// and once after a wave of bids ("after"), in which a given number of
// auctions on every page has a new price and a new high bidder.
//
//   bench_pages --out DIR [--sellers 10] [--pages-per-seller 10]
//               [--changes-per-page 28] [--seed 1]
//
// Writes DIR/before/SELLER/N.html, DIR/after/SELLER/N.html and DIR/paths.txt
// (the address path of every page, in the order a check asks for them), and
// prints "name value" lines: sellers, pages, auctions, changed, page-bytes.

#include "ListingPage.h"
#include "SiteModel.h"
#include "base/PageText.h"

#include <QCommandLineParser>
#include <QCoreApplication>
#include <QDir>
#include <QRandomGenerator>
#include <QSaveFile>

#include <algorithm>
#include <array>
#include <cstdio>
#include <numeric>

namespace {

constexpr int Rows = 100;

constexpr std::array Adjectives{"Vintage", "NEW", "Boxed", "Working", "Rare", "Antique", "Signed", "Mint",
                                "Lot of 3", "Estate", "Victorian", "Art Deco", "Golden Age", "Sealed"};
constexpr std::array Things{"Pocket Radio", "Film Camera", "Brass Desk Lamp", "Mantel Clock", "Silver Dollars",
                            "Wheat Pennies", "Comic Books", "Trading Cards", "Tea Set", "Cassette Walkman",
                            "Oil Painting", "Pocket Knife", "Slide Projector", "Movie Posters", "Quilt",
                            "Crystal Decanter", "Synthesizer", "Cameo Brooch", "Game Boy", "Fountain Pen"};
constexpr std::array Details{"", " - Tested", " w/ Manual", " c. 1920", " - Free Shipping", " NR", " + Case",
                             " Excellent Cond.", " CGC 8.0", " Low Reserve"};

int pick(QRandomGenerator &random, int count)
{
    return int(random.bounded(quint32(count)));
}

QString bidderName(QRandomGenerator &random)
{
    static constexpr std::array Stems{"retro.rita", "coinhound", "bidmaster", "tinkerbell", "sniper-steve",
                                      "oldtimer", "dealhunter", "grandpa_joe", "vinyl.vic", "lampfan"};
    return QString::fromLatin1(Stems.at(size_t(pick(random, int(Stems.size()))))) + QString::number(pick(random, 100));
}

std::vector<SandboxAuction> sellerAuctions(QRandomGenerator &random, int sellerIndex, int count)
{
    const QDateTime now(QDate(2003, 3, 14), QTime(18, 0, 0), Qt::UTC);
    std::vector<SandboxAuction> auctions(static_cast<size_t>(count));
    for (int i = 0; i < count; ++i) {
        SandboxAuction &a = auctions[size_t(i)];
        a.number = QString::number(3100000000LL + sellerIndex * 100000LL + i);
        a.title = QString::fromLatin1(Adjectives.at(size_t(pick(random, int(Adjectives.size()))))) + u' '
                  + QString::fromLatin1(Things.at(size_t(pick(random, int(Things.size())))))
                  + QString::fromLatin1(Details.at(size_t(pick(random, int(Details.size())))));
        a.picture = pick(random, 10) < 3;
        const int kind = pick(random, 100);
        if (kind < 5)
            a.dutchQuantity = 2 + pick(random, 9);
        a.priceCents = 99 + pick(random, 20000);
        if (kind >= 35) {   // about two in three have bids
            a.bidCount = 1 + pick(random, 25);
            a.priceCents += a.bidCount * 50;
            a.highBidder = bidderName(random);
        }
        // The list is sorted by ending time, soonest first, as the site sorts it.
        a.end = now.addSecs(600LL * i + pick(random, 600));
        a.start = a.end.addDays(-7);
        if (i < 2)   // the first two have just ended and carry the mark
            a.completedAtStep = 0;
    }
    return auctions;
}

// A new bid: a higher price and (usually) another high bidder.
void placeBid(QRandomGenerator &random, SandboxAuction &auction)
{
    ++auction.bidCount;
    auction.priceCents += std::max<qint64>(25, auction.priceCents / 20);
    QString bidder;
    do
        bidder = bidderName(random);
    while (bidder == auction.highBidder);
    auction.highBidder = bidder;
}

bool writeFile(const QString &path, const QByteArray &bytes)
{
    QDir().mkpath(QFileInfo(path).path());
    QSaveFile file(path);
    if (file.open(QIODevice::WriteOnly) && file.write(bytes) == bytes.size() && file.commit())
        return true;
    std::fprintf(stderr, "bench_pages: cannot write %s: %s\n", qPrintable(path), qPrintable(file.errorString()));
    return false;
}

int wholeNumber(const QCommandLineParser &parser, const QString &name, int low, int high)
{
    bool ok = false;
    const int value = parser.value(name).toInt(&ok);
    if (!ok || value < low || value > high) {
        std::fprintf(stderr, "bench_pages: --%s needs a whole number from %d to %d\n", qPrintable(name), low, high);
        std::exit(2);
    }
    return value;
}

} // namespace

int main(int argc, char *argv[])
{
    QCoreApplication application(argc, argv);
    QCommandLineParser parser;
    parser.addHelpOption();
    parser.addOption({QStringLiteral("out"), QStringLiteral("Folder to write into."), QStringLiteral("DIR")});
    parser.addOption({QStringLiteral("sellers"), QStringLiteral("Sellers."), QStringLiteral("N"), QStringLiteral("10")});
    parser.addOption({QStringLiteral("pages-per-seller"), QStringLiteral("Listing pages of each seller."),
                      QStringLiteral("N"), QStringLiteral("10")});
    parser.addOption({QStringLiteral("changes-per-page"), QStringLiteral("Auctions with a new bid on every page."),
                      QStringLiteral("N"), QStringLiteral("28")});
    parser.addOption({QStringLiteral("seed"), QStringLiteral("Seed of the made-up auctions."), QStringLiteral("N"),
                      QStringLiteral("1")});
    parser.process(application);
    if (!parser.isSet(QStringLiteral("out"))) {
        std::fprintf(stderr, "bench_pages: --out DIR is required\n");
        return 2;
    }
    const QDir out(parser.value(QStringLiteral("out")));
    const int sellers = wholeNumber(parser, QStringLiteral("sellers"), 1, 1000);
    const int pagesPerSeller = wholeNumber(parser, QStringLiteral("pages-per-seller"), 1, 1000);
    // The ended auctions at the top of each list keep their price.
    const int changesPerPage = wholeNumber(parser, QStringLiteral("changes-per-page"), 0, Rows - 2);
    QRandomGenerator random(quint32(wholeNumber(parser, QStringLiteral("seed"), 0, 1 << 30)));

    QByteArray paths;
    int changed = 0;
    qint64 bytes = 0;
    for (int s = 1; s <= sellers; ++s) {
        const QString seller = QStringLiteral("bench-seller-%1").arg(s, 3, 10, QLatin1Char('0'));
        std::vector<SandboxAuction> auctions = sellerAuctions(random, s, pagesPerSeller * Rows);
        std::vector<SandboxAuction> after = auctions;
        for (int page = 0; page < pagesPerSeller; ++page) {
            std::array<int, Rows> order{};
            std::iota(order.begin(), order.end(), page * Rows);
            std::shuffle(order.begin(), order.end(), random);
            int done = 0;
            for (const int i : order) {
                if (done == changesPerPage)
                    break;
                if (after[size_t(i)].completed())
                    continue;
                placeBid(random, after[size_t(i)]);
                ++done;
            }
            changed += done;
        }
        for (int page = 1; page <= pagesPerSeller; ++page) {
            const QByteArray before = PageText::toBytes(ListingPage::render(seller, auctions, page, Rows));
            bytes += before.size();
            const QString name = seller + u'/' + QString::number(page) + QStringLiteral(".html");
            if (!writeFile(out.filePath(QStringLiteral("before/") + name), before)
                || !writeFile(out.filePath(QStringLiteral("after/") + name),
                              PageText::toBytes(ListingPage::render(seller, after, page, Rows))))
                return 1;
            paths += ListingPage::listingAddress(seller, page, Rows).toLatin1() + '\n';
        }
    }
    if (!writeFile(out.filePath(QStringLiteral("paths.txt")), paths))
        return 1;
    const int pages = sellers * pagesPerSeller;
    std::printf("sellers %d\npages %d\nauctions %d\nchanged %d\npage-bytes %lld\n", sellers, pages, pages * Rows,
                changed, bytes / pages);
    return 0;
}
