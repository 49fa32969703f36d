// Figures of the check cycle, measured in this process:
//   - CompareLists on 10,000 items (none changed; every one changed, with
//     the sending stubbed out), the event-loop turns included;
//   - resident memory per 10,000 items held in an item list, and per seller
//     holding two lists of 10,000 (previous and current scan) in a cycle;
//   - the longest event-loop stall during a real check cycle of the main
//     window over 100 listing pages (100 auctions each) from a local HTTP
//     server, mail to a local scripted SMTP server: a 1 ms timer in the
//     window's thread records the largest gap between its ticks.
//
//     QT_QPA_PLATFORM=offscreen bench_cycle [rounds]
//
// Times are wall-clock; the machine's other load shows in them.

#include "auction/CItems.h"
#include "auction/CUserIDs.h"
#include "config/CCustomBrand.h"
#include "base/ProgramFolder.h"
#include "monitor/ChangeAlerts.h"
#include "monitor/CheckCycle.h"
#include "monitor/FAlert.h"
#include "update/CStartStatus.h"

#include "ListingPages.h"
#include "LocalHttpServer.h"
#include "ScriptedSmtpServer.h"
#include "TestFiles.h"

#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QSettings>
#include <QTemporaryDir>
#include <QTimer>

#include <qcoro/qcorosignal.h>
#include <qcoro/qcorotask.h>

#include <algorithm>
#include <cstdio>
#include <functional>
#include <malloc.h>
#include <unistd.h>

