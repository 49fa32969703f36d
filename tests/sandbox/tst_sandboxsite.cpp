#include "auction/ListingSite.h"
// The simulated site in-process: its listing pages read back through the
// program's own parser exactly as the simulated auctions are, paging works
// as the check cycle expects, and two scans in a row differ in every way an
// alert needs.

#include "ListingPage.h"
#include "SandboxScan.h"
#include "SandboxSite.h"

#include <QTest>
#include <QUrl>

#include <memory>

namespace {

const QString ThreePages = QStringLiteral("gadget-garage");
const QString DutchSeller = QStringLiteral("dutch-dollar-deals");
const QString CompletedSeller = QStringLiteral("attic-estate-sales");
const QString EmptySeller = QStringLiteral("quiet-collector");
const QString FlakySeller = QStringLiteral("flaky-phil");

// What the HTTP server hands the site for this request target.
HttpResponse get(SandboxSite &site, const QString &target)
{
    const QUrl url = QUrl::fromEncoded(target.toUtf8());
    HttpRequest request;
    request.method = "GET";
    request.target = target.toUtf8();
    request.path = url.path(QUrl::FullyDecoded);
    request.query = QUrlQuery(url.query(QUrl::FullyEncoded));
    return site.handle(request);
}

std::function<QString(const QString &)> fetcher(SandboxSite &site)
{
    return [&site](const QString &target) {
        const HttpResponse response = get(site, target);
        return response.status == 200 ? QString::fromLatin1(response.body) : QString();
    };
}

struct Scan
{
    std::unique_ptr<CItems> items = std::make_unique<CItems>();
    SandboxScan::Result result;
};

Scan scan(SandboxSite &site, const QString &seller)
{
    Scan s;
    s.result = SandboxScan::scan(fetcher(site), seller, *s.items);
    return s;
}

// What the program's comparison would find between two scans.
struct Differences
{
    int added = 0;
    int addedDutch = 0;
    int changed = 0;
    int changedDutch = 0;
    int firstBids = 0;     // Bids turned True
    int outbid = 0;        // had bids, now a higher price and another bidder
    int ended = 0;         // gone from the listing
    int completedNow = 0;  // newly marked "(*)"
};

Differences compare(const CItems &before, const CItems &now)
{
    Differences d;
    for (const CItem &item : now) {
        const CItem *old = before.find(item.ItemNumber());
        if (!old) {
            ++d.added;
            d.addedDutch += item.IsDutch();
            continue;
        }
        if (SandboxScan::changed(*old, item)) {
            ++d.changed;
            d.changedDutch += item.IsDutch();
        }
        d.firstBids += !old->Bids() && item.Bids();
        d.outbid += old->Bids() && item.Bids() && old->HighBid() != item.HighBid()
                    && old->HighBidder() != item.HighBidder();
        d.completedNow += !old->Completed() && item.Completed();
    }
    for (const CItem &item : before)
        d.ended += now.find(item.ItemNumber()) == nullptr;
    return d;
}

} // namespace

