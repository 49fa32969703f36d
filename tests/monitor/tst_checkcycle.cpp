// The check cycle end to end: listing pages from a local HTTP server, alerts
// through a real SMTP server (aiosmtpd), the main window driven as a user
// would drive it.

#include "ListingPages.h"
#include "LocalHttpServer.h"
#include "SmtpServerProcess.h"
#include "UrlCatcher.h"
#include "WindowRig.h"

#include "dialogs/FOutbox.h"
#include "monitor/OutboxView.h"

#include <QJsonArray>
#include <QLineEdit>
#include <QPushButton>
#include <QSignalSpy>
#include <QTableWidget>
#include <QTabWidget>
#include <QTcpServer>
#include <QTest>

namespace {

using ListingPages::Auction;

QByteArray listingPage(const QList<Auction> &auctions, bool hasNextPage)
{
    return ListingPages::page(auctions, hasNextPage);
}

QString listingPath(const QString &seller, int page)
{
    return ListingPages::path(seller, page);
}

const QString WelcomeBody = QStringLiteral(
    "Welcome to Zorvane.  \r\n\r\nThe auctions of the sellers you have chosen to watch have been scanned "
    "and loaded into memory, and the program will continue to monitor them on a periodic basis to look "
    "for changes.  When it finds a change in the high bid of any item, it will send the details to this "
    "email address.  Receipt of this message means that everything is working fine.");

} // namespace

class TestCheckCycle : public QObject
{
    Q_OBJECT

private:
    std::unique_ptr<WindowRig> m_rig;
    std::unique_ptr<LocalHttpServer> m_site;
    std::unique_ptr<SmtpServerProcess> m_smtp;

    FAlert &load(const QByteArray &sellers = "seller1\r\nseller2\r\n",
                 const QByteArray &recipients = "a@example.com\r\nb@example.com\r\n")
    {
        return m_rig->load(sellers, recipients);
    }

    // Presses Check Now and waits for the cycle to end.
    void checkNow() { QVERIFY(m_rig->checkNow(30000)); }

    // The body as the program passed it: the line end before the final
    // "." belongs to the terminator.
    QString body(int n) const
    {
        QByteArray message = m_smtp->message(n);
        if (message.endsWith("\r\n"))
            message.chop(2);
        return QString::fromLatin1(message.mid(message.indexOf("\r\n\r\n") + 4));
    }

    QString subject(int n) const
    {
        const QByteArray message = m_smtp->message(n);
        const qsizetype start = message.indexOf("Subject: ") + 9;
        return QString::fromLatin1(message.mid(start, message.indexOf("\r\n", start) - start));
    }

private Q_SLOTS:
    void init()
    {
        m_rig = std::make_unique<WindowRig>();
        m_site = std::make_unique<LocalHttpServer>();
        QVERIFY(m_site->isListening());
        m_smtp = std::make_unique<SmtpServerProcess>();
        QVERIFY2(m_smtp->start(), qPrintable(m_smtp->errorText()));
        m_rig->writeSettings(*m_site, m_smtp->port());
    }

    void cleanup()
    {
        m_rig.reset();
        m_smtp.reset();
        m_site.reset();
    }

