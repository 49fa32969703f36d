#include "Headless.h"

#include "base/ActivityLog.h"
#include "base/Brand.h"
#include "base/ErrorPatterns.h"
#include "base/ErrorReporter.h"
#include "base/UserSettings.h"
#include "base/Version.h"
#include "config/CCustomBrand.h"
#include "monitor/CheckCycle.h"
#include "monitor/ListStore.h"
#include "mail/SmtpPasswordStore.h"
#include "monitor/MainSettings.h"
#include "start/TerminationSignals.h"
#include "update/CStartStatus.h"

#include <QCommandLineParser>
#include <QCoreApplication>
#include <QDateTime>

#include <cstdio>
#include <cstring>

namespace {

constexpr int ShortestInterval = 15;
constexpr int LongestInterval = 480;
constexpr int DefaultInterval = 60;

// The lines of one turn of the event loop go out together: a page or a mail
// session gives several, and each write is a trip to the kernel.
QByteArray pendingLines;

void flushLines()
{
    std::fwrite(pendingLines.constData(), 1, size_t(pendingLines.size()), stderr);
    std::fflush(stderr);
    pendingLines.clear();
}

void say(const QString &line)
{
    if (pendingLines.isEmpty())
        QMetaObject::invokeMethod(QCoreApplication::instance(), flushLines, Qt::QueuedConnection);
    pendingLines += (ActivityLog::timestamp() + QStringLiteral("  ") + line).toLocal8Bit() + '\n';
}

int usageError(const QString &text)
{
    const QByteArray bytes = ("zorvane: " + text + QStringLiteral("\nusage: zorvane --headless [--interval MINUTES]"))
                                 .toLocal8Bit()
        + '\n';
    std::fwrite(bytes.constData(), 1, size_t(bytes.size()), stderr);
    return 2;
}

// What Check Now would ask the user to fix first, in words for the log.
QString missingText(CheckCycle::MissingSetting missing, ListStore &lists)
{
    using List = ListStore::List;
    switch (missing) {
    case CheckCycle::MissingSetting::Recipients:
        return QStringLiteral("no alert recipients: add e-mail addresses (the window's Send To tab, or one a line "
                              "in ") + lists.readPath(List::Recipients) + u')';
    case CheckCycle::MissingSetting::Sellers:
        return QStringLiteral("no sellers to check: add eBay seller IDs (the window's eBay Accounts tab, or one a "
                              "line in ") + lists.readPath(List::Sellers) + u')';
    case CheckCycle::MissingSetting::MailServer:
        return QStringLiteral("no sender address or mail server: set them on the window's Send From tab");
    case CheckCycle::MissingSetting::None: break;
    }
    return {};
}

// The password from the keyring (unless the settings file keeps it), then
// the first check and the minute count.
QCoro::Task<> startChecking(CheckCycle &cycle)
{
    CheckCycle::Settings settings = cycle.settings();
    if (settings.smtp.signsIn() && settings.smtp.password.isEmpty()) {
        const SmtpPasswordStore::Result found = co_await SmtpPasswordStore().read(settings.smtp.user, settings.smtp.server);
        if (found.status == SmtpPasswordStore::Status::Ok) {
            settings.smtp.password = found.password;
            cycle.setSettings(settings);
        } else {
            say(QStringLiteral("No password for %1 at %2 in the keyring%3; the mail server may refuse the sign-in.")
                    .arg(settings.smtp.user, settings.smtp.server,
                         found.errorText.isEmpty() ? QString() : QStringLiteral(" (") + found.errorText + u')'));
        }
    }
    cycle.start();
    cycle.checkNow();
}

} // namespace

bool Headless::isRequested(int argc, char *argv[])
{
    for (int i = 1; i < argc; ++i) {
        if (std::strcmp(argv[i], "--headless") == 0)
            return true;
    }
    return false;
}

