#include "web/CWebConnection.h"
#include "web/FWebBrowse.h"
#include "base/PageText.h"
#include "base/AppError.h"

#include "LocalHttpServer.h"
#include "RecordingErrorReporter.h"
#include "TestCertificates.h"
#include "UrlCatcher.h"

#include <QScopeGuard>
#include <QSslConfiguration>

#include <QPointer>
#include <QSignalSpy>
#include <QTcpServer>
#include <QTest>
#include <QTimer>
#include <QUrl>

#include <memory>
#include <optional>

using namespace std::chrono_literals;

namespace {

// Bounds for waiting in these tests; the fetches themselves end far sooner.
constexpr int WaitMs = 20000;
constexpr auto ShortTimeout = 300ms;

// Where a GetWebPage result lands once the coroutine completes; stays empty
// while it has not (or never will).
using PageSlot = std::shared_ptr<std::optional<QString>>;

PageSlot fetch(CWebConnection &connection, const QString &url)
{
    auto slot = std::make_shared<std::optional<QString>>();
    connection.GetWebPage(url).then([slot](const QString &page) { *slot = page; });
    return slot;
}

// All bytes 0x01..0xFF in a page, so that nothing above 0x7F may be lost.
QByteArray everyByteBody()
{
    QByteArray body = "<html><body>";
    for (int value = 1; value < 256; ++value)
        body += char(value);
    body += "</body></html>";
    return body;
}

// A body longer than any single piece a reader might use, with a pattern
// that shows if pieces came out of order.
QByteArray longBody(int size)
{
    QByteArray body;
    body.reserve(size);
    for (int i = 0; body.size() < size; ++i)
        body += QByteArray::number(i) + char(0xA0 + i % 64) + ',';
    body.truncate(size);
    return body;
}

// A port on which nothing listens.
quint16 closedPort()
{
    QTcpServer probe;
    probe.listen(QHostAddress::LocalHost, 0);
    const quint16 port = probe.serverPort();
    probe.close();
    return port;
}

} // namespace