    void firstCycleWelcomesThenChangesAreMailed()
    {
        m_site->route(listingPath(QStringLiteral("seller1"), 1),
                      LocalHttpServer::page(listingPage({{QStringLiteral("100"), QStringLiteral("$5.00"), {}}}, true)));
        m_site->route(listingPath(QStringLiteral("seller1"), 2),
                      LocalHttpServer::page(listingPage({{QStringLiteral("101"), QStringLiteral("$7.00"),
                                                          QStringLiteral("bob")}}, true)));
        m_site->route(listingPath(QStringLiteral("seller1"), 3),
                      LocalHttpServer::page(listingPage({{QStringLiteral("102"), QStringLiteral("$1.00"), {}}}, false)));
        m_site->route(listingPath(QStringLiteral("seller2"), 1),
                      LocalHttpServer::page(listingPage({{QStringLiteral("200"), QStringLiteral("$3.00"), {}}}, false)));
        FAlert &window = load();

        checkNow();
        QVERIFY(m_site->requestedPaths().contains(listingPath(QStringLiteral("seller1"), 3)));
        QVERIFY(!m_site->requestedPaths().contains(listingPath(QStringLiteral("seller1"), 4)));
        // The first scan is silent; the welcome goes to every recipient.
        QCOMPARE(m_smtp->messageCount(), 2);
        QCOMPARE(subject(1), QStringLiteral("Zorvane Auction Update"));
        QCOMPARE(body(1), WelcomeBody);
        QCOMPARE(m_smtp->envelope(1).value(QStringLiteral("rcpt_tos")).toArray().at(0).toString(),
                 QStringLiteral("a@example.com"));
        QCOMPARE(m_smtp->envelope(2).value(QStringLiteral("rcpt_tos")).toArray().at(0).toString(),
                 QStringLiteral("b@example.com"));
        QCOMPARE(window.StatusText(), QStringLiteral("Idle.  Minutes to next check: 60"));

        // A bid on 100, a new auction on page 3.
        m_site->route(listingPath(QStringLiteral("seller1"), 1),
                      LocalHttpServer::page(listingPage({{QStringLiteral("100"), QStringLiteral("$6.00"),
                                                          QStringLiteral("x")}}, true)));
        m_site->route(listingPath(QStringLiteral("seller1"), 3),
                      LocalHttpServer::page(listingPage({{QStringLiteral("102"), QStringLiteral("$1.00"), {}},
                                                         {QStringLiteral("103"), QStringLiteral("$9.00"), {},
                                                          QStringLiteral("Copper kettle")}}, false)));
        checkNow();
        QCOMPARE(m_smtp->messageCount(), 6); // two alerts, each to two recipients, no second welcome
        QCOMPARE(subject(3), QStringLiteral("seller1 Auction Update"));
        QCOMPARE(body(3), QStringLiteral("\r\n\r\nCHANGES TO ITEM# 100, Brass lamp\r\n"
                                         "http://items.example/aw-cgi/eBayISAPI.dll?ViewItem&item=100\r\n"
                                         "PREVIOUS PRICE: $5.00\r\nCURRENT PRICE: $6.00\r\nHigh Bidder: x"));
        QCOMPARE(body(4), body(3));
        QVERIFY(body(5).startsWith(QStringLiteral("\r\n\r\nNEW ITEM# 103, Copper kettle\r\n")));
        QVERIFY(m_rig->reporter.reports().isEmpty());
    }

    void aFailedPageIsReportedAndKeepsTheBaseline()
    {
        const QString page1 = listingPath(QStringLiteral("seller1"), 1);
        m_site->route(page1, LocalHttpServer::page(listingPage({{QStringLiteral("100"), QStringLiteral("$5.00"), {}}}, false)));
        m_site->route(listingPath(QStringLiteral("seller2"), 1),
                      LocalHttpServer::page(listingPage({{QStringLiteral("200"), QStringLiteral("$3.00"), {}}}, false)));
        load("seller1\r\nseller2\r\n", "a@example.com\r\n");
        checkNow();
        QCOMPARE(m_smtp->messageCount(), 1); // the welcome

        m_site->route(page1, LocalHttpServer::page("Service unavailable", 500));
        m_site->route(listingPath(QStringLiteral("seller2"), 1),
                      LocalHttpServer::page(listingPage({{QStringLiteral("200"), QStringLiteral("$4.00"),
                                                          QStringLiteral("amy")}}, false)));
        checkNow();
        QCOMPARE(m_smtp->messageCount(), 3);
        QCOMPARE(subject(2), QStringLiteral("Zorvane Auction Update"));
        QCOMPARE(body(2), QStringLiteral("There was an error retrieving the auctions of seller1.  This user's "
                                         "auctions will scanned again during the next check."));
        QVERIFY(body(3).contains(QStringLiteral("CHANGES TO ITEM# 200,"))); // the next seller goes on

        m_site->route(page1, LocalHttpServer::page(listingPage({{QStringLiteral("100"), QStringLiteral("$8.00"),
                                                                 QStringLiteral("zed")}}, false)));
        checkNow();
        QCOMPARE(m_smtp->messageCount(), 4);
        QVERIFY(body(4).contains(QStringLiteral("PREVIOUS PRICE: $5.00\r\nCURRENT PRICE: $8.00")));
    }

    void aScanStartsFromNothing()
    {
        // Page 1 of a failed scan must not leave its values behind for the
        // next scan to compare as if they were current.
        const QString page1 = listingPath(QStringLiteral("seller1"), 1);
        const QString page2 = listingPath(QStringLiteral("seller1"), 2);
        m_site->route(page1, LocalHttpServer::page(listingPage({{QStringLiteral("100"), QStringLiteral("$5.00"), {}}}, true)));
        m_site->route(page2, LocalHttpServer::page(listingPage({{QStringLiteral("101"), QStringLiteral("$1.00"), {}}}, false)));
        load("seller1\r\n", "a@example.com\r\n");
        checkNow();

        m_site->route(page1, LocalHttpServer::page(listingPage({{QStringLiteral("100"), QStringLiteral("$6.00"),
                                                                 QStringLiteral("amy")}}, true)));
        m_site->route(page2, LocalHttpServer::page("Service unavailable", 503));
        checkNow();
        QCOMPARE(m_smtp->messageCount(), 2); // the welcome, the failure notice

        m_site->route(page1, LocalHttpServer::page(listingPage({{QStringLiteral("100"), QStringLiteral("$7.00"),
                                                                 QStringLiteral("bob")}}, true)));
        m_site->route(page2, LocalHttpServer::page(listingPage({{QStringLiteral("101"), QStringLiteral("$1.00"), {}}}, false)));
        checkNow();
        QCOMPARE(m_smtp->messageCount(), 3);
        QVERIFY2(body(3).contains(QStringLiteral("PREVIOUS PRICE: $5.00\r\nCURRENT PRICE: $7.00\r\nHigh Bidder: bob")),
                 qPrintable(body(3)));
    }

