// A listing server that misbehaves in the middle of a check cycle: the
// window reports the failed seller by mail, checks the others, keeps the
// failed seller's baseline, and the next good page gives the right alert.
// Nothing is lost from the lists or their files.

#include "auction/CUserIDs.h"

#include "SmtpServerProcess.h"
#include "WindowRig.h"

#include <QSettings>
#include <QTimer>

namespace {

using ListingPages::Auction;

const QString Seller1 = QStringLiteral("seller1");
const QString Seller2 = QStringLiteral("seller2");

enum class Fault { Stall, ResetMidBody, ServerError, ServiceUnavailable, OverBoundAnnounced, OverBoundStreamed, DripOneBytePerSecond };

LocalHttpServer::Response faulty(Fault fault, const QByteArray &goodPage)
{
    // Just past the fetcher's bound of 16 MiB.
    constexpr qint64 OverBound = 16 * 1024 * 1024 + 1;
    switch (fault) {
    case Fault::Stall: return LocalHttpServer::stall();
    case Fault::ResetMidBody: return LocalHttpServer::resetMidBody(goodPage, goodPage.size() / 2);
    case Fault::ServerError: return LocalHttpServer::page(goodPage, 500); // a whole page, but an error status
    case Fault::ServiceUnavailable: return LocalHttpServer::page("Service unavailable", 503);
    case Fault::OverBoundAnnounced: return LocalHttpServer::huge(OverBound, true);
    case Fault::OverBoundStreamed: return LocalHttpServer::huge(OverBound, false);
    case Fault::DripOneBytePerSecond: return LocalHttpServer::drip(goodPage, 1, std::chrono::seconds(1));
    }
    return {};
}

QString bodyOf(const QByteArray &message)
{
    QByteArray body = message.mid(message.indexOf("\r\n\r\n") + 4);
    if (body.endsWith("\r\n"))
        body.chop(2);
    return QString::fromLatin1(body);
}

} // namespace

Q_DECLARE_METATYPE(Fault)

