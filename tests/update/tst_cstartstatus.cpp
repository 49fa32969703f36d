#include "base/Version.h"
#include "base/AppError.h"
#include "update/CStartStatus.h"
#include "web/CWebConnection.h"

#include "LocalHttpServer.h"
#include "RecordingErrorReporter.h"
#include "RecordingMessageBoxes.h"
#include "UrlCatcher.h"

#include <QPointer>
#include <QSettings>
#include <QSignalSpy>
#include <QStandardPaths>
#include <QTest>

namespace {

const QString ReportHead = QStringLiteral("oStartStatus.OnVersionCheckAsynchResponse\r\n");

QString versionPath()
{
    return QStringLiteral("/version/versioncheck.asp?app=Zorvane&version=") + Version::full()
        + QStringLiteral("&appclass=300000&language=English");
}

// A reply whose status block holds the given elements (padded so that the
// block is long enough to be read).
QString reply(const QString &elements)
{
    return QStringLiteral("<html><body><status>") + elements
        + QStringLiteral("<padding>......................</padding></status></body></html>");
}

} // namespace

class TestCStartStatus : public QObject
{
    Q_OBJECT

private:
    std::unique_ptr<RecordingErrorReporter> m_reporter;
    std::unique_ptr<RecordingMessageBoxes> m_boxes;
    std::unique_ptr<UrlCatcher> m_catcher;

    // Runs one version check against server and waits until its reply has
    // been handled (windows answered included).
    void checkAgainst(CStartStatus &status, LocalHttpServer &server)
    {
        status.setMakerHost(server.url(QStringLiteral("/")));
        status.CheckVersion();
        QVERIFY(status.WebConnection());
        QSignalSpy done(status.WebConnection(), &CWebConnection::ResponseCompleted);
        QVERIFY(done.wait(20000));
    }

    // The version check's windows asked for, and its message boxes.
    QList<MessageRequest> windows() const { return requests(true); }
    QList<MessageRequest> boxes() const { return requests(false); }
    QList<MessageRequest> requests(bool windows) const
    {
        QList<MessageRequest> found;
        for (const MessageRequest &request : m_boxes->requests())
            if ((request.kind != MessageKind::Box) == windows)
                found << request;
        return found;
    }

    void handle(CStartStatus &status, const QString &html)
    {
        status.OnVersionCheckAsynchResponse(CStartStatus::ResponseCompleted, html);
    }

private Q_SLOTS:
    void initTestCase() { QStandardPaths::setTestModeEnabled(true); }

    void init()
    {
        m_reporter = std::make_unique<RecordingErrorReporter>();
        m_boxes = std::make_unique<RecordingMessageBoxes>();
        m_catcher = std::make_unique<UrlCatcher>();
    }

    void cleanup()
    {
        m_catcher.reset();
        m_boxes.reset();
        m_reporter.reset();
    }

    // --- The request ---------------------------------------------------

    void requestAddressIsExact()
    {
        CStartStatus status(QStringLiteral("http://maker.example"));
        QCOMPARE(status.MakerHost(), QStringLiteral("http://maker.example/"));
        QCOMPARE(status.VersionCheckURL(), QStringLiteral("http://maker.example") + versionPath());
        QCOMPARE(CStartStatus().MakerHost(), QStringLiteral("https://www.pellridge.com/"));
    }

    void requestReachesTheServiceWithTheQuery()
    {
        LocalHttpServer server;
        QVERIFY(server.isListening());
        server.route(versionPath(), LocalHttpServer::page(reply(QStringLiteral("<message>Hello from us</message>")).toLatin1()));
        CStartStatus status;
        checkAgainst(status, server);
        QCOMPARE(server.requestedPaths(), QStringList{versionPath()});
        QCOMPARE(windows().size(), 1);
        QCOMPARE(windows().at(0).kind, MessageKind::MakerMessage);
        QCOMPARE(windows().at(0).title, QStringLiteral("Pellridge Message"));
        QCOMPARE(windows().at(0).text, QStringLiteral("Hello from us"));
        QVERIFY(m_reporter->reports().isEmpty());
    }

