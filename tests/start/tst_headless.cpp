// `zorvane --headless` with no display at all, against a local listing
// server and a real SMTP server: the first check at start (the baseline and
// the welcome), alerts at the next interval, the orderly end on SIGTERM.

#include "ListingPages.h"
#include "LocalHttpServer.h"
#include "ScriptedSmtpServer.h"
#include "SmtpServerProcess.h"
#include "TestFiles.h"

#include <QDir>
#include <QFile>
#include <QProcess>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>

using ListingPages::Auction;

class TestHeadless : public QObject
{
    Q_OBJECT

    std::unique_ptr<QTemporaryDir> m_home;
    std::unique_ptr<LocalHttpServer> m_site;
    std::unique_ptr<SmtpServerProcess> m_smtp;
    std::unique_ptr<QProcess> m_program;

    QString path(const QString &name) const { return m_home->filePath(name); }

    // The program from a folder of its own, with settings and data of its
    // own, and no display of any kind.
    void start(const QStringList &arguments)
    {
        QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
        for (const char *name : {"DISPLAY", "WAYLAND_DISPLAY", "QT_QPA_PLATFORM"})
            environment.remove(QString::fromLatin1(name));
        environment.insert(QStringLiteral("XDG_CONFIG_HOME"), path(QStringLiteral("config")));
        environment.insert(QStringLiteral("XDG_DATA_HOME"), path(QStringLiteral("data")));
        m_program = std::make_unique<QProcess>();
        m_program->setProcessEnvironment(environment);
        m_program->start(path(QStringLiteral("program/zorvane")), QStringList{QStringLiteral("--headless")} + arguments);
        QVERIFY(m_program->waitForStarted(10000));
    }

    // Ends the program with SIGTERM; its exit status, or -1.
    int terminate()
    {
        QSignalSpy finished(m_program.get(), &QProcess::finished);
        m_program->terminate();
        if (!finished.wait(10000)) {
            m_program->kill();
            return -1;
        }
        return m_program->exitStatus() == QProcess::NormalExit ? m_program->exitCode() : -1;
    }

    QByteArray errors() { return m_program->readAllStandardError(); }

    // Settings with the listing and maker host on the local site and the
    // mail server at smtpPort; a minute of 20 ms, so the shortest
    // interval, 15 minutes, is 0.3 s.
    void writeSettings(quint16 smtpPort)
    {
        TestFiles::write(path(QStringLiteral("config/Zorvane/Zorvane.conf")),
                         "[Main]\nFromAddress=zorvane@example.com\nSMTP=127.0.0.1\n[Network]\nListingHost="
                             + m_site->url(QStringLiteral("/")).toLatin1() + "\nMakerHost="
                             + m_site->url(QStringLiteral("/maker/")).toLatin1()
                             + "\nSmtpPort=" + QByteArray::number(smtpPort)
                             + "\n[Testing]\nMinuteMilliseconds=20\n");
    }

private Q_SLOTS:
    void init()
    {
        m_home = std::make_unique<QTemporaryDir>();
        QDir().mkpath(path(QStringLiteral("program")));
        QDir().mkpath(path(QStringLiteral("config/Zorvane")));
        QVERIFY(QFile::copy(QStringLiteral(ZORVANE_PROGRAM_PATH), path(QStringLiteral("program/zorvane"))));
        m_site = std::make_unique<LocalHttpServer>();
        QVERIFY(m_site->isListening());
        m_smtp = std::make_unique<SmtpServerProcess>();
        QVERIFY2(m_smtp->start(), qPrintable(m_smtp->errorText()));
        writeSettings(m_smtp->port());
        TestFiles::write(path(QStringLiteral("program/Accounts.txt")), "seller1\r\n");
        TestFiles::write(path(QStringLiteral("program/EmailAddresses.txt")), "a@example.com\r\n");
    }

    void cleanup()
    {
        if (m_program && m_program->state() != QProcess::NotRunning)
            m_program->kill();
        m_program.reset();
        m_smtp.reset();
        m_site.reset();
        m_home.reset();
    }