    void anEmptyScanDoesNotMakeEveryAuctionNew()
    {
        const QString page1 = listingPath(QStringLiteral("seller1"), 1);
        const QByteArray full = listingPage({{QStringLiteral("100"), QStringLiteral("$5.00"), {}},
                                             {QStringLiteral("101"), QStringLiteral("$6.00"), {}}},
                                            false);
        m_site->route(page1, LocalHttpServer::page(full));
        load("seller1\r\n", "a@example.com\r\n");
        checkNow();
        QCOMPARE(m_smtp->messageCount(), 1);

        m_site->route(page1, LocalHttpServer::page(listingPage({}, false)));
        checkNow();
        m_site->route(page1, LocalHttpServer::page(full));
        checkNow();
        QCOMPARE(m_smtp->messageCount(), 1); // no flood of "NEW ITEM" alerts
    }

    void checkNowValidatesFirst()
    {
        FAlert &window = load("", "");
        auto *tabs = window.findChild<QTabWidget *>(QStringLiteral("SSTab1"));
        tabs->setCurrentIndex(3);
        window.OnCmdCheckClick();
        QCOMPARE(m_rig->boxes.requests().size(), 1);
        QCOMPARE(m_rig->boxes.requests().at(0).title, QStringLiteral("Please enter an email address"));
        QCOMPARE(m_rig->boxes.requests().at(0).text, QStringLiteral("Please enter at least one email address\r\nto receive alerts."));
        QCOMPARE(tabs->currentIndex(), 1);
        QVERIFY(!window.Cycle().isRunning());

        FAlert &second = load("", "a@example.com\r\n");
        tabs = second.findChild<QTabWidget *>(QStringLiteral("SSTab1"));
        second.OnCmdCheckClick();
        QCOMPARE(m_rig->boxes.requests().last().title, QStringLiteral("Please enter an eBay seller account"));
        QCOMPARE(tabs->currentIndex(), 0);

        FAlert &third = load("seller1\r\n", "a@example.com\r\n");
        tabs = third.findChild<QTabWidget *>(QStringLiteral("SSTab1"));
        third.findChild<QLineEdit *>(QStringLiteral("txtSMTP"))->setText(QStringLiteral("mail1"));
        third.OnCmdCheckClick();
        QCOMPARE(m_rig->boxes.requests().last().title, QStringLiteral("Please enter mail server information"));
        QCOMPARE(tabs->currentIndex(), 2);
        QVERIFY(!third.Cycle().isRunning());
        QVERIFY(m_site->requestedPaths().isEmpty());
    }

    void theMinuteTickStartsOneCycleAtATime()
    {
        // A slow page keeps the cycle busy while the minutes go on ticking.
        m_site->route(listingPath(QStringLiteral("seller1"), 1),
                      LocalHttpServer::drip(listingPage({{QStringLiteral("100"), QStringLiteral("$5.00"), {}}}, false),
                                            200, std::chrono::milliseconds(40)));
        FAlert &window = load("seller1\r\n", "a@example.com\r\n");
        QSignalSpy finished(&window.Cycle(), &CheckCycle::cycleFinished);
        window.Cycle().setMinuteLength(std::chrono::milliseconds(10));
        QTRY_VERIFY_WITH_TIMEOUT(window.Cycle().isRunning(), 10000); // 15 minutes is the shortest interval
        QVERIFY(window.Cycle().MinutesElapsed() >= 60); // the default interval of an hour
        window.OnCmdCheckClick();               // no second cycle either
        QVERIFY(finished.wait(30000));
        QCOMPARE(finished.size(), 1);
        QCOMPARE(m_site->requestedPaths().count(listingPath(QStringLiteral("seller1"), 1)), 1);
        QVERIFY(window.Cycle().MinutesElapsed() < 60); // counting again from zero
        window.Cycle().setMinuteLength(std::chrono::minutes(1));
    }

