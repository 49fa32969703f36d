// Bidder-list and ticket pages: the same input is read as both kinds of page,
// each into a new list, and compared with a plain model of each loader built
// on QString::indexOf (the loaders use their own remembered search). The
// lists must hold exactly the model's IDs; a failure must be the model's.

#include "IdListModel.h"

#include <QCoreApplication>

namespace {

// "Cut from start to end": an end before the start is the invalid-argument error.
bool cut(const QString &page, qsizetype start, qsizetype end, QString &out)
{
    if (start < 0 || end < start)
        return false;
    out = page.mid(start, end - start);
    return true;
}

IdListModel bidderModel(const QString &page)
{
    IdListModel model;
    const QString marker = QStringLiteral("Email&amp;requested=");
    const qsizetype s = page.indexOf(QLatin1String("40%"));
    if (s < 0)
        return model;
    qsizetype q = page.indexOf(marker, s);
    while (q >= 0) {
        const qsizetype a = page.indexOf(QLatin1String("&amp"), q + 22);
        QString id;
        if (!cut(page, q + 22, a - 2, id)) {
            model.error = ErrorNumber::InvalidArgument;
            break;
        }
        if (!model.add(id))
            break;
        q = page.indexOf(marker, a - 2);
    }
    return model;
}

IdListModel ticketModel(const QString &page)
{
    IdListModel model;
    const QString marker = QStringLiteral("\"event\" value=");
    qsizetype p = page.indexOf(marker);
    while (p >= 0) {
        const qsizetype close = page.indexOf(u'"', p + 15);
        QString value;
        if (!cut(page, p + 15, close, value)) {
            model.error = ErrorNumber::InvalidArgument;
            break;
        }
        p = page.indexOf(marker, close);
        if (!model.add(value))
            break;
    }
    return model;
}

template <class Load>
void check(const QString &page, const IdListModel &model, const QString &operation, Load load)
{
    CUserIDs list;
    bool threw = false;
    QString error;
    try {
        load(list, page);
    } catch (const AppError &e) {
        Fuzz::checkPassedOn(e, QStringLiteral("CUserIDs.") + operation);
        threw = true;
        error = e.description();
    }
    compareWithModel(list, model, threw, error, operation);
}

} // namespace

extern "C" int LLVMFuzzerInitialize(int *argc, char ***argv)
{
    static QCoreApplication app(*argc, *argv);
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    const QString page = Fuzz::text(data, size);
    check(page, bidderModel(page), QStringLiteral("LoadFromBidderPage"),
          [](CUserIDs &list, const QString &p) { list.LoadFromBidderPage(p); });
    check(page, ticketModel(page), QStringLiteral("LoadFromTicketPage"),
          [](CUserIDs &list, const QString &p) { list.LoadFromTicketPage(p); });
    return 0;
}
