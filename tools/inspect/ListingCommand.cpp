// zorvane-inspect listing [--category SITE] FILE...
//
// Parses saved listing pages into one item list, page after page, the way
// the check cycle parses a seller's pages, and prints one JSON line per item
// in list order, then the last page's result or the error that stopped the
// parse.

#include "Commands.h"
#include "JsonLines.h"
#include "PageFiles.h"

#include "auction/CItems.h"
#include "base/AppError.h"

#include <optional>

namespace {

// Keys in the item's own field order, which a QJsonObject would sort.
QString itemLine(const CItem &item)
{
    return QStringLiteral("{\"ItemNumber\":") + jsonString(item.ItemNumber())
           + QStringLiteral(",\"Bids\":") + jsonBool(item.Bids())
           + QStringLiteral(",\"NumBids\":") + jsonString(item.NumBids())
           + QStringLiteral(",\"IsDutch\":") + jsonBool(item.IsDutch())
           + QStringLiteral(",\"Description\":") + jsonString(item.Description())
           + QStringLiteral(",\"HighBidder\":") + jsonString(item.HighBidder())
           + QStringLiteral(",\"Completed\":") + jsonBool(item.Completed())
           + QStringLiteral(",\"HighBid\":") + jsonString(item.HighBid()) + u'}';
}

} // namespace

int InspectCommands::runListing(const QStringList &args)
{
    const QString usage = QStringLiteral("usage: zorvane-inspect listing [--category SITE] FILE...");
    QStringList files;
    std::optional<qint16> site;
    for (qsizetype i = 0; i < args.size(); ++i) {
        if (args.at(i) == QStringLiteral("--category")) {
            if (i + 1 >= args.size() || site)
                return usageError(usage);
            bool ok = false;
            const int value = args.at(++i).toInt(&ok);
            if (!ok || value < -32768 || value > 32767)
                return usageError(QStringLiteral("listing: --category needs a site number from -32768 to 32767"));
            site = qint16(value);
        } else {
            files << args.at(i);
        }
    }
    if (files.isEmpty())
        return usageError(usage);

    // Read every page first, so that an unreadable file prints no items.
    const std::optional<QStringList> pages = readPageFiles(files, QStringLiteral("listing"));
    if (!pages)
        return 2;

    CItems items;
    bool result = false;
    std::optional<AppError> failure;
    try {
        for (const QString &page : *pages)
            result = site ? items.LoadFromCategoryPage(page, *site) : items.LoadFromSellerPage(page);
    } catch (const AppError &error) {
        failure = error;
    }

    for (const CItem &item : items)
        printLine(itemLine(item));
    if (failure) {
        printLine(QStringLiteral("{\"error\":{\"number\":") + QString::number(failure->number())
                  + QStringLiteral(",\"description\":") + jsonString(failure->description()) + QStringLiteral("}}"));
        return 1;
    }
    printLine(QStringLiteral("{\"result\":") + jsonBool(result) + u'}');
    return 0;
}