    void unloadingDuringACycleEndsCleanly()
    {
        const QString page1 = listingPath(QStringLiteral("seller1"), 1);
        m_site->route(page1, LocalHttpServer::stall());
        FAlert &window = load("seller1\r\n", "a@example.com\r\n");
        QSignalSpy requested(m_site.get(), &LocalHttpServer::requestReceived);
        window.OnCmdCheckClick();
        QVERIFY(requested.wait(10000));
        QVERIFY(window.Cycle().isRunning());

        QSignalSpy unloaded(&window, &FAlert::Unloaded);
        window.Unload();
        QCOMPARE(unloaded.size(), 1);
        QCOMPARE(TestFiles::read(m_rig->programFile(QStringLiteral("Accounts.txt"))), QByteArray("seller1\r\n"));
        QTest::qWait(200); // nothing left running may touch what is gone
        m_rig.reset();
        QTest::qWait(50);
    }

    void mailErrorsShowOneMessageWindowPerRun()
    {
        QTcpServer closed;
        QVERIFY(closed.listen(QHostAddress::LocalHost));
        const quint16 deadPort = closed.serverPort();
        closed.close();
        m_rig->writeSettings(*m_site, deadPort);
        m_site->route(listingPath(QStringLiteral("seller1"), 1),
                      LocalHttpServer::page(listingPage({{QStringLiteral("100"), QStringLiteral("$5.00"), {}}}, false)));
        load("seller1\r\n", "a@example.com\r\nb@example.com\r\n");
        checkNow();

        const auto messageWindows = &WindowRig::messageWindows;
        QCOMPARE(messageWindows().size(), 1);
        QCOMPARE(messageWindows().at(0)->Text(), QStringLiteral("eMail connection has closed in error.\r\n"
                                                                "eMail connection has closed in error."));
        messageWindows().at(0)->close();
        checkNow();
        QVERIFY(messageWindows().isEmpty());
    }

    void theUserSeesWhatWaitsAndSendsItWhenTheServerIsBack()
    {
        m_smtp->stop();
        m_site->route(listingPath(QStringLiteral("seller1"), 1),
                      LocalHttpServer::page(listingPage({{QStringLiteral("100"), QStringLiteral("$5.00"), {}}}, false)));
        FAlert &window = load("seller1\r\n", "a@example.com\r\nb@example.com\r\n");
        checkNow();
        QCOMPARE(window.StatusText(), QStringLiteral("2 alerts waiting to be sent.  Minutes to next check: 60"));
        QCOMPARE(window.TrayIcon().toolTip(), QStringLiteral("Zorvane\n2 alerts waiting to be sent"));

        window.findChild<QAction *>(QStringLiteral("mnuFileOutbox"))->trigger();
        FOutbox *outbox = window.outboxView().window();
        QVERIFY(outbox && outbox->isVisible());
        auto *table = outbox->findChild<QTableWidget *>(QStringLiteral("tblMessages"));
        QCOMPARE(table->rowCount(), 2);
        QCOMPARE(table->item(0, 1)->text(), QStringLiteral("a@example.com"));
        QCOMPARE(table->item(0, 2)->text(), QStringLiteral("Zorvane Auction Update"));
        QVERIFY(table->item(0, 3)->text().startsWith(QStringLiteral("Could not connect to 127.0.0.1 port ")));
        table->selectRow(0);
        outbox->findChild<QPushButton *>(QStringLiteral("cmdDiscard"))->click(); // the question is answered Yes
        QCOMPARE(m_rig->boxes.requests().last().text, QStringLiteral("Discard the selected alert?  It will not be sent."));
        QCOMPARE(table->rowCount(), 1);

        QVERIFY(m_smtp->start(m_smtp->port()));
        QSignalSpy finished(&window.Cycle(), &CheckCycle::cycleFinished);
        outbox->findChild<QPushButton *>(QStringLiteral("cmdSendNow"))->click();
        QVERIFY(finished.wait(30000));
        QCOMPARE(m_smtp->messageCount(), 1);
        QCOMPARE(m_smtp->envelope(1).value(QStringLiteral("rcpt_tos")).toArray().at(0).toString(),
                 QStringLiteral("b@example.com"));
        QCOMPARE(table->rowCount(), 0);
        QCOMPARE(window.StatusText(), QStringLiteral("Idle.  Minutes to next check: 60"));
        QCOMPARE(window.TrayIcon().toolTip(), QStringLiteral("Zorvane"));

        UrlCatcher catcher;
        window.findChild<QAction *>(QStringLiteral("mnuHelpActivityLog"))->trigger();
        QCOMPARE(catcher.urls().size(), 1);
        QVERIFY(catcher.urls().at(0).toLocalFile().startsWith(m_rig->path(QStringLiteral("data/"))));
        QVERIFY(catcher.urls().at(0).toLocalFile().endsWith(QStringLiteral("/zorvane.log")));
        QVERIFY(m_rig->reporter.reports().isEmpty());
    }
};

QTEST_MAIN(TestCheckCycle)
#include "tst_checkcycle.moc"
