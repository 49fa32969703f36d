// The parser remembers its searches to stay linear on hostile pages; what it
// finds must stay exactly what the plain chain of searches finds. This test
// runs both over many generated pages, well-formed and broken, and compares
// items, result and error text.

#include "auction/CItems.h"
#include "auction/PageSearch.h"
#include "base/AppError.h"
#include "base/ErrorPatterns.h"

#include <QRandomGenerator>
#include <QTest>

namespace {

struct Outcome
{
    QStringList items; // every field of every item, one line per item
    bool result = false;
    bool failed = false;
    qint32 number = 0;
    QString description;
};

QString itemLine(const QString &number, bool bids, const QString &numBids, bool isDutch,
                 const QString &description, const QString &bidder, bool completed, const QString &highBid)
{
    return QStringList{number, QString::number(bids), numBids, QString::number(isDutch), description,
                       bidder, QString::number(completed), highBid}
        .join(u'|');
}

// The plain algorithm, written out search by search with no memory.
struct PlainParser
{
    QString text;
    QStringList items;
    QStringList keys;

    qsizetype find(const QString &needle, qsizetype from, Qt::CaseSensitivity cs = Qt::CaseSensitive) const
    {
        if (from < 0)
            throw AppError::platform(ErrorNumber::InvalidArgument);
        if (from >= text.size())
            return -1;
        return text.indexOf(needle, from, cs);
    }
    QString cut(qsizetype a, qsizetype b) const
    {
        if (a < 0 || b < a)
            throw AppError::platform(ErrorNumber::InvalidArgument);
        return text.mid(a, b - a);
    }
    static QString trimmed(QString s)
    {
        while (s.startsWith(u' '))
            s.remove(0, 1);
        while (s.endsWith(u' '))
            s.chop(1);
        return s;
    }

