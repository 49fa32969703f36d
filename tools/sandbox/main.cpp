// zorvane-sandbox: a simulated auction site and a mail catcher on this
// computer, so that Zorvane can be tried without an auction-site account, a
// mail server or the internet. Point the program's listing and maker hosts
// at the printed site address and its SMTP server at the printed mail
// address, add a few of the listed sellers, press Check Now twice.

#include "HttpServer.h"
#include "MailCatcher.h"
#include "PageFolderSite.h"
#include "SandboxSite.h"
#include "start/TerminationSignals.h"

#include <QCommandLineParser>
#include <QCoreApplication>
#include <QSocketNotifier>

#include <cstdio>
#include <unistd.h>

namespace {

// One line on standard output, sent at once: tests and scripts read the
// addresses as soon as they are printed.
void say(const QString &line)
{
    const QByteArray bytes = line.toUtf8() + '\n';
    std::fwrite(bytes.constData(), 1, size_t(bytes.size()), stdout);
    std::fflush(stdout);
}

void complain(const QString &line)
{
    const QByteArray bytes = "zorvane-sandbox: " + line.toUtf8() + '\n';
    std::fwrite(bytes.constData(), 1, size_t(bytes.size()), stderr);
    std::fflush(stderr);
}

// Reads a port option: 0 to 65535, 0 meaning any free port.
bool portOption(const QCommandLineParser &parser, const QString &name, quint16 fallback, quint16 *port)
{
    if (!parser.isSet(name)) {
        *port = fallback;
        return true;
    }
    bool ok = false;
    const uint value = parser.value(name).toUInt(&ok);
    if (!ok || value > 65535) {
        complain(QStringLiteral("--%1 needs a port number from 0 to 65535, not \"%2\"").arg(name, parser.value(name)));
        return false;
    }
    *port = quint16(value);
    return true;
}

// Shown in request log lines: what the client sent, without control bytes.
QString logText(const QByteArray &bytes)
{
    QString text = QString::fromLatin1(bytes);
    for (QChar &c : text) {
        if (c.unicode() < 0x20 || c.unicode() >= 0x7f)
            c = u'?';
    }
    return text;
}

} // namespace

