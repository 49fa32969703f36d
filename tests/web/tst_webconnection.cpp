#include "base/PageText.h"
#include "base/AppError.h"
#include "web/CWebConnection.h"

#include "LocalHttpServer.h"
#include "RecordingErrorReporter.h"
#include "TestCertificates.h"

#include <QtNetwork>
#include <QtTest>

#include <numeric>

Q_DECLARE_METATYPE(LocalHttpServer::Response)

using namespace std::chrono_literals;

static constexpr int WaitMs = 20000;

// Where a GetWebPage result lands once the coroutine completes.
using PageSlot = std::shared_ptr<std::optional<QString>>;

static PageSlot fetch(CWebConnection &connection, const QString &url)
{
    auto slot = std::make_shared<std::optional<QString>>();
    connection.GetWebPage(url).then([slot](const QString &page) { *slot = page; });
    return slot;
}

class TestWebConnection : public QObject
{
    Q_OBJECT

    std::unique_ptr<LocalHttpServer> m_server;
    // Every byte value but 0, over and over: nothing above 0x7F may be lost,
    // and the body spans several reads.
    const QByteArray m_body = [] { QByteArray bytes(255, 1); std::iota(bytes.begin(), bytes.end(), 1); return bytes.repeated(20); }();

    // The page as both forms give it, asked for at the same time on one
    // connection: {awaited, signalled}. Both end from the event loop, the
    // signal exactly once.
    QStringList bothForms(CWebConnection &connection, const QString &url)
    {
        QSignalSpy completed(&connection, &CWebConnection::ResponseCompleted);
        const PageSlot page = fetch(connection, url);
        const bool atOnce = !connection.GetWebPageAsynch(url).isEmpty() || page->has_value() || !completed.isEmpty();
        if (atOnce || !QTest::qWaitFor([&] { return page->has_value() && completed.size() == 1; }, WaitMs))
            return {QStringLiteral("answered at once, or never")};
        return {page->value(), completed.at(0).at(0).toString()};
    }

private Q_SLOTS:
    void init()
    {
        m_server = std::make_unique<LocalHttpServer>();
        m_server->route("/moved", LocalHttpServer::redirect(m_server->url("/new").toLatin1(), 301));
        m_server->route("/new", LocalHttpServer::page(m_body));
        m_server->route("/stall", LocalHttpServer::stall());
    }

    // A page arrives byte for byte. A failed request gives awaited "",
    // signalled "Error"; the client hangs up; nothing is reported.
    void pageOrFailure_data()
    {
        QTest::addColumn<LocalHttpServer::Response>("response");
        QTest::addColumn<QStringList>("forms");
        const QString page = PageText::fromBytes(m_body);
        const QStringList failed{QString(), "Error"};
        LocalHttpServer::Response toTheClose = LocalHttpServer::page(m_body);
        toTheClose.sendContentLength = false;
        LocalHttpServer::Response chunked = toTheClose;
        chunked.headers.append(qMakePair(QByteArray("Transfer-Encoding"), QByteArray("chunked")));
        chunked.body = "10;ext=1\r\n" + m_body.left(16) + "\r\n" + QByteArray::number(m_body.size() - 16, 16) + "\r\n"
            + m_body.mid(16) + "\r\n0\r\nX-Trailer: yes\r\n\r\n";
        QTest::newRow("length") << LocalHttpServer::page(m_body) << QStringList{page, page};
        QTest::newRow("to the close") << toTheClose << QStringList{page, page};
        QTest::newRow("chunked") << chunked << QStringList{page, page};
        QTest::newRow("redirects") << LocalHttpServer::redirect("/moved") << QStringList{page, page};
        QTest::newRow("empty") << LocalHttpServer::page("") << QStringList{QString(), QString()};
        QTest::newRow("404") << LocalHttpServer::page(m_body, 404) << failed;
        QTest::newRow("cut short") << LocalHttpServer::resetMidBody(m_body, 1500) << failed;
        QTest::newRow("over 16 MiB, streamed") << LocalHttpServer::huge(16 * 1024 * 1024 + 1, false) << failed;
        QTest::newRow("redirect loop") << LocalHttpServer::redirect("/page") << failed;
        QTest::newRow("stalled") << LocalHttpServer::stall() << failed;
        // Bytes keep coming, but the whole answer takes far longer than allowed.
        QTest::newRow("too slow") << LocalHttpServer::drip(m_body) << failed;
        QTest::newRow("nothing listening") << LocalHttpServer::redirect("http://127.0.0.1:1/page") << failed; // a closed port
    }
    void pageOrFailure()
    {
        QFETCH(LocalHttpServer::Response, response);
        QFETCH(QStringList, forms);
        m_server->route("/page", response);
        RecordingErrorReporter reporter;
        CWebConnection connection;
        const bool slow = response.kind == LocalHttpServer::Kind::Stall || response.kind == LocalHttpServer::Kind::Drip;
        connection.setTimeout(slow ? 2s : 60s); // the others may take their time on a busy machine
        QCOMPARE(bothForms(connection, m_server->url("/page")), forms);
        QTRY_COMPARE_WITH_TIMEOUT(m_server->openConnections(), 0, WaitMs);
        QVERIFY(m_server->requestedPaths().size() <= 2 * 11); // a redirect loop is given up after ten
        QCOMPARE(reporter.reports(), QStringList());
    }

