// Seller listing pages: the input is one or more pages separated by form
// feeds, parsed one after the other into one list as the check cycle does.
//
// Invariants:
//  - every item added has an item number shorter than 12 characters that
//    follows ";item=" somewhere on its page, a high bidder of at most 50
//    characters, no high bidder without bids, no bid count unless Dutch;
//  - parsing never removes or changes an item already in the list, even when
//    it fails, and a failure is the program's own error naming the procedure;
//  - the result is True exactly when the page holds ";item=";
//  - the text a page adds to the list (every field of every new item) is
//    never longer than the page, whatever its rows look like, so that memory
//    and time stay linear in the page's size;
//  - a page parsed into the accumulated list adds exactly those items that
//    the same page parsed alone gives and that the list did not hold yet
//    (letter case ignored), in the same order, and fails the same way.

#include "FuzzSupport.h"

#include "auction/CItems.h"

#include <QCoreApplication>
#include <QSet>

#include <vector>

namespace {

struct Snapshot
{
    const CItem *item;
    QString number, numBids, description, highBidder, highBid;
    bool bids, dutch, completed;
};

std::vector<Snapshot> snapshot(const CItems &items)
{
    std::vector<Snapshot> out;
    for (const CItem &item : items)
        out.push_back({&item, item.ItemNumber(), item.NumBids(), item.Description(), item.HighBidder(),
                       item.HighBid(), item.Bids(), item.IsDutch(), item.Completed()});
    return out;
}

bool same(const Snapshot &a, const CItem &b)
{
    return a.number == b.ItemNumber() && a.numBids == b.NumBids() && a.description == b.Description()
        && a.highBidder == b.HighBidder() && a.highBid == b.HighBid() && a.bids == b.Bids()
        && a.dutch == b.IsDutch() && a.completed == b.Completed();
}

struct Outcome
{
    bool threw = false;
    bool result = false;
    QString error;
};

Outcome parse(CItems &items, const QString &page)
{
    Outcome outcome;
    try {
        outcome.result = items.LoadFromSellerPage(page);
    } catch (const AppError &error) {
        Fuzz::checkPassedOn(error, QStringLiteral("CItems.LoadFromSellerPage"));
        outcome.threw = true;
        outcome.error = error.description();
    }
    return outcome;
}

} // namespace

extern "C" int LLVMFuzzerInitialize(int *argc, char ***argv)
{
    static QCoreApplication app(*argc, *argv);
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    const QList<QString> pages = Fuzz::pieces(Fuzz::text(data, size));
    CItems accumulated;

    for (const QString &page : pages) {
        const std::vector<Snapshot> before = snapshot(accumulated);
        const Outcome outcome = parse(accumulated, page);

        // Nothing that was there before has moved or changed.
        const std::vector<Snapshot> after = snapshot(accumulated);
        FUZZ_CHECK(after.size() >= before.size(), QStringLiteral("items were removed"));
        for (size_t i = 0; i < before.size(); ++i) {
            FUZZ_CHECK(after[i].item == before[i].item, before[i].number);
            FUZZ_CHECK(same(before[i], *after[i].item), before[i].number);
        }

        if (!outcome.threw)
            FUZZ_CHECK(outcome.result == page.contains(QLatin1String(";item=")), page.left(200));

        qsizetype addedText = 0;
        for (size_t i = before.size(); i < after.size(); ++i) {
            const Snapshot &added = after[i];
            addedText += added.number.size() + added.numBids.size() + added.description.size()
                         + added.highBidder.size() + added.highBid.size();
            FUZZ_CHECK(added.number.size() < 12, added.number);
            FUZZ_CHECK(page.contains(QLatin1String(";item=") + added.number), added.number);
            FUZZ_CHECK(added.highBidder.size() <= 50, added.highBidder);
            FUZZ_CHECK(added.bids || added.highBidder.isEmpty(), added.highBidder);
            FUZZ_CHECK(added.dutch || added.numBids.isEmpty(), added.numBids);
            FUZZ_CHECK(!added.numBids.startsWith(u' ') && !added.numBids.endsWith(u' '), added.numBids);
        }
        FUZZ_CHECK(addedText <= page.size(),
                   QStringLiteral("%1 characters added by a page of %2").arg(addedText).arg(page.size()));
        FUZZ_CHECK(accumulated.Count() == qint32(after.size()), QStringLiteral("Count disagrees"));

        // The same page alone, into a new list.
        CItems alone;
        const Outcome single = parse(alone, page);
        FUZZ_CHECK(single.threw == outcome.threw, page.left(200));
        if (!single.threw)
            FUZZ_CHECK(single.result == outcome.result, page.left(200));
        QSet<QString> known;
        for (const Snapshot &old : before)
            known.insert(old.number.toCaseFolded());
        std::vector<const CItem *> expected;
        for (const CItem &item : alone) {
            if (!known.contains(item.ItemNumber().toCaseFolded()))
                expected.push_back(&item);
        }
        FUZZ_CHECK(expected.size() == after.size() - before.size(), QStringLiteral("added count"));
        for (size_t i = 0; i < expected.size(); ++i) {
            const Snapshot &added = after[before.size() + i];
            FUZZ_CHECK(same(added, *expected[i]), added.number);
        }
        // Every key occurs once.
        for (size_t i = 0; i < after.size(); ++i)
            FUZZ_CHECK(accumulated.find(after[i].number) == after[i].item, after[i].number);
    }
    return 0;
}
