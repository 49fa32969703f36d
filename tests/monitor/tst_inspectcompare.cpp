// zorvane-inspect compare, run as a user would run it on two saved scans.

#include "ListingPages.h"
#include "TestFiles.h"

#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QTemporaryDir>
#include <QTest>

namespace {

struct Run
{
    int exitCode = -1;
    QList<QJsonObject> lines;
};

} // namespace

class TestInspectCompare : public QObject
{
    Q_OBJECT

private:
    QTemporaryDir m_folder;

    QString save(const QString &name, const QByteArray &page)
    {
        const QString path = m_folder.filePath(name);
        TestFiles::write(path, page);
        return path;
    }

    Run inspect(const QStringList &arguments)
    {
        QProcess process;
        QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
        environment.insert(QStringLiteral("XDG_CONFIG_HOME"), m_folder.filePath(QStringLiteral("config")));
        process.setProcessEnvironment(environment);
        process.start(QStringLiteral(ZORVANE_INSPECT_PATH), QStringList{QStringLiteral("compare")} + arguments);
        if (!process.waitForFinished(30000))
            qFatal("zorvane-inspect did not finish");
        Run run;
        run.exitCode = process.exitCode();
        for (const QByteArray &line : process.readAllStandardOutput().split('\n'))
            if (!line.isEmpty())
                run.lines << QJsonDocument::fromJson(line).object();
        return run;
    }

private Q_SLOTS:
    void printsTheAlertsTheProgramWouldSend()
    {
        using ListingPages::Auction;
        const QString previous1 = save(QStringLiteral("p1.html"),
                                       ListingPages::page({{QStringLiteral("100"), QStringLiteral("$5.00"), {}}}, true));
        const QString previous2 = save(QStringLiteral("p2.html"),
                                       ListingPages::page({{QStringLiteral("101"), QStringLiteral("$1.00"), {}}}, false));
        const QString current1 = save(QStringLiteral("c1.html"),
                                      ListingPages::page({{QStringLiteral("100"), QStringLiteral("$6.00"), QStringLiteral("x")},
                                                          {QStringLiteral("102"), QStringLiteral("$2.00"), {},
                                                           QStringLiteral("A very long title that goes on")}},
                                                         false));

        Run detailed = inspect({QStringLiteral("--seller"), QStringLiteral("bob"), QStringLiteral("--previous"), previous1,
                                previous2, QStringLiteral("--current"), current1});
        QCOMPARE(detailed.exitCode, 0);
        QCOMPARE(detailed.lines.size(), 2);
        QCOMPARE(detailed.lines.at(0).value(QStringLiteral("subject")).toString(), QStringLiteral("bob Auction Update"));
        QCOMPARE(detailed.lines.at(0).value(QStringLiteral("body")).toString(),
                 QStringLiteral("\r\n\r\nCHANGES TO ITEM# 100, Brass lamp\r\n"
                                "https://cgi.ebay.com/aw-cgi/eBayISAPI.dll?ViewItem&item=100\r\n"
                                "PREVIOUS PRICE: $5.00\r\nCURRENT PRICE: $6.00\r\nHigh Bidder: x"));

        Run brief = inspect({QStringLiteral("--seller"), QStringLiteral("bob"), QStringLiteral("--previous"), previous1,
                             QStringLiteral("--current"), current1, QStringLiteral("--brief"),
                             QStringLiteral("--one-message"), QStringLiteral("--no-changes")});
        QCOMPARE(brief.exitCode, 0);
        QCOMPARE(brief.lines.size(), 1);
        QCOMPARE(brief.lines.at(0).value(QStringLiteral("body")).toString(),
                 QStringLiteral("NEW ITEM: A very long title th . . . \r\nPRICE: $2.00\r\n\r\n"));

        Run quiet = inspect({QStringLiteral("--seller"), QStringLiteral("bob"), QStringLiteral("--previous"), current1,
                             QStringLiteral("--current"), current1});
        QCOMPARE(quiet.exitCode, 0);
        QVERIFY(quiet.lines.isEmpty());
    }

    void badInputIsRefusedClearly()
    {
        const QString page = save(QStringLiteral("ok.html"), ListingPages::page({}, false));
        QCOMPARE(inspect({QStringLiteral("--seller"), QStringLiteral("bob"), QStringLiteral("--previous"), page}).exitCode, 2);
        QCOMPARE(inspect({QStringLiteral("--seller"), QStringLiteral("bob"), QStringLiteral("--previous"),
                          m_folder.filePath(QStringLiteral("missing.html")), QStringLiteral("--current"), page})
                     .exitCode,
                 2);
        const QString broken = save(QStringLiteral("broken.html"), "<a href=\"x;item=1");
        Run failed = inspect({QStringLiteral("--seller"), QStringLiteral("bob"), QStringLiteral("--previous"), broken,
                              QStringLiteral("--current"), page});
        QCOMPARE(failed.exitCode, 1);
        QCOMPARE(failed.lines.size(), 1);
        QCOMPARE(failed.lines.at(0).value(QStringLiteral("error")).toObject().value(QStringLiteral("number")).toInt(),
                 -2147221504);
    }
};

QTEST_GUILESS_MAIN(TestInspectCompare)
#include "tst_inspectcompare.moc"