    void failedRequestShowsNothing()
    {
        LocalHttpServer server; // every path is 404: the connection answers "Error"
        QVERIFY(server.isListening());
        CStartStatus status;
        checkAgainst(status, server);
        QCOMPARE(server.requestedPaths().size(), 1);
        QVERIFY(windows().isEmpty());
        QVERIFY(m_reporter->reports().isEmpty());
        QVERIFY(!status.NewVersion());

        // Response 11 and unknown responses given directly do nothing either,
        // whatever text comes with them.
        const QString html = reply(QStringLiteral("<newversion>1</newversion><message>m</message>"));
        status.OnVersionCheckAsynchResponse(CStartStatus::ResponseFailed, html);
        status.OnVersionCheckAsynchResponse(13, html);
        QVERIFY(windows().isEmpty());
        QVERIFY(!status.NewVersion());
    }

    void secondCheckDropsTheFirstConnection()
    {
        LocalHttpServer server;
        QVERIFY(server.isListening());
        server.route(versionPath(), LocalHttpServer::page(reply(QStringLiteral("<message>once</message>")).toLatin1()));
        QSignalSpy received(&server, &LocalHttpServer::requestReceived);
        CStartStatus status;
        status.setMakerHost(server.url(QStringLiteral("/")));

        status.CheckVersion();
        const QPointer<CWebConnection> first = status.WebConnection();
        QVERIFY(first);
        // The server has answered the first request before it is dropped.
        QVERIFY(received.wait(20000));
        status.CheckVersion();
        QVERIFY(first.isNull());
        QCOMPARE(status.findChildren<CWebConnection *>().size(), 1);

        QSignalSpy done(status.WebConnection(), &CWebConnection::ResponseCompleted);
        QVERIFY(done.wait(20000));
        QCOMPARE(windows().size(), 1);
        // Nothing of the first request is left to arrive.
        QTRY_COMPARE(server.openConnections(), 0);
        QCoreApplication::sendPostedEvents();
        QCOMPARE(windows().size(), 1);
    }

    void releaseCancelsACheckUnderWay()
    {
        LocalHttpServer server;
        QVERIFY(server.isListening());
        server.route(versionPath(), LocalHttpServer::stall());
        QSignalSpy received(&server, &LocalHttpServer::requestReceived);
        auto status = std::make_unique<CStartStatus>(server.url(QStringLiteral("/")));
        status->CheckVersion();
        const QPointer<CWebConnection> connection = status->WebConnection();
        QVERIFY(received.wait(20000));
        QCOMPARE(server.openConnections(), 1);
        status.reset();
        QVERIFY(connection.isNull());
        QTRY_COMPARE(server.openConnections(), 0);
        QVERIFY(m_reporter->reports().isEmpty());
    }

    void checkVersionPassesOnItsFailure()
    {
        CStartStatus status(QStringLiteral("nowhere:/"));
        try {
            status.CheckVersion();
            QFAIL("no error raised");
        } catch (const AppError &error) {
            QCOMPARE(error.number(), ErrorNumber::Component);
            QVERIFY(error.source().isEmpty());
            QVERIFY2(error.description().startsWith(
                         QStringLiteral("oStartStatus.Check -2147221504 CWebConnection.GetWebPageAsynch 5 ")),
                     qPrintable(error.description()));
        }
    }

    // --- Reading the reply -----------------------------------------------