class TestPageFaults : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void failedPageKeepsTheCycleAndTheBaseline_data()
    {
        QTest::addColumn<Fault>("fault");
        QTest::newRow("stall") << Fault::Stall;
        QTest::newRow("reset mid-body") << Fault::ResetMidBody;
        QTest::newRow("500 with a whole page") << Fault::ServerError;
        QTest::newRow("503") << Fault::ServiceUnavailable;
        QTest::newRow("over the bound, announced") << Fault::OverBoundAnnounced;
        QTest::newRow("over the bound, streamed") << Fault::OverBoundStreamed;
        QTest::newRow("one byte a second") << Fault::DripOneBytePerSecond;
    }

    void failedPageKeepsTheCycleAndTheBaseline()
    {
        QFETCH(Fault, fault);
        WindowRig rig;
        LocalHttpServer site;
        QVERIFY(site.isListening());
        SmtpServerProcess smtp;
        QVERIFY2(smtp.start(), qPrintable(smtp.errorText()));
        rig.writeSettings(site, smtp.port());

        const QString page1 = ListingPages::path(Seller1, 1);
        const QString page2 = ListingPages::path(Seller2, 1);
        const QByteArray seller1Before = sellerPage({{QStringLiteral("100"), QStringLiteral("$5.00"), {}},
                                                     {QStringLiteral("101"), QStringLiteral("$2.00"), {}}});
        site.route(page1, LocalHttpServer::page(seller1Before));
        site.route(page2, LocalHttpServer::page(sellerPage({{QStringLiteral("200"), QStringLiteral("$3.00"), {}}})));
        const QByteArray sellers = "seller1\r\nseller2\r\n";
        const QByteArray recipients = "a@example.com\r\n";
        FAlert &window = rig.load(sellers, recipients);
        window.Cycle().setPageTimeout(std::chrono::milliseconds(1500));

        QVERIFY(rig.checkNow());
        QCOMPARE(smtp.messageCount(), 1); // the welcome

        // Seller 1's page goes wrong; seller 2 gets a bid.
        site.route(page1, faulty(fault, seller1Before));
        site.route(page2, LocalHttpServer::page(sellerPage({{QStringLiteral("200"), QStringLiteral("$4.00"),
                                                             QStringLiteral("amy")}})));
        // While a slow page is awaited the event loop runs on: the window
        // stays usable and its timers tick.
        bool loopRanDuringFetch = false;
        connect(&site, &LocalHttpServer::requestReceived, &site, [&](const QString &path) {
            if (path == page1)
                QTimer::singleShot(0, &site, [&] { loopRanDuringFetch = window.Cycle().isRunning(); });
        });
        QVERIFY(rig.checkNow());
        if (fault == Fault::Stall || fault == Fault::DripOneBytePerSecond)
            QVERIFY(loopRanDuringFetch);
        QVERIFY(!window.Cycle().isRunning());

        QCOMPARE(smtp.messageCount(), 3);
        QCOMPARE(bodyOf(smtp.message(2)),
                 QStringLiteral("There was an error retrieving the auctions of seller1.  This user's auctions will "
                                "scanned again during the next check."));
        QVERIFY2(bodyOf(smtp.message(3)).contains(QStringLiteral("CHANGES TO ITEM# 200,")),
                 qPrintable(bodyOf(smtp.message(3))));
        // The fetcher let go of the bad connection.
        QTRY_COMPARE_WITH_TIMEOUT(site.openConnections(), 0, 10000);

        // Seller 1 comes back with a bid on 100: compared with the scan
        // before the failure, not reported as new.
        site.route(page1, LocalHttpServer::page(sellerPage({{QStringLiteral("100"), QStringLiteral("$8.00"),
                                                             QStringLiteral("zed")},
                                                            {QStringLiteral("101"), QStringLiteral("$2.00"), {}}})));
        QVERIFY(rig.checkNow());
        QCOMPARE(smtp.messageCount(), 4);
        const QString alert = bodyOf(smtp.message(4));
        QVERIFY2(alert.contains(QStringLiteral("CHANGES TO ITEM# 100,")), qPrintable(alert));
        QVERIFY(alert.contains(QStringLiteral("PREVIOUS PRICE: $5.00\r\nCURRENT PRICE: $8.00")));
        QVERIFY(!alert.contains(QStringLiteral("NEW ITEM")));

        QCOMPARE(window.Sellers().Count(), 2);
        QCOMPARE(window.Recipients().Count(), 1);
        QVERIFY2(rig.reporter.reports().isEmpty(), qPrintable(rig.reporter.reports().join(u'\n')));
        QVERIFY(rig.unload());
        QCOMPARE(TestFiles::read(rig.programFile(QStringLiteral("Accounts.txt"))), sellers);
        QCOMPARE(TestFiles::read(rig.programFile(QStringLiteral("EmailAddresses.txt"))), recipients);
    }

    void failedMiddlePageKeepsTheWholeBaseline()
    {
        // Page 2 of 3 fails: the pages around it must not become a baseline
        // on their own, or the next good scan would call page 2's auctions new.
        WindowRig rig;
        LocalHttpServer site;
        SmtpServerProcess smtp;
        QVERIFY2(smtp.start(), qPrintable(smtp.errorText()));
        rig.writeSettings(site, smtp.port());
        const QString p1 = ListingPages::path(Seller1, 1);
        const QString p2 = ListingPages::path(Seller1, 2);
        const QString p3 = ListingPages::path(Seller1, 3);
        const QByteArray good2 = sellerPage({{QStringLiteral("101"), QStringLiteral("$1.00"), {}}}, true);
        site.route(p1, LocalHttpServer::page(sellerPage({{QStringLiteral("100"), QStringLiteral("$1.00"), {}}}, true)));
        site.route(p2, LocalHttpServer::page(good2));
        site.route(p3, LocalHttpServer::page(sellerPage({{QStringLiteral("102"), QStringLiteral("$1.00"), {}}}, false)));
        FAlert &window = rig.load("seller1\r\n", "a@example.com\r\n");
        window.Cycle().setPageTimeout(std::chrono::milliseconds(1000));
        QVERIFY(rig.checkNow());
        QCOMPARE(smtp.messageCount(), 1);

        site.route(p2, LocalHttpServer::resetMidBody(good2, 500));
        QVERIFY(rig.checkNow());
        QCOMPARE(smtp.messageCount(), 2); // the failure mail only

        site.route(p2, LocalHttpServer::page(good2));
        QVERIFY(rig.checkNow());
        QCOMPARE(smtp.messageCount(), 2); // nothing changed, nothing new
    }

    void longPageThatIsNoListingKeepsTheBaseline()
    {
        // Just under the size bound and long enough to count as arrived, but
        // not a listing page at all: no failure mail, no alerts, and the
        // last good scan stays the baseline.
        WindowRig rig;
        LocalHttpServer site;
        SmtpServerProcess smtp;
        QVERIFY2(smtp.start(), qPrintable(smtp.errorText()));
        rig.writeSettings(site, smtp.port());
        const QString page1 = ListingPages::path(Seller1, 1);
        site.route(page1, LocalHttpServer::page(sellerPage({{QStringLiteral("100"), QStringLiteral("$5.00"), {}},
                                                            {QStringLiteral("101"), QStringLiteral("$2.00"), {}}})));
        FAlert &window = rig.load("seller1\r\n", "a@example.com\r\n");
        QVERIFY(rig.checkNow());
        QCOMPARE(smtp.messageCount(), 1);

        site.route(page1, LocalHttpServer::huge(16 * 1024 * 1024 - 1));
        QVERIFY(rig.checkNow());
        QCOMPARE(smtp.messageCount(), 1);

        site.route(page1, LocalHttpServer::page(sellerPage({{QStringLiteral("100"), QStringLiteral("$5.00"), {}},
                                                            {QStringLiteral("101"), QStringLiteral("$3.00"),
                                                             QStringLiteral("dee")}})));
        QVERIFY(rig.checkNow());
        QCOMPARE(smtp.messageCount(), 2);
        const QString alert = bodyOf(smtp.message(2));
        QVERIFY2(alert.contains(QStringLiteral("CHANGES TO ITEM# 101,")), qPrintable(alert));
        QVERIFY(!alert.contains(QStringLiteral("NEW ITEM")));
        QCOMPARE(window.Sellers().Count(), 1);
    }

    void pagesThatNeverEndAreReadToABound()
    {
        // Every page claims a successor: the cycle still ends, after a
        // bounded number of pages, and the next seller is checked.
        WindowRig rig;
        LocalHttpServer site;
        SmtpServerProcess smtp;
        QVERIFY2(smtp.start(), qPrintable(smtp.errorText()));
        rig.writeSettings(site, smtp.port());
        const QByteArray endless = sellerPage({{QStringLiteral("100"), QStringLiteral("$5.00"), {}}}, true);
        for (int page = 1; page <= 1001; ++page)
            site.route(ListingPages::path(Seller1, page), LocalHttpServer::page(endless));
        site.route(ListingPages::path(Seller2, 1),
                   LocalHttpServer::page(sellerPage({{QStringLiteral("200"), QStringLiteral("$3.00"), {}}})));
        FAlert &window = rig.load("seller1\r\nseller2\r\n", "a@example.com\r\n");
        QVERIFY(rig.checkNow(240000));
        QVERIFY(!window.Cycle().isRunning());
        QVERIFY(!site.requestedPaths().contains(ListingPages::path(Seller1, 1001)));
        QVERIFY(site.requestedPaths().contains(ListingPages::path(Seller2, 1)));
        QCOMPARE(smtp.messageCount(), 1); // the welcome: the cycle ended normally
    }

    void shortMinuteFromTheSettingsRunsCyclesByItself()
    {
        // The soak run's seam: the real program reads the minute's length
        // from the settings, and its timer then starts the cycles.
        WindowRig rig;
        LocalHttpServer site;
        SmtpServerProcess smtp;
        QVERIFY2(smtp.start(), qPrintable(smtp.errorText()));
        rig.writeSettings(site, smtp.port());
        {
            QSettings settings(rig.path(QStringLiteral("config/Zorvane/Zorvane.conf")), QSettings::IniFormat);
            settings.setValue(QStringLiteral("Testing/MinuteMilliseconds"), QStringLiteral("5"));
        }
        site.route(ListingPages::path(Seller1, 1),
                   LocalHttpServer::page(sellerPage({{QStringLiteral("100"), QStringLiteral("$5.00"), {}}})));
        FAlert &window = rig.load("seller1\r\n", "a@example.com\r\n");
        QSignalSpy finished(&window.Cycle(), &CheckCycle::cycleFinished);
        QTRY_VERIFY_WITH_TIMEOUT(finished.size() >= 2, 30000);
        QVERIFY(smtp.messageCount() >= 1); // the welcome after the first
        QVERIFY(rig.reporter.reports().isEmpty());
    }
};

QTEST_MAIN(TestPageFaults)
#include "tst_pagefaults.moc"
