// Other listing pages: the first byte chooses the kind of page (0, 1, 2 or
// another value), the rest is one or more pages separated by form feeds,
// parsed into one list.
//
// Invariants: items already in the list stay as they were, failure or not;
// each added item number follows the page's start marker ("item=" or
// "itemnum=") and is new to the list (letter case ignored), with no fields
// but the number and whether it has bids; the result is True exactly when
// the page holds the start marker; a failure is the program's own error
// naming the procedure.

#include "FuzzSupport.h"

#include "auction/CItems.h"

#include <QSet>

FUZZ_QT_APPLICATION

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    if (size == 0)
        return 0;
    const qint16 iSite = data[0] < 3 ? qint16(data[0]) : data[0] == 3 ? qint16(-1) : qint16(data[0]);
    const QLatin1String startMark = iSite != 0 ? QLatin1String("itemnum=") : QLatin1String("item=");

    CItems items;
    for (const QString &page : Fuzz::text(data + 1, size - 1).split(u'\f')) {
        QList<std::pair<const CItem *, QString>> before;
        QSet<QString> known;
        for (const CItem &item : items) {
            before.append({&item, item.ItemNumber()});
            known.insert(item.ItemNumber().toCaseFolded());
        }
        try {
            const bool result = items.LoadFromCategoryPage(page, iSite);
            FUZZ_CHECK(result == page.contains(startMark), page.left(200));
        } catch (const AppError &error) {
            Fuzz::checkPassedOn(error, QStringLiteral("CItems.LoadFromCategoryPage"));
        }

        qsizetype i = 0;
        for (const CItem &item : items) {
            const QString number = item.ItemNumber();
            if (i++ < before.size()) {
                FUZZ_CHECK(&item == before[i - 1].first && number == before[i - 1].second, number);
                continue;
            }
            FUZZ_CHECK(page.contains(startMark + number) && !known.contains(number.toCaseFolded()), number.left(200));
            known.insert(number.toCaseFolded());
            FUZZ_CHECK(item.HighBidder().isEmpty() && item.Description().isEmpty() && item.HighBid().isEmpty()
                           && !item.IsDutch() && item.NumBids().isEmpty() && !item.Completed(),
                       number);
        }
        FUZZ_CHECK(i >= before.size() && items.Count() == qint32(i), QStringLiteral("items were removed"));
    }
    return 0;
}