    void repliesThatShowNothing_data()
    {
        QTest::addColumn<QString>("html");
        QTest::newRow("empty") << QString();
        QTest::newRow("no status") << QStringLiteral("<newversion>1</newversion><message>Hello there, user</message>");
        QTest::newRow("block of 20") << QStringLiteral("<status><message>a</message></status>");
        QTest::newRow("empty block") << QStringLiteral("x<status></status>");
        QTest::newRow("other-case tags")
            << reply(QStringLiteral("<NewVersion>1</NewVersion><Message>hi</Message><UPDATEURL>http://a/</UPDATEURL>"));
        QTest::newRow("other-case status")
            << QStringLiteral("<Status><message>Hello there, user</message></Status>");
        QTest::newRow("newversion 0, no message") << reply(QStringLiteral("<newversion>0</newversion>"));
        QTest::newRow("empty message") << reply(QStringLiteral("<message></message>"));
    }

    void repliesThatShowNothing()
    {
        QFETCH(QString, html);
        CStartStatus status;
        handle(status, html);
        QVERIFY(windows().isEmpty());
        QVERIFY(m_reporter->reports().isEmpty());
        QVERIFY(!status.NewVersion());
        QVERIFY(status.UpdateURL().isEmpty());
        QVERIFY(status.Message().isEmpty());
    }

    void blockOf21CharactersIsRead()
    {
        CStartStatus status;
        handle(status, QStringLiteral("<status><message>ab</message></status>"));
        QCOMPARE(windows().size(), 1);
        QCOMPARE(windows().at(0).text, QStringLiteral("ab"));
    }

    void newVersionOpensTheUpdateWindow_data()
    {
        QTest::addColumn<QString>("elements");
        QTest::addColumn<QString>("message");
        QTest::newRow("message missing")
            << QStringLiteral("<newversion>1</newversion><updateurl>http://a.example/setup.exe</updateurl>") << QString();
        QTest::newRow("message empty") << QStringLiteral("<newversion>1</newversion><message></message>") << QString();
        QTest::newRow("message with lines")
            << QStringLiteral("<message>Version 3 is out.\r\nIt is faster.</message><newversion>1</newversion>")
            << QStringLiteral("Version 3 is out.\r\nIt is faster.");
    }

    void newVersionOpensTheUpdateWindow()
    {
        QFETCH(QString, elements);
        QFETCH(QString, message);
        CStartStatus status;
        QSignalSpy accepted(&status, &CStartStatus::UpdateAccepted);
        handle(status, reply(elements));
        QCOMPARE(windows().size(), 1);
        QCOMPARE(windows().at(0).kind, MessageKind::UpdateOffer);
        QCOMPARE(windows().at(0).title, QStringLiteral("New Version Available."));
        QCOMPARE(windows().at(0).text, message);
        // "Update Later": nothing else happens.
        QVERIFY(boxes().isEmpty());
        QVERIFY(m_catcher->urls().isEmpty());
        QCOMPARE(accepted.size(), 0);
        QVERIFY(m_reporter->reports().isEmpty());
    }

    void updateNowShowsTheBoxThenOpensTheAddressThenEnds()
    {
        CStartStatus status;
        QStringList order;
        QList<MessageRequest> boxes;
        const auto previous = MessageBoxes::setHandler([&](const MessageRequest &request) {
            if (request.kind == MessageKind::UpdateOffer)
                return MessageAnswer::Yes; // "Update Now"
            order << QStringLiteral("box:%1 urls:%2").arg(request.title).arg(m_catcher->urls().size());
            boxes << request;
            return MessageAnswer::Ok;
        });
        connect(&status, &CStartStatus::UpdateAccepted, this,
                [&] { order << QStringLiteral("accepted urls:%1").arg(m_catcher->urls().size()); });
        handle(status, reply(QStringLiteral("<newversion>1</newversion>"
                                            "<updateurl>https://dl.example/zorvane setup.exe?v=3&amp;x</updateurl>"
                                            "<message>New!</message>")));
        MessageBoxes::setHandler(previous);

        QCOMPARE(order, (QStringList{QStringLiteral("box:Download update urls:0"), QStringLiteral("accepted urls:1")}));
        QCOMPARE(boxes.size(), 1);
        QCOMPARE(boxes.at(0).buttons, MessageButtons::Ok);
        QCOMPARE(boxes.at(0).text, QStringLiteral("A setup file will now be retrieved from the internet.\r\n"
                                                  "Please choose 'Open' when you are prompted."));
        QCOMPARE(m_catcher->urls().size(), 1);
        QCOMPARE(m_catcher->urls().at(0),
                 QUrl(QStringLiteral("https://dl.example/zorvane setup.exe?v=3&amp;x"), QUrl::TolerantMode));
        QCOMPARE(status.UpdateURL(), QStringLiteral("https://dl.example/zorvane setup.exe?v=3&amp;x"));
        QVERIFY(m_reporter->reports().isEmpty());
    }

