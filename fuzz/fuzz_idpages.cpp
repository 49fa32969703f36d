// Bidder-list and ticket pages: the same input is read as both kinds of page,
// each into a new list, and compared with a plain model of each loader built
// on QString::indexOf (the loaders use their own remembered search). The
// lists must hold exactly the model's IDs; a failure must be the model's.

#include "IdListModel.h"

namespace {

// Adds the text from start to end; an end before the start (a missing
// marker) is the invalid-argument error.
bool addCut(IdListModel &model, const QString &page, qsizetype start, qsizetype end)
{
    if (start < 0 || end < start)
        model.error = ErrorNumber::InvalidArgument;
    return !model.error && model.add(page.mid(start, end - start));
}

IdListModel bidderModel(const QString &page)
{
    IdListModel model;
    const QString marker = QStringLiteral("Email&amp;requested=");
    const qsizetype s = page.indexOf(QLatin1String("40%"));
    for (qsizetype q = s < 0 ? -1 : page.indexOf(marker, s); q >= 0;) {
        const qsizetype a = page.indexOf(QLatin1String("&amp"), q + 22);
        if (!addCut(model, page, q + 22, a - 2))
            break;
        q = page.indexOf(marker, a - 2);
    }
    return model;
}

IdListModel ticketModel(const QString &page)
{
    IdListModel model;
    const QString marker = QStringLiteral("\"event\" value=");
    for (qsizetype p = page.indexOf(marker); p >= 0;) {
        const qsizetype close = page.indexOf(u'"', p + 15);
        if (!addCut(model, page, p + 15, close))
            break;
        p = page.indexOf(marker, close);
    }
    return model;
}

} // namespace

FUZZ_QT_APPLICATION

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    const QString page = Fuzz::text(data, size);
    CUserIDs bidders, tickets;
    compareWithModel(bidders, bidderModel(page), QStringLiteral("LoadFromBidderPage"),
                     [&page](CUserIDs &list) { list.LoadFromBidderPage(page); });
    compareWithModel(tickets, ticketModel(page), QStringLiteral("LoadFromTicketPage"),
                     [&page](CUserIDs &list) { list.LoadFromTicketPage(page); });
    return 0;
}
