// The check cycle's reactions, in-process: listing pages from a local HTTP
// server, alerts to an in-process mail catcher, the program ended and
// started again over the same folders.

#include "monitor/ScanStore.h"

#include "CycleRig.h"
#include "TestFiles.h"

#include <QDir>
#include <QFileInfo>

using namespace Qt::StringLiterals;
using ListingPages::Auction;

namespace {

const QString Seller = u"seller1"_s;
const QString Notice = u"Zorvane Auction Update"_s;
const QString Alert = u"seller1 Auction Update"_s;

Auction lot(int number, const QString &price = u"$1.00"_s, const QString &bidder = {}) { return {QString::number(number), price, bidder}; }

// Auctions 101..100+count, the first `bid` of them at $2.00 with a bid by amy.
QList<Auction> lots(int count, int bid = 0)
{
    QList<Auction> list;
    for (int n = 1; n <= count; ++n)
        list << (n <= bid ? lot(100 + n, u"$2.00"_s, u"amy"_s) : lot(100 + n));
    return list;
}

} // namespace

Q_DECLARE_METATYPE(LocalHttpServer::Response)
Q_DECLARE_METATYPE(CheckCycle::MissingSetting)

class TestCheckCycle : public QObject
{
    Q_OBJECT

    std::unique_ptr<CycleRig> m_rig;

    // The mail so far, N for a notice (the welcome, a failure), A for an alert.
    QString kinds() const
    {
        QString kinds;
        for (int n = 1; n <= m_rig->mailCount(); ++n)
            kinds += m_rig->subject(n) == Notice ? u'N' : u'A';
        return kinds;
    }

private Q_SLOTS:
    void init()
    {
        m_rig = std::make_unique<CycleRig>();
        m_rig->sellers().Add(Seller);
        m_rig->recipients().Add(u"a@example.com"_s);
    }

    void cleanup() { m_rig.reset(); }

    // Here the outbox cannot be written: the alerts still go, without a copy, and
    // the user hears of it once a cycle.
    void changesAreMailedFromTheSecondScanOn()
    {
        m_rig->recipients().Add(u"b@example.com"_s);
        QSignalSpy reports(&m_rig->startProgram(), &CheckCycle::errorReported);
        TestFiles::write(m_rig->path(u"blocker"_s), "a file, not a folder");
        m_rig->cycle().setOutbox(m_rig->path(u"blocker/outbox"_s));
        QVERIFY(m_rig->check(Seller, {{lot(100, u"$5.00"_s)}, {lot(101)}, {lot(102)}}));
        QCOMPARE(m_rig->site().requestedPaths().value(0),
                 u"/ws/eBayISAPI.dll?ViewListedItems&userid=seller1&include=0&since=1&page=1&sort=2&rows=100"_s);
        // The first scan is silent; the welcome goes to every recipient, once a run.
        QCOMPARE(m_rig->delivered(), (QStringList{u"a@example.com "_s + Notice, u"b@example.com "_s + Notice}));
        QVERIFY(m_rig->body(1).startsWith(u"Welcome to Zorvane."_s));

        const Auction kettle{u"103"_s, u"$9.00"_s, {}, u"Copper kettle"_s};
        QVERIFY(m_rig->check(Seller, {{lot(100, u"$6.00"_s, u"x"_s)}, {lot(101)}, {lot(102), kettle}}));
        const QList<QList<Auction>> last{{lot(100, u"$7.00"_s, u"y"_s)}, {lot(101)}, {lot(102), kettle}};
        QVERIFY(m_rig->check(Seller, last));
        // An empty listing after a full one is more likely a broken page
        // than a seller whose every auction ended: no flood of new auctions.
        QVERIFY(m_rig->check(Seller, {{}}));
        QVERIFY(m_rig->check(Seller, last));

        QCOMPARE(m_rig->mailCount(), 8);
        QVERIFY(m_rig->body(3).endsWith(u"PREVIOUS PRICE: $5.00\r\nCURRENT PRICE: $6.00\r\nHigh Bidder: x"_s));
        QVERIFY(m_rig->body(5).startsWith(u"\r\n\r\nNEW ITEM# 103, Copper kettle\r\n"_s));
        QVERIFY(m_rig->body(7).contains(u"PREVIOUS PRICE: $6.00\r\nCURRENT PRICE: $7.00"_s));
        QCOMPARE(reports.size(), 3);
        QVERIFY(reports.at(0).at(0).toString().startsWith(u"FAlert.SendEmail\r\nOutbox.Add "_s));
    }