    void onlyWebAddressesGoToTheBrowser_data()
    {
        QTest::addColumn<QString>("address");
        QTest::newRow("file") << QStringLiteral("file:///etc/passwd");
        QTest::newRow("javascript") << QStringLiteral("javascript:alert(1)");
        QTest::newRow("mailto") << QStringLiteral("mailto:someone@example.com");
        QTest::newRow("relative") << QStringLiteral("setup.exe");
        QTest::newRow("empty") << QString();
        QTest::newRow("no host") << QStringLiteral("http:///setup.exe");
    }

    void onlyWebAddressesGoToTheBrowser()
    {
        QFETCH(QString, address);
        CStartStatus status;
        QSignalSpy accepted(&status, &CStartStatus::UpdateAccepted);
        m_boxes->queueAnswer(MessageAnswer::Yes);
        handle(status, reply(QStringLiteral("<newversion>1</newversion><updateurl>") + address
                             + QStringLiteral("</updateurl>")));
        QCOMPARE(windows().size(), 1);
        QVERIFY(boxes().isEmpty());
        QVERIFY(m_catcher->urls().isEmpty());
        QCOMPARE(accepted.size(), 0);
        QCOMPARE(m_reporter->reports(),
                 QStringList{ReportHead
                             + QStringLiteral("oStartStatus.CheckVersionPage 5 Invalid procedure call or argument: "
                                              "the update address is not a web address: ")
                             + address});
    }

    void upperCaseWebSchemeIsAccepted()
    {
        QVERIFY(CStartStatus::IsDownloadAddress(QStringLiteral("HTTP://dl.example/s.exe")));
        QVERIFY(CStartStatus::IsDownloadAddress(QStringLiteral(" https://dl.example/ ")));
        QVERIFY(!CStartStatus::IsDownloadAddress(QStringLiteral("ftp://dl.example/s.exe")));
    }

    void messageWithoutNewVersionOpensTheCompanyWindow_data()
    {
        QTest::addColumn<QString>("elements");
        QTest::newRow("newversion 0") << QStringLiteral("<newversion>0</newversion><message>Sale on now</message>");
        QTest::newRow("newversion missing") << QStringLiteral("<message>Sale on now</message>");
        QTest::newRow("newversion yes") << QStringLiteral("<newversion>yes</newversion><message>Sale on now</message>");
        QTest::newRow("newversion 1 padded") << QStringLiteral("<newversion> 1</newversion><message>Sale on now</message>");
    }

    void messageWithoutNewVersionOpensTheCompanyWindow()
    {
        QFETCH(QString, elements);
        CStartStatus status;
        handle(status, reply(elements));
        QCOMPARE(windows().size(), 1);
        QCOMPARE(windows().at(0).kind, MessageKind::MakerMessage);
        QCOMPARE(windows().at(0).text, QStringLiteral("Sale on now"));
        QVERIFY(!status.NewVersion());
    }

