// Runs the built zorvane-inspect on saved pages and reads its JSON lines.

#include "SellerPages.h"

#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QTemporaryDir>
#include <QTest>

#include "TestFiles.h"

using namespace SellerPages;

namespace {

struct Run
{
    int exitCode = -1;
    QList<QByteArray> lines;
    QByteArray errors;
};

Run inspect(const QStringList &args)
{
    QProcess process;
    process.start(QStringLiteral(ZORVANE_INSPECT_PATH), QStringList{QStringLiteral("listing")} + args);
    Run run;
    if (!process.waitForFinished(60000)) {
        process.kill();
        process.waitForFinished();
        return run;
    }
    run.exitCode = process.exitStatus() == QProcess::NormalExit ? process.exitCode() : -1;
    const QByteArray out = process.readAllStandardOutput();
    run.lines = out.split('\n');
    if (!run.lines.isEmpty() && run.lines.last().isEmpty())
        run.lines.removeLast();
    run.errors = process.readAllStandardError();
    return run;
}

} // namespace

class TestInspectListing : public QObject
{
    Q_OBJECT

    QTemporaryDir m_folder;

    QString pageFile(const QString &name, const QByteArray &bytes)
    {
        const QString path = m_folder.path() + u'/' + name;
        TestFiles::write(path, bytes);
        return path;
    }

private Q_SLOTS:
    void itemsOfSeveralPagesInListOrder()
    {
        const QString one = pageFile(QStringLiteral("p1.html"),
                                     page(row(QStringLiteral("11"), boldPrice(QStringLiteral("$1")),
                                              QStringLiteral("Caf\u00e9 \"table\""),
                                              dutchCell(QStringLiteral(" 3 ")) + bidderCell(QStringLiteral("bob")),
                                              QStringLiteral(" (*)")))
                                         .toLatin1());
        const QString two = pageFile(QStringLiteral("p2.html"),
                                     page(row(QStringLiteral("11"), plainPrice(QStringLiteral("$9")), QStringLiteral("again"))
                                          + row(QStringLiteral("22"), plainPrice(QStringLiteral("$2")), QStringLiteral("Lamp")))
                                         .toLatin1());
        const Run run = inspect({one, two});
        QCOMPARE(run.exitCode, 0);
        QCOMPARE(run.lines.size(), 3);
        // The line is written with the item's own field order.
        QCOMPARE(run.lines.at(0),
                 QByteArray("{\"ItemNumber\":\"11\",\"Bids\":true,\"NumBids\":\"3\",\"IsDutch\":true,"
                            "\"Description\":\"Caf\xc3\xa9 \\\"table\\\"\",\"HighBidder\":\"bob\",\"Completed\":true,"
                            "\"HighBid\":\"$1\"}"));
        const QJsonObject second = QJsonDocument::fromJson(run.lines.at(1)).object();
        QCOMPARE(second.value(QStringLiteral("ItemNumber")).toString(), QStringLiteral("22"));
        QCOMPARE(second.value(QStringLiteral("Bids")).toBool(true), false);
        QCOMPARE(second.value(QStringLiteral("HighBid")).toString(), QStringLiteral("$2"));
        QCOMPARE(run.lines.at(2), QByteArray("{\"result\":true}"));
    }

    void resultComesFromTheLastPage()
    {
        const QString one = pageFile(QStringLiteral("r1.html"),
                                     page(row(QStringLiteral("5"), plainPrice(QStringLiteral("$1")), QStringLiteral("x"))).toLatin1());
        const QString empty = pageFile(QStringLiteral("r2.html"), "<html>no items</html>");
        const Run run = inspect({one, empty});
        QCOMPARE(run.exitCode, 0);
        QCOMPARE(run.lines.size(), 2);
        QCOMPARE(run.lines.at(1), QByteArray("{\"result\":false}"));
    }

    void parseErrorComesAfterTheItemsAddedBeforeIt()
    {
        const QString broken = pageFile(QStringLiteral("e.html"),
                                        (page(row(QStringLiteral("7"), plainPrice(QStringLiteral("$1")), QStringLiteral("x")))
                                         + QStringLiteral(";item=8 never closed"))
                                            .toLatin1());
        const Run run = inspect({broken});
        QCOMPARE(run.exitCode, 1);
        QCOMPARE(run.lines.size(), 2);
        QVERIFY(run.lines.at(0).startsWith("{\"ItemNumber\":\"7\""));
        QCOMPARE(run.lines.at(1),
                 QByteArray("{\"error\":{\"number\":-2147221504,\"description\":\"CItems.LoadFromSellerPage 5 "
                            "Invalid procedure call or argument Item: 7\"}}"));
    }

    void categoryPages()
    {
        const QString file = pageFile(QStringLiteral("c.html"), "<tr><a href=\"x?itemnum=31&amp;b\">a</a><td>-</td></tr>");
        const Run run = inspect({QStringLiteral("--category"), QStringLiteral("2"), file});
        QCOMPARE(run.exitCode, 0);
        QCOMPARE(run.lines.size(), 2);
        const QJsonObject item = QJsonDocument::fromJson(run.lines.at(0)).object();
        QCOMPARE(item.value(QStringLiteral("ItemNumber")).toString(), QStringLiteral("31"));
        QCOMPARE(item.value(QStringLiteral("Bids")).toBool(true), false);
        QCOMPARE(run.lines.at(1), QByteArray("{\"result\":true}"));
    }

    void unreadableFileAndBadArguments()
    {
        const QString good = pageFile(QStringLiteral("g.html"),
                                      page(row(QStringLiteral("5"), plainPrice(QStringLiteral("$1")), QStringLiteral("x"))).toLatin1());
        const Run missing = inspect({good, m_folder.path() + QStringLiteral("/missing.html")});
        QCOMPARE(missing.exitCode, 2);
        QVERIFY(missing.lines.isEmpty());
        QVERIFY(missing.errors.contains("missing.html"));

        QCOMPARE(inspect({}).exitCode, 2);
        QCOMPARE(inspect({QStringLiteral("--category"), QStringLiteral("x"), good}).exitCode, 2);
        QCOMPARE(inspect({QStringLiteral("--category")}).exitCode, 2);
    }
};

QTEST_GUILESS_MAIN(TestInspectListing)
#include "tst_inspectlisting.moc"