int Headless::Main(int argc, char *argv[])
{
    QCoreApplication application(argc, argv);
    QCoreApplication::setOrganizationName(QStringLiteral("Zorvane"));
    QCoreApplication::setApplicationName(QStringLiteral("Zorvane"));
    QCoreApplication::setApplicationVersion(Version::full());

    QCommandLineParser parser;
    parser.setApplicationDescription(QStringLiteral("Watches auction sellers and mails alerts, without a window."));
    parser.addHelpOption();
    parser.addVersionOption();
    parser.addOption({QStringLiteral("headless"), QStringLiteral("Run without a window.")});
    parser.addOption({QStringLiteral("interval"),
                      QStringLiteral("Minutes between checks, %1 to %2 (default %3).")
                          .arg(ShortestInterval)
                          .arg(LongestInterval)
                          .arg(DefaultInterval),
                      QStringLiteral("MINUTES")});
    if (!parser.parse(QCoreApplication::arguments()))
        return usageError(parser.errorText());
    if (parser.isSet(QStringLiteral("help")))
        parser.showHelp(0);
    if (parser.isSet(QStringLiteral("version")))
        parser.showVersion();
    if (!parser.positionalArguments().isEmpty())
        return usageError(QStringLiteral("unexpected argument \"%1\"").arg(parser.positionalArguments().first()));
    int interval = DefaultInterval;
    if (parser.isSet(QStringLiteral("interval"))) {
        bool isNumber = false;
        interval = parser.value(QStringLiteral("interval")).toInt(&isNumber);
        if (!isNumber || interval < ShortestInterval || interval > LongestInterval)
            return usageError(QStringLiteral("--interval takes the minutes between checks, %1 to %2, not \"%3\"")
                                  .arg(ShortestInterval)
                                  .arg(LongestInterval)
                                  .arg(parser.value(QStringLiteral("interval"))));
    }

    ActivityLog::install();
    // From here on a termination request ends the program the orderly way.
    TerminationSignals terminationSignals;
    QObject::connect(&terminationSignals, &TerminationSignals::received, &application, &QCoreApplication::quit);

    try {
        CCustomBrand().Initialize();
    } catch (...) {
        reportCaughtError("Start", "Main");
    }
    ErrorReporter::instance().Setup(QStringLiteral("Zorvane"), Version::majorMinor(), Brand::ErrorReportEmail);

    QSettings settings = userSettings();
    const NetworkSettings network = NetworkSettings::load(settings);
    const MainSettings main = MainSettings::load(settings);

    ListStore lists;
    for (const ListStore::List which : {ListStore::List::Recipients, ListStore::List::Sellers}) {
        try {
            lists.load(which);
        } catch (...) {
            reportCaughtError("FAlert", "OnFormLoad");
            say(QStringLiteral("Zorvane could not read all of ") + lists.readPath(which) + QStringLiteral(": ")
                + lists.problem(which) + QStringLiteral("; the entries before that line are used."));
        }
    }
    CStartStatus startStatus;
    CheckCycle cycle(lists.sellers(), lists.recipients());
    SmtpSettings smtp;
    smtp.server = main.smtpServer;
    smtp.port = main.smtpPort;
    smtp.security = main.smtpSecurity;
    smtp.user = main.smtpUser;
    smtp.password = main.storedPassword;
    smtp.trustedCertificatesFile = network.trustedCertificates;
    cycle.setSettings({main.fromAddress, smtp, network, main.outboxDays, main.rememberAuctions,
                       main.failureNoticeOnce});
    cycle.restoreScans();
    if (const auto missing = cycle.missingSetting(); missing != CheckCycle::MissingSetting::None) {
        say(QStringLiteral("Zorvane cannot check: ") + missingText(missing, lists) + u'.');
        flushLines();
        return 1;
    }
    const AlertSwitches switches{main.changesToAuctions, main.newAuctions, !main.briefMessages, main.oneMessage};
    cycle.setAlertSwitches([switches] { return switches; });
    cycle.setStartStatus(&startStatus);
    cycle.SetInterval(qint16(interval));
    // The sandbox and soak runs' shorter minute, as in the window.
    bool minuteSet = false;
    const int minuteMs = settings.value(QStringLiteral("Testing/MinuteMilliseconds")).toString().toInt(&minuteSet);
    if (minuteSet && minuteMs > 0)
        cycle.setMinuteLength(std::chrono::milliseconds(minuteMs));

    QObject::connect(&cycle, &CheckCycle::statusText, &cycle, say);
    QObject::connect(&cycle, &CheckCycle::mailError, &cycle, [](const QString &text) {
        say(QString(text).replace(QStringLiteral("\r\n"), QStringLiteral(" ")).trimmed());
    });
    QObject::connect(&cycle, &CheckCycle::errorReported, &cycle,
                     [](const QString &report) { ErrorReporter::instance().ReportError(report); });

    say(QStringLiteral("Zorvane %1 without a window: sellers %2, recipients %3, a check every %4 minutes.")
            .arg(Version::full())
            .arg(lists.sellers().Count())
            .arg(lists.recipients().Count())
            .arg(interval));
    startChecking(cycle);
    application.exec();
    cycle.stop();
    say(QStringLiteral("Zorvane has ended."));
    flushLines();
    return 0;
}
