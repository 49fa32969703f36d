// The built zorvane-sandbox as a user or the end-to-end test runs it: its
// address lines, listing pages fetched over HTTP and read by the program's
// parser, the version service, mail sent by the program's SMTP session and
// caught into .eml files, its options and how it ends.

#include "SandboxProcess.h"
#include "SandboxScan.h"

#include "mail/CEmail.h"
#include "mail/FWinsock.h"

#include "ToolRun.h"

#include <QDir>
#include <QFile>
#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <QSignalSpy>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTemporaryDir>
#include <QTest>

#include <csignal>
#include <sys/types.h>

namespace {

constexpr int WaitMs = SandboxProcess::WaitMs;

struct Fetched
{
    int status = 0;   // 0: no answer in time
    QByteArray body;
};

Fetched fetch(QNetworkAccessManager &manager, const QString &url)
{
    QNetworkReply *reply = manager.get(QNetworkRequest(QUrl(url)));
    QSignalSpy finished(reply, &QNetworkReply::finished);
    Fetched result;
    if (reply->isFinished() || finished.wait(WaitMs)) {
        result.status = reply->attribute(QNetworkRequest::HttpStatusCodeAttribute).toInt();
        result.body = reply->readAll();
    } else {
        reply->abort();
    }
    reply->deleteLater();
    return result;
}

QByteArray readFile(const QString &path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

// A raw conversation with one of the sandbox's servers.
class RawClient
{
public:
    bool connectTo(quint16 port)
    {
        QSignalSpy connected(&m_socket, &QTcpSocket::connected);
        m_socket.connectToHost(QHostAddress::LocalHost, port);
        return connected.wait(WaitMs);
    }

    void send(const QByteArray &bytes) { m_socket.write(bytes); }

    // Everything received until the received text ends with CR LF.
    QByteArray reply()
    {
        QSignalSpy ready(&m_socket, &QTcpSocket::readyRead);
        while (!m_received.endsWith("\r\n")) {
            m_received += m_socket.readAll();
            if (m_received.endsWith("\r\n"))
                break;
            if (m_socket.state() != QAbstractSocket::ConnectedState || !ready.wait(WaitMs))
                return take();
        }
        return take();
    }

    // Everything until the server closes the connection.
    QByteArray untilClosed()
    {
        QSignalSpy closed(&m_socket, &QTcpSocket::disconnected);
        if (m_socket.state() == QAbstractSocket::ConnectedState && !closed.wait(WaitMs))
            return "(still open)";
        m_received += m_socket.readAll();
        return take();
    }

private:
    QByteArray take()
    {
        QByteArray out = m_received;
        m_received.clear();
        return out;
    }

    QTcpSocket m_socket;
    QByteArray m_received;
};

ToolRun runOnce(const QStringList &arguments)
{
    return runTool(QStringLiteral(ZORVANE_SANDBOX_PATH), arguments, WaitMs);
}

const QString To = QStringLiteral("alerts@example.test");
const QString From = QStringLiteral("zorvane@example.test");

} // namespace

class TestSandboxProcess : public QObject
{
    Q_OBJECT

