// The check cycle and its outbox against real peers: a mail server taken
// away for two cycles and brought back after a restart, a recipient the
// server refuses, expiry on a moved clock, a full disk; the tray notice's
// rule and the activity log's files.

#include "auction/CUserIDs.h"
#include "base/ActivityLog.h"
#include "monitor/CheckCycle.h"
#include "monitor/TrayNotice.h"

#include "FileSizeLimit.h"
#include "ListingPages.h"
#include "LocalHttpServer.h"
#include "SmtpServerProcess.h"
#include "TestFiles.h"

#include <QDir>
#include <QFileInfo>
#include <QJsonArray>
#include <QRegularExpression>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>

class TestOutboxCycle : public QObject
{
    Q_OBJECT

    QTemporaryDir m_logFolder;
    std::unique_ptr<QTemporaryDir> m_folder;
    std::unique_ptr<LocalHttpServer> m_site;
    std::unique_ptr<SmtpServerProcess> m_smtp;
    std::unique_ptr<CUserIDs> m_sellers;
    std::unique_ptr<CUserIDs> m_recipients;
    std::unique_ptr<CheckCycle> m_cycle;
    QDateTime m_now;
    int m_outboxDays = 3;
    QStringList m_status;
    QStringList m_reports;
    int m_sessions = 0;

    QString logPath() const { return m_logFolder.filePath(QStringLiteral("zorvane.log")); }
    QString log() const { return QString::fromUtf8(TestFiles::read(logPath())); }

    // The cycle as a start of the program makes it, over the same lists
    // and the same outbox folder.
    void startProgram()
    {
        m_cycle = std::make_unique<CheckCycle>(*m_sellers, *m_recipients);
        m_cycle->setOutbox(m_folder->filePath(QStringLiteral("outbox")), [this] { return m_now; });
        CheckCycle::Settings settings;
        settings.sender = QStringLiteral("zorvane@example.com");
        settings.smtp.server = QStringLiteral("127.0.0.1");
        settings.smtp.port = m_smtp->port();
        settings.network.listingHost = m_site->url(QStringLiteral("/"));
        settings.network.itemHost = QStringLiteral("http://items.example/");
        settings.outboxDays = m_outboxDays;
        m_cycle->setSettings(settings);
        connect(m_cycle.get(), &CheckCycle::statusText, this, [this](const QString &text) { m_status << text; });
        connect(m_cycle.get(), &CheckCycle::errorReported, this, [this](const QString &text) { m_reports << text; });
        connect(m_cycle.get(), &CheckCycle::deliveryEnded, this, [this] { ++m_sessions; });
    }

    bool check()
    {
        QSignalSpy finished(m_cycle.get(), &CheckCycle::cycleFinished);
        m_cycle->checkNow();
        return finished.wait(30000);
    }

    // seller1's one auction at this price.
    void offer(const QString &price, const QString &bidder = {})
    {
        m_site->route(ListingPages::path(QStringLiteral("seller1"), 1),
                      LocalHttpServer::page(ListingPages::page({{QStringLiteral("100"), price, bidder}}, false)));
    }

    // What the server took, in order: recipient and the alert's price, or
    // "welcome".
    QStringList delivered() const
    {
        QStringList messages;
        for (int n = 1; n <= m_smtp->messageCount(); ++n) {
            const QByteArray message = m_smtp->message(n);
            const qsizetype price = message.indexOf("CURRENT PRICE: ");
            messages << m_smtp->envelope(n).value(QStringLiteral("rcpt_tos")).toArray().at(0).toString() + u' '
                    + (price < 0 ? QStringLiteral("welcome") : QString::fromLatin1(message.mid(price + 15, 5)));
        }
        return messages;
    }

private Q_SLOTS:
    void initTestCase() { ActivityLog::install(m_logFolder.path()); }
    void cleanupTestCase() { ActivityLog::uninstall(); }

    void init()
    {
        for (const QString &suffix : {QString(), QStringLiteral(".1"), QStringLiteral(".2")})
            QFile::remove(logPath() + suffix);
        m_folder = std::make_unique<QTemporaryDir>();
        m_site = std::make_unique<LocalHttpServer>();
        m_smtp = std::make_unique<SmtpServerProcess>();
        QVERIFY2(m_smtp->start(), qPrintable(m_smtp->errorText()));
        m_sellers = std::make_unique<CUserIDs>();
        m_sellers->Add(QStringLiteral("seller1"));
        m_recipients = std::make_unique<CUserIDs>();
        m_recipients->Add(QStringLiteral("a@example.com"));
        m_recipients->Add(QStringLiteral("b@example.com"));
        m_now = QDateTime(QDate(2024, 5, 1), QTime(10, 0), Qt::UTC);
        m_outboxDays = 3;
        m_status.clear();
        m_reports.clear();
        m_sessions = 0;
    }