    bool run()
    {
        qsizetype p = find(QStringLiteral(";item="), 0);
        if (p < 0)
            return false;
        qsizetype fieldsLeft = text.size();
        while (p >= 0) {
            const qsizetype g = find(QStringLiteral("\">"), p);
            const QString number = cut(p + 6, g);
            last = number;
            const qsizetype e = find(QStringLiteral("</tr>"), g);
            const auto before = [e](qsizetype x) { return x >= 0 && e >= 0 && x < e; };
            const qsizetype s = find(QStringLiteral("(*)"), g);
            const bool completed = before(s) && text.mid(s, 13) != QStringLiteral("(*) indicates");
            const qsizetype b = find(QStringLiteral("<b>"), g);
            const bool bids = before(b);
            QString price;
            qsizetype priceEnd;
            if (bids) {
                const qsizetype t = find(QStringLiteral("</b>"), b);
                price = cut(b + 3, t);
                priceEnd = t;
            } else {
                const qsizetype r = find(QStringLiteral("\"right\""), g);
                const qsizetype c = find(QStringLiteral("</td>"), r + 8);
                price = cut(r + 8, c);
                priceEnd = c;
            }
            const qsizetype d = find(QStringLiteral("\">"), priceEnd) + 2;
            const qsizetype m = find(QStringLiteral("<img"), d);
            qsizetype titleEnd;
            if (m >= 0 && m - d >= 1 && m - d <= 119)
                titleEnd = m;
            else
                titleEnd = find(QStringLiteral("</td>"), d, Qt::CaseInsensitive);
            const QString description = cut(d, titleEnd);
            const qsizetype u = find(QStringLiteral("#dutch"), titleEnd);
            bool dutch = false;
            QString numBids;
            if (before(u)) {
                dutch = true;
                numBids = trimmed(cut(u + 10, find(QStringLiteral("Dutch"), u)));
            }
            QString bidder;
            if (bids) {
                const qsizetype q = find(QStringLiteral(";requested="), titleEnd);
                bidder = cut(q + 11, find(QStringLiteral("&amp"), q + 11));
            }
            if (bidder.size() > 50)
                bidder.clear();
            fieldsLeft -= number.size() + price.size() + description.size() + numBids.size() + bidder.size();
            if (fieldsLeft < 0)
                throw AppError::platform(ErrorNumber::Overflow);
            if (number.size() < 12 && !keys.contains(number.toCaseFolded())) {
                keys << number.toCaseFolded();
                items << itemLine(number, bids, numBids, dutch, description, bidder, completed, price);
            }
            p = find(QStringLiteral(";item="), e);
        }
        return true;
    }
    QString last;
};

Outcome plainOutcome(const QString &page)
{
    Outcome outcome;
    PlainParser parser{page, {}, {}, {}};
    try {
        try {
            outcome.result = parser.run();
        } catch (...) {
            passOnCaughtError("CItems", "LoadFromSellerPage", QStringLiteral(" Item: ") + parser.last);
        }
    } catch (const AppError &error) {
        outcome.failed = true;
        outcome.number = error.number();
        outcome.description = error.description();
    }
    outcome.items = parser.items;
    return outcome;
}

Outcome parsedOutcome(const QString &page)
{
    Outcome outcome;
    CItems items;
    try {
        outcome.result = items.LoadFromSellerPage(page);
    } catch (const AppError &error) {
        outcome.failed = true;
        outcome.number = error.number();
        outcome.description = error.description();
    }
    for (const CItem &item : items)
        outcome.items << itemLine(item.ItemNumber(), item.Bids(), item.NumBids(), item.IsDutch(),
                                  item.Description(), item.HighBidder(), item.Completed(), item.HighBid());
    return outcome;
}

// Pieces that make up rows, plus the markers alone so that broken rows,
// markers out of order and markers far from their rows all turn up.
const QStringList Pieces = {
    QStringLiteral(";item="), QStringLiteral("\">"), QStringLiteral("(*)"), QStringLiteral("(*) indicates"),
    QStringLiteral("<b>"), QStringLiteral("</b>"), QStringLiteral("\"right\""), QStringLiteral("</td>"),
    QStringLiteral("</TD>"), QStringLiteral("</Td>"), QStringLiteral("<img"), QStringLiteral("#dutch"),
    QStringLiteral("Dutch"), QStringLiteral(";requested="), QStringLiteral("&amp"), QStringLiteral("</tr>"),
    QStringLiteral("7"), QStringLiteral("AB"), QStringLiteral(" "), QStringLiteral("x"), QStringLiteral("\""),
    QStringLiteral("<"), QStringLiteral(">"), QStringLiteral("</"), QStringLiteral("&"),
};

QString randomPiece(QRandomGenerator &random)
{
    return Pieces.at(random.bounded(int(Pieces.size())));
}

QString filler(QRandomGenerator &random, int longest)
{
    return QString(random.bounded(longest + 1), QChar(u'a' + random.bounded(26)));
}

// A row in the expected order whose parts are each sometimes left out or
// replaced by a random marker.
QString roughRow(QRandomGenerator &random)
{
    const auto maybe = [&](const QString &part) {
        const int roll = random.bounded(20);
        if (roll == 0)
            return QString();
        if (roll == 1)
            return randomPiece(random);
        return part;
    };
    const QString number = QString::number(random.bounded(40)) + (random.bounded(8) == 0 ? QString(11, u'9') : QString())
                           + (random.bounded(6) == 0 ? QStringLiteral("ab") : QString());
    QString row = maybe(QStringLiteral("<tr><td><a href=\"v?x&amp;item=")) + number + maybe(QStringLiteral("\">"))
                  + filler(random, 5);
    if (random.bounded(4) == 0)
        row += random.bounded(2) ? QStringLiteral("(*)") : QStringLiteral("(*) indicates");
    row += maybe(QStringLiteral("</td>"));
    if (random.bounded(2))
        row += maybe(QStringLiteral("<td><b>")) + filler(random, 6) + maybe(QStringLiteral("</b>"))
               + maybe(QStringLiteral("</td>"));
    else
        row += maybe(QStringLiteral("<td align=\"right\">")) + filler(random, 6) + maybe(QStringLiteral("</td>"));
    row += maybe(QStringLiteral("<td w=\"4\">")) + filler(random, 130);
    if (random.bounded(3) == 0)
        row += QStringLiteral("<img") + filler(random, 3);
    row += random.bounded(2) ? maybe(QStringLiteral("</td>")) : maybe(QStringLiteral("</TD>"));
    if (random.bounded(4) == 0)
        row += maybe(QStringLiteral("#dutch\"> - ")) + QString(random.bounded(3), u' ') + QString::number(random.bounded(9))
               + QString(random.bounded(3), u' ') + maybe(QStringLiteral("Dutch"));
    if (random.bounded(2))
        row += maybe(QStringLiteral(";requested=")) + filler(random, 60) + maybe(QStringLiteral("&amp"));
    row += maybe(QStringLiteral("</tr>")) + filler(random, 3);
    return row;
}

void compareOn(const QString &page)
{
    const Outcome plain = plainOutcome(page);
    const Outcome parsed = parsedOutcome(page);
    if (plain.items != parsed.items || plain.result != parsed.result || plain.failed != parsed.failed
        || plain.number != parsed.number || plain.description != parsed.description) {
        qWarning().noquote() << "page:" << page;
        qWarning().noquote() << "plain:" << plain.items << plain.result << plain.description;
        qWarning().noquote() << "parsed:" << parsed.items << parsed.result << parsed.description;
    }
    QCOMPARE(parsed.failed, plain.failed);
    QCOMPARE(parsed.description, plain.description);
    QCOMPARE(parsed.number, plain.number);
    QCOMPARE(parsed.result, plain.result);
    QCOMPARE(parsed.items, plain.items);
}

} // namespace

