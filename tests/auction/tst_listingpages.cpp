// Saved listing pages through zorvane-inspect, compared with golden files:
// each golden file's first line is the expected exit code and the arguments
// after "listing"; the rest is the expected output.

#include "TestFiles.h"
#include "ToolRun.h"

#include <QDir>
#include <QTest>

class TestListingPages : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void initTestCase() { QVERIFY(QDir::setCurrent(QStringLiteral(GOLDEN_DIR))); }

    void pagesGiveTheGoldenItems_data()
    {
        QTest::addColumn<QString>("golden");
        for (const QString &name : QDir().entryList({QStringLiteral("*.txt")}))
            QTest::newRow(qPrintable(name)) << name;
    }

    void pagesGiveTheGoldenItems()
    {
        QFETCH(QString, golden);
        QList<QByteArray> expected = TestFiles::read(golden).split('\n');
        if (expected.last().isEmpty())
            expected.removeLast();
        QStringList arguments = QString::fromUtf8(expected.takeFirst()).split(u' ', Qt::SkipEmptyParts);
        const int exitCode = arguments.takeFirst().toInt();
        const ToolRun run = runTool(QStringLiteral(ZORVANE_INSPECT_PATH), QStringList{QStringLiteral("listing")} + arguments);
        QList<QByteArray> lines = run.out.split('\n');
        lines.removeLast();
        QCOMPARE(lines, expected);
        QCOMPARE(run.exitCode, exitCode);
    }
};

QTEST_GUILESS_MAIN(TestListingPages)
#include "tst_listingpages.moc"