    QTemporaryDir m_dir;

private Q_SLOTS:
    void listingPagesOverHttp()
    {
        SandboxProcess sandbox;
        QVERIFY(sandbox.start({QStringLiteral("--mail-dir"), m_dir.filePath(QStringLiteral("pages")),
                               QStringLiteral("--seed"), QStringLiteral("7")}));
        QNetworkAccessManager manager;
        const auto pageText = [&](const QString &target) {
            const Fetched page = fetch(manager, sandbox.siteUrl(target));
            return page.status == 200 ? QString::fromLatin1(page.body) : QString();
        };

        CItems first;
        const SandboxScan::Result scanned = SandboxScan::scan(pageText, QStringLiteral("gadget-garage"), first);
        QVERIFY(scanned.ok);
        QCOMPARE(scanned.markerPerPage, (QList<bool>{true, true, false}));
        QCOMPARE(first.Count(), 250);

        // The second check sees new auctions and changed ones.
        CItems second;
        QVERIFY(SandboxScan::scan(pageText, QStringLiteral("gadget-garage"), second).ok);
        int added = 0;
        int changed = 0;
        for (const CItem &item : second) {
            const CItem *old = first.find(item.ItemNumber());
            added += old == nullptr;
            changed += old && SandboxScan::changed(*old, item);
        }
        QVERIFY(added >= 1);
        QVERIFY(changed >= 1);

        // Every request is logged as it is answered.
        QVERIFY(!sandbox.waitForLine(QRegularExpression(
                    QStringLiteral("^site: GET /ws/eBayISAPI\\.dll\\?ViewListedItems&userid=gadget-garage&.*page=3.* -> 200$"))).isEmpty());
        QVERIFY(sandbox.stop());
    }

    void makersServicesOverHttp()
    {
        SandboxProcess sandbox;
        QVERIFY(sandbox.start({QStringLiteral("--mail-dir"), m_dir.filePath(QStringLiteral("maker"))}));
        QNetworkAccessManager manager;
        const QString version = sandbox.siteUrl(
            QStringLiteral("/version/versioncheck.asp?app=Zorvane&version=2.1.3&appclass=300000&language=English"));
        const Fetched first = fetch(manager, version);
        QCOMPARE(first.status, 200);
        QVERIFY(first.body.startsWith("<status>\r\n<newversion>0</newversion>\r\n"));
        QVERIFY(first.body.contains("<message>Welcome to the Zorvane sandbox"));
        const Fetched second = fetch(manager, version);
        QCOMPARE(second.status, 200);
        QVERIFY(!second.body.contains("<status>"));

        QCOMPARE(fetch(manager, sandbox.siteUrl(QStringLiteral("/zorvane/ZorvaneNewInstall.html"))).status, 200);
        QCOMPARE(fetch(manager, sandbox.siteUrl(QStringLiteral("/favicon.ico"))).status, 404);
        QVERIFY(sandbox.stop());
    }

    // --pages: a seller's page is its file, read at each request; a seller
    // ID never reaches outside the folder.
    void pagesFromAFolder()
    {
        const QDir dir(m_dir.filePath(QStringLiteral("folder")));
        QVERIFY(dir.mkpath(QStringLiteral("site/ann")));
        QFile page(dir.filePath(QStringLiteral("site/ann/2.html")));
        QFile outside(dir.filePath(QStringLiteral("2.html")));
        QVERIFY(page.open(QIODevice::WriteOnly) && page.write("ann's second page") > 0);
        QVERIFY(outside.open(QIODevice::WriteOnly) && outside.write("not to be served") > 0);
        page.close();
        outside.close();
        SandboxProcess sandbox;
        QVERIFY(sandbox.start({QStringLiteral("--mail-dir"), dir.filePath(QStringLiteral("mail")),
                               QStringLiteral("--pages"), dir.filePath(QStringLiteral("site"))}));
        QNetworkAccessManager manager;
        const auto listing = [&](const QString &seller, int number) {
            return fetch(manager, sandbox.siteUrl(QStringLiteral("/ws/eBayISAPI.dll?ViewListedItems&userid=") + seller
                                                  + QStringLiteral("&include=0&since=1&page=")
                                                  + QString::number(number) + QStringLiteral("&sort=2&rows=100")));
        };
        const Fetched served = listing(QStringLiteral("ann"), 2);
        QCOMPARE(served.status, 200);
        QCOMPARE(served.body, QByteArray("ann's second page"));
        QVERIFY(page.open(QIODevice::WriteOnly) && page.write("changed") > 0);
        page.close();
        QCOMPARE(listing(QStringLiteral("ann"), 2).body, QByteArray("changed"));
        QCOMPARE(listing(QStringLiteral("ann"), 3).status, 404);
        QCOMPARE(listing(QStringLiteral(".."), 2).status, 404);
        QCOMPARE(listing(QStringLiteral("ann%2F.."), 2).status, 404);
        QCOMPARE(fetch(manager, sandbox.siteUrl(QStringLiteral("/version/versioncheck.asp?app=Zorvane"))).status, 404);
        // The log shows the target as sent, escapes and all.
        QVERIFY(!sandbox.waitForLine(QRegularExpression(QStringLiteral("^site: GET .*userid=ann%2F\\.\\.&.* -> 404$")))
                     .isEmpty());
        QVERIFY(sandbox.stop());
    }

