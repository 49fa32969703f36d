// Other listing pages: the first byte chooses the kind of page (0, 1, 2 or
// another value), the rest is one or more pages separated by form feeds,
// parsed into one list.
//
// Invariants: items already in the list stay as they were, failure or not;
// each added item number follows the page's start marker ("item=" or
// "itemnum=") and is new to the list (letter case ignored); the result is
// True exactly when the page holds the start marker; a failure is the
// program's own error naming the procedure.

#include "FuzzSupport.h"

#include "auction/CItems.h"

#include <QCoreApplication>
#include <QSet>

#include <vector>

extern "C" int LLVMFuzzerInitialize(int *argc, char ***argv)
{
    static QCoreApplication app(*argc, *argv);
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    if (size == 0)
        return 0;
    static const qint16 sites[] = {0, 1, 2, -1};
    const qint16 iSite = data[0] < 4 ? sites[data[0]] : qint16(data[0]);
    const QLatin1String startMark = iSite != 0 ? QLatin1String("itemnum=") : QLatin1String("item=");

    CItems items;
    for (const QString &page : Fuzz::pieces(Fuzz::text(data + 1, size - 1))) {
        std::vector<std::pair<const CItem *, QString>> before;
        QSet<QString> known;
        for (const CItem &item : items) {
            before.emplace_back(&item, item.ItemNumber());
            known.insert(item.ItemNumber().toCaseFolded());
        }

        bool threw = false;
        bool result = false;
        try {
            result = items.LoadFromCategoryPage(page, iSite);
        } catch (const AppError &error) {
            Fuzz::checkPassedOn(error, QStringLiteral("CItems.LoadFromCategoryPage"));
            threw = true;
        }
        if (!threw)
            FUZZ_CHECK(result == page.contains(startMark), page.left(200));

        size_t i = 0;
        for (const CItem &item : items) {
            if (i < before.size()) {
                FUZZ_CHECK(&item == before[i].first && item.ItemNumber() == before[i].second,
                           before[i].second);
            } else {
                FUZZ_CHECK(page.contains(startMark + item.ItemNumber()), item.ItemNumber().left(200));
                FUZZ_CHECK(!known.contains(item.ItemNumber().toCaseFolded()), item.ItemNumber());
                known.insert(item.ItemNumber().toCaseFolded());
                FUZZ_CHECK(item.HighBidder().isEmpty() && item.Description().isEmpty()
                               && item.HighBid().isEmpty() && !item.IsDutch(),
                           item.ItemNumber());
            }
            ++i;
        }
        FUZZ_CHECK(i >= before.size(), QStringLiteral("items were removed"));
        FUZZ_CHECK(items.Count() == qint32(i), QStringLiteral("Count disagrees"));
    }
    return 0;
}