    void aFailedPageIsToldAndKeepsTheBaseline_data()
    {
        QTest::addColumn<int>("failing"); // which of seller1's three pages
        QTest::addColumn<LocalHttpServer::Response>("response");
        QTest::newRow("503 on a middle page") << 2 << LocalHttpServer::page("Service unavailable", 503);
        QTest::newRow("2,000 characters") << 1 << LocalHttpServer::page(ListingPages::page({lot(100)}, true).left(2000));
        QTest::newRow("stall") << 1 << LocalHttpServer::stall();
    }

    void aFailedPageIsToldAndKeepsTheBaseline()
    {
        QFETCH(int, failing);
        QFETCH(LocalHttpServer::Response, response);
        m_rig->sellers().Add(u"seller2"_s);
        m_rig->startProgram().setPageTimeout(std::chrono::milliseconds(1000));
        m_rig->offer(Seller, {{lot(100, u"$5.00"_s)}, {lot(101)}, {lot(102)}});
        QVERIFY(m_rig->check(u"seller2"_s, {{lot(200)}}));

        // During the failure page 1 shows a bid, which must not count.
        m_rig->offer(Seller, {{lot(100, u"$6.00"_s, u"amy"_s)}, {lot(101)}, {lot(102)}});
        m_rig->site().route(ListingPages::path(Seller, failing), response);
        QVERIFY(m_rig->check(u"seller2"_s, {{lot(200, u"$4.00"_s, u"amy"_s)}}));
        QCOMPARE(m_rig->subject(3), u"seller2 Auction Update"_s);
        QCOMPARE(m_rig->body(2), u"There was an error retrieving the auctions of seller1.  This user's "
                                 "auctions will scanned again during the next check."_s);
        QTRY_COMPARE_WITH_TIMEOUT(m_rig->site().openConnections(), 0, 10000);

        QVERIFY(m_rig->check(Seller, {{lot(100, u"$7.00"_s, u"bob"_s)}, {lot(101)}, {lot(102)}}));
        QCOMPARE(kinds(), u"NNAA"_s);
        QVERIFY(m_rig->body(4).endsWith(u"PREVIOUS PRICE: $5.00\r\nCURRENT PRICE: $7.00\r\nHigh Bidder: bob"_s));
    }

    // Every page claims a successor: the scan stops at the cap and counts as whole.
    void anEndlessListingIsReadToTheCap()
    {
        const int cap = 1000; // the cycle's page cap; one page more is served
        for (int page = 1; page <= cap + 1; ++page)
            m_rig->site().route(ListingPages::path(Seller, page),
                                LocalHttpServer::page(ListingPages::page({lot(page)}, true)));
        m_rig->startProgram();
        QVERIFY(m_rig->check());
        QCOMPARE(m_rig->site().requestedPaths().size(), cap);
        QCOMPARE(m_rig->site().requestedPaths().last(), ListingPages::path(Seller, cap));
        QCOMPARE(kinds(), u"N"_s); // the welcome, no failure notice
    }

    // What Check Now asks for before a cycle, recipients first.
    void aMissingSettingIsNamed_data()
    {
        QTest::addColumn<QString>("missing");
        QTest::addColumn<CheckCycle::MissingSetting>("named");
        QTest::newRow("nothing") << QString() << CheckCycle::MissingSetting::None;
        QTest::newRow("recipients") << u"recipients"_s << CheckCycle::MissingSetting::Recipients;
        QTest::newRow("sellers") << u"sellers"_s << CheckCycle::MissingSetting::Sellers;
        QTest::newRow("both lists") << u"recipients sellers"_s << CheckCycle::MissingSetting::Recipients;
        QTest::newRow("sender") << u"sender"_s << CheckCycle::MissingSetting::MailServer;
        QTest::newRow("server") << u"server"_s << CheckCycle::MissingSetting::MailServer;
        QTest::newRow("5-character server") << u"short"_s << CheckCycle::MissingSetting::MailServer;
    }

    void aMissingSettingIsNamed()
    {
        QFETCH(QString, missing);
        QFETCH(CheckCycle::MissingSetting, named);
        if (missing.contains(u"recipients"_s))
            m_rig->recipients().Remove(u"a@example.com"_s);
        if (missing.contains(u"sellers"_s))
            m_rig->sellers().Remove(Seller);
        CheckCycle &cycle = m_rig->startProgram();
        CheckCycle::Settings settings = cycle.settings();
        if (missing == u"sender"_s)
            settings.sender.clear();
        settings.smtp.server = missing == u"server"_s ? QString() : missing == u"short"_s ? u"mail1"_s : u"mail.example"_s;
        cycle.setSettings(settings);
        QCOMPARE(cycle.missingSetting(), named);
    }