    // Awaited: ""; signalled: raised at once. The connection serves on.
    void addressThatCannotBeFetched()
    {
        CWebConnection connection;
        for (const QString url : {"no such thing", "file:///etc/hostname", "http://"}) {
            const PageSlot page = fetch(connection, url);
            QTRY_VERIFY_WITH_TIMEOUT(page->has_value(), WaitMs);
            QCOMPARE(page->value(), QString());
            QVERIFY_THROWS_EXCEPTION(AppError, connection.GetWebPageAsynch(url));
        }
        QCOMPARE(bothForms(connection, m_server->url("/new")).value(1), QString::fromLatin1(m_body));
    }

    // Certificates checked against the trusted ones; https never leads to http.
    void httpsFromTrustedServersOnly()
    {
        TestCertificates certificates;
        QVERIFY2(certificates.make(), qPrintable(certificates.errorText()));
        LocalHttpServer secure(certificates.certificateFile(), certificates.keyFile());
        secure.route("/page", LocalHttpServer::page("over TLS"));
        secure.route("/plain", LocalHttpServer::redirect(m_server->url("/new").toLatin1()));
        const QSslConfiguration system = QSslConfiguration::defaultConfiguration();
        auto restore = qScopeGuard([&] { QSslConfiguration::setDefaultConfiguration(system); });
        CWebConnection connection;
        QCOMPARE(bothForms(connection, secure.url("/page")).value(0), QString());
        QSslConfiguration withTestCa = system;
        withTestCa.addCaCertificates(certificates.caFile());
        QSslConfiguration::setDefaultConfiguration(withTestCa);
        QCOMPARE(bothForms(connection, secure.url("/page")).value(0), QStringLiteral("over TLS"));
        QCOMPARE(bothForms(connection, secure.url("/plain")).value(0), QString());
        QVERIFY(m_server->requestedPaths().isEmpty());
    }

    void cancelOrDestructionEndsEveryRequest_data()
    {
        QTest::addColumn<bool>("destroy");
        QTest::addColumn<QString>("path");
        QTest::newRow("cancelled") << false << "/stall";
        QTest::newRow("destroyed while stalled") << true << "/stall";
        QTest::newRow("destroyed half-sent") << true << "/drip";
    }
    void cancelOrDestructionEndsEveryRequest()
    {
        QFETCH(bool, destroy);
        QFETCH(QString, path);
        m_server->route("/drip", LocalHttpServer::drip(m_body));
        auto connection = std::make_unique<CWebConnection>();
        connection->setTimeout(300ms);
        QSignalSpy signalled(connection.get(), &CWebConnection::ResponseCompleted);
        const PageSlot page = fetch(*connection, m_server->url(path));
        connection->GetWebPageAsynch(m_server->url(path));
        QTRY_COMPARE_WITH_TIMEOUT(m_server->requestedPaths().size(), 2, WaitMs);
        destroy ? connection.reset() : connection->Cancel();
        // Destroyed: ended inside the destruction, so that no coroutine frame
        // stays suspended. Cancelled: from the event loop.
        QCOMPARE(page->has_value(), destroy);
        QTRY_VERIFY_WITH_TIMEOUT(*page == QString() && m_server->openConnections() == 0, WaitMs);
        // A cancelled connection serves on; nothing of a destroyed one wakes up after its time-out.
        CWebConnection other;
        other.setTimeout(600ms);
        QCOMPARE(bothForms(destroy ? other : *connection, m_server->url(destroy ? "/stall" : "/new")).value(1),
                 destroy ? QStringLiteral("Error") : QString::fromLatin1(m_body));
        QCOMPARE(signalled.size(), destroy ? 0 : 1);
    }

    // A connection the answer leaves open serves the next page; one the
    // server closes just as the next request goes is replaced once.
    void keptConnections_data()
    {
        QTest::addColumn<int>("answersPerConnection");
        QTest::addColumn<int>("connections");
        QTest::newRow("kept for the next page") << 100 << 1;
        QTest::newRow("closed as the next request came") << 1 << 2;
    }
    void keptConnections()
    {
        QFETCH(int, answersPerConnection);
        QFETCH(int, connections);
        m_server->keepConnections(answersPerConnection);
        CWebConnection connection;
        for (int page = 0; page < 2; ++page) {
            const PageSlot slot = fetch(connection, m_server->url("/new"));
            QTRY_VERIFY_WITH_TIMEOUT(slot->has_value(), WaitMs);
            QCOMPARE(slot->value(), QString::fromLatin1(m_body));
        }
        QCOMPARE(m_server->acceptedConnections(), connections);
    }

    void resumedCodeMayReleaseTheConnection()
    {
        auto awaiting = std::make_unique<CWebConnection>();
        auto listening = std::make_unique<CWebConnection>();
        const QPointer<CWebConnection> awaited = awaiting.get(), signalled = listening.get();
        awaiting->GetWebPage(m_server->url("/new")).then([&](const QString &) { awaiting.reset(); });
        connect(listening.get(), &CWebConnection::ResponseCompleted, this, [&] { listening.reset(); });
        listening->GetWebPageAsynch(m_server->url("/new"));
        QTRY_VERIFY_WITH_TIMEOUT(!awaited && !signalled, WaitMs);
    }

};

QTEST_MAIN(TestWebConnection)
#include "tst_webconnection.moc"
