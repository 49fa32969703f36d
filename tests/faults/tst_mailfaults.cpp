// A mail server that misbehaves while the window sends its mail: the cycle
// ends, the user sees the mail error window, the scan is still taken in, the
// next recipient still gets a session, the message waits in the outbox
// unless the server refused the recipient or the message itself, and once
// the server behaves the next cycle sends what waited, then its own alert,
// whole. How CEmail reads each reply is tested with
// the class itself; here it is the window that must keep working.

#include "auction/CUserIDs.h"

#include "ScriptedSmtpServer.h"
#include "WindowRig.h"

namespace {

using Reply = ScriptedSmtpServer::Reply;

const QString Seller1 = QStringLiteral("seller1");

// A server that behaves: every step answered as it should be.
void behave(ScriptedSmtpServer &server)
{
    server.setGreeting(Reply{"220 scripted.test ready\r\n"});
    server.setReply(QStringLiteral("HELO"), Reply{"250 hello\r\n"});
    server.setReply(QStringLiteral("MAIL"), Reply{"250 OK\r\n"});
    server.setReply(QStringLiteral("RCPT"), Reply{"250 OK\r\n"});
    server.setReply(QStringLiteral("DATA"), Reply{"354 go ahead\r\n"});
    server.setReply(QStringLiteral("."), Reply{"250 queued\r\n"});
    server.setReply(QStringLiteral("QUIT"), Reply{"221 bye\r\n"});
}

// Sets up one misbehaviour: the step ("greeting" or a verb) and its reply.
void misbehave(ScriptedSmtpServer &server, const QString &step, const Reply &reply)
{
    if (step == QLatin1String("greeting"))
        server.setGreeting(reply);
    else
        server.setReply(step, reply);
}

} // namespace

class TestMailFaults : public QObject
{
    Q_OBJECT

    // Collects every message the server accepted, whole.
    QList<QByteArray> m_messages;

    void collect(ScriptedSmtpServer &server)
    {
        m_messages.clear();
        connect(&server, &ScriptedSmtpServer::messageReceived, this,
                [this, &server] { m_messages << server.messageData(); });
    }

private Q_SLOTS:
    void badServerLeavesTheWindowWorking_data()
    {
        QTest::addColumn<QString>("step");
        QTest::addColumn<QByteArray>("reply");
        QTest::addColumn<bool>("closeAfter");
        QTest::addColumn<QString>("told"); // the start of what the mail error window shows
        QTest::addColumn<bool>("kept");    // the welcome waits in the outbox (else it was refused for good)

        const QString refused = QStringLiteral("Server returned the following error:\r\n");
        const QString closed = QStringLiteral("eMail connection has closed in error.");
        QTest::newRow("never greets") << "greeting" << QByteArray() << false << closed << true;
        QTest::newRow("closes without a word") << "greeting" << QByteArray() << true << closed << true;
        QTest::newRow("garbage greeting") << "greeting" << QByteArray("\x01\xff\x7f garbage \x00 here\r\n", 20) << false
                                          << refused << true;
        QTest::newRow("1 MB without CR LF") << "greeting" << QByteArray(1024 * 1024, 'A') << false << refused << true;
        QTest::newRow("421 mid-session") << "RCPT" << QByteArray("421 4.3.2 shutting down\r\n") << true << refused << true;
        QTest::newRow("greeting refused") << "greeting" << QByteArray("554 no service\r\n") << false << refused << true;
        QTest::newRow("HELO refused") << "HELO" << QByteArray("501 bad hello\r\n") << false << refused << true;
        QTest::newRow("MAIL refused") << "MAIL" << QByteArray("550 sender refused\r\n") << false << refused << true;
        QTest::newRow("RCPT refused") << "RCPT" << QByteArray("550 no such user\r\n") << false << refused << false;
        QTest::newRow("DATA refused") << "DATA" << QByteArray("554 no data\r\n") << false << refused << false;
        QTest::newRow("message refused") << "." << QByteArray("552 too big\r\n") << false << refused << false;
        QTest::newRow("garbage after DATA") << "DATA" << QByteArray("\xfe\xfe\r\n") << false << refused << true;
    }

