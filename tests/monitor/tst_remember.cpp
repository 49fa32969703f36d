// The two options between checks: remembered auctions across restarts (with
// their flood rule), and a failing seller reported once and when it is back.
// Both off is the program as it always was.

#include "monitor/ScanStore.h"

#include "CycleRig.h"
#include "TestFiles.h"

#include <QDir>
#include <QFileInfo>

using ListingPages::Auction;

class TestRemember : public QObject
{
    Q_OBJECT

    std::unique_ptr<CycleRig> m_rig;
    const QString Seller = QStringLiteral("seller1");

    // The seller's auctions 1..count at `price`, the first `bid` of them
    // with a bid by amy.
    QList<Auction> auctions(int count, int bid = 0, const QString &price = QStringLiteral("$1.00"))
    {
        QList<Auction> list;
        for (int n = 1; n <= count; ++n)
            list << Auction{QString::number(100 + n), n <= bid ? QStringLiteral("$2.00") : price,
                            n <= bid ? QStringLiteral("amy") : QString()};
        return list;
    }

    int alertsFor(const QString &seller) const
    {
        int alerts = 0;
        for (int n = 1; n <= m_rig->mailCount(); ++n)
            alerts += m_rig->subject(n) == seller + QStringLiteral(" Auction Update");
        return alerts;
    }

private Q_SLOTS:
    void init()
    {
        m_rig = std::make_unique<CycleRig>();
        m_rig->sellers().Add(Seller);
        m_rig->recipients().Add(QStringLiteral("a@example.com"));
    }

    void cleanup() { m_rig.reset(); }

    void changesWhileAwayAreReportedOnlyWhenRemembered_data()
    {
        QTest::addColumn<bool>("remember");
        QTest::newRow("remembered") << true;
        QTest::newRow("not remembered") << false;
    }

    void changesWhileAwayAreReportedOnlyWhenRemembered()
    {
        QFETCH(bool, remember);
        m_rig->settings.rememberAuctions = remember;
        m_rig->startProgram();
        m_rig->offer(Seller, auctions(2));
        QVERIFY(m_rig->check());
        QCOMPARE(m_rig->mailCount(), 1); // the welcome

        // While the program is not running, a bid and a new auction.
        m_rig->startProgram();
        m_rig->offer(Seller, auctions(3, 1));
        QVERIFY(m_rig->check());
        QCOMPARE(alertsFor(Seller), remember ? 2 : 0);
        QCOMPARE(m_rig->subject(m_rig->mailCount()), QStringLiteral("Zorvane Auction Update")); // welcome again
        QCOMPARE(QDir(m_rig->path(QStringLiteral("scans"))).isEmpty(QDir::Files), !remember);

        // Turned off, what was kept goes.
        m_rig->settings.rememberAuctions = false;
        m_rig->cycle().setSettings(m_rig->settings);
        QVERIFY(QDir(m_rig->path(QStringLiteral("scans"))).isEmpty(QDir::Files));
    }

    // Per-auction messages after a long absence: more than 50 for a seller
    // come as one message.
    void manyChangesAfterAStartComeInOneMessage_data()
    {
        QTest::addColumn<int>("changes");
        QTest::addColumn<int>("messages");
        QTest::newRow("50: one each") << 50 << 50;
        QTest::newRow("51: one for all") << 51 << 1;
    }

    void manyChangesAfterAStartComeInOneMessage()
    {
        QFETCH(int, changes);
        QFETCH(int, messages);
        m_rig->settings.rememberAuctions = true;
        m_rig->startProgram();
        m_rig->offer(Seller, auctions(60));
        QVERIFY(m_rig->check());
        m_rig->startProgram();
        m_rig->offer(Seller, auctions(60, changes));
        QVERIFY(m_rig->check());
        QCOMPARE(alertsFor(Seller), messages);
        // Later checks of the run are one per auction again.
        m_rig->offer(Seller, auctions(60, 60, QStringLiteral("$3.00")));
        const int before = alertsFor(Seller);
        QVERIFY(m_rig->check());
        QCOMPARE(alertsFor(Seller) - before, 60 - changes);
    }

