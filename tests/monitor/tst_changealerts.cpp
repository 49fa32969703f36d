#include "auction/CItems.h"
#include "monitor/AlertBlocks.h"
#include "monitor/ChangeAlerts.h"

#include <QTest>

#include <qcoro/qcorotask.h>

namespace {

const QString Host = QStringLiteral("http://items.example/");

struct Sent
{
    QString body;
    QString seller;
};

// Runs CompareLists with switches the test can change between blocks and
// a sender that records every message.
struct Comparison
{
    AlertSwitches switches;
    QList<Sent> sent;
    int turnsGiven = 0;
    int stopAfterSends = 0; // > 0: the comparison is told to stop after so many messages
    std::function<void()> onSend; // lets a test flip switches mid-comparison

    void run(const CItems &previous, const CItems &current, const QString &seller = QStringLiteral("seller1"))
    {
        ChangeAlerts alerts(Host, ChangeAlerts::Hooks{
                                      [this] { return switches; },
                                      [](const QString &) {},
                                      [this]() -> QCoro::Task<> {
                                          ++turnsGiven;
                                          co_return;
                                      },
                                      [this] { return stopAfterSends > 0 && sent.size() >= stopAfterSends; },
                                      [this](QString body, QString sellerId) -> QCoro::Task<> {
                                          sent.append({body, sellerId});
                                          if (onSend)
                                              onSend();
                                          co_return;
                                      }});
        QCoro::waitFor(alerts.CompareLists(previous, current, seller));
    }
};

} // namespace

