// The built sandbox as scripts/sandbox-demo.sh runs it: the address lines it
// prints, listing pages the program reads and that change between checks,
// the maker's message at the first version check, mail from the program
// caught into a numbered file, and the end on SIGTERM.

#include "auction/CItems.h"
#include "auction/ListingSite.h"
#include "mail/CEmail.h"
#include "update/CStartStatus.h"
#include "web/CWebConnection.h"

#include "RecordingMessageBoxes.h"

#include <QFile>
#include <QProcess>
#include <QRegularExpression>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>

#include <csignal>

namespace {

constexpr int WaitMs = 20000;

} // namespace

class TestSandbox : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void servesWhatTheDemoNeeds()
    {
        QTemporaryDir mail;
        QProcess sandbox;
        QSignalSpy output(&sandbox, &QProcess::readyReadStandardOutput);
        sandbox.start(QStringLiteral(ZORVANE_SANDBOX_PATH),
                      {"--site-port", "0", "--smtp-port", "0", "--mail-dir", mail.path()});
        static const QRegularExpression addresses(QStringLiteral("^site: (http://127\\.0\\.0\\.1:\\d+/)\nsmtp: 127\\.0\\.0\\.1:(\\d+)$"),
                                                  QRegularExpression::MultilineOption);
        QString printed;
        QRegularExpressionMatch match;
        while (!(match = addresses.match(printed += QString::fromUtf8(sandbox.readAllStandardOutput()))).hasMatch())
            QVERIFY2(output.wait(WaitMs), qPrintable(printed));
        const QString site = match.captured(1);

        // Two checks of a seller: pages the program takes as whole, with
        // auctions and more pages, and something changed in between.
        CWebConnection connection;
        QSignalSpy pages(&connection, &CWebConnection::ResponseCompleted);
        for (int check = 1; check <= 2; ++check) {
            connection.GetWebPageAsynch(site + ListingSite::pagePath(QStringLiteral("gadget-garage"), 1));
            QVERIFY(pages.wait(WaitMs));
            const QString page = pages.last().at(0).toString();
            QVERIFY2(ListingSite::isWhole(page) && ListingSite::hasNextPage(page), qPrintable(page.left(500)));
            CItems items;
            items.LoadFromSellerPage(page);
            QVERIFY(items.Count() > 0);
        }
        QVERIFY(pages.at(0) != pages.at(1));

        // The demo closes the maker's message window.
        RecordingMessageBoxes boxes;
        CStartStatus status(site);
        status.CheckVersion();
        QVERIFY(QSignalSpy(status.WebConnection(), &CWebConnection::ResponseCompleted).wait(WaitMs));
        QCOMPARE(boxes.requests().size(), 1);
        QCOMPARE(boxes.requests().at(0).kind, MessageKind::MakerMessage);

        // The demo looks for the alerts' subject line in the caught files.
        CEmail email;
        QSignalSpy closed(&email, &CEmail::OnWinsockConnectionClosed);
        email.SendMail(QStringLiteral("127.0.0.1"), match.captured(2).toInt(), QStringLiteral("you@sandbox.test"),
                       QStringLiteral("zorvane@sandbox.test"), QStringLiteral("gadget-garage Auction Update"),
                       QStringLiteral("CHANGE: Vintage Pocket Ra . . .\r\n"));
        QVERIFY(closed.wait(WaitMs));
        QCOMPARE(email.result().outcome, SessionOutcome::Accepted);
        QFile caught(mail.filePath(QStringLiteral("0001.eml")));
        QVERIFY(caught.open(QIODevice::ReadOnly));
        QVERIFY(caught.readAll().contains("\r\nSubject: gadget-garage Auction Update\r\n"));

        QSignalSpy finished(&sandbox, &QProcess::finished);
        QCOMPARE(::kill(pid_t(sandbox.processId()), SIGTERM), 0);
        QVERIFY(finished.wait(WaitMs));
        QCOMPARE(sandbox.exitStatus(), QProcess::NormalExit);
        QCOMPARE(sandbox.exitCode(), 0);
    }
};

QTEST_MAIN(TestSandbox)
#include "tst_sandbox.moc"