namespace {

constexpr int Items = 10000;

// Items with realistic values; the price of every changeEvery-th item (of
// every one by default) shifted by priceShift dollars.
void fill(CItems &list, int count, int priceShift, int changeEvery = 1)
{
    for (int i = 0; i < count; ++i) {
        const QString number = QString::number(2043518000LL + i);
        const int shift = i % changeEvery == 0 ? priceShift : 0;
        list.Add(number, i % 3 != 0, QString::number(i % 13), i % 17 == 5,
                 QStringLiteral("Vintage brass ship's telescope no. %1 with leather case").arg(i),
                 i % 3 != 0 ? QStringLiteral("collector_%1").arg(i % 997) : QString(), false,
                 QStringLiteral("$%1.%2").arg(i % 500 + shift).arg(i % 100, 2, 10, QLatin1Char('0')));
    }
}

// Runs one comparison to its end on the event loop; seconds, and messages sent.
std::pair<double, int> compare(const CItems &previous, const CItems &current)
{
    QTimer turn;
    turn.setSingleShot(true);
    turn.setInterval(0);
    int sent = 0;
    ChangeAlerts alerts(QStringLiteral("http://items.example/"),
                        ChangeAlerts::Hooks{[] { return AlertSwitches{}; }, [](const QString &) {},
                                            [&turn]() -> QCoro::Task<> {
                                                turn.start();
                                                co_await qCoro(&turn, &QTimer::timeout);
                                            },
                                            [] { return false; },
                                            [&sent](QString, QString) -> QCoro::Task<> {
                                                ++sent;
                                                co_return;
                                            }});
    QElapsedTimer clock;
    clock.start();
    QCoro::waitFor(alerts.CompareLists(previous, current, QStringLiteral("seller")));
    return {clock.nsecsElapsed() / 1e9, sent};
}

long residentKb()
{
    long pages = 0;
    long resident = 0;
    if (FILE *statm = std::fopen("/proc/self/statm", "r")) {
        if (std::fscanf(statm, "%ld %ld", &pages, &resident) != 2)
            resident = 0;
        std::fclose(statm);
    }
    return resident * (sysconf(_SC_PAGESIZE) / 1024);
}

void benchCompare(int rounds)
{
    CItems previous;
    CItems same;
    CItems changed;
    fill(previous, Items, 0);
    fill(same, Items, 0);
    fill(changed, Items, 1);
    double best = 1e9;
    double bestChanged = 1e9;
    int sent = 0;
    for (int r = 0; r < rounds; ++r) {
        best = std::min(best, compare(previous, same).first);
        const auto [seconds, messages] = compare(previous, changed);
        bestChanged = std::min(bestChanged, seconds);
        sent = messages;
    }
    std::printf("CompareLists %d items, none changed:  %8.2f ms (best of %d)\n", Items, best * 1e3, rounds);
    std::printf("CompareLists %d items, all changed:   %8.2f ms (best of %d; %d alerts composed, sending stubbed)\n",
                Items, bestChanged * 1e3, rounds, sent);
}

void benchMemory()
{
    constexpr int Held = 100000;
    long before = residentKb();
    auto *list = new CItems;
    fill(*list, Held, 0);
    long after = residentKb();
    std::printf("resident memory: %ld kB for %d items = %.0f kB per 10,000 items\n", after - before, Held,
                double(after - before) / (Held / 10000));
    delete list;
    // The freed memory back to the system, or the next figure would reuse it.
    malloc_trim(0);

    // What a cycle holds per seller once his pages are parsed: the previous
    // scan and the current one, every text made anew (as a parse makes it),
    // one price in a hundred changed.
    constexpr int Sellers = 10;
    before = residentKb();
    auto *sellers = new CUserIDs;
    for (int s = 0; s < Sellers; ++s) {
        CUserID *seller = sellers->Add(QStringLiteral("seller%1").arg(s));
        fill(seller->OldItems(), Items, 0);
        fill(seller->Items(), Items, 0, 100);
    }
    after = residentKb();
    std::printf("resident memory: %ld kB for %d sellers' two lists of %d items = %.0f kB per two lists of %d\n",
                after - before, Sellers, Items, double(after - before) / Sellers, Items);
    delete sellers;
}

// The largest gap between ticks of a 1 ms timer while one cycle runs.
struct StallProbe
{
    QTimer timer;
    QElapsedTimer clock;
    qint64 last = 0;
    qint64 worst = 0;
    // What the window's status line said when the longest stall ended.
    std::function<QString()> statusOf;
    QString worstAt;
    void start()
    {
        timer.setTimerType(Qt::PreciseTimer);
        timer.setInterval(1);
        QObject::connect(&timer, &QTimer::timeout, [this] {
            const qint64 now = clock.nsecsElapsed();
            if (now - last > worst && statusOf)
                worstAt = statusOf();
            worst = std::max(worst, now - last);
            last = now;
        });
        clock.start();
        last = 0;
        worst = 0;
        timer.start();
    }
    double stop()
    {
        timer.stop();
        worst = std::max(worst, clock.nsecsElapsed() - last);
        return worst / 1e6;
    }
};

void benchCycle()
{
    QTemporaryDir folder;
    QDir(folder.path()).mkpath(QStringLiteral("program"));
    ProgramFolder::setPath(folder.filePath(QStringLiteral("program")));
    QSettings::setPath(QSettings::NativeFormat, QSettings::UserScope, folder.filePath(QStringLiteral("config")));
    // The outbox, in the run's own data folder.
    qputenv("XDG_DATA_HOME", folder.filePath(QStringLiteral("data")).toLocal8Bit());
    CCustomBrand().Initialize();

    LocalHttpServer site;
    ScriptedSmtpServer smtp;
    smtp.listen();
    const QString seller = QStringLiteral("bench-seller");
    constexpr int Pages = 100;
    auto route = [&](int priceShift) {
        for (int page = 1; page <= Pages; ++page) {
            QList<ListingPages::Auction> auctions;
            for (int i = 0; i < 100; ++i) {
                const int n = (page - 1) * 100 + i;
                // One auction in a hundred gets a new bid in the second round.
                const int cents = 500 + n + (n % 100 == 0 ? priceShift : 0);
                auctions.append({QString::number(3000000000LL + n),
                                 QStringLiteral("$%1.%2").arg(cents / 100).arg(cents % 100, 2, 10, QLatin1Char('0')),
                                 n % 2 ? QStringLiteral("bidder%1").arg(n % 50) : QString()});
            }
            site.route(ListingPages::path(seller, page), LocalHttpServer::page(ListingPages::page(auctions, page < Pages)));
        }
    };
    route(0);
    {
        QSettings settings(folder.filePath(QStringLiteral("config/Zorvane/Zorvane.conf")), QSettings::IniFormat);
        settings.setValue(QStringLiteral("Network/ListingHost"), site.url(QStringLiteral("/")));
        settings.setValue(QStringLiteral("Network/MakerHost"), site.url(QStringLiteral("/maker/")));
        settings.setValue(QStringLiteral("Network/SmtpPort"), QString::number(smtp.port()));
        settings.setValue(QStringLiteral("Main/FromAddress"), QStringLiteral("bench@example.com"));
        settings.setValue(QStringLiteral("Main/SMTP"), QStringLiteral("127.0.0.1"));
    }
    TestFiles::write(folder.filePath(QStringLiteral("program/Accounts.txt")), seller.toLatin1() + "\r\n");
    TestFiles::write(folder.filePath(QStringLiteral("program/EmailAddresses.txt")), "a@example.com\r\n");

    CStartStatus startStatus;
    FAlert window;
    window.Initialize(&startStatus);
    window.OnFormLoad();
    // The window's first paint is start-up work, not the cycle's.
    {
        QEventLoop settle;
        QTimer::singleShot(500, &settle, &QEventLoop::quit);
        settle.exec();
    }

    for (int round = 1; round <= 3; ++round) {
        if (round == 2)
            route(100);
        StallProbe probe;
        probe.statusOf = [&window] { return window.StatusText(); };
        QEventLoop loop;
        QObject::connect(&window.Cycle(), &CheckCycle::cycleFinished, &loop, &QEventLoop::quit);
        QElapsedTimer clock;
        probe.start();
        clock.start();
        QElapsedTimer sync;
        sync.start();
        window.OnCmdCheckClick();
        const double startMs = sync.nsecsElapsed() / 1e6;
        loop.exec();
        const double cycleMs = clock.nsecsElapsed() / 1e6;
        const double stallMs = probe.stop();
        std::printf("cycle %d over %d pages (%s): %8.1f ms, longest event-loop stall %6.2f ms (ending at \"%s\"); "
                    "start of the cycle up to its first wait %.2f ms\n",
                    round, Pages,
                    round == 1   ? "first scan, welcome mail"
                    : round == 2 ? "10,000 items compared, 100 alerts mailed"
                                 : "10,000 items compared, no change",
                    cycleMs,
                    stallMs, qPrintable(probe.worstAt), startMs);
    }
    window.Unload();
    ProgramFolder::setPath({});
}

} // namespace

int main(int argc, char *argv[])
{
    QApplication application(argc, argv);
    const int rounds = argc > 1 ? std::max(1, QString::fromLocal8Bit(argv[1]).toInt()) : 5;
    benchMemory();
    benchCompare(rounds);
    benchCycle();
    std::fflush(stdout);
    return 0;
}
