// zorvane-inspect compare --seller ID --previous FILE... --current FILE...
//                         [--brief] [--one-message] [--no-new] [--no-changes]
//
// Parses two saved scans of a seller the way the check cycle parses pages,
// runs the program's own comparison with the given choices, and prints every
// alert it would send as one JSON line {"subject":...,"body":...} instead of
// sending it. The item links use the auction site's item host from the
// user's settings, as the program does.

#include "Commands.h"
#include "JsonLines.h"
#include "PageFiles.h"

#include "auction/CItems.h"
#include "base/UserSettings.h"
#include "base/AppError.h"
#include "monitor/ChangeAlerts.h"
#include "monitor/NetworkSettings.h"

#include <QSettings>

#include <qcoro/qcorotask.h>

namespace {

const QString Usage = QStringLiteral(
    "usage: zorvane-inspect compare --seller ID --previous FILE... --current FILE... "
    "[--brief] [--one-message] [--no-new] [--no-changes]");

struct CompareRequest
{
    QString seller;
    QStringList previousFiles;
    QStringList currentFiles;
    AlertSwitches switches;
};

std::optional<CompareRequest> parseArguments(const QStringList &args)
{
    CompareRequest request;
    QStringList *files = nullptr; // the list the bare words go to
    bool sellerGiven = false;
    for (qsizetype i = 0; i < args.size(); ++i) {
        const QString &word = args.at(i);
        if (word == QStringLiteral("--seller")) {
            if (i + 1 >= args.size() || sellerGiven)
                return std::nullopt;
            request.seller = args.at(++i);
            sellerGiven = true;
            files = nullptr;
        } else if (word == QStringLiteral("--previous")) {
            files = &request.previousFiles;
        } else if (word == QStringLiteral("--current")) {
            files = &request.currentFiles;
        } else if (word == QStringLiteral("--brief")) {
            request.switches.detailed = false;
        } else if (word == QStringLiteral("--one-message")) {
            request.switches.onePerSeller = true;
        } else if (word == QStringLiteral("--no-new")) {
            request.switches.newAuctionsWanted = false;
        } else if (word == QStringLiteral("--no-changes")) {
            request.switches.changesWanted = false;
        } else if (files && !word.startsWith(QStringLiteral("--"))) {
            files->append(word);
        } else {
            return std::nullopt;
        }
    }
    if (!sellerGiven || request.previousFiles.isEmpty() || request.currentFiles.isEmpty())
        return std::nullopt;
    return request;
}

// Parses a seller's pages into one list, page after page; an error that
// stops the parse is printed and ends the command.
bool loadScan(const QStringList &pages, CItems &items)
{
    try {
        for (const QString &page : pages)
            items.LoadFromSellerPage(page);
        return true;
    } catch (const AppError &error) {
        printLine(QStringLiteral("{\"error\":{\"number\":") + QString::number(error.number())
                  + QStringLiteral(",\"description\":") + jsonString(error.description()) + QStringLiteral("}}"));
        return false;
    }
}

} // namespace

int InspectCommands::runCompare(const QStringList &args)
{
    const std::optional<CompareRequest> request = parseArguments(args);
    if (!request)
        return usageError(Usage);
    const std::optional<QStringList> previousPages = readPageFiles(request->previousFiles, QStringLiteral("compare"));
    const std::optional<QStringList> currentPages =
        previousPages ? readPageFiles(request->currentFiles, QStringLiteral("compare")) : std::nullopt;
    if (!currentPages)
        return 2;

    CItems previous;
    CItems current;
    if (!loadScan(*previousPages, previous) || !loadScan(*currentPages, current))
        return 1;

    QSettings settings = userSettings();
    const NetworkSettings network = NetworkSettings::load(settings);
    const AlertSwitches switches = request->switches;
    const ChangeAlerts alerts(network.itemHost,
                              ChangeAlerts::Hooks{[switches] { return switches; },
                                                  [](const QString &) {},
                                                  []() -> QCoro::Task<> { co_return; },
                                                  [] { return false; },
                                                  [](QString body, QString sellerId) -> QCoro::Task<> {
                                                      printLine(QStringLiteral("{\"subject\":")
                                                                + jsonString(sellerId + QStringLiteral(" Auction Update"))
                                                                + QStringLiteral(",\"body\":") + jsonString(body) + u'}');
                                                      co_return;
                                                  }});
    QCoro::waitFor(alerts.CompareLists(previous, current, request->seller));
    return 0;
}