class TestChangeAlerts : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void detailedBlocksReadAsWritten()
    {
        CItems items;
        const CItem *now = items.Add(QStringLiteral("123"), true, {}, false, QStringLiteral("Old lamp"),
                                     QStringLiteral("x"), false, QStringLiteral("$6.00"));
        CItems before;
        const CItem *then = before.Add(QStringLiteral("123"), false, {}, false, QStringLiteral("Old lamp"), {},
                                       false, QStringLiteral("$5.00"));
        QCOMPARE(AlertBlocks::changed(*now, *then, true, Host),
                 QStringLiteral("\r\n\r\nCHANGES TO ITEM# 123, Old lamp\r\n"
                                "http://items.example/aw-cgi/eBayISAPI.dll?ViewItem&item=123\r\n"
                                "PREVIOUS PRICE: $5.00\r\nCURRENT PRICE: $6.00\r\nHigh Bidder: x"));
        // The bid retracted: the bidder part says so on a line of its own.
        QVERIFY(AlertBlocks::changed(*then, *now, true, Host)
                    .endsWith(QStringLiteral("\r\nCURRENT PRICE: $5.00\r\n (no bids)")));
        QCOMPARE(AlertBlocks::added(*now, true, Host),
                 QStringLiteral("\r\n\r\nNEW ITEM# 123, Old lamp\r\n"
                                "http://items.example/aw-cgi/eBayISAPI.dll?ViewItem&item=123\r\n"
                                "CURRENT PRICE: $6.00\r\nHigh Bidder: x"));

        CItems dutch;
        const CItem *lot = dutch.Add(QStringLiteral("9"), true, QStringLiteral("5"), true, QStringLiteral("Forks"),
                                     QStringLiteral("y"), false, QStringLiteral("$1.00"));
        CItems dutchBefore;
        const CItem *lotBefore = dutchBefore.Add(QStringLiteral("9"), true, QStringLiteral("3"), true,
                                                 QStringLiteral("Forks"), {}, false, QStringLiteral("$1.00"));
        QCOMPARE(AlertBlocks::changed(*lot, *lotBefore, true, Host),
                 QStringLiteral("\r\n\r\nCHANGES TO ITEM# 9, Forks\r\n"
                                "http://items.example/aw-cgi/eBayISAPI.dll?ViewItem&item=9\r\n"
                                "PREVIOUS # OF DUTCH BIDS: 3\r\nCURRENT # OF DUTCH BIDS: 5\r\n"));
        QCOMPARE(AlertBlocks::added(*lot, true, Host),
                 QStringLiteral("\r\n\r\nNEW ITEM# 9, Forks\r\n"
                                "http://items.example/aw-cgi/eBayISAPI.dll?ViewItem&item=9\r\n"
                                "CURRENT DUTCH BIDS: 5\r\n"));
    }

    void briefBlocksReadAsWritten()
    {
        CItems items;
        const CItem *now = items.Add(QStringLiteral("1"), true, {}, false,
                                     QStringLiteral("A very long description of forty-five chars"),
                                     QStringLiteral("bidder"), false, QStringLiteral("$2.50"));
        const CItem *plain = items.Add(QStringLiteral("2"), false, {}, false, QStringLiteral("Short"), {}, false,
                                       QStringLiteral("$1.00"));
        const CItem *lot = items.Add(QStringLiteral("3"), true, QStringLiteral("4"), true, QStringLiteral("Dutch lot"),
                                     {}, false, QStringLiteral("$1.00"));
        QCOMPARE(AlertBlocks::changed(*now, *plain, false, Host),
                 QStringLiteral("CHANGE: A very long descript . . .\r\nPRICE: $2.50\r\nBidder: bidder\r\n\r\n"));
        QCOMPARE(AlertBlocks::changed(*plain, *now, false, Host),
                 QStringLiteral("CHANGE: Short . . .\r\nPRICE: $1.00\r\n (no bids)\r\n\r\n"));
        QCOMPARE(AlertBlocks::changed(*lot, *now, false, Host),
                 QStringLiteral("CHANGE: Dutch lot . . .\r\nDUTCH BIDS: 4\r\n\r\n"));
        QCOMPARE(AlertBlocks::added(*plain, false, Host), QStringLiteral("NEW ITEM: Short . . . \r\nPRICE: $1.00\r\n\r\n"));
        QCOMPARE(AlertBlocks::added(*lot, false, Host), QStringLiteral("NEW DUTCH ITEM: Dutch lot . . .\r\n\r\n"));
    }

    void onlyBidPriceAndBidderChangesCount()
    {
        CItems before;
        before.Add(QStringLiteral("1"), true, QStringLiteral("2"), true, QStringLiteral("a"), QStringLiteral("x"), false,
                   QStringLiteral("$1"));
        before.Add(QStringLiteral("2"), true, {}, false, QStringLiteral("b"), QStringLiteral("x"), false, QStringLiteral("$1"));
        before.Add(QStringLiteral("3"), true, {}, false, QStringLiteral("c"), QStringLiteral("x"), false, QStringLiteral("$1"));
        before.Add(QStringLiteral("gone"), false, {}, false, QStringLiteral("d"), {}, false, QStringLiteral("$1"));
        CItems now;
        // NumBids, description, completion and Dutch-ness alone say nothing.
        now.Add(QStringLiteral("1"), true, QStringLiteral("7"), false, QStringLiteral("A"), QStringLiteral("x"), true,
                QStringLiteral("$1"));
        now.Add(QStringLiteral("2"), true, {}, false, QStringLiteral("b"), QStringLiteral("y"), false, QStringLiteral("$1"));
        now.Add(QStringLiteral("3"), true, {}, false, QStringLiteral("c"), QStringLiteral("x"), false, QStringLiteral("$2"));

        Comparison comparison;
        comparison.run(before, now);
        QCOMPARE(comparison.sent.size(), 2); // item 2 (bidder) and item 3 (price); "gone" says nothing
        QVERIFY(comparison.sent.at(0).body.contains(QStringLiteral("CHANGES TO ITEM# 2,")));
        QVERIFY(comparison.sent.at(1).body.contains(QStringLiteral("CHANGES TO ITEM# 3,")));
        QCOMPARE(comparison.sent.at(0).seller, QStringLiteral("seller1"));
    }

    void itemNumbersMatchExactly()
    {
        CItems before;
        before.Add(QStringLiteral("ab1"), false, {}, false, QStringLiteral("a"), {}, false, QStringLiteral("$1"));
        CItems now;
        now.Add(QStringLiteral("AB1"), false, {}, false, QStringLiteral("a"), {}, false, QStringLiteral("$1"));
        Comparison comparison;
        comparison.run(before, now);
        QCOMPARE(comparison.sent.size(), 1);
        QVERIFY(comparison.sent.at(0).body.contains(QStringLiteral("NEW ITEM# AB1,")));
    }

    void messagesPerAuctionOrPerSeller()
    {
        CItems before;
        CItems now;
        now.Add(QStringLiteral("1"), false, {}, false, QStringLiteral("one"), {}, false, QStringLiteral("$1"));
        now.Add(QStringLiteral("2"), false, {}, false, QStringLiteral("two"), {}, false, QStringLiteral("$2"));

        Comparison perAuction;
        perAuction.run(before, now);
        QCOMPARE(perAuction.sent.size(), 2);

        Comparison perSeller;
        perSeller.switches.onePerSeller = true;
        perSeller.run(before, now);
        QCOMPARE(perSeller.sent.size(), 1);
        QCOMPARE(perSeller.sent.at(0).body, AlertBlocks::added(*now.find(QStringLiteral("1")), true, Host)
                                                + AlertBlocks::added(*now.find(QStringLiteral("2")), true, Host));

        Comparison nothingWanted;
        nothingWanted.switches.newAuctionsWanted = false;
        nothingWanted.run(before, now);
        QVERIFY(nothingWanted.sent.isEmpty());

        Comparison nothingToSay;
        nothingToSay.switches.onePerSeller = true;
        nothingToSay.run(now, now);
        QVERIFY(nothingToSay.sent.isEmpty());
    }

    void aStoppedComparisonEndsAtOnce()
    {
        CItems before;
        CItems now;
        for (int i = 1; i <= 5; ++i)
            now.Add(QString::number(i), false, {}, false, QStringLiteral("item"), {}, false, QStringLiteral("$1"));
        Comparison comparison;
        comparison.stopAfterSends = 2;
        comparison.run(before, now);
        QCOMPARE(comparison.sent.size(), 2);
    }

    void switchesApplyFromTheNextItem()
    {
        CItems before;
        CItems now;
        for (int i = 1; i <= 3; ++i)
            now.Add(QString::number(i), false, {}, false, QStringLiteral("item"), {}, false, QStringLiteral("$1"));
        Comparison comparison;
        comparison.onSend = [&comparison] { comparison.switches.detailed = false; };
        comparison.run(before, now);
        QCOMPARE(comparison.sent.size(), 3);
        QVERIFY(comparison.sent.at(0).body.startsWith(QStringLiteral("\r\n\r\nNEW ITEM# 1")));
        QVERIFY(comparison.sent.at(1).body.startsWith(QStringLiteral("NEW ITEM: item")));
    }

    void largeListsCompareCompletely()
    {
        CItems before;
        CItems now;
        for (int i = 0; i < 10000; ++i) {
            const QString number = QString::number(1000000 + i);
            before.Add(number, true, {}, false, QStringLiteral("item"), QStringLiteral("x"), false, QStringLiteral("$1"));
            now.Add(number, true, {}, false, QStringLiteral("item"), QStringLiteral("x"), false,
                    i % 1000 == 0 ? QStringLiteral("$2") : QStringLiteral("$1"));
        }
        Comparison comparison;
        comparison.switches.onePerSeller = true;
        comparison.run(before, now);
        QCOMPARE(comparison.sent.size(), 1);
        QCOMPARE(comparison.sent.at(0).body.count(QStringLiteral("CHANGES TO ITEM#")), 10);
        QVERIFY(comparison.turnsGiven >= 1);
    }
};

QTEST_GUILESS_MAIN(TestChangeAlerts)
#include "tst_changealerts.moc"
