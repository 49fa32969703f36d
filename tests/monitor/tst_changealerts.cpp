// What a comparison of two scans says, and in which words: the blocks as
// the user reads them (golden/alertblocks.txt, CR LF shown as "<CRLF>"), and
// which auctions get one under which switches.

#include "auction/CItems.h"
#include "monitor/AlertBlocks.h"
#include "monitor/ChangeAlerts.h"

#include "TestFiles.h"

#include <QRegularExpression>
#include <QTest>

#include <qcoro/qcorotask.h>

using namespace Qt::StringLiterals;

namespace {

const QString Host = u"http://items.example/"_s;

// The messages a comparison sends, each as the auctions it speaks of: "c2 n5"
// is a change of 2 and the new auction 5. With stopAfter > 0 the comparison is
// told to stop once it has sent so many.
QStringList compare(const CItems &previous, const CItems &current, const AlertSwitches &switches, int stopAfter = 0)
{
    QStringList sent;
    ChangeAlerts alerts(Host, {[&] { return switches; }, [](const QString &) {}, []() -> QCoro::Task<> { co_return; },
                               [&] { return stopAfter > 0 && sent.size() >= stopAfter; },
                               [&](QString body, QString) -> QCoro::Task<> {
                                   static const QRegularExpression heading(u"(CHANGES TO|NEW) ITEM# (\\w+)"_s);
                                   QStringList items;
                                   for (const auto &match : heading.globalMatch(body))
                                       items << match.captured(1).at(0).toLower() + match.captured(2);
                                   sent << items.join(u' ');
                                   co_return;
                               }});
    QCoro::waitFor(alerts.CompareLists(previous, current, u"seller1"_s));
    return sent;
}

// Adds an auction given as "number|bids|numBids|dutch|title|bidder|completed|price" (1 for true).
const CItem &add(CItems &items, const QString &spec)
{
    const QStringList f = spec.split(u'|');
    return *items.Add(f[0], f[1] == u"1"_s, f[2], f[3] == u"1"_s, f[4], f[5], f[6] == u"1"_s, f[7]);
}

} // namespace

class TestChangeAlerts : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void blocksReadAsWritten()
    {
        CItems items;
        const CItem &lamp = add(items, u"123|1||0|Old lamp|x|0|$6.00"_s);
        const CItem &lampBefore = add(items, u"124|0||0|Old lamp||0|$5.00"_s);
        const CItem &lot = add(items, u"9|1|5|1|Forks|y|0|$1.00"_s);
        const CItem &lotBefore = add(items, u"10|1|3|1|Forks||0|$1.00"_s);
        const CItem &longTitle = add(items, u"1|1||0|A very long description of forty-five chars|bidder|0|$2.50"_s);
        const CItem &plain = add(items, u"2|0||0|Short||0|$1.00"_s);
        const QList<std::pair<const char *, QString>> blocks{
            {"detailed, a bid", AlertBlocks::changed(lamp, lampBefore, true, Host)},
            {"detailed, the bid retracted", AlertBlocks::changed(lampBefore, lamp, true, Host)},
            {"detailed, new", AlertBlocks::added(lamp, true, Host)},
            {"detailed, Dutch bids", AlertBlocks::changed(lot, lotBefore, true, Host)},
            {"detailed, new Dutch", AlertBlocks::added(lot, true, Host)},
            {"brief, a bid", AlertBlocks::changed(longTitle, plain, false, Host)},
            {"brief, no bids", AlertBlocks::changed(plain, longTitle, false, Host)},
            {"brief, Dutch bids", AlertBlocks::changed(lot, longTitle, false, Host)},
            {"brief, new", AlertBlocks::added(plain, false, Host)},
            {"brief, new Dutch", AlertBlocks::added(lot, false, Host)},
        };
        QString shown;
        for (const auto &[label, block] : blocks)
            shown += u"== "_s + QLatin1String(label) + u'\n' + QString(block).replace(u"\r\n"_s, u"<CRLF>\n"_s) + u'\n';
        QCOMPARE(shown, QString::fromUtf8(TestFiles::read(QStringLiteral(ZORVANE_GOLDEN_DIR "/alertblocks.txt"))));
    }

    void theSwitchesChooseTheMessages_data()
    {
        QTest::addColumn<bool>("changes");
        QTest::addColumn<bool>("newAuctions");
        QTest::addColumn<bool>("onePerSeller");
        QTest::addColumn<int>("stopAfter");
        QTest::addColumn<QStringList>("messages");
        QTest::newRow("per auction") << true << true << false << 0 << QStringList{"c2", "c3", "c4", "nAB1", "n5"};
        QTest::newRow("per seller") << true << true << true << 0 << QStringList{"c2 c3 c4 nAB1 n5"};
        QTest::newRow("no new auctions") << true << false << false << 0 << QStringList{"c2", "c3", "c4"};
        QTest::newRow("no changes") << false << true << false << 0 << QStringList{"nAB1", "n5"};
        QTest::newRow("nothing to say, per seller") << false << false << true << 0 << QStringList{};
        QTest::newRow("stopped") << true << true << false << 2 << QStringList{"c2", "c3"};
    }

    // Only the bid, the price and the bidder make a change; auction numbers
    // match exactly; an auction gone says nothing.
    void theSwitchesChooseTheMessages()
    {
        QFETCH(bool, changes);
        QFETCH(bool, newAuctions);
        QFETCH(bool, onePerSeller);
        QFETCH(int, stopAfter);
        QFETCH(QStringList, messages);
        CItems before;
        for (const QString &spec : {u"1|1|2|1|a|x|0|$1"_s, u"2|1||0|b|x|0|$1"_s, u"3|1||0|c|x|0|$1"_s, u"4|0||0|d||0|$1"_s,
                                    u"ab1|0||0|e||0|$1"_s, u"gone|0||0|f||0|$1"_s})
            add(before, spec);
        CItems now; // 1: bid count, title, Dutch and completion alone; 2: bidder; 3: price; 4: bids
        for (const QString &spec : {u"1|1|7|0|A|x|1|$1"_s, u"2|1||0|b|y|0|$1"_s, u"3|1||0|c|x|0|$2"_s, u"4|1||0|d||0|$1"_s,
                                    u"AB1|0||0|e||0|$1"_s, u"5|0||0|g||0|$1"_s})
            add(now, spec);
        QCOMPARE(compare(before, now, {changes, newAuctions, true, onePerSeller}, stopAfter), messages);
    }

};

QTEST_GUILESS_MAIN(TestChangeAlerts)
#include "tst_changealerts.moc"
