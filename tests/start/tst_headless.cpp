// `zorvane --headless` as a user runs it on a server, with no display at
// all, against a local listing server and a scripted mail server: the first
// check at start, alerts at the next interval, the orderly end on SIGTERM,
// the outbox across a kill, bad command lines.

#include "ListingPages.h"
#include "LocalHttpServer.h"
#include "ScriptedSmtpServer.h"
#include "TestFiles.h"

#include <QDir>
#include <QProcess>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>

using namespace Qt::StringLiterals;

class TestHeadless : public QObject
{
    Q_OBJECT

    QTemporaryDir m_home;
    LocalHttpServer m_site;
    ScriptedSmtpServer m_smtp;
    std::unique_ptr<QProcess> m_program;
    QList<QByteArray> m_received;

    // The program with no display at all, and settings (a minute of 20 ms:
    // 15 minutes are 0.3 s), lists and data of its own.
    void start(const QStringList &arguments)
    {
        QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
        for (const QString &name : {u"DISPLAY"_s, u"WAYLAND_DISPLAY"_s, u"QT_QPA_PLATFORM"_s})
            environment.remove(name);
        environment.insert(u"XDG_CONFIG_HOME"_s, m_home.filePath(u"config"_s));
        environment.insert(u"XDG_DATA_HOME"_s, m_home.filePath(u"data"_s));
        m_program = std::make_unique<QProcess>(); // the previous one, if any, is killed
        m_program->setProcessEnvironment(environment);
        m_program->start(m_home.filePath(u"program/zorvane"_s), QStringList{u"--headless"_s} + arguments);
        QVERIFY(m_program->waitForStarted(10000));
    }

    // Ends the program with SIGTERM; its exit code, or -1 for a crash or a hang.
    int terminate()
    {
        QSignalSpy finished(m_program.get(), &QProcess::finished);
        m_program->terminate();
        return finished.wait(10000) && m_program->exitStatus() == QProcess::NormalExit ? m_program->exitCode() : -1;
    }

    void offer(const QString &price, const QString &bidder = {})
    {
        m_site.route(ListingPages::path(u"seller1"_s, 1), LocalHttpServer::page(ListingPages::page({{u"100"_s, price, bidder}}, false)));
    }

private Q_SLOTS:
    void initTestCase()
    {
        QVERIFY(m_smtp.listen());
        connect(&m_smtp, &ScriptedSmtpServer::messageReceived, this, [this] { m_received << m_smtp.messageData(); });
        QDir().mkpath(m_home.filePath(u"program"_s));
        QVERIFY(QFile::copy(QString::fromUtf8(ZORVANE_PROGRAM_PATH), m_home.filePath(u"program/zorvane"_s)));
        TestFiles::write(m_home.filePath(u"program/Accounts.txt"_s), "seller1\r\n");
        TestFiles::write(m_home.filePath(u"program/EmailAddresses.txt"_s), "a@example.com\r\n");
        QDir().mkpath(m_home.filePath(u"config/Zorvane"_s));
        TestFiles::write(m_home.filePath(u"config/Zorvane/Zorvane.conf"_s),
                         "[Main]\nFromAddress=zorvane@example.com\nSMTP=127.0.0.1\n[Network]\nListingHost=" + m_site.url(u"/"_s).toLatin1()
                             + "\nMakerHost=" + m_site.url(u"/maker/"_s).toLatin1() + "\nSmtpPort=" + QByteArray::number(m_smtp.port()) + "\n[Testing]\nMinuteMilliseconds=20\n");
    }

    void init() { m_received.clear(); }

    void checksAtStartThenEveryInterval()
    {
        offer(u"$5.00"_s);
        start({u"--interval"_s, u"15"_s});
        QTRY_COMPARE_WITH_TIMEOUT(m_received.size(), 1, 20000); // the welcome
        offer(u"$6.00"_s, u"amy"_s);
        QTRY_COMPARE_WITH_TIMEOUT(m_received.size(), 2, 20000);
        QVERIFY(m_received.at(1).contains("Subject: seller1 Auction Update\r\n"));
        QCOMPARE(terminate(), 0);
        QVERIFY(m_program->readAllStandardError().contains("Idle.  Minutes to next check: 15\n"));
    }

    // The one window in which a message can go twice: the server has taken
    // it, and the program is killed before it hears so and removes its copy
    // from the outbox. The next start sends that copy again.
    void killedBeforeTheServersAnswerSendsTheMessageAgain()
    {
        offer(u"$5.00"_s);
        m_smtp.setReply(u"."_s, {}); // the message is in; the answer does not come
        start({});
        QTRY_COMPARE_WITH_TIMEOUT(m_received.size(), 1, 20000);
        m_program->kill();
        QVERIFY(m_program->waitForFinished(10000));
        const QString outbox = m_home.filePath(u"data/Zorvane/Zorvane/outbox"_s);
        QCOMPARE(QDir(outbox).entryList(QDir::Files).size(), 1);

        m_smtp.setReply(u"."_s, {"250 queued\r\n"});
        start({});
        QTRY_COMPARE_WITH_TIMEOUT(m_received.size(), 3, 20000); // the copy, then this run's welcome
        QCOMPARE(m_received.at(1), m_received.at(0));
        QTRY_VERIFY_WITH_TIMEOUT(QDir(outbox).isEmpty(), 10000);
        QCOMPARE(terminate(), 0);
    }

    // A bad command line ends at once with status 2 and the usage; SIGTERM
    // while a listing page is awaited ends the orderly way.
    void endings_data()
    {
        QTest::addColumn<QStringList>("arguments");
        QTest::addColumn<int>("status");
        QTest::newRow("SIGTERM mid-cycle") << QStringList{} << 0;
        QTest::newRow("interval too short") << QStringList{u"--interval"_s, u"14"_s} << 2;
        QTest::newRow("interval too long") << QStringList{u"--interval"_s, u"481"_s} << 2;
        QTest::newRow("interval not a number") << QStringList{u"--interval"_s, u"x"_s} << 2;
        QTest::newRow("unknown option") << QStringList{u"--often"_s} << 2;
    }

    void endings()
    {
        QFETCH(QStringList, arguments);
        QFETCH(int, status);
        m_site.route(ListingPages::path(u"seller1"_s, 1), LocalHttpServer::stall());
        QSignalSpy requested(&m_site, &LocalHttpServer::requestReceived);
        start(arguments);
        if (status == 0) {
            QVERIFY(requested.wait(20000));
            QCOMPARE(terminate(), 0);
        } else {
            QVERIFY(m_program->waitForFinished(10000));
            QCOMPARE(m_program->exitCode(), status);
        }
        QCOMPARE(m_program->readAllStandardError().contains("\nusage: zorvane --headless [--interval MINUTES]\n"), status == 2);
    }
};

QTEST_GUILESS_MAIN(TestHeadless)
#include "tst_headless.moc"