    void badServerLeavesTheWindowWorking()
    {
        QFETCH(QString, step);
        QFETCH(QByteArray, reply);
        QFETCH(bool, closeAfter);
        QFETCH(QString, told);
        QFETCH(bool, kept);

        WindowRig rig;
        LocalHttpServer site;
        ScriptedSmtpServer smtp;
        QVERIFY(smtp.listen());
        collect(smtp);
        rig.writeSettings(site, smtp.port());
        const QString page1 = ListingPages::path(Seller1, 1);
        site.route(page1, LocalHttpServer::page(sellerPage({{QStringLiteral("100"), QStringLiteral("$5.00"), {}}})));

        behave(smtp);
        misbehave(smtp, step, Reply{reply, closeAfter});
        const QByteArray sellers = "seller1\r\n";
        const QByteArray recipients = "a@example.com\r\nb@example.com\r\n";
        FAlert &window = rig.load(sellers, recipients);
        window.Cycle().setMailTimeout(std::chrono::milliseconds(500));

        // The first cycle's welcome fails for both recipients.
        QVERIFY(rig.checkNow());
        QCOMPARE(smtp.connectionCount(), 2); // the second recipient still got its session
        if (step != QLatin1String("."))
            QVERIFY(m_messages.isEmpty()); // (a refused message was sent, then refused)
        m_messages.clear();
        QCOMPARE(WindowRig::messageWindows().size(), 1);
        const QString shown = WindowRig::messageWindows().at(0)->Text();
        QVERIFY2(shown.startsWith(told), qPrintable(shown.left(200)));
        // A megabyte of nonsense is not shown whole.
        QVERIFY(shown.size() < 8 * 1024);
        QVERIFY(!window.Cycle().isRunning());
        QCOMPARE(window.StatusText().left(30), kept ? QStringLiteral("2 alerts waiting to be sent.  ")
                                                    : QStringLiteral("Idle.  Minutes to next check: "));

        // The server mends its ways; a bid arrives. The scan of the failed
        // cycle was taken in, so this is a change, not a first sight.
        behave(smtp);
        site.route(page1, LocalHttpServer::page(sellerPage({{QStringLiteral("100"), QStringLiteral("$6.00"),
                                                             QStringLiteral("bob")}})));
        QVERIFY(rig.checkNow());
        QCOMPARE(m_messages.size(), kept ? 4 : 2);
        if (kept) {
            QVERIFY(m_messages.takeFirst().contains("To: a@example.com\r\nSubject: Zorvane Auction Update\r\n"));
            QVERIFY(m_messages.takeFirst().contains("To: b@example.com\r\nSubject: Zorvane Auction Update\r\n"));
        }
        for (const QByteArray &message : std::as_const(m_messages)) {
            QVERIFY(message.contains("Subject: seller1 Auction Update\r\n"));
            QVERIFY(message.contains("PREVIOUS PRICE: $5.00\r\nCURRENT PRICE: $6.00\r\nHigh Bidder: bob"));
            QVERIFY(message.endsWith("\r\n.\r\n"));
        }
        QVERIFY(m_messages.at(0).contains("To: a@example.com\r\n"));
        QVERIFY(m_messages.at(1).contains("To: b@example.com\r\n"));

        QCOMPARE(window.Sellers().Count(), 1);
        QCOMPARE(window.Recipients().Count(), 2);
        QVERIFY2(rig.reporter.reports().isEmpty(), qPrintable(rig.reporter.reports().join(u'\n')));
        QVERIFY(rig.unload());
        QCOMPARE(TestFiles::read(rig.programFile(QStringLiteral("Accounts.txt"))), sellers);
        QCOMPARE(TestFiles::read(rig.programFile(QStringLiteral("EmailAddresses.txt"))), recipients);
    }

    void oneBadSessionDoesNotCostTheNextRecipientItsMail()
    {
        // The server drops the first recipient's session with 421 and then
        // recovers: the second recipient's copy of the alert goes out whole.
        WindowRig rig;
        LocalHttpServer site;
        ScriptedSmtpServer smtp;
        QVERIFY(smtp.listen());
        collect(smtp);
        rig.writeSettings(site, smtp.port());
        behave(smtp);
        const QString page1 = ListingPages::path(Seller1, 1);
        site.route(page1, LocalHttpServer::page(sellerPage({{QStringLiteral("100"), QStringLiteral("$5.00"), {}}})));
        FAlert &window = rig.load("seller1\r\n", "a@example.com\r\nb@example.com\r\n");
        window.Cycle().setMailTimeout(std::chrono::milliseconds(500));
        QVERIFY(rig.checkNow());
        QCOMPARE(m_messages.size(), 2); // the welcome, twice
        m_messages.clear();

        const int firstOfBatch = smtp.connectionCount() + 1;
        smtp.setReply(QStringLiteral("DATA"), Reply{"421 service closing\r\n", true});
        connect(&smtp, &ScriptedSmtpServer::clientConnected, this, [&smtp, firstOfBatch] {
            if (smtp.connectionCount() > firstOfBatch)
                behave(smtp);
        });
        site.route(page1, LocalHttpServer::page(sellerPage({{QStringLiteral("100"), QStringLiteral("$7.00"),
                                                             QStringLiteral("cy")}})));
        QVERIFY(rig.checkNow());
        QCOMPARE(m_messages.size(), 1);
        QVERIFY(m_messages.at(0).contains("To: b@example.com\r\n"));
        QVERIFY(m_messages.at(0).contains("CURRENT PRICE: $7.00"));
        QCOMPARE(WindowRig::messageWindows().size(), 1);
        QVERIFY(WindowRig::messageWindows().at(0)->Text().contains(QStringLiteral("421 service closing")));
    }
};

QTEST_MAIN(TestMailFaults)
#include "tst_mailfaults.moc"