class TestSandboxSite : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void threePagesWithTheMarkerOnTheFirstTwo()
    {
        SandboxSite site(1);
        const Scan s = scan(site, ThreePages);
        QVERIFY(s.result.ok);
        QCOMPARE(s.result.pages, 3);
        QCOMPARE(s.result.markerPerPage, (QList<bool>{true, true, false}));
        QCOMPARE(s.result.itemsPerPage, (QList<int>{100, 100, 50}));
        QCOMPARE(s.items->Count(), int(site.model().seller(ThreePages)->auctions().size()));

        // A page past the last is a valid page with nothing on it.
        const HttpResponse past = get(site, SandboxScan::listingTarget(ThreePages, 4));
        QCOMPARE(past.status, 200);
        QVERIFY(past.body.size() >= 2500);
        QVERIFY(!past.body.contains(SandboxScan::NextPageMarker.toLatin1()));
        CItems none;
        QVERIFY(!none.LoadFromSellerPage(QString::fromLatin1(past.body)));
    }

    // Every field the parser cuts out is the simulated auction's own value.
    void pagesParseToTheSimulatedAuctions_data()
    {
        QTest::addColumn<QString>("seller");
        QTest::addColumn<int>("steps");
        for (const QString &seller : {ThreePages, DutchSeller, CompletedSeller, FlakySeller}) {
            QTest::newRow(qPrintable(seller + QStringLiteral(" at start"))) << seller << 0;
            QTest::newRow(qPrintable(seller + QStringLiteral(" later"))) << seller << 5;
        }
    }

    void pagesParseToTheSimulatedAuctions()
    {
        QFETCH(QString, seller);
        QFETCH(int, steps);
        SandboxSite site(42);
        SellerWorld *world = site.model().seller(seller);
        QVERIFY(world);
        for (int i = 0; i < steps; ++i)
            world->advance();
        const std::vector<SandboxAuction> auctions = world->auctions();
        CItems items;
        for (int page = 1; page <= ListingPage::pageCount(int(auctions.size()), 100); ++page) {
            QVERIFY(items.LoadFromSellerPage(ListingPage::render(seller, auctions, page, 100)));
        }
        QCOMPARE(items.Count(), int(auctions.size()));
        int index = 0;
        bool sawDutch = false, sawCompleted = false, sawBids = false, sawNoBids = false, sawPicture = false;
        for (const CItem &item : items) {
            const SandboxAuction &auction = auctions[size_t(index++)];
            QCOMPARE(item.ItemNumber(), auction.number);
            QCOMPARE(item.Description(), auction.title);
            QCOMPARE(item.Bids(), auction.hasBids());
            QCOMPARE(item.HighBid(), formatPrice(auction.priceCents));
            QCOMPARE(item.HighBidder(), auction.highBidder);
            QCOMPARE(item.Completed(), auction.completed());
            QCOMPARE(item.IsDutch(), auction.isDutch());
            QCOMPARE(item.NumBids(), auction.isDutch() ? QString::number(auction.bidCount) : QString());
            sawDutch |= auction.isDutch();
            sawCompleted |= auction.completed();
            (auction.hasBids() ? sawBids : sawNoBids) = true;
            sawPicture |= auction.picture;
        }
        QVERIFY(sawBids);
        QVERIFY(sawNoBids);
        QVERIFY(sawPicture);
        QCOMPARE(sawDutch, seller == DutchSeller);
        QCOMPARE(sawCompleted, seller == CompletedSeller);
    }

    void completedMarksOnlyTheirRows()
    {
        SandboxSite site(3);
        const HttpResponse response = get(site, SandboxScan::listingTarget(CompletedSeller, 1));
        const QString page = QString::fromLatin1(response.body);
        QVERIFY(page.contains(QStringLiteral("(*) indicates")));
        CItems items;
        QVERIFY(items.LoadFromSellerPage(page));
        int completed = 0;
        const CItem *last = nullptr;
        for (const CItem &item : items) {
            completed += item.Completed();
            last = &item;
        }
        QCOMPARE(completed, 3);
        // The legend after the last row does not mark it.
        QVERIFY(last && !last->Completed());
    }

    void everyPageIsLongEnough_data()
    {
        QTest::addColumn<QString>("target");
        for (const QString &seller : SiteModel::sellerIds())
            QTest::newRow(qPrintable(seller)) << SandboxScan::listingTarget(seller, 1);
        QTest::newRow("unknown seller") << SandboxScan::listingTarget(QStringLiteral("nobody-at-all"), 1);
        QTest::newRow("no seller") << QStringLiteral("/ws/eBayISAPI.dll?ViewListedItems");
        QTest::newRow("page far past the end") << SandboxScan::listingTarget(ThreePages, 2147483647);
        QTest::newRow("page not a number") << SandboxScan::listingTarget(DutchSeller, 1).replace(QStringLiteral("page=1"), QStringLiteral("page=x"));
    }

    void everyPageIsLongEnough()
    {
        QFETCH(QString, target);
        SandboxSite site(1);
        const HttpResponse response = get(site, target);
        QCOMPARE(response.status, 200);
        QVERIFY2(response.body.size() >= ListingSite::ShortestPage, qPrintable(QString::number(response.body.size())));
    }

    // A seller ID comes back on the page; whatever it holds, it must not
    // become an auction, a mark or a next-page link.
    void sellersWithoutAuctionsGiveNoItems_data()
    {
        QTest::addColumn<QString>("seller");
        QTest::newRow("empty seller") << EmptySeller;
        QTest::newRow("unknown seller") << QStringLiteral("somebody-else");
        QTest::newRow("markers in the ID")
            << QString::fromLatin1(QUrl::toPercentEncoding(QStringLiteral("x;item=12345\">(*)<b>$1</b>&gt;&gt;</a>#dutch;requested=me&amp")));
    }

    void sellersWithoutAuctionsGiveNoItems()
    {
        QFETCH(QString, seller);
        SandboxSite site(1);
        const HttpResponse response = get(site, SandboxScan::listingTarget(seller, 1));
        QCOMPARE(response.status, 200);
        const QString page = QString::fromLatin1(response.body);
        CItems items;
        QVERIFY(!items.LoadFromSellerPage(page));
        QCOMPARE(items.Count(), 0);
        QVERIFY(!page.contains(SandboxScan::NextPageMarker));
        QVERIFY(!page.contains(QStringLiteral("#dutch")));
        QVERIFY(!page.contains(QStringLiteral(";requested=")));
    }

    // "Check Now" twice must give alerts: the second scan of every seller
    // with auctions has new auctions and outbid auctions.
    void secondScanDiffersFromTheFirst_data()
    {
        QTest::addColumn<QString>("seller");
        for (const QString &seller : {ThreePages, DutchSeller, CompletedSeller, FlakySeller})
            QTest::newRow(qPrintable(seller)) << seller;
    }

    void secondScanDiffersFromTheFirst()
    {
        QFETCH(QString, seller);
        for (quint32 seed : {0u, 1u, 2u, 99u, 123456u}) {
            SandboxSite site(seed);
            const Scan first = scan(site, seller);
            const Scan second = scan(site, seller);
            QVERIFY(first.result.ok && second.result.ok);
            const Differences d = compare(*first.items, *second.items);
            QVERIFY2(d.added >= 1, qPrintable(QString::number(seed)));
            QVERIFY2(d.outbid >= 1, qPrintable(QString::number(seed)));
            QVERIFY2(d.changed >= 2, qPrintable(QString::number(seed)));
        }
    }

    // Within a few checks every kind of alert has had its occasion.
    void everyKindOfChangeWithinFourChecks()
    {
        SandboxSite site(5);
        Differences total;
        std::map<QString, Scan> previous;
        for (int check = 0; check < 4; ++check) {
            for (const QString &seller : {ThreePages, DutchSeller, CompletedSeller}) {
                Scan now = scan(site, seller);
                QVERIFY(now.result.ok);
                if (previous.count(seller)) {
                    const Differences d = compare(*previous[seller].items, *now.items);
                    total.added += d.added;
                    total.addedDutch += d.addedDutch;
                    total.changedDutch += d.changedDutch;
                    total.firstBids += d.firstBids;
                    total.outbid += d.outbid;
                    total.ended += d.ended;
                    total.completedNow += d.completedNow;
                }
                previous[seller] = std::move(now);
            }
        }
        QVERIFY(total.added > total.addedDutch);
        QVERIFY(total.addedDutch >= 1);
        QVERIFY(total.changedDutch >= 3);
        QVERIFY(total.firstBids >= 3);
        QVERIFY(total.outbid >= 3);
        QVERIFY(total.ended >= 3);
        QVERIFY(total.completedNow >= 3);
    }

    void onlyTheFirstPageMovesTheWorld()
    {
        SandboxSite site(8);
        const QByteArray page2 = get(site, SandboxScan::listingTarget(ThreePages, 2)).body;
        QCOMPARE(get(site, SandboxScan::listingTarget(ThreePages, 2)).body, page2);
        get(site, SandboxScan::listingTarget(ThreePages, 1));   // the world as it began
        QCOMPARE(get(site, SandboxScan::listingTarget(ThreePages, 2)).body, page2);
        get(site, SandboxScan::listingTarget(ThreePages, 1));   // one step on
        QVERIFY(get(site, SandboxScan::listingTarget(ThreePages, 2)).body != page2);
        // Letter case of the ID does not make another seller.
        QCOMPARE(site.model().seller(QStringLiteral("Gadget-Garage")), site.model().seller(ThreePages));
    }

    void theSeedDecides()
    {
        const auto pages = [](quint32 seed) {
            SandboxSite site(seed);
            QByteArrayList bodies;
            for (int check = 0; check < 3; ++check) {
                for (const QString &seller : SiteModel::sellerIds())
                    bodies << get(site, SandboxScan::listingTarget(seller, 1)).body;
            }
            return bodies;
        };
        QCOMPARE(pages(17), pages(17));
        QVERIFY(pages(17) != pages(18));
    }

    void flakySellerFailsEveryThirdRequest()
    {
        SandboxSite site(1);
        QList<int> statuses;
        QList<bool> longEnough;
        for (int request = 0; request < 12; ++request) {
            const HttpResponse response = get(site, SandboxScan::listingTarget(FlakySeller, 1));
            statuses << response.status;
            longEnough << (response.body.size() >= 2500);
        }
        QCOMPARE(statuses, (QList<int>{200, 200, 500, 200, 200, 200, 200, 200, 500, 200, 200, 200}));
        QCOMPARE(longEnough, (QList<bool>{true, true, false, true, true, false, true, true, false, true, true, false}));
        // The other sellers never fail.
        for (int request = 0; request < 6; ++request)
            QCOMPARE(get(site, SandboxScan::listingTarget(DutchSeller, 1)).status, 200);
    }

    // The reply read by the rules of the program's version check.
    void versionServiceGreetsOnce()
    {
        SandboxSite site(1);
        const QString target = QStringLiteral("/version/versioncheck.asp?app=Zorvane&version=2.1.3&appclass=300000&language=English");
        const HttpResponse first = get(site, target);
        QCOMPARE(first.status, 200);
        const QString reply = QString::fromLatin1(first.body);
        const qsizetype p = reply.indexOf(QStringLiteral("<status>"));
        const qsizetype q = reply.indexOf(QStringLiteral("</status>"));
        QVERIFY(p >= 0 && q > p);
        const QString block = reply.mid(p + 8, q - (p + 8));
        QVERIFY(block.size() > 20);
        const auto element = [&block](const QString &tag) {
            const qsizetype r = block.indexOf(u'<' + tag + u'>');
            const qsizetype s = block.indexOf(QStringLiteral("</") + tag + u'>');
            return r < 0 || s < r ? QString() : block.mid(r + tag.size() + 2, s - (r + tag.size() + 2));
        };
        QCOMPARE(element(QStringLiteral("newversion")), QStringLiteral("0"));
        QCOMPARE(element(QStringLiteral("message")), ListingPage::companyMessage());
        QVERIFY(element(QStringLiteral("message")).startsWith(QStringLiteral("Welcome to the Zorvane sandbox")));

        const HttpResponse second = get(site, target);
        QCOMPARE(second.status, 200);
        QVERIFY(!second.body.contains("<status>"));
        QVERIFY(!get(site, target).body.contains("<status>"));
    }

    void otherAddresses_data()
    {
        QTest::addColumn<QString>("target");
        QTest::addColumn<int>("status");
        QTest::newRow("first-run page") << QStringLiteral("/zorvane/ZorvaneNewInstall.html") << 200;
        QTest::newRow("version check without app") << QStringLiteral("/version/versioncheck.asp") << 400;
        QTest::newRow("root") << QStringLiteral("/") << 404;
        QTest::newRow("item page") << QStringLiteral("/ws/eBayISAPI.dll?ViewItem&item=3000000001") << 404;
        QTest::newRow("listing script elsewhere") << QStringLiteral("/eBayISAPI.dll?ViewListedItems&userid=a") << 404;
    }

    void otherAddresses()
    {
        QFETCH(QString, target);
        QFETCH(int, status);
        SandboxSite site(1);
        QCOMPARE(get(site, target).status, status);
    }
};

QTEST_GUILESS_MAIN(TestSandboxSite)
#include "tst_sandboxsite.moc"