class TestParserEquivalence : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void rememberedSearchesAgreeWithPlainOnes()
    {
        // Random texts over a small alphabet, needles of 1 to 12 characters
        // (the vector filter and its scalar tail), letter case ignored or
        // not, asked from positions in any order.
        QRandomGenerator random(99);
        const QString alphabet = QStringLiteral("aAbBkSs<>/\"\u00e9\u212a\u017f ");
        for (int round = 0; round < 400; ++round) {
            QString text;
            const int length = random.bounded(0, 300);
            for (int i = 0; i < length; ++i)
                text += alphabet.at(random.bounded(int(alphabet.size())));
            QString needle;
            const int needleLength = random.bounded(1, 13);
            for (int i = 0; i < needleLength; ++i)
                needle += alphabet.at(random.bounded(int(alphabet.size())));
            // Often a needle cut from the text itself, so that it is found.
            if (length > 12 && random.bounded(2))
                needle = text.mid(random.bounded(length - needleLength), needleLength);
            const auto cs = random.bounded(2) ? Qt::CaseSensitive : Qt::CaseInsensitive;
            PageSearch search(text, needle, cs);
            qsizetype position = 0;
            for (int query = 0; query < 60; ++query) {
                switch (random.bounded(4)) {
                case 0: position = random.bounded(length + 3); break; // anywhere
                case 1: position = qMax<qsizetype>(0, position - random.bounded(3)); break; // just before
                default: position += random.bounded(6); break; // onwards
                }
                const qsizetype expected = PageSearch::plain(text, needle, position, cs);
                if (search.from(position) != expected) {
                    qWarning().noquote() << "text:" << text << "needle:" << needle << "cs:" << cs
                                         << "from:" << position;
                    QCOMPARE(PageSearch(text, needle, cs).from(position), expected);
                    QFAIL("remembered answer differs from the plain search");
                }
            }
        }
    }

    void searchFromANegativePositionIsAnInvalidCall()
    {
        PageSearch search(u"abc", u"b");
        try {
            search.from(-1);
            QFAIL("nothing raised");
        } catch (const AppError &error) {
            QCOMPARE(error.number(), ErrorNumber::InvalidArgument);
        }
    }

    void roughRowsGiveThePlainResults()
    {
        QRandomGenerator random(20261206);
        int failures = 0;
        int items = 0;
        for (int round = 0; round < 1500; ++round) {
            QString page = filler(random, 20);
            const int rows = random.bounded(1, 12);
            for (int row = 0; row < rows; ++row) {
                page += roughRow(random);
                if (random.bounded(5) == 0)
                    page += randomPiece(random);
            }
            compareOn(page);
            if (QTest::currentTestFailed())
                return;
            const Outcome plain = plainOutcome(page);
            failures += plain.failed;
            items += plain.items.size();
        }
        // The generator must produce both kinds of page to mean anything.
        QVERIFY(failures > 100);
        QVERIFY(items > 3000);
    }

    void markerSoupGivesThePlainResults()
    {
        QRandomGenerator random(7);
        for (int round = 0; round < 3000; ++round) {
            QString page;
            const int pieces = random.bounded(1, 60);
            for (int i = 0; i < pieces; ++i)
                page += random.bounded(3) ? randomPiece(random) : filler(random, 8);
            compareOn(page);
            if (QTest::currentTestFailed())
                return;
        }
    }

    void searchesThatReachFarAcrossRows()
    {
        // Rows whose bidder, price end or title end lie many rows later, so
        // that remembered answers are reused from far behind.
        QString page;
        for (int row = 0; row < 50; ++row)
            page += QStringLiteral("<tr>;item=%1\"><b>$%1</b>\">T%1").arg(row)
                    + (row % 7 == 6 ? QStringLiteral("</td>;requested=bid%1&amp").arg(row) : QString())
                    + QStringLiteral("</tr>\n");
        compareOn(page + QStringLiteral("</td>"));
        QString plainRows;
        for (int row = 0; row < 50; ++row)
            plainRows += QStringLiteral("<tr>;item=%1\">$%1</tr>").arg(row) + (row % 9 == 8 ? QStringLiteral("\"right\">x</td>\">t<img</TD>") : QString());
        compareOn(plainRows + QStringLiteral("</td>\">y</td>"));
    }

    void hostilePageGivesThePlainResults()
    {
        // The benchmark's hostile shape, small enough for the plain search:
        // bold prices, no "(*)" and no ";requested=" anywhere, so every row
        // sends those searches to the end of the page.
        QString page = QStringLiteral("<html><a href=\"x?a=1&amp;b=2\">top</a>\n");
        for (int row = 0; row < 400; ++row)
            page += QStringLiteral("<tr><td><a href=\"v?ViewItem&amp;item=%1\">%1</a></td>"
                                   "<td align=\"right\"><b>$%1.00</b></td><td width=\"45%\">Title %1</td></tr>\n")
                        .arg(1000 + row);
        compareOn(page);
        QCOMPARE(parsedOutcome(page).items.size(), 400);
    }
};

QTEST_GUILESS_MAIN(TestParserEquivalence)
#include "tst_parserequivalence.moc"