    void resultsStayUntilAReplyReplacesThem()
    {
        CStartStatus status;
        handle(status, reply(QStringLiteral("<newversion>1</newversion><updateurl>http://a/</updateurl><message>one</message>")));
        // A later "0" does not clear the flag; a missing element keeps its value.
        handle(status, reply(QStringLiteral("<newversion>0</newversion><message>two</message>")));
        QCOMPARE(windows().size(), 2);
        QCOMPARE(windows().at(1).kind, MessageKind::UpdateOffer);
        QCOMPARE(windows().at(1).text, QStringLiteral("two"));
        QVERIFY(status.NewVersion());
        QCOMPARE(status.UpdateURL(), QStringLiteral("http://a/"));
        // A reply without a usable block shows the results as they stand.
        handle(status, QStringLiteral("no block"));
        QCOMPARE(windows().size(), 3);
        QCOMPARE(windows().at(2).text, QStringLiteral("two"));
    }

    // --- Failures --------------------------------------------------------

    void malformedRepliesAreReported_data()
    {
        QTest::addColumn<QString>("html");
        QTest::addColumn<QString>("failure");
        const QString invalid = QStringLiteral("oStartStatus.CheckVersionPage 5 Invalid procedure call or argument");
        const QString overflow = QStringLiteral("oStartStatus.CheckVersionPage 6 Overflow");
        QTest::newRow("message not closed") << reply(QStringLiteral("<message>Hello")) << invalid;
        QTest::newRow("status not closed") << QStringLiteral("<status><message>Hello there</message>") << invalid;
        QTest::newRow("status closed before opened")
            << QStringLiteral("</status><status><message>Hello there</message>") << invalid;
        QTest::newRow("message closed before opened")
            << reply(QStringLiteral("</message><message>Hello</message>")) << invalid;
        QTest::newRow("status after 32767")
            << QString(32760, u' ') + reply(QStringLiteral("<message>far</message>")) << overflow;
        QTest::newRow("status end after 32767")
            << QStringLiteral("<status><message>far</message>") + QString(32767, u' ') + QStringLiteral("</status>")
            << overflow;
    }

    void malformedRepliesAreReported()
    {
        QFETCH(QString, html);
        QFETCH(QString, failure);
        CStartStatus status;
        handle(status, html);
        QCOMPARE(m_reporter->reports(), QStringList{ReportHead + failure});
        QVERIFY(windows().isEmpty());
    }

    void resultsReadBeforeAFailureKeepTheirValues()
    {
        CStartStatus status;
        handle(status, reply(QStringLiteral("<newversion>1</newversion><updateurl>http://a.example/</updateurl>"
                                            "<message>never closed")));
        QCOMPARE(m_reporter->reports().size(), 1);
        QVERIFY(windows().isEmpty());
        QVERIFY(status.NewVersion());
        QCOMPARE(status.UpdateURL(), QStringLiteral("http://a.example/"));
        QVERIFY(status.Message().isEmpty());
    }

    void longReplyWithTheBlockNearTheStartIsRead()
    {
        CStartStatus status;
        handle(status, reply(QStringLiteral("<message>long</message>")) + QString(40000, u'x'));
        QVERIFY(m_reporter->reports().isEmpty());
        QCOMPARE(windows().size(), 1);
        QCOMPARE(windows().at(0).text, QStringLiteral("long"));
    }

    // --- First run ---------------------------------------------------------

    void clearedFirstTimeIsRemembered()
    {
        QSettings(QSettings::NativeFormat, QSettings::UserScope, QStringLiteral("Zorvane"), QStringLiteral("Zorvane"))
            .remove(QStringLiteral("Main/FirstRunNoticeSent"));
        {
            CStartStatus status;
            QVERIFY(status.IsFirstTime());
            status.setIsFirstTime(false);
            QVERIFY(!status.IsFirstTime());
        }
        CStartStatus later;
        QVERIFY(!later.IsFirstTime());
    }
};

QTEST_MAIN(TestCStartStatus)
#include "tst_cstartstatus.moc"