    void badRequestsGetAnAnswer_data()
    {
        QTest::addColumn<QByteArray>("request");
        QTest::addColumn<QByteArray>("statusLine");
        QTest::newRow("garbage") << QByteArray("HELLO\r\n\r\n") << QByteArray("HTTP/1.1 400 Bad Request");
        QTest::newRow("post") << QByteArray("POST /version/versioncheck.asp HTTP/1.1\r\nContent-Length: 3\r\n\r\nabc")
                              << QByteArray("HTTP/1.1 405 Method Not Allowed");
        QTest::newRow("bad escape") << QByteArray("GET /ws/eBayISAPI.dll?ViewListedItems&userid=%zz HTTP/1.1\r\n\r\n")
                                    << QByteArray("HTTP/1.1 400 Bad Request");
        QTest::newRow("huge head") << "GET / HTTP/1.1\r\nX-Filler: " + QByteArray(20000, 'a') + "\r\n\r\n"
                                   << QByteArray("HTTP/1.1 431 Request Header Fields Too Large");
        QTest::newRow("head") << QByteArray("HEAD /zorvane/ZorvaneNewInstall.html HTTP/1.0\r\n\r\n")
                              << QByteArray("HTTP/1.1 200 OK");
    }

    void badRequestsGetAnAnswer()
    {
        QFETCH(QByteArray, request);
        QFETCH(QByteArray, statusLine);
        SandboxProcess sandbox;
        QVERIFY(sandbox.start({QStringLiteral("--mail-dir"), m_dir.filePath(QStringLiteral("http"))}));
        RawClient client;
        QVERIFY(client.connectTo(sandbox.sitePort()));
        client.send(request);
        const QByteArray answer = client.untilClosed();
        QVERIFY2(answer.startsWith(statusLine + "\r\n"), answer.left(200).constData());
        if (request.startsWith("HEAD"))
            QVERIFY(answer.endsWith("\r\n\r\n"));   // the head alone
        // The site is still there for the next client.
        QNetworkAccessManager manager;
        QCOMPARE(fetch(manager, sandbox.siteUrl(SandboxScan::listingTarget(QStringLiteral("quiet-collector"), 1))).status, 200);
        QVERIFY(sandbox.stop());
    }