    // A kept scan that cannot be read, a seller no longer in the list: the
    // start goes on, the seller starts anew.
    void keptScansThatDoNotFitAreLeftBehind_data()
    {
        QTest::addColumn<QByteArray>("damage"); // written over the kept scan; empty: the seller is removed
        QTest::newRow("damaged") << QByteArray("not a scan");
        QTest::newRow("cut short") << QByteArray("cut");
        QTest::newRow("seller removed and added back") << QByteArray();
    }

    void keptScansThatDoNotFitAreLeftBehind()
    {
        QFETCH(QByteArray, damage);
        m_rig->settings.rememberAuctions = true;
        m_rig->startProgram();
        m_rig->offer(Seller, auctions(2));
        QVERIFY(m_rig->check());
        const QString kept = ScanStore(m_rig->path(QStringLiteral("scans"))).filePath(Seller);
        QVERIFY(QFileInfo::exists(kept));
        if (damage == "cut")
            TestFiles::write(kept, TestFiles::read(kept).chopped(7));
        else if (!damage.isEmpty())
            TestFiles::write(kept, damage);
        else
            m_rig->sellers().Remove(Seller);
        m_rig->startProgram();
        if (damage.isEmpty()) {
            QVERIFY(!QFileInfo::exists(kept));
            m_rig->sellers().Add(Seller);
        }
        m_rig->offer(Seller, auctions(3, 1));
        QVERIFY(m_rig->check());
        QCOMPARE(alertsFor(Seller), 0); // a first scan again: silent
        QVERIFY(m_rig->reports.isEmpty());
    }

    void oneFilePerSellerWhateverTheLetterCase()
    {
        const ScanStore store(m_rig->path(QStringLiteral("scans")));
        QCOMPARE(store.filePath(QStringLiteral("Alice")), store.filePath(QStringLiteral("alice")));
        QVERIFY(store.filePath(QStringLiteral("alice")) != store.filePath(QStringLiteral("alice2")));
        for (const QString &id : {QStringLiteral("../up"), QStringLiteral(".."), QStringLiteral("a/b"), QString(300, u'x')})
            QCOMPARE(QFileInfo(store.filePath(id)).absolutePath(), QDir(store.folder()).absolutePath());
    }

    // A seller whose page fails at three checks and then comes back.
    void aFailingSellerIsReportedOnceAndWhenBack_data()
    {
        QTest::addColumn<bool>("once");
        QTest::addColumn<bool>("restart"); // the program restarts in between, remembering
        QTest::addColumn<QStringList>("notices");
        const QString failed = QStringLiteral("There was an error");
        const QString back = QStringLiteral("The auctions of seller1 could be retrieved again");
        QTest::newRow("every time") << false << false << QStringList{failed, failed, failed};
        QTest::newRow("once") << true << false << QStringList{failed, back};
        QTest::newRow("once, across a restart") << true << true << QStringList{failed, back};
    }

    void aFailingSellerIsReportedOnceAndWhenBack()
    {
        QFETCH(bool, once);
        QFETCH(bool, restart);
        QFETCH(QStringList, notices);
        m_rig->settings.failureNoticeOnce = once;
        m_rig->settings.rememberAuctions = restart;
        m_rig->startProgram();
        m_rig->offer(Seller, auctions(2));
        QVERIFY(m_rig->check());
        for (int failing = 0; failing < 3; ++failing) {
            if (restart && failing == 1)
                m_rig->startProgram();
            m_rig->site().route(ListingPages::path(Seller, 1), LocalHttpServer::page("Service unavailable", 503));
            QVERIFY(m_rig->check());
        }
        m_rig->offer(Seller, auctions(2));
        QVERIFY(m_rig->check());
        QStringList seen;
        for (int n = 1; n <= m_rig->mailCount(); ++n)
            if (!m_rig->body(n).startsWith(QStringLiteral("Welcome")))
                seen << m_rig->body(n).left(notices.value(seen.size()).size());
        QCOMPARE(seen, notices);
    }
};

QTEST_MAIN(TestRemember)
#include "tst_remember.moc"
