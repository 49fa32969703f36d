#include "SellerPages.h"
#include "auction/CItems.h"
#include "base/AppError.h"

#include "RaisedError.h"

#include <QTest>

#include <optional>

using namespace SellerPages;

namespace {

QStringList numbersOf(const CItems &items)
{
    QStringList numbers;
    for (const CItem &item : items)
        numbers << item.ItemNumber();
    return numbers;
}

const QString InvalidArgument = QStringLiteral("5 Invalid procedure call or argument");

} // namespace

class TestCItems : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    // The list itself.

    void addKeepsInsertionOrderAndRefusesDuplicatesQuietly()
    {
        CItems items;
        const CItem *first = items.Add(QStringLiteral("B2"), true, {}, false, QStringLiteral("first"));
        QVERIFY(first);
        QVERIFY(items.Add(QStringLiteral("a1")));
        QCOMPARE(items.Add(QStringLiteral("b2"), false, {}, false, QStringLiteral("second")), nullptr);
        QCOMPARE(items.Add(QStringLiteral("B2")), nullptr);
        QCOMPARE(items.Count(), 2);
        QCOMPARE(numbersOf(items), (QStringList{QStringLiteral("B2"), QStringLiteral("a1")}));
        QCOMPARE(items.find(QStringLiteral("b2")), first);
        QCOMPARE(first->Description(), QStringLiteral("first"));
        QVERIFY(first->Bids());
        QCOMPARE(items.find(QStringLiteral("zz")), nullptr);
    }

    void addTakesTheEightValuesInDeclaredOrder()
    {
        CItems items;
        const CItem *item = items.Add(QStringLiteral("1"), true, QStringLiteral("3"), true, QStringLiteral("Lamp"),
                                      QStringLiteral("bob"), true, QStringLiteral("$4"));
        QCOMPARE(item->ItemNumber(), QStringLiteral("1"));
        QCOMPARE(item->Bids(), true);
        QCOMPARE(item->NumBids(), QStringLiteral("3"));
        QCOMPARE(item->IsDutch(), true);
        QCOMPARE(item->Description(), QStringLiteral("Lamp"));
        QCOMPARE(item->HighBidder(), QStringLiteral("bob"));
        QCOMPARE(item->Completed(), true);
        QCOMPARE(item->HighBid(), QStringLiteral("$4"));
    }

    void clearEmptiesAndTheListWorksAsNew()
    {
        CItems items;
        items.Add(QStringLiteral("1"));
        items.Add(QStringLiteral("2"));
        items.Clear();
        QCOMPARE(items.Count(), 0);
        QCOMPARE(items.find(QStringLiteral("1")), nullptr);
        QVERIFY(items.Add(QStringLiteral("1")));
        QCOMPARE(items.Count(), 1);
    }

    // The seller-page parser.

    void pageWithoutItemMarkerReturnsFalse()
    {
        CItems items;
        QCOMPARE(items.LoadFromSellerPage(page(QStringLiteral("<tr><td>item=1\">x</td></tr>"))), false);
        QCOMPARE(items.LoadFromSellerPage(QString()), false);
        QCOMPARE(items.Count(), 0);
    }

    void boldPriceRowGivesBidsPriceAndBidder()
    {
        CItems items;
        QVERIFY(items.LoadFromSellerPage(
            page(row(QStringLiteral("2043518823"), boldPrice(QStringLiteral("$12.50")),
                     QStringLiteral("Brass telescope &amp; case"), bidderCell(QStringLiteral("collector_7"))))));
        QCOMPARE(items.Count(), 1);
        const CItem *item = &*items.begin();
        QCOMPARE(item->ItemNumber(), QStringLiteral("2043518823"));
        QCOMPARE(item->Bids(), true);
        QCOMPARE(item->HighBid(), QStringLiteral("$12.50"));
        QCOMPARE(item->Description(), QStringLiteral("Brass telescope &amp; case"));
        QCOMPARE(item->HighBidder(), QStringLiteral("collector_7"));
        QCOMPARE(item->Completed(), false);
        QCOMPARE(item->IsDutch(), false);
        QCOMPARE(item->NumBids(), QString());
    }

    void plainPriceRowHasNoBidsAndNoBidder()
    {
        CItems items;
        QVERIFY(items.LoadFromSellerPage(page(row(QStringLiteral("77"), plainPrice(QStringLiteral("$9.99")),
                                                  QStringLiteral("Lamp"), bidderCell(QStringLiteral("bob"))))));
        const CItem *item = items.find(QStringLiteral("77"));
        QVERIFY(item);
        QCOMPARE(item->Bids(), false);
        QCOMPARE(item->HighBid(), QStringLiteral("$9.99"));
        QCOMPARE(item->HighBidder(), QString());
        QCOMPARE(item->Description(), QStringLiteral("Lamp"));
    }

    void bidderSearchIsNotLimitedToTheRow()
    {
        // The first row has a bold price but no bidder link: it takes the
        // bidder of the next row.
        CItems items;
        QVERIFY(items.LoadFromSellerPage(page(
            row(QStringLiteral("1"), boldPrice(QStringLiteral("$1")), QStringLiteral("A"))
            + row(QStringLiteral("2"), boldPrice(QStringLiteral("$2")), QStringLiteral("B"),
                  bidderCell(QStringLiteral("carol"))))));
        QCOMPARE(items.find(QStringLiteral("1"))->HighBidder(), QStringLiteral("carol"));
        QCOMPARE(items.find(QStringLiteral("2"))->HighBidder(), QStringLiteral("carol"));
    }

    void bidderOf50CharactersStaysAndOf51IsDropped()
    {
        const QString fifty(50, u'b');
        const QString fiftyOne(51, u'c');
        CItems items;
        QVERIFY(items.LoadFromSellerPage(
            page(row(QStringLiteral("1"), boldPrice(QStringLiteral("$1")), QStringLiteral("A"), bidderCell(fifty))
                 + row(QStringLiteral("2"), boldPrice(QStringLiteral("$2")), QStringLiteral("B"),
                       bidderCell(fiftyOne)))));
        QCOMPARE(items.find(QStringLiteral("1"))->HighBidder(), fifty);
        QCOMPARE(items.find(QStringLiteral("2"))->HighBidder(), QString());
    }

    void duplicatesOnOnePageAndAcrossPagesKeepTheFirst()
    {
        CItems items;
        QVERIFY(items.LoadFromSellerPage(
            page(row(QStringLiteral("AB1"), boldPrice(QStringLiteral("$1")), QStringLiteral("first"),
                     bidderCell(QStringLiteral("x")))
                 + row(QStringLiteral("ab1"), plainPrice(QStringLiteral("$2")), QStringLiteral("second")))));
        QVERIFY(items.LoadFromSellerPage(
            page(row(QStringLiteral("5"), plainPrice(QStringLiteral("$5")), QStringLiteral("five"))
                 + row(QStringLiteral("AB1"), plainPrice(QStringLiteral("$3")), QStringLiteral("third")))));
        QCOMPARE(numbersOf(items), (QStringList{QStringLiteral("AB1"), QStringLiteral("5")}));
        const CItem *kept = items.find(QStringLiteral("ab1"));
        QCOMPARE(kept->Description(), QStringLiteral("first"));
        QCOMPARE(kept->HighBid(), QStringLiteral("$1"));
        QCOMPARE(kept->Bids(), true);
    }

    void itemNumbersOf12CharactersAreSkipped()
    {
        CItems items;
        QVERIFY(items.LoadFromSellerPage(
            page(row(QStringLiteral("12345678901"), plainPrice(QStringLiteral("$1")), QStringLiteral("eleven"))
                 + row(QStringLiteral("123456789012"), plainPrice(QStringLiteral("$2")), QStringLiteral("twelve"))
                 + row(QStringLiteral("1234567890123"), plainPrice(QStringLiteral("$3")), QStringLiteral("13"))
                 + row(QStringLiteral("9"), plainPrice(QStringLiteral("$4")), QStringLiteral("after")))));
        QCOMPARE(numbersOf(items), (QStringList{QStringLiteral("12345678901"), QStringLiteral("9")}));
        QCOMPARE(items.find(QStringLiteral("9"))->Description(), QStringLiteral("after"));
    }

    void completedMarkRules()
    {
        CItems items;
        const QString next = QStringLiteral("<tr><td>(*)</td></tr>\n");
        QVERIFY(items.LoadFromSellerPage(page(
            row(QStringLiteral("1"), plainPrice(QStringLiteral("$1")), QStringLiteral("marked"), {},
                QStringLiteral(" (*)"))
            + row(QStringLiteral("2"), plainPrice(QStringLiteral("$1")), QStringLiteral("legend"), {},
                  QStringLiteral(" (*) indicates ended"))
            // Only the first "(*)" counts: the legend hides a real mark after it.
            + row(QStringLiteral("3"), plainPrice(QStringLiteral("$1")), QStringLiteral("legend first"), {},
                  QStringLiteral(" (*) indicates (*)"))
            // A mark after this row's end belongs to no auction.
            + row(QStringLiteral("4"), plainPrice(QStringLiteral("$1")), QStringLiteral("next row")) + next)));
        QCOMPARE(items.find(QStringLiteral("1"))->Completed(), true);
        QCOMPARE(items.find(QStringLiteral("2"))->Completed(), false);
        QCOMPARE(items.find(QStringLiteral("3"))->Completed(), false);
        QCOMPARE(items.find(QStringLiteral("4"))->Completed(), false);
    }

    void boldTextAfterTheRowEndIsNotAPrice()
    {
        // No "<b>" before "</tr>": plain price, even though a bold text follows.
        CItems items;
        QVERIFY(items.LoadFromSellerPage(
            page(row(QStringLiteral("1"), plainPrice(QStringLiteral("$1")), QStringLiteral("A"))
                 + QStringLiteral("<tr><td><b>News</b></td></tr>\n"))));
        QCOMPARE(items.find(QStringLiteral("1"))->Bids(), false);
        QCOMPARE(items.find(QStringLiteral("1"))->HighBid(), QStringLiteral("$1"));
    }

    void titleEndsAtAnIconWithin119Characters()
    {
        const QString icon = QStringLiteral("<img src=\"p.gif\">");
        const QString at119(119, u'x');
        const QString at120(120, u'y');
        CItems items;
        QVERIFY(items.LoadFromSellerPage(page(
            row(QStringLiteral("1"), plainPrice(QStringLiteral("$1")), at119 + icon)
            + row(QStringLiteral("2"), plainPrice(QStringLiteral("$1")), at120 + icon)
            // An icon right at the start of the title does not end it.
            + row(QStringLiteral("3"), plainPrice(QStringLiteral("$1")), icon + QStringLiteral("Lamp")))));
        QCOMPARE(items.find(QStringLiteral("1"))->Description(), at119);
        QCOMPARE(items.find(QStringLiteral("2"))->Description(), at120 + icon);
        QCOMPARE(items.find(QStringLiteral("3"))->Description(), icon + QStringLiteral("Lamp"));
    }

    void titleEndsAtUpperCaseCellEndButPriceDoesNot()
    {
        CItems items;
        const QString rows =
            QStringLiteral("<tr><td><a href=\"v?ViewItem&amp;item=1\">1</a></td>"
                           "<td align=\"right\"><b>$1</b></TD><td width=\"45%\">Upper</TD></tr>\n"
                           "<tr><td><a href=\"v?ViewItem&amp;item=2\">2</a></td>"
                           "<td align=\"right\">$2</TD><td width=\"45%\">Plain</td></tr>\n");
        QVERIFY(items.LoadFromSellerPage(page(rows)));
        QCOMPARE(items.find(QStringLiteral("1"))->Description(), QStringLiteral("Upper"));
        // The price cell runs on to the first lower-case "</td>".
        QCOMPARE(items.find(QStringLiteral("2"))->HighBid(),
                 QStringLiteral("$2</TD><td width=\"45%\">Plain"));
    }

    void dutchAuctions()
    {
        CItems items;
        QVERIFY(items.LoadFromSellerPage(page(
            row(QStringLiteral("1"), boldPrice(QStringLiteral("$1")), QStringLiteral("Dutch lot"),
                dutchCell(QStringLiteral(" 5 ")) + bidderCell(QStringLiteral("bob")))
            + row(QStringLiteral("2"), plainPrice(QStringLiteral("$1")), QStringLiteral("Single"))
            + QStringLiteral("<tr><td><a href=\"h.html#dutch\"> - 7 Dutch</a></td></tr>\n"))));
        const CItem *dutch = items.find(QStringLiteral("1"));
        QCOMPARE(dutch->IsDutch(), true);
        QCOMPARE(dutch->NumBids(), QStringLiteral("5"));
        QCOMPARE(dutch->HighBidder(), QStringLiteral("bob"));
        const CItem *single = items.find(QStringLiteral("2"));
        QCOMPARE(single->IsDutch(), false);
        QCOMPARE(single->NumBids(), QString());
    }

    // Failures: the error names the item number last cut, and the items
    // added before it stay.

    void failingPages_data()
    {
        QTest::addColumn<QString>("html");
        QTest::addColumn<QString>("error");
        QTest::addColumn<QStringList>("kept");

        QTest::newRow("no quote-close after the item marker")
            << page(row(QStringLiteral("111"), plainPrice(QStringLiteral("$1")), QStringLiteral("A"))
                    + QStringLiteral("<tr><td>broken ;item=222 no close</td></tr>"))
            << InvalidArgument + QStringLiteral(" Item: 111") << QStringList{QStringLiteral("111")};
        QTest::newRow("first row, before any item number")
            << QStringLiteral("x;item=5") << InvalidArgument + QStringLiteral(" Item: ") << QStringList{};
        QTest::newRow("bold price without its end")
            << QStringLiteral("<tr><td><a href=\"v?ViewItem&amp;item=31\">31</a></td>"
                              "<td><b>$1</td><td width=\"4\">T</td></tr>")
            << InvalidArgument + QStringLiteral(" Item: 31") << QStringList{};
        QTest::newRow("row without end is added, then fails")
            << page(row(QStringLiteral("1"), plainPrice(QStringLiteral("$1")), QStringLiteral("A")))
                   + QStringLiteral("<tr><td><a href=\"v?ViewItem&amp;item=2\">2</a></td>")
                   + plainPrice(QStringLiteral("$2")) + titleCell(QStringLiteral("No end"))
            << InvalidArgument + QStringLiteral(" Item: 2") << QStringList{QStringLiteral("1"), QStringLiteral("2")};

        // Rows with neither a price cell nor a cell end of their own: every
        // row's price runs from near the page's start, and its title from the
        // page's start, to the one "</td>" at the end, so each row would
        // hold two copies of the page.
        QString runaway = QStringLiteral("<html><body><table>\n");
        for (int n = 1000; n < 1300; ++n)
            runaway += QStringLiteral("<tr><td><a href=\"v?ViewItem&amp;item=%1\">%1</a> Lamp</tr>\n").arg(n);
        QTest::newRow("fields reaching across the page")
            << runaway + QStringLiteral("</td></table></body></html>\n")
            << QStringLiteral("6 Overflow Item: 1000") << QStringList{};
    }

    void failingPages()
    {
        QFETCH(QString, html);
        QFETCH(QString, error);
        QFETCH(QStringList, kept);
        CItems items;
        const auto raised = raisedBy([&] { items.LoadFromSellerPage(html); });
        // Whatever a page holds, its items hold no more text than the page.
        qsizetype held = 0;
        for (const CItem &item : items)
            held += item.ItemNumber().size() + item.NumBids().size() + item.Description().size()
                    + item.HighBidder().size() + item.HighBid().size();
        QVERIFY2(held <= html.size(), qPrintable(QString::number(held)));
        QVERIFY(raised);
        QCOMPARE(raised->number(), ErrorNumber::Component);
        QVERIFY(raised->source().isEmpty());
        QCOMPARE(raised->description(), QStringLiteral("CItems.LoadFromSellerPage ") + error);
        QCOMPARE(numbersOf(items), kept);
    }

    // The other listing pages.

    void categoryPages_data()
    {
        QTest::addColumn<int>("site");
        QTest::addColumn<QString>("html");
        QTest::addColumn<QStringList>("numbers");
        QTest::addColumn<QList<bool>>("bids");

        QTest::newRow("site 0, item=") << 0
                                       << QStringLiteral("<tr><a href=\"x?item=11\">a</a><td>$1</td></tr>"
                                                         "<tr><a href=\"x?item=1234567890123\">b</a><td>-</td></tr>")
                                       << QStringList{QStringLiteral("11"), QStringLiteral("1234567890123")}
                                       << QList<bool>{true, false};
        QTest::newRow("site 1, itemnum=") << 1
                                          << QStringLiteral("<tr><a href=\"x?itemnum=21\">a</a><td>-</td></tr>"
                                                            "<tr><a href=\"x?item=99\">b</a></tr>"
                                                            "<tr><a href=\"x?itemnum=22\">b</a><td>3</td></tr>")
                                          << QStringList{QStringLiteral("21"), QStringLiteral("22")}
                                          << QList<bool>{false, true};
        QTest::newRow("site 2, ends at &") << 2
                                           << QStringLiteral("<tr><a href=\"x?itemnum=31&amp;b=1\">a</a></tr>")
                                           << QStringList{QStringLiteral("31")} << QList<bool>{true};
    }

    void categoryPages()
    {
        QFETCH(int, site);
        QFETCH(QString, html);
        QFETCH(QStringList, numbers);
        QFETCH(QList<bool>, bids);
        CItems items;
        QVERIFY(items.LoadFromCategoryPage(html, qint16(site)));
        QCOMPARE(numbersOf(items), numbers);
        QList<bool> seen;
        for (const CItem &item : items)
            seen << item.Bids();
        QCOMPARE(seen, bids);
    }

    void categoryPageFailures()
    {
        CItems items;
        QCOMPARE(items.LoadFromCategoryPage(QStringLiteral("<tr>nothing</tr>"), 0), false);
        const auto error = raisedBy([&] {
            items.LoadFromCategoryPage(QStringLiteral("<tr><a href=\"x?item=1\">a</a></tr><a href=\"x?item=2\">"), 0);
        });
        QVERIFY(error);
        QCOMPARE(error->description(), QStringLiteral("CItems.LoadFromCategoryPage ") + InvalidArgument);
        QCOMPARE(numbersOf(items), QStringList{QStringLiteral("1")});
    }
};

QTEST_GUILESS_MAIN(TestCItems)
#include "tst_citems.moc"