    void checksAtStartThenEveryInterval()
    {
        const QString page1 = ListingPages::path(QStringLiteral("seller1"), 1);
        m_site->route(page1, LocalHttpServer::page(ListingPages::page({{QStringLiteral("100"), QStringLiteral("$5.00"), {}}}, false)));
        start({QStringLiteral("--interval"), QStringLiteral("15")});
        QTRY_COMPARE_WITH_TIMEOUT(m_smtp->messageCount(), 1, 20000); // the welcome
        QVERIFY(m_smtp->message(1).contains("Subject: Zorvane Auction Update"));

        m_site->route(page1, LocalHttpServer::page(ListingPages::page(
                                 {{QStringLiteral("100"), QStringLiteral("$6.00"), QStringLiteral("amy")}}, false)));
        QTRY_COMPARE_WITH_TIMEOUT(m_smtp->messageCount(), 2, 20000);
        QVERIFY(m_smtp->message(2).contains("Subject: seller1 Auction Update"));
        QVERIFY(m_smtp->message(2).contains("CURRENT PRICE: $6.00"));

        QCOMPARE(terminate(), 0);
        const QByteArray log = errors();
        QVERIFY2(log.contains("Connecting.  Getting auctions for seller1\n"), log.constData());
        QVERIFY2(log.contains("Idle.  Minutes to next check: 15\n"), log.constData());
    }

    void sigtermMidCycleEndsTheOrderlyWay()
    {
        m_site->route(ListingPages::path(QStringLiteral("seller1"), 1), LocalHttpServer::stall());
        QSignalSpy requested(m_site.get(), &LocalHttpServer::requestReceived);
        start({});
        QVERIFY(requested.wait(20000));
        QCOMPARE(terminate(), 0);
        QCOMPARE(m_smtp->messageCount(), 0);
    }

    // The one window in which a message can go twice: the server has taken
    // it, and the program is killed before it hears so and removes its
    // copy from the outbox. The next start sends that copy again.
    void killedBeforeTheServersAnswerSendsTheMessageAgain()
    {
        m_site->route(ListingPages::path(QStringLiteral("seller1"), 1),
                      LocalHttpServer::page(ListingPages::page({{QStringLiteral("100"), QStringLiteral("$5.00"), {}}}, false)));
        ScriptedSmtpServer smtp;
        QVERIFY(smtp.listen());
        writeSettings(smtp.port());
        QList<QByteArray> received;
        connect(&smtp, &ScriptedSmtpServer::messageReceived, this, [&] { received << smtp.messageData(); });
        smtp.setReply(QStringLiteral("."), {}); // the message is in; the answer does not come
        start({});
        QTRY_COMPARE_WITH_TIMEOUT(received.size(), 1, 20000);
        m_program->kill();
        QVERIFY(m_program->waitForFinished(10000));
        const QString outbox = path(QStringLiteral("data/Zorvane/Zorvane/outbox"));
        QCOMPARE(QDir(outbox).entryList(QDir::Files).size(), 1);

        smtp.setReply(QStringLiteral("."), {"250 queued\r\n"});
        start({});
        QTRY_COMPARE_WITH_TIMEOUT(received.size(), 3, 20000); // the copy, then this run's welcome
        QCOMPARE(received.at(1), received.at(0));
        QTRY_VERIFY_WITH_TIMEOUT(QDir(outbox).isEmpty(), 10000);
        QCOMPARE(terminate(), 0);
        const QByteArray log = TestFiles::read(path(QStringLiteral("data/Zorvane/Zorvane/zorvane.log")));
        QVERIFY2(log.contains("Outbox: 1 alert waiting, sending again"), log.constData());
    }

    void badCommandLinesAreUsageErrors_data()
    {
        QTest::addColumn<QStringList>("arguments");
        QTest::newRow("interval too short") << QStringList{QStringLiteral("--interval"), QStringLiteral("14")};
        QTest::newRow("interval too long") << QStringList{QStringLiteral("--interval"), QStringLiteral("481")};
        QTest::newRow("interval not a number") << QStringList{QStringLiteral("--interval"), QStringLiteral("hourly")};
        QTest::newRow("stray argument") << QStringList{QStringLiteral("now")};
    }

    void badCommandLinesAreUsageErrors()
    {
        QFETCH(QStringList, arguments);
        start(arguments);
        QVERIFY(m_program->waitForFinished(10000));
        QCOMPARE(m_program->exitCode(), 2);
        QVERIFY(errors().contains("usage: zorvane --headless [--interval MINUTES]"));
        QVERIFY(m_site->requestedPaths().isEmpty());
    }
};

QTEST_GUILESS_MAIN(TestHeadless)
#include "tst_headless.moc"