    // A message sent by the program's own SMTP session arrives in a file
    // byte for byte and is printed for the user.
    void catchesMailFromTheProgram()
    {
        const QString folder = m_dir.filePath(QStringLiteral("caught/deeper"));
        SandboxProcess sandbox;
        QVERIFY(sandbox.start({QStringLiteral("--mail-dir"), folder}));
        QVERIFY(QFileInfo(folder).isDir());

        const QString body = QStringLiteral("CHANGE: Vintage Pocket Ra . . .\r\nPRICE: $12.50\r\nBidder: retro.rita\r\n"
                                            ".a line with a dot\r\n\r\n");
        const QString subject = QStringLiteral("gadget-garage Auction Update");
        for (int n = 1; n <= 2; ++n) {
            CEmail email;
            email.frmWinsock()->SetTimerInterval(WaitMs);
            QSignalSpy closed(&email, &CEmail::OnWinsockConnectionClosed);
            QSignalSpy errors(&email, &CEmail::OnErrorMessage);
            email.SendMail(QStringLiteral("127.0.0.1"), sandbox.smtpPort(), To, From, subject, body);
            QVERIFY(closed.wait(WaitMs));
            QCOMPARE(errors.count(), 0);
        }

        const QByteArray expected =
            "From: <zorvane@example.test>\r\nTo: alerts@example.test\r\nSubject: gadget-garage Auction Update\r\n"
            "X-Mailer: Quillet v1.1\r\nMime-Version: 1.0\r\nContent-Type: text/plain;\tcharset=us-ascii\r\n\r\n"
            "CHANGE: Vintage Pocket Ra . . .\r\nPRICE: $12.50\r\nBidder: retro.rita\r\n.a line with a dot\r\n\r\n\r\n";
        QCOMPARE(readFile(QDir(folder).filePath(QStringLiteral("0001.eml"))), expected);
        QCOMPARE(readFile(QDir(folder).filePath(QStringLiteral("0002.eml"))), expected);

        const QString header = sandbox.waitForLine(QRegularExpression(QStringLiteral("^mail 0002\\.eml:")));
        QCOMPARE(header, QStringLiteral("mail 0002.eml: to alerts@example.test, from zorvane@example.test"));
        const QStringList lines = sandbox.lines();
        const qsizetype at = lines.indexOf(header);
        QCOMPARE(lines.mid(at + 1, 6),
                 (QStringList{QStringLiteral("  Subject: gadget-garage Auction Update"),
                              QStringLiteral("  | CHANGE: Vintage Pocket Ra . . ."), QStringLiteral("  | PRICE: $12.50"),
                              QStringLiteral("  | Bidder: retro.rita"), QStringLiteral("  | .a line with a dot"),
                              QStringLiteral("  | ")}));
        QVERIFY(sandbox.stop());
    }

    void numberingGoesOnAfterEarlierMail()
    {
        const QString folder = m_dir.filePath(QStringLiteral("earlier"));
        QVERIFY(QDir().mkpath(folder));
        QFile old(QDir(folder).filePath(QStringLiteral("0007.eml")));
        QVERIFY(old.open(QIODevice::WriteOnly));
        old.write("kept");
        old.close();

        SandboxProcess sandbox;
        QVERIFY(sandbox.start({QStringLiteral("--mail-dir"), folder}));
        RawClient client;
        QVERIFY(client.connectTo(sandbox.smtpPort()));
        QVERIFY(client.reply().startsWith("220 "));
        const QList<QPair<QByteArray, QByteArray>> dialogue{
            {"EHLO tester\r\n", "250 "}, {"MAIL FROM:<a@b.test>\r\n", "250 "}, {"RCPT TO:<c@d.test>\r\n", "250 "},
            {"DATA\r\n", "354 "}, {"Subject: x\r\n\r\nhello\r\n.\r\n", "250 "}, {"QUIT\r\n", "221 "}};
        for (const auto &[command, answer] : dialogue) {
            client.send(command);
            const QByteArray reply = client.reply();
            QVERIFY2(reply.startsWith(answer), reply.constData());
        }
        QCOMPARE(client.untilClosed(), QByteArray());
        QCOMPARE(readFile(QDir(folder).filePath(QStringLiteral("0007.eml"))), QByteArray("kept"));
        QCOMPARE(readFile(QDir(folder).filePath(QStringLiteral("0008.eml"))), QByteArray("Subject: x\r\n\r\nhello\r\n"));
        QVERIFY(sandbox.stop());
    }

    void overlongLineIsRefused()
    {
        SandboxProcess sandbox;
        QVERIFY(sandbox.start({QStringLiteral("--mail-dir"), m_dir.filePath(QStringLiteral("long"))}));
        RawClient client;
        QVERIFY(client.connectTo(sandbox.smtpPort()));
        QVERIFY(client.reply().startsWith("220 "));
        client.send("HELO " + QByteArray(10000, 'x') + "\r\n");
        QVERIFY(client.untilClosed().startsWith("552 "));
        QVERIFY(QDir(m_dir.filePath(QStringLiteral("long"))).entryList(QDir::Files).isEmpty());
        QVERIFY(sandbox.stop());
    }