    void theIntervalStartsOneCycleAtATime()
    {
        m_rig->offer(Seller, {{lot(100)}});
        CheckCycle &cycle = m_rig->startProgram();
        cycle.SetInterval(15);
        for (int minute = 1; minute < 15; ++minute)
            cycle.OnTimerSubmitInterval();
        QVERIFY(!cycle.isRunning());
        QSignalSpy finished(&cycle, &CheckCycle::cycleFinished);
        cycle.OnTimerSubmitInterval();
        QVERIFY(cycle.isRunning());
        cycle.OnTimerSubmitInterval();
        cycle.checkNow();
        QVERIFY(finished.wait(30000));
        QCOMPARE(m_rig->site().requestedPaths().size(), 1);
        QCOMPARE(cycle.MinutesElapsed(), 0);
    }

    void endingMidCycleLeavesNothingRunning()
    {
        m_rig->site().route(ListingPages::path(Seller, 1), LocalHttpServer::stall());
        QSignalSpy requested(&m_rig->site(), &LocalHttpServer::requestReceived);
        QSignalSpy finished(&m_rig->startProgram(), &CheckCycle::cycleFinished);
        m_rig->cycle().checkNow();
        QVERIFY(requested.wait(10000));
        m_rig->cycle().stop();
        QTRY_COMPARE_WITH_TIMEOUT(m_rig->site().openConnections(), 0, 10000);
        QVERIFY(finished.isEmpty());
    }

    void mailThatCannotGoWaitsInOrderUntilItExpires()
    {
        m_rig->recipients().Add(u"b@example.com"_s);
        m_rig->settings.outboxDays = 2;
        m_rig->startProgram();
        const quint16 port = m_rig->catcher().port();
        m_rig->catcher().close();
        QVERIFY(m_rig->check(Seller, {{lot(100, u"$5.00"_s)}}));
        QVERIFY(m_rig->check(Seller, {{lot(100, u"$6.00"_s, u"amy"_s)}}));
        QCOMPARE(m_rig->sessions, 4); // one failed session per recipient and cycle, not one per message
        QCOMPARE(m_rig->cycle().idleText(), u"4 alerts waiting to be sent.  Minutes to next check: 60"_s);

        QVERIFY(m_rig->catcher().listen(port));
        m_rig->startProgram(); // the program ends and starts again
        QVERIFY(m_rig->check());
        QCOMPARE(m_rig->delivered(), (QStringList{u"a@example.com "_s + Notice, u"b@example.com "_s + Notice,
                                                  u"a@example.com "_s + Alert, u"b@example.com "_s + Alert,
                                                  u"a@example.com "_s + Notice, u"b@example.com "_s + Notice}));
        QCOMPARE(m_rig->cycle().outbox().count(), 0);

        m_rig->catcher().close();
        QVERIFY(m_rig->check(Seller, {{lot(100, u"$7.00"_s, u"bob"_s)}}));
        m_rig->now = m_rig->now.addDays(2).addSecs(-60);
        QVERIFY(m_rig->check());
        QCOMPARE(m_rig->cycle().outbox().count(), 2); // still tried
        m_rig->now = m_rig->now.addSecs(60);
        const int sessions = m_rig->sessions;
        QVERIFY(m_rig->check());
        QCOMPARE(m_rig->sessions, sessions); // dropped without a try
        QCOMPARE(m_rig->cycle().outbox().count(), 0);
    }

    // The welcome meets a server that will not take it; then the server
    // behaves and a bid comes. What was refused for this message or
    // recipient is dropped; what the settings refused waits.
    void refusedMailWaitsUnlessRefusedForGood_data()
    {
        QTest::addColumn<QString>("sender");
        QTest::addColumn<QString>("recipient");
        QTest::addColumn<int>("messageBytes");
        QTest::addColumn<QString>("delivered");
        const QString tooLong = QString(600, u'x') + u"@example.com"_s;
        QTest::newRow("sender refused") << tooLong << u"b@example.com"_s << 4096 << u"NNAA"_s;
        QTest::newRow("recipient refused") << u"zorvane@example.com"_s << tooLong << 4096 << u"NAA"_s;
        QTest::newRow("message refused") << u"zorvane@example.com"_s << u"b@example.com"_s << 300 << u"AA"_s;
    }

    void refusedMailWaitsUnlessRefusedForGood()
    {
        QFETCH(QString, sender);
        QFETCH(QString, recipient);
        QFETCH(int, messageBytes);
        QFETCH(QString, delivered);
        m_rig->recipients().Add(recipient);
        CheckCycle::Settings settings = m_rig->startProgram().settings();
        settings.sender = sender;
        m_rig->cycle().setSettings(settings);
        m_rig->catcher().setLimits({.lineBytes = 500, .messageBytes = messageBytes});
        QVERIFY(m_rig->check(Seller, {{lot(100, u"$5.00"_s)}}));
        m_rig->cycle().setSettings(m_rig->settings);
        m_rig->catcher().setLimits({});
        QVERIFY(m_rig->check(Seller, {{lot(100, u"$6.00"_s, u"amy"_s)}}));
        QCOMPARE(kinds(), delivered);
        QCOMPARE(m_rig->delivered().last(), recipient + u' ' + Alert);
        QCOMPARE(m_rig->cycle().outbox().count(), 0);
    }

