// Seller listing pages: the input is one or more pages separated by form
// feeds, parsed one after the other into one list as the check cycle does.
//
// Invariants:
//  - every item added has an item number shorter than 12 characters that
//    follows ";item=" somewhere on its page, a high bidder of at most 50
//    characters, no high bidder without bids, no bid count unless Dutch, and
//    no blank around the bid count;
//  - parsing never removes or changes an item already in the list, even when
//    it fails, and a failure is the program's own error naming the procedure;
//  - the result is True exactly when the page holds ";item=";
//  - the text a page adds to the list (every field of every new item) is
//    never longer than the page, whatever its rows look like, so that memory
//    and time stay linear in the page's size;
//  - a page parsed into the accumulated list adds exactly those items that
//    the same page parsed alone gives and that the list did not hold yet
//    (letter case ignored), in the same order, and fails the same way;
//  - the parser's remembered searches answer as the plain search does, for
//    its markers and for needles cut from the page, asked in any order.

#include "FuzzSupport.h"

#include "auction/CItems.h"
#include "auction/PageSearch.h"

#include <QSet>

namespace {

QString fields(const CItem &item)
{
    return QStringList{item.ItemNumber(), QString::number(item.Bids()), item.NumBids(), QString::number(item.IsDutch()),
                       item.Description(), item.HighBidder(), QString::number(item.Completed()), item.HighBid()}
        .join(u'|');
}

// The items' addresses and fields, in list order.
QList<std::pair<const CItem *, QString>> snapshot(const CItems &items)
{
    QList<std::pair<const CItem *, QString>> out;
    for (const CItem &item : items)
        out.append({&item, fields(item)});
    return out;
}

// The result, or the error's description after a failure.
QString parse(CItems &items, const QString &page)
{
    try {
        return items.LoadFromSellerPage(page) ? QStringLiteral("True") : QStringLiteral("False");
    } catch (const AppError &error) {
        Fuzz::checkPassedOn(error, QStringLiteral("CItems.LoadFromSellerPage"));
        return error.description();
    }
}

void checkSearches(const QString &page)
{
    QStringList needles{QStringLiteral(";item="), QStringLiteral("</td>"), QStringLiteral("(*) indicates")};
    for (qsizetype length = 1; length <= 12 && length <= page.size(); ++length)
        needles << page.mid(page.size() * length / 13, length);
    for (const QString &needle : needles) {
        for (const auto cs : {Qt::CaseSensitive, Qt::CaseInsensitive}) {
            PageSearch search(page, needle, cs);
            // Onwards, a little back, and from far behind.
            for (qsizetype step = 0, position = 0; step < 64; ++step) {
                position = step % 8 == 7 ? position / 3 : position + (step % 3 == 2 ? -1 : 1) * (step * 7 % 23);
                position = qBound<qsizetype>(0, position, page.size() + 1);
                FUZZ_CHECK(search.from(position) == PageSearch::plain(page, needle, position, cs), needle);
            }
        }
    }
}

} // namespace

FUZZ_QT_APPLICATION

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    CItems accumulated;
    for (const QString &page : Fuzz::text(data, size).split(u'\f')) {
        checkSearches(page);
        const auto before = snapshot(accumulated);
        const QString outcome = parse(accumulated, page);
        const auto after = snapshot(accumulated);
        FUZZ_CHECK(after.mid(0, before.size()) == before, QStringLiteral("items were removed or changed"));
        FUZZ_CHECK(accumulated.Count() == qint32(after.size()), QStringLiteral("Count disagrees"));
        if (outcome == QLatin1String("True") || outcome == QLatin1String("False"))
            FUZZ_CHECK((outcome == QLatin1String("True")) == page.contains(QLatin1String(";item=")), page.left(200));

        qsizetype addedText = 0;
        QStringList added;
        for (const auto &[item, text] : after.mid(before.size())) {
            added << text;
            addedText += item->ItemNumber().size() + item->NumBids().size() + item->Description().size()
                         + item->HighBidder().size() + item->HighBid().size();
            FUZZ_CHECK(item->ItemNumber().size() < 12 && page.contains(QLatin1String(";item=") + item->ItemNumber()), text);
            FUZZ_CHECK(item->HighBidder().size() <= 50 && (item->Bids() || item->HighBidder().isEmpty()), text);
            FUZZ_CHECK(item->IsDutch() || item->NumBids().isEmpty(), text);
            FUZZ_CHECK(!item->NumBids().startsWith(u' ') && !item->NumBids().endsWith(u' '), text);
            FUZZ_CHECK(accumulated.find(item->ItemNumber()) == item, text);
        }
        FUZZ_CHECK(addedText <= page.size(), QStringLiteral("%1 characters added by a page of %2").arg(addedText).arg(page.size()));

        // The same page alone, into a new list.
        CItems alone;
        FUZZ_CHECK(parse(alone, page) == outcome, page.left(200));
        QSet<QString> known;
        for (const auto &old : before)
            known.insert(old.first->ItemNumber().toCaseFolded());
        QStringList expected;
        for (const CItem &item : alone) {
            if (!known.contains(item.ItemNumber().toCaseFolded()))
                expected << fields(item);
        }
        FUZZ_CHECK(added == expected, QStringLiteral("added items differ"));
    }
    return 0;
}