    void endsOnTerminationSignal_data()
    {
        QTest::addColumn<int>("signalNumber");
        QTest::newRow("SIGTERM") << int(SIGTERM);
        QTest::newRow("SIGINT") << int(SIGINT);
    }

    void endsOnTerminationSignal()
    {
        QFETCH(int, signalNumber);
        SandboxProcess sandbox;
        QVERIFY(sandbox.start({QStringLiteral("--mail-dir"), m_dir.filePath(QStringLiteral("term"))}));
        QCOMPARE(::kill(pid_t(sandbox.process().processId()), signalNumber), 0);
        QVERIFY(sandbox.waitForExit());
        QCOMPARE(sandbox.process().exitStatus(), QProcess::NormalExit);
        QCOMPARE(sandbox.process().exitCode(), 0);
        QCOMPARE(sandbox.lines().last(), QStringLiteral("sandbox: stopped"));
    }

    void badOptionsAreRefused_data()
    {
        QTest::addColumn<QStringList>("arguments");
        QTest::addColumn<int>("exitCode");
        QTest::addColumn<QByteArray>("complaint");
        QTest::newRow("port not a number") << QStringList{QStringLiteral("--site-port"), QStringLiteral("http")} << 2
                                           << QByteArray("--site-port");
        QTest::newRow("port too large") << QStringList{QStringLiteral("--smtp-port"), QStringLiteral("70000")} << 2
                                        << QByteArray("--smtp-port");
        QTest::newRow("negative seed") << QStringList{QStringLiteral("--seed"), QStringLiteral("-4")} << 2
                                       << QByteArray("--seed");
        QTest::newRow("unknown option") << QStringList{QStringLiteral("--colour")} << 2 << QByteArray("colour");
        QTest::newRow("stray argument") << QStringList{QStringLiteral("now")} << 2 << QByteArray("now");
        QTest::newRow("mail folder is a file")
            << QStringList{QStringLiteral("--site-port"), QStringLiteral("0"), QStringLiteral("--smtp-port"),
                           QStringLiteral("0"), QStringLiteral("--mail-dir"), QStringLiteral(ZORVANE_SANDBOX_PATH)}
            << 1 << QByteArray("mail folder");
    }

    void badOptionsAreRefused()
    {
        QFETCH(QStringList, arguments);
        QFETCH(int, exitCode);
        QFETCH(QByteArray, complaint);
        const ToolRun run = runOnce(arguments);
        QCOMPARE(run.exitCode, exitCode);
        QVERIFY2(run.err.contains(complaint), run.err.constData());
        QVERIFY(!run.out.contains("site: http"));
    }

    void busyPortIsReported()
    {
        QTcpServer taken;
        QVERIFY(taken.listen(QHostAddress::LocalHost, 0));
        const ToolRun run = runOnce({QStringLiteral("--site-port"), QString::number(taken.serverPort()),
                                     QStringLiteral("--smtp-port"), QStringLiteral("0"), QStringLiteral("--mail-dir"),
                                     m_dir.filePath(QStringLiteral("busy"))});
        QCOMPARE(run.exitCode, 1);
        QVERIFY2(run.err.contains(QByteArray::number(taken.serverPort())), run.err.constData());
    }

    void helpNamesTheOptionsAndSellers()
    {
        const ToolRun run = runOnce({QStringLiteral("--help")});
        QCOMPARE(run.exitCode, 0);
        for (const char *word : {"--site-port", "--smtp-port", "--mail-dir", "--seed", "--exit-on-stdin-close", "gadget-garage"})
            QVERIFY2(run.out.contains(word), word);
    }
};

QTEST_GUILESS_MAIN(TestSandboxProcess)
#include "tst_sandboxprocess.moc"