    void cleanup()
    {
        m_cycle.reset();
        m_smtp.reset();
        m_site.reset();
    }

    void everyAlertArrivesOnceInOrderAfterTheServerIsBack()
    {
        startProgram();
        m_smtp->stop(); // connections are refused
        offer(QStringLiteral("$5.00"));
        QVERIFY(check()); // the baseline; the welcome cannot go
        QCOMPARE(m_sessions, 2);
        offer(QStringLiteral("$6.00"), QStringLiteral("amy"));
        QVERIFY(check());
        QCOMPARE(m_sessions, 4); // one failed session per recipient, not one per message
        QCOMPARE(m_cycle->idleText(), QStringLiteral("4 alerts waiting to be sent.  Minutes to next check: 60"));

        // The program ends and starts again (keeping its lists here, so
        // this cycle has an alert of its own too), and the server is back.
        startProgram();
        QVERIFY2(m_smtp->start(m_smtp->port()), qPrintable(m_smtp->errorText()));
        offer(QStringLiteral("$7.00"), QStringLiteral("bob"));
        QVERIFY(check());
        QCOMPARE(delivered(), (QStringList{QStringLiteral("a@example.com welcome"), QStringLiteral("b@example.com welcome"),
                                           QStringLiteral("a@example.com $6.00"), QStringLiteral("b@example.com $6.00"),
                                           QStringLiteral("a@example.com $7.00"), QStringLiteral("b@example.com $7.00"),
                                           QStringLiteral("a@example.com welcome"), QStringLiteral("b@example.com welcome")}));
        QCOMPARE(m_cycle->outbox().count(), 0);
        QCOMPARE(m_cycle->idleText(), QStringLiteral("Idle.  Minutes to next check: 60"));
        const QString log = this->log();
        QVERIFY2(log.contains(QStringLiteral("Outbox: 4 alerts waiting, sending again")), qPrintable(log));
        QCOMPARE(log.count(QStringLiteral(": accepted (250 ")), 8);
        QCOMPARE(log.count(QStringLiteral(": not sent: Could not connect to 127.0.0.1")), 4);
        QVERIFY(log.contains(QStringLiteral("Check ended after ")));
        QVERIFY(m_reports.isEmpty());
    }

    void aRefusedRecipientDoesNotHoldUpTheOthers()
    {
        m_recipients->Remove(QStringLiteral("b@example.com"));
        m_recipients->Add(QStringLiteral("nobody@example.com")); // the server answers 550
        startProgram();
        offer(QStringLiteral("$5.00"));
        QVERIFY(check());
        offer(QStringLiteral("$6.00"), QStringLiteral("amy"));
        QVERIFY(check());
        QCOMPARE(delivered(), (QStringList{QStringLiteral("a@example.com welcome"), QStringLiteral("a@example.com $6.00")}));
        QCOMPARE(m_sessions, 4); // the refused welcome was not tried again
        QCOMPARE(m_cycle->outbox().count(), 0);
        QVERIFY(m_status.contains(QStringLiteral("Alert to nobody@example.com dropped: The server refused the recipient "
                                                 "address (550 5.1.1 <nobody@example.com>: Recipient address rejected: "
                                                 "User unknown)")));
        QCOMPARE(log().count(QStringLiteral("Outbox: dropped the mail to nobody@example.com")), 2);
    }

    void messagesWaitingTooLongAreDropped()
    {
        m_outboxDays = 2;
        startProgram();
        m_smtp->stop();
        offer(QStringLiteral("$5.00"));
        QVERIFY(check());
        m_now = m_now.addDays(2).addSecs(-60);
        QVERIFY(check());
        QCOMPARE(m_sessions, 4); // still tried
        QCOMPARE(m_cycle->outbox().count(), 2);

        m_now = m_now.addSecs(60);
        QVERIFY(check());
        QCOMPARE(m_sessions, 4); // dropped without a try
        QCOMPARE(m_cycle->outbox().count(), 0);
        QVERIFY(m_status.filter(QStringLiteral("Alert to b@example.com dropped: not sent for 2 days: Could not connect "
                                               "to 127.0.0.1 port "))
                    .size()
                == 1);
        QCOMPARE(log().count(QStringLiteral("Outbox: dropped the mail to ")), 2);
    }

