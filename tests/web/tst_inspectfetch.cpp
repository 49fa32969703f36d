#include "LocalHttpServer.h"

#include "ToolRun.h"

#include <QProcess>
#include <QSignalSpy>
#include <QTest>

namespace {

constexpr int WaitMs = 30000;

// Runs zorvane-inspect without blocking this thread: the test's own server
// has to answer it meanwhile.
ToolRun inspect(const QStringList &arguments)
{
    return runTool(QStringLiteral(ZORVANE_INSPECT_PATH), arguments, WaitMs);
}

} // namespace

class TestInspectFetch : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void printsThePageBytesUnchanged()
    {
        LocalHttpServer server;
        QVERIFY(server.isListening());
        QByteArray body = "<html>caf\xe9 \x80\x9f\xff\r\nline two\n";
        for (int value = 1; value < 256; ++value)
            body += char(value);
        server.route("/seller", LocalHttpServer::page(body));
        const ToolRun run = inspect({"fetch", server.url("/seller")});
        QCOMPARE(run.exitCode, 0);
        QCOMPARE(run.out, body);
    }

    void failedFetchExitsWithOne_data()
    {
        QTest::addColumn<QString>("path");
        QTest::newRow("404") << "/missing";
        QTest::newRow("empty page") << "/empty";
    }
    void failedFetchExitsWithOne()
    {
        QFETCH(QString, path);
        LocalHttpServer server;
        QVERIFY(server.isListening());
        server.route("/empty", LocalHttpServer::page(""));
        const ToolRun run = inspect({"fetch", server.url(path)});
        QCOMPARE(run.exitCode, 1);
        QCOMPARE(run.out, QByteArray());
        QVERIFY(!run.err.isEmpty());
    }

    void wrongArgumentsAreAUsageError()
    {
        QCOMPARE(inspect({"fetch"}).exitCode, 2);
        QCOMPARE(inspect({"fetch", "http://127.0.0.1:1/a", "extra"}).exitCode, 2);
    }
};

QTEST_GUILESS_MAIN(TestInspectFetch)
#include "tst_inspectfetch.moc"