class TestWebConnection : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void init()
    {
        m_server = std::make_unique<LocalHttpServer>();
        QVERIFY(m_server->isListening());
    }
    void cleanup() { m_server.reset(); }

    // --- GetWebPage -----------------------------------------------------

    // Every way an HTTP/1.1 server may frame the body.
    void pageArrivesWithItsOwnBytes_data()
    {
        QTest::addColumn<QString>("framing");
        QTest::newRow("length") << QStringLiteral("length");
        QTest::newRow("to the close") << QStringLiteral("close");
        QTest::newRow("chunked") << QStringLiteral("chunked");
    }

    void pageArrivesWithItsOwnBytes()
    {
        QFETCH(QString, framing);
        const QByteArray body = everyByteBody();
        LocalHttpServer::Response response = LocalHttpServer::page(body);
        response.sendContentLength = framing == QLatin1String("length");
        if (framing == QLatin1String("chunked")) {
            response.headers.append(qMakePair(QByteArray("Transfer-Encoding"), QByteArray("chunked")));
            QByteArray chunks;
            for (qsizetype at = 0; at < body.size(); at += 1000)
                chunks += QByteArray::number(qMin<qsizetype>(1000, body.size() - at), 16) + ";ext=1\r\n"
                    + body.mid(at, 1000) + "\r\n";
            response.body = chunks + "0\r\nX-Trailer: yes\r\n\r\n";
        }
        m_server->route("/page", response);
        CWebConnection connection;
        const PageSlot page = fetch(connection, m_server->url("/page"));
        QVERIFY(!page->has_value()); // only once the event loop has run
        QTRY_VERIFY_WITH_TIMEOUT(page->has_value(), WaitMs);
        QCOMPARE(page->value().size(), body.size());
        QCOMPARE(PageText::toBytes(page->value()), body);
    }

    void failuresGiveEmptyTextAndReportNothing_data()
    {
        QTest::addColumn<QString>("path");
        QTest::addColumn<bool>("unreachable");
        QTest::newRow("empty body") << "/empty" << false;
        QTest::newRow("404") << "/missing" << false;
        QTest::newRow("500 with a page") << "/broken" << false;
        QTest::newRow("dropped mid-body") << "/reset" << false;
        QTest::newRow("over the bound, announced") << "/big" << false;
        QTest::newRow("over the bound, unannounced") << "/bigsilent" << false;
        QTest::newRow("redirect loop") << "/loop" << false;
        QTest::newRow("redirect without location") << "/nowhere" << false;
        QTest::newRow("nothing listening") << "/page" << true;
    }
    void failuresGiveEmptyTextAndReportNothing()
    {
        QFETCH(QString, path);
        QFETCH(bool, unreachable);
        m_server->route("/empty", LocalHttpServer::page(""));
        m_server->route("/broken", LocalHttpServer::page(longBody(3000), 500));
        m_server->route("/reset", LocalHttpServer::resetMidBody(longBody(4000), 1500));
        m_server->route("/big", LocalHttpServer::huge(1001));
        m_server->route("/bigsilent", LocalHttpServer::huge(1001, false));
        m_server->route("/loop", LocalHttpServer::redirect("/loop"));
        m_server->route("/nowhere", LocalHttpServer::redirect("", 302));
        const QString url = unreachable ? QStringLiteral("http://127.0.0.1:%1/page").arg(closedPort())
                                        : m_server->url(path);

        RecordingErrorReporter reporter;
        CWebConnection connection;
        connection.setMaxBodyBytes(1000);
        const PageSlot page = fetch(connection, url);
        QTRY_VERIFY_WITH_TIMEOUT(page->has_value(), WaitMs);
        QCOMPARE(page->value(), QString());
        QVERIFY(page->value().isEmpty());
        QCOMPARE(reporter.reports(), QStringList());
    }

    void addressesThatCannotBeFetchedGiveEmptyText_data()
    {
        QTest::addColumn<QString>("url");
        QTest::newRow("empty") << "";
        QTest::newRow("not an address") << "no such thing";
        QTest::newRow("local file") << "file:///etc/hostname";
        QTest::newRow("no host") << "http://";
    }
    void addressesThatCannotBeFetchedGiveEmptyText()
    {
        QFETCH(QString, url);
        CWebConnection connection;
        const PageSlot page = fetch(connection, url);
        QTRY_VERIFY_WITH_TIMEOUT(page->has_value(), WaitMs);
        QCOMPARE(page->value(), QString());
    }

    void bodyAtTheBoundIsKept()
    {
        m_server->route("/exact", LocalHttpServer::huge(1000, false));
        CWebConnection connection;
        connection.setMaxBodyBytes(1000);
        const PageSlot page = fetch(connection, m_server->url("/exact"));
        QTRY_VERIFY_WITH_TIMEOUT(page->has_value(), WaitMs);
        QCOMPARE(page->value(), QString(1000, u'x'));
    }

    void realBoundRefusesMoreThan16MiB()
    {
        // Streamed without a length, so the transfer itself must be cut off.
        m_server->route("/flood", LocalHttpServer::huge(16 * 1024 * 1024 + 64 * 1024, false));
        m_server->route("/announced", LocalHttpServer::huge(16 * 1024 * 1024 + 1));
        CWebConnection connection;
        QCOMPARE(connection.maxBodyBytes(), 16 * 1024 * 1024);
        const PageSlot flood = fetch(connection, m_server->url("/flood"));
        const PageSlot announced = fetch(connection, m_server->url("/announced"));
        QTRY_VERIFY_WITH_TIMEOUT(flood->has_value() && announced->has_value(), WaitMs);
        QCOMPARE(flood->value(), QString());
        QCOMPARE(announced->value(), QString());
        // The client hung up on both.
        QTRY_COMPARE_WITH_TIMEOUT(m_server->openConnections(), 0, WaitMs);
    }

    void stalledServerTimesOut()
    {
        m_server->route("/stall", LocalHttpServer::stall());
        CWebConnection connection;
        QCOMPARE(connection.timeout(), 180s);
        connection.setTimeout(ShortTimeout);
        const PageSlot page = fetch(connection, m_server->url("/stall"));
        QTRY_VERIFY_WITH_TIMEOUT(page->has_value(), WaitMs);
        QCOMPARE(page->value(), QString());
        QTRY_COMPARE_WITH_TIMEOUT(m_server->openConnections(), 0, WaitMs);
    }

    void timeOutCoversTheWholeAnswerNotJustSilence()
    {
        // Bytes keep coming, but the page as a whole takes far longer than allowed.
        m_server->route("/slow", LocalHttpServer::drip(longBody(2000), 1, 20ms));
        CWebConnection connection;
        connection.setTimeout(ShortTimeout);
        const PageSlot page = fetch(connection, m_server->url("/slow"));
        QTRY_VERIFY_WITH_TIMEOUT(page->has_value(), WaitMs);
        QCOMPARE(page->value(), QString());
    }

    // https: the certificate checked against the trusted ones and the
    // server's name; a redirect from https to http is not followed.
    void httpsPagesAreFetchedFromTrustedServersOnly_data()
    {
        QTest::addColumn<bool>("trusted");
        QTest::addColumn<QString>("path");
        QTest::addColumn<bool>("arrives");
        QTest::newRow("trusted") << true << QStringLiteral("/page") << true;
        QTest::newRow("not trusted") << false << QStringLiteral("/page") << false;
        QTest::newRow("redirect to http") << true << QStringLiteral("/plain") << false;
    }

    void httpsPagesAreFetchedFromTrustedServersOnly()
    {
        QFETCH(bool, trusted);
        QFETCH(QString, path);
        QFETCH(bool, arrives);
        TestCertificates certificates;
        QVERIFY2(certificates.make(), qPrintable(certificates.errorText()));
        LocalHttpServer server(certificates.certificateFile(), certificates.keyFile());
        QVERIFY(server.isListening());
        server.route(QStringLiteral("/page"), LocalHttpServer::page("over TLS"));
        m_server->route(QStringLiteral("/page"), LocalHttpServer::page("in the clear"));
        server.route(QStringLiteral("/plain"), LocalHttpServer::redirect(m_server->url(QStringLiteral("/page")).toLatin1()));
        const QSslConfiguration system = QSslConfiguration::defaultConfiguration();
        auto restore = qScopeGuard([&] { QSslConfiguration::setDefaultConfiguration(system); });
        if (trusted) {
            QSslConfiguration withTestCa = system;
            withTestCa.addCaCertificates(certificates.caFile());
            QSslConfiguration::setDefaultConfiguration(withTestCa);
        }
        CWebConnection connection;
        const PageSlot page = fetch(connection, server.url(path));
        QTRY_VERIFY_WITH_TIMEOUT(page->has_value(), WaitMs);
        QCOMPARE(page->value(), arrives ? QStringLiteral("over TLS") : QString());
        QVERIFY(m_server->requestedPaths().isEmpty());
    }

    void redirectIsFollowed()
    {
        const QByteArray body = everyByteBody();
        m_server->route("/old", LocalHttpServer::redirect("/moved"));
        m_server->route("/moved", LocalHttpServer::redirect(m_server->url("/new").toLatin1(), 301));
        m_server->route("/new", LocalHttpServer::page(body));
        CWebConnection connection;
        const PageSlot page = fetch(connection, m_server->url("/old"));
        QTRY_VERIFY_WITH_TIMEOUT(page->has_value(), WaitMs);
        QCOMPARE(PageText::toBytes(page->value()), body);
        QCOMPARE(m_server->requestedPaths(), (QStringList{"/old", "/moved", "/new"}));
    }

    void eventLoopRunsWhileAPageIsAwaited()
    {
        const QByteArray body = longBody(40);
        m_server->route("/drip", LocalHttpServer::drip(body, 4, 25ms));
        CWebConnection connection;
        int ticks = 0;
        QTimer ticker;
        connect(&ticker, &QTimer::timeout, this, [&ticks] { ++ticks; });
        ticker.start(5);
        std::optional<int> ticksWhenDone;
        connection.GetWebPage(m_server->url("/drip")).then([&](const QString &page) {
            QCOMPARE(PageText::toBytes(page), body);
            ticksWhenDone = ticks;
        });
        QTRY_VERIFY_WITH_TIMEOUT(ticksWhenDone.has_value(), WaitMs);
        QVERIFY2(*ticksWhenDone > 0, "the timer never fired while the page was awaited");
    }

    void oneConnectionServesOverlappingRequests()
    {
        m_server->route("/a", LocalHttpServer::drip("first page", 2, 10ms));
        m_server->route("/b", LocalHttpServer::page("second page"));
        CWebConnection connection;
        const PageSlot a = fetch(connection, m_server->url("/a"));
        const PageSlot b = fetch(connection, m_server->url("/b"));
        QTRY_VERIFY_WITH_TIMEOUT(a->has_value() && b->has_value(), WaitMs);
        QCOMPARE(a->value(), QStringLiteral("first page"));
        QCOMPARE(b->value(), QStringLiteral("second page"));
    }

    void cancelEndsAnAwaitedFetchWithEmptyText()
    {
        m_server->route("/stall", LocalHttpServer::stall());
        m_server->route("/page", LocalHttpServer::page("after"));
        CWebConnection connection;
        const PageSlot page = fetch(connection, m_server->url("/stall"));
        QTRY_COMPARE_WITH_TIMEOUT(m_server->requestedPaths().size(), 1, WaitMs);
        connection.Cancel();
        QVERIFY(!page->has_value()); // the awaiter resumes from the event loop
        QTRY_VERIFY_WITH_TIMEOUT(page->has_value(), WaitMs);
        QCOMPARE(page->value(), QString());
        QTRY_COMPARE_WITH_TIMEOUT(m_server->openConnections(), 0, WaitMs);

        // The connection goes on serving.
        const PageSlot next = fetch(connection, m_server->url("/page"));
        QTRY_VERIFY_WITH_TIMEOUT(next->has_value(), WaitMs);
        QCOMPARE(next->value(), QStringLiteral("after"));
    }

    void destroyingTheConnectionEndsAnAwaitedFetchWithNothing()
    {
        m_server->route("/stall", LocalHttpServer::stall());
        auto connection = std::make_unique<CWebConnection>();
        connection->setTimeout(ShortTimeout);
        const PageSlot page = fetch(*connection, m_server->url("/stall"));
        QTRY_COMPARE_WITH_TIMEOUT(m_server->requestedPaths().size(), 1, WaitMs);
        QVERIFY(!page->has_value());
        connection.reset();
        // Ended inside the destruction, with "": no frame stays suspended.
        QCOMPARE(*page, std::optional<QString>(QString()));
        QTRY_COMPARE_WITH_TIMEOUT(m_server->openConnections(), 0, WaitMs);
    }

    void resumedCodeMayReleaseTheConnection()
    {
        // What the owner of a connection may do once its page is in: drop it.
        m_server->route("/page", LocalHttpServer::page("done"));
        auto connection = std::make_unique<CWebConnection>();
        QPointer<CWebConnection> watched = connection.get();
        std::optional<QString> got;
        connection->GetWebPage(m_server->url("/page")).then([&](const QString &page) {
            got = page;
            connection.reset();
        });
        QTRY_VERIFY_WITH_TIMEOUT(!watched, WaitMs);
        QCOMPARE(got, std::optional<QString>(QStringLiteral("done")));
    }

    // --- GetWebPageAsynch -----------------------------------------------

    void asynchReturnsAtOnceThenSignalsTheWholeTextOnce()
    {
        const QByteArray body = longBody(5000);
        m_server->route("/long", LocalHttpServer::drip(body, 1400, 5ms));
        m_server->route("/page", LocalHttpServer::page("x"));
        CWebConnection connection;
        QSignalSpy completed(&connection, &CWebConnection::ResponseCompleted);
        QCOMPARE(connection.GetWebPageAsynch(m_server->url("/long")), QString());
        QCOMPARE(completed.count(), 0);
        QVERIFY(completed.wait(WaitMs));
        QCOMPARE(completed.count(), 1);
        QCOMPARE(PageText::toBytes(completed.at(0).at(0).toString()), body);

        // A later request on the same connection still gives exactly one more.
        QCOMPARE(connection.GetWebPageAsynch(m_server->url("/page")), QString());
        QVERIFY(completed.wait(WaitMs));
        QCOMPARE(completed.count(), 2);
        QCOMPARE(completed.at(1).at(0).toString(), QStringLiteral("x"));
    }

    void asynchEmptyBodyGivesEmptyText()
    {
        m_server->route("/empty", LocalHttpServer::page(""));
        CWebConnection connection;
        QSignalSpy completed(&connection, &CWebConnection::ResponseCompleted);
        connection.GetWebPageAsynch(m_server->url("/empty"));
        QVERIFY(completed.wait(WaitMs));
        QCOMPARE(completed.count(), 1);
        QCOMPARE(completed.at(0).at(0).toString(), QString());
    }

    void asynchFailureGivesExactlyError_data()
    {
        QTest::addColumn<QString>("path");
        QTest::addColumn<bool>("unreachable");
        QTest::newRow("404") << "/missing" << false;
        QTest::newRow("500") << "/broken" << false;
        QTest::newRow("stalled") << "/stall" << false;
        QTest::newRow("over the bound") << "/big" << false;
        QTest::newRow("dropped mid-body") << "/reset" << false;
        QTest::newRow("nothing listening") << "/page" << true;
    }
    void asynchFailureGivesExactlyError()
    {
        QFETCH(QString, path);
        QFETCH(bool, unreachable);
        m_server->route("/broken", LocalHttpServer::page("<html>error</html>", 500));
        m_server->route("/stall", LocalHttpServer::stall());
        m_server->route("/big", LocalHttpServer::huge(5000, false));
        m_server->route("/reset", LocalHttpServer::resetMidBody(longBody(4000), 100));
        const QString url = unreachable ? QStringLiteral("http://127.0.0.1:%1/page").arg(closedPort())
                                        : m_server->url(path);
        RecordingErrorReporter reporter;
        CWebConnection connection;
        connection.setTimeout(ShortTimeout);
        connection.setMaxBodyBytes(1000);
        QSignalSpy completed(&connection, &CWebConnection::ResponseCompleted);
        QCOMPARE(connection.GetWebPageAsynch(url), QString());
        QVERIFY(completed.wait(WaitMs));
        QCOMPARE(completed.count(), 1);
        QCOMPARE(completed.at(0).at(0).toString(), QStringLiteral("Error"));
        QCOMPARE(reporter.reports(), QStringList());
    }

    void asynchAddressThatCannotBeFetchedIsRaised()
    {
        CWebConnection connection;
        QSignalSpy completed(&connection, &CWebConnection::ResponseCompleted);
        try {
            connection.GetWebPageAsynch(QStringLiteral("file:///etc/hostname"));
            QFAIL("nothing raised");
        } catch (const AppError &error) {
            QCOMPARE(error.number(), ErrorNumber::Component);
            QCOMPARE(error.source(), QString());
            QVERIFY2(error.description().startsWith(QStringLiteral("CWebConnection.GetWebPageAsynch 5 ")),
                     qPrintable(error.description()));
        }
        // A later good request is unaffected and is the only one signalled.
        m_server->route("/page", LocalHttpServer::page("ok"));
        connection.GetWebPageAsynch(m_server->url("/page"));
        QVERIFY(completed.wait(WaitMs));
        QCOMPARE(completed.count(), 1);
        QCOMPARE(completed.at(0).at(0).toString(), QStringLiteral("ok"));
    }

    void asynchCancelEndsWithoutSignal()
    {
        m_server->route("/stall", LocalHttpServer::stall());
        m_server->route("/page", LocalHttpServer::page("later"));
        CWebConnection connection;
        QSignalSpy completed(&connection, &CWebConnection::ResponseCompleted);
        connection.GetWebPageAsynch(m_server->url("/stall"));
        QTRY_COMPARE_WITH_TIMEOUT(m_server->requestedPaths().size(), 1, WaitMs);
        connection.Cancel();
        QTRY_COMPARE_WITH_TIMEOUT(m_server->openConnections(), 0, WaitMs);

        // The next request's signal is the first and only one.
        connection.GetWebPageAsynch(m_server->url("/page"));
        QVERIFY(completed.wait(WaitMs));
        QCOMPARE(completed.count(), 1);
        QCOMPARE(completed.at(0).at(0).toString(), QStringLiteral("later"));
    }

    void destroyingTheConnectionMidRequestSignalsNothing_data()
    {
        QTest::addColumn<QString>("path");
        QTest::newRow("stalled") << "/stall";
        QTest::newRow("half-sent") << "/drip";
    }
    void destroyingTheConnectionMidRequestSignalsNothing()
    {
        QFETCH(QString, path);
        m_server->route("/stall", LocalHttpServer::stall());
        m_server->route("/drip", LocalHttpServer::drip(longBody(3000), 10, 5ms));
        auto connection = std::make_unique<CWebConnection>();
        connection->setTimeout(ShortTimeout);
        int raised = 0;
        connect(connection.get(), &CWebConnection::ResponseCompleted, this, [&raised] { ++raised; });
        connection->GetWebPageAsynch(m_server->url(path));
        QTRY_COMPARE_WITH_TIMEOUT(m_server->requestedPaths().size(), 1, WaitMs);
        connection.reset();
        QTRY_COMPARE_WITH_TIMEOUT(m_server->openConnections(), 0, WaitMs);

        // Outlast the destroyed connection's time-out.
        CWebConnection other;
        other.setTimeout(ShortTimeout * 2);
        QSignalSpy witness(&other, &CWebConnection::ResponseCompleted);
        other.GetWebPageAsynch(m_server->url("/stall"));
        QVERIFY(witness.wait(WaitMs));
        QCOMPARE(raised, 0);
    }

    void listenerMayReleaseTheConnectionInItsHandler()
    {
        m_server->route("/page", LocalHttpServer::page("done"));
        auto connection = std::make_unique<CWebConnection>();
        QPointer<CWebConnection> watched = connection.get();
        int raised = 0;
        connect(connection.get(), &CWebConnection::ResponseCompleted, this, [&] {
            ++raised;
            connection.reset(); // a listener releasing its connection from the handler
        });
        connection->GetWebPageAsynch(m_server->url("/page"));
        QTRY_VERIFY_WITH_TIMEOUT(!watched, WaitMs);
        QCOMPARE(raised, 1);
    }

    // --- FWebBrowse -----------------------------------------------------

    void openInBrowserHandsTheAddressToTheDesktop()
    {
        UrlCatcher catcher;
        FWebBrowse::OpenInBrowser(QStringLiteral("https://example.com/zorvane/download.html?v=2.1"));
        FWebBrowse browse;
        browse.OpenInBrowser(QString()); // nothing to open: ignored quietly
        QCOMPARE(catcher.urls().size(), 1);
        QCOMPARE(catcher.urls().at(0).toString(), QStringLiteral("https://example.com/zorvane/download.html?v=2.1"));
    }

private:
    std::unique_ptr<LocalHttpServer> m_server;
};

QTEST_MAIN(TestWebConnection)
#include "tst_webconnection.moc"