    // Changes while the program was not running; more than 50 of a seller
    // come in one message, at the first check after the start only.
    void changesWhileAwayAreToldOnlyFromAKeptScan_data()
    {
        QTest::addColumn<bool>("remember");
        QTest::addColumn<QByteArray>("damage"); // written over the kept scan; "removed": the seller was
        QTest::addColumn<int>("bids");
        QTest::addColumn<int>("alerts");
        QTest::newRow("remembered") << true << QByteArray() << 50 << 50;
        QTest::newRow("51 changes") << true << QByteArray() << 51 << 1;
        QTest::newRow("not remembered") << false << QByteArray() << 51 << 0;
        QTest::newRow("damaged") << true << QByteArray("not a scan") << 51 << 0;
        QTest::newRow("cut short") << true << QByteArray("cut") << 51 << 0;
        QTest::newRow("seller removed and added back") << true << QByteArray("removed") << 51 << 0;
    }

    void changesWhileAwayAreToldOnlyFromAKeptScan()
    {
        QFETCH(bool, remember);
        QFETCH(QByteArray, damage);
        QFETCH(int, bids);
        QFETCH(int, alerts);
        m_rig->settings.rememberAuctions = remember;
        m_rig->startProgram();
        QVERIFY(m_rig->check(Seller, {lots(60)}));
        const ScanStore store(m_rig->path(u"scans"_s));
        const QString kept = store.filePath(Seller);
        QCOMPARE(QFileInfo::exists(kept), remember);
        if (damage == "removed")
            m_rig->sellers().Remove(Seller);
        else if (!damage.isEmpty())
            TestFiles::write(kept, damage == "cut" ? TestFiles::read(kept).chopped(7) : damage);
        m_rig->startProgram();
        if (damage == "removed") {
            QVERIFY(!QFileInfo::exists(kept));
            m_rig->sellers().Add(Seller);
        }
        QVERIFY(m_rig->check(Seller, {lots(60, bids)}));
        QCOMPARE(kinds().count(u'A'), alerts);
        QVERIFY(m_rig->check(Seller, {lots(60, 60)}));
        QCOMPARE(kinds().count(u'A'), alerts + 60 - bids);
        m_rig->settings.rememberAuctions = false; // turned off, what was kept goes
        m_rig->cycle().setSettings(m_rig->settings);
        QVERIFY(QDir(store.folder()).isEmpty(QDir::Files));
        // One file per seller whatever the letter case, and always in its folder.
        QCOMPARE(store.filePath(u"Alice"_s), store.filePath(u"alice"_s));
        for (const QString &id : {u"../up"_s, u".."_s, u"a/b"_s, QString(300, u'x')})
            QCOMPARE(QFileInfo(store.filePath(id)).absolutePath(), QDir(store.folder()).absolutePath());
    }

    // A seller whose page fails at three checks and then comes back.
    void aFailingSellerIsToldOnceAndWhenBack_data()
    {
        QTest::addColumn<bool>("once");
        QTest::addColumn<bool>("restart"); // the program restarts in between, remembering
        QTest::addColumn<QStringList>("notices");
        const QString failed = u"There was an error"_s;
        const QString back = u"The auctions of seller1 could be retrieved again"_s;
        QTest::newRow("every time") << false << false << QStringList{failed, failed, failed};
        QTest::newRow("once") << true << false << QStringList{failed, back};
        QTest::newRow("once, across a restart") << true << true << QStringList{failed, back};
    }

    void aFailingSellerIsToldOnceAndWhenBack()
    {
        QFETCH(bool, once);
        QFETCH(bool, restart);
        QFETCH(QStringList, notices);
        m_rig->settings.failureNoticeOnce = once;
        m_rig->settings.rememberAuctions = restart;
        m_rig->startProgram();
        QVERIFY(m_rig->check(Seller, {lots(2)}));
        for (int failing = 0; failing < 3; ++failing) {
            if (restart && failing == 1)
                m_rig->startProgram();
            m_rig->site().route(ListingPages::path(Seller, 1), LocalHttpServer::page("Service unavailable", 503));
            QVERIFY(m_rig->check());
        }
        QVERIFY(m_rig->check(Seller, {lots(2)}));
        QStringList seen;
        for (int n = 1; n <= m_rig->mailCount(); ++n)
            if (!m_rig->body(n).startsWith(u"Welcome"_s))
                seen << m_rig->body(n).left(notices.value(seen.size()).size());
        QCOMPARE(seen, notices);
    }

};

QTEST_MAIN(TestCheckCycle)
#include "tst_checkcycle.moc"