    void aFullDiskStillSendsAndTells()
    {
        startProgram();
        offer(QStringLiteral("$5.00"));
        {
            FileSizeLimit limit(64);
            QVERIFY(limit.active());
            QVERIFY(check());
        }
        QCOMPARE(delivered(), (QStringList{QStringLiteral("a@example.com welcome"), QStringLiteral("b@example.com welcome")}));
        QCOMPARE(m_reports.size(), 1); // once a cycle, not once a message
        QVERIFY2(m_reports.at(0).startsWith(QStringLiteral("FAlert.SendEmail\r\nOutbox.Add 61 ")), qPrintable(m_reports.at(0)));
        QVERIFY(QDir(m_folder->filePath(QStringLiteral("outbox"))).isEmpty());
    }

    void theTrayNoticeSpeaksOncePerTrouble_data()
    {
        // Events: "fail N" / "ok N" (a session ended, N messages waiting
        // after it), "end N" (a cycle ended with N waiting).
        QTest::addColumn<QStringList>("events");
        QTest::addColumn<QStringList>("balloons");
        const QString failed = QStringLiteral("An alert could not be sent: Could not connect.");
        QTest::newRow("all well") << QStringList{"ok 0", "end 0"} << QStringList{};
        QTest::newRow("the first failure only") << QStringList{"fail 1", "fail 2", "end 2", "fail 2", "end 2"}
                                                << QStringList{failed};
        QTest::newRow("mail waiting at a cycle's end")
            << QStringList{"end 3", "end 3"} << QStringList{QStringLiteral("3 alerts are waiting to be sent.")};
        QTest::newRow("again after the outbox emptied")
            << QStringList{"fail 1", "ok 0", "fail 1", "end 1"} << QStringList{failed, failed};
        QTest::newRow("not for a recipient that keeps failing beside one that works")
            << QStringList{"fail 1", "ok 1", "end 1", "fail 2", "ok 2", "end 2"} << QStringList{failed};
        QTest::newRow("a cycle's end after a delivery emptied nothing")
            << QStringList{"fail 1", "ok 0", "end 1"}
            << QStringList{failed, QStringLiteral("1 alert is waiting to be sent: Could not connect.")};
    }

    void theTrayNoticeSpeaksOncePerTrouble()
    {
        QFETCH(QStringList, events);
        QFETCH(QStringList, balloons);
        TrayNotice notice;
        QStringList shown;
        for (const QString &event : std::as_const(events)) {
            const int waiting = event.section(u' ', 1).toInt();
            const QString kind = event.section(u' ', 0, 0);
            shown << (kind == QLatin1String("end")
                          ? notice.cycleEnded(waiting)
                          : notice.sessionEnded(kind == QLatin1String("ok"), waiting, QStringLiteral("Could not connect")));
        }
        shown.removeAll(QString());
        QCOMPARE(shown, balloons);
    }

    void theActivityLogKeepsThreeFiles()
    {
        qCWarning(lcActivity).noquote() << "a reply\r\nof two lines";
        qInfo("not an activity");
        QVERIFY(QRegularExpression(QStringLiteral("^\\d{4}-\\d\\d-\\d\\d \\d\\d:\\d\\d:\\d\\d  a reply of two lines\n$"))
                    .match(log())
                    .hasMatch());
        const QString line(10 * 1024, u'x');
        for (int i = 0; i < 350; ++i) // 3.5 MB
            qCInfo(lcActivity).noquote() << line;
        for (const QString &suffix : {QString(), QStringLiteral(".1"), QStringLiteral(".2")}) {
            const QFileInfo file(logPath() + suffix);
            QVERIFY2(file.exists() && file.size() <= ActivityLog::RotateBytes, qPrintable(file.fileName()));
        }
        QVERIFY(QFileInfo(logPath() + QStringLiteral(".1")).size() > ActivityLog::RotateBytes - line.size() - 100);
        QVERIFY(!QFile::exists(logPath() + QStringLiteral(".3")));
    }
};

QTEST_GUILESS_MAIN(TestOutboxCycle)
#include "tst_outboxcycle.moc"