int main(int argc, char *argv[])
{
    QCoreApplication application(argc, argv);
    QCoreApplication::setApplicationName(QStringLiteral("zorvane-sandbox"));

    QCommandLineParser parser;
    parser.setApplicationDescription(QStringLiteral(
        "A simulated auction site and mail catcher on 127.0.0.1 for trying Zorvane.\n"
        "Sellers: ") + SiteModel::sellerIds().join(QStringLiteral(", ")) + QStringLiteral(
        " (any other ID has no auctions).\n"
        "Each request of a seller's first listing page moves that seller's auctions on by one step."));
    parser.addHelpOption();
    parser.addOption({QStringLiteral("site-port"), QStringLiteral("Port of the auction site (0: any free port)."),
                      QStringLiteral("N"), QStringLiteral("18080")});
    parser.addOption({QStringLiteral("smtp-port"), QStringLiteral("Port of the mail catcher (0: any free port)."),
                      QStringLiteral("N"), QStringLiteral("2525")});
    parser.addOption({QStringLiteral("mail-dir"), QStringLiteral("Folder for caught mail, created if missing."),
                      QStringLiteral("DIR"), QStringLiteral("sandbox-mail")});
    parser.addOption({QStringLiteral("seed"), QStringLiteral("Seed of the simulated auctions."), QStringLiteral("N"),
                      QStringLiteral("1")});
    parser.addOption({QStringLiteral("exit-on-stdin-close"), QStringLiteral("End when standard input closes.")});
    parser.addOption({QStringLiteral("pages"),
                      QStringLiteral("Instead of the simulated sellers, answer page N of seller S with the file "
                                     "DIR/S/N.html, read at each request (for benchmarks)."),
                      QStringLiteral("DIR")});
    parser.addOption({QStringLiteral("mail-body-lines"),
                      QStringLiteral("Body lines printed of each caught message (the file keeps all of it)."),
                      QStringLiteral("N"), QStringLiteral("200")});
    if (!parser.parse(QCoreApplication::arguments())) {
        complain(parser.errorText());
        return 2;
    }
    if (parser.isSet(QStringLiteral("help")))
        parser.showHelp(0);
    if (!parser.positionalArguments().isEmpty()) {
        complain(QStringLiteral("unexpected argument \"%1\"; see --help").arg(parser.positionalArguments().first()));
        return 2;
    }

    quint16 sitePort = 0;
    quint16 smtpPort = 0;
    if (!portOption(parser, QStringLiteral("site-port"), 18080, &sitePort)
        || !portOption(parser, QStringLiteral("smtp-port"), 2525, &smtpPort))
        return 2;
    bool seedOk = false;
    const quint32 seed = parser.value(QStringLiteral("seed")).toUInt(&seedOk);
    if (!seedOk) {
        complain(QStringLiteral("--seed needs a whole number from 0 to 4294967295, not \"%1\"")
                     .arg(parser.value(QStringLiteral("seed"))));
        return 2;
    }

    // Ctrl+C, kill and the end of the session all end the event loop, so the
    // servers close in order. Set up before the addresses are printed: whoever
    // reads them may stop the sandbox at once.
    TerminationSignals termination;
    QObject::connect(&termination, &TerminationSignals::received, &application, [](int) { QCoreApplication::quit(); });

    // For tests: when the parent's end of standard input goes away, so does
    // the sandbox, even if the parent could not stop it.
    std::unique_ptr<QSocketNotifier> stdinWatch;
    if (parser.isSet(QStringLiteral("exit-on-stdin-close"))) {
        stdinWatch = std::make_unique<QSocketNotifier>(STDIN_FILENO, QSocketNotifier::Read);
        QObject::connect(stdinWatch.get(), &QSocketNotifier::activated, &application, [&stdinWatch] {
            char buffer[4096];
            const ssize_t got = ::read(STDIN_FILENO, buffer, sizeof buffer);
            if (got == 0 || (got < 0 && errno != EINTR && errno != EAGAIN)) {
                stdinWatch->setEnabled(false);
                QCoreApplication::quit();
            }
        });
    }

    bool bodyLinesOk = false;
    const int bodyLines = parser.value(QStringLiteral("mail-body-lines")).toInt(&bodyLinesOk);
    if (!bodyLinesOk || bodyLines < 0) {
        complain(QStringLiteral("--mail-body-lines needs a whole number from 0 up, not \"%1\"")
                     .arg(parser.value(QStringLiteral("mail-body-lines"))));
        return 2;
    }

    MailCatcher catcher(parser.value(QStringLiteral("mail-dir")));
    if (!catcher.prepareFolder()) {
        complain(catcher.errorString());
        return 1;
    }

    SandboxSite site(seed);
    const QString pageFolder = parser.value(QStringLiteral("pages"));
    const PageFolderSite folderSite(pageFolder);
    HttpServer server([&](const HttpRequest &request) {
        return pageFolder.isEmpty() ? site.handle(request) : folderSite.handle(request);
    });
    if (!server.listen(sitePort)) {
        complain(QStringLiteral("the site cannot listen on 127.0.0.1:%1: %2").arg(sitePort).arg(server.errorString()));
        return 1;
    }
    if (!catcher.listen(smtpPort)) {
        complain(QStringLiteral("the mail catcher cannot listen on 127.0.0.1:%1: %2").arg(smtpPort).arg(catcher.errorString()));
        return 1;
    }

    QObject::connect(&server, &HttpServer::requestAnswered, &application,
                     [](const QByteArray &method, const QByteArray &target, int status) {
                         // One arg() call: a target's own "%2F" must not be taken
                         // for a place marker.
                         say(QStringLiteral("site: %1 %2 -> %3")
                                 .arg(logText(method), logText(target), QString::number(status)));
                     });
    QObject::connect(&catcher, &MailCatcher::messageCaught, &application, [bodyLines](const CaughtMessage &message) {
        for (const QString &line : message.describe(bodyLines))
            say(line);
    });
    QObject::connect(&catcher, &MailCatcher::storeFailed, &application,
                     [](const QString &reason) { complain(reason); });

    say(QStringLiteral("site: http://127.0.0.1:%1/").arg(server.port()));
    say(QStringLiteral("smtp: 127.0.0.1:%1").arg(catcher.port()));
    say(QStringLiteral("mail folder: %1").arg(catcher.folder()));
    if (pageFolder.isEmpty())
        say(QStringLiteral("sellers: %1").arg(SiteModel::sellerIds().join(QStringLiteral(", "))));
    else
        say(QStringLiteral("pages: %1").arg(pageFolder));
    const QString host = QStringLiteral("http://127.0.0.1:%1/").arg(server.port());
    say(QStringLiteral("to use it, give Zorvane the mail server 127.0.0.1 and these settings in section Network: "
                       "ListingHost=%1 ItemHost=%1 MakerHost=%1 SmtpPort=%2")
            .arg(host)
            .arg(catcher.port()));

    const int result = QCoreApplication::exec();
    server.close();
    catcher.close();
    say(QStringLiteral("sandbox: stopped"));
    return result;
}
