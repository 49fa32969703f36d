// What the fuzz models of the ID lists cannot show: removing IDs, and list
// files that cannot be read or written. Loading and saving themselves are
// checked by fuzz_listfile, fuzz_idstring and fuzz_idpages over their seeds.

#include "auction/CUserIDs.h"
#include "base/AppError.h"
#include "base/ProgramFolder.h"

#include "FileSizeLimit.h"
#include "TestFiles.h"

#include <QDirIterator>
#include <QTemporaryDir>
#include <QTest>

namespace {

QStringList idsOf(const CUserIDs &list)
{
    QStringList ids;
    for (const CUserID &entry : list)
        ids << entry.UserID();
    return ids;
}

// Every file and folder below path, with the files' contents.
QStringList contentsOf(const QString &path)
{
    QStringList entries;
    for (QDirIterator it(path, QDir::AllEntries | QDir::NoDotAndDotDot, QDirIterator::Subdirectories); it.hasNext();) {
        const QFileInfo entry = it.nextFileInfo();
        entries << entry.filePath() + u'=' + (entry.isFile() ? TestFiles::read(entry.filePath()) : QByteArray());
    }
    entries.sort();
    return entries;
}

// The number and description of the program error a call raised; empty when none.
template <class Call>
QString raisedBy(Call &&call)
{
    try {
        call();
    } catch (const AppError &error) {
        return QString::number(error.number()) + u' ' + error.description();
    }
    return {};
}

const QString FileName = QStringLiteral("/Accounts.txt");

} // namespace

class TestCUserIDs : public QObject
{
    Q_OBJECT

    QTemporaryDir m_folder;

private Q_SLOTS:
    void init()
    {
        QDir(m_folder.path()).removeRecursively();
        QVERIFY(QDir().mkpath(m_folder.path()));
        ProgramFolder::setPath(m_folder.path());
    }

    void removeIgnoresCaseAndKeepsTheOrder()
    {
        CUserIDs list;
        list.LoadFromSpaceDelimitedString(QStringLiteral("a seller1 b"));
        list.Remove(QStringLiteral("SELLER1"));
        QVERIFY(list.Add(QStringLiteral("Seller1")));
        QCOMPARE(idsOf(list), (QStringList{QStringLiteral("a"), QStringLiteral("b"), QStringLiteral("Seller1")}));
        QCOMPARE(raisedBy([&] { list.Remove(QStringLiteral("c")); }),
                 QStringLiteral("-2147221504 CUserIDs.Remove 5 Invalid procedure call or argument"));
        QCOMPARE(list.Count(), 3);
    }

    void missingFileLoadsNothing()
    {
        CUserIDs list;
        list.LoadFromReturnDelimitedFile(FileName);
        QCOMPARE(list.Count(), 0);
    }

    void fileFailuresLoseNothing_data()
    {
        QTest::addColumn<QString>("obstacle");
        QTest::addColumn<bool>("save");
        QTest::addColumn<QString>("error");
        QTest::newRow("load from a folder") << "folder" << false
                                            << "CUserIDs.LoadFromReturnDelimitedFile 75 Path/File access error";
        QTest::newRow("save over a folder") << "folder" << true
                                            << "CUserIDs.SaveToReturnDelimitedFile 75 Path/File access error";
        QTest::newRow("program folder is a file") << "file as folder" << true
                                                  << "CUserIDs.SaveToReturnDelimitedFile 76 Path not found";
        QTest::newRow("disk full") << "full disk" << true << "CUserIDs.SaveToReturnDelimitedFile 61 Disk full";
    }

    void fileFailuresLoseNothing()
    {
        QFETCH(QString, obstacle);
        QFETCH(bool, save);
        QFETCH(QString, error);
        const QString path = m_folder.path() + FileName;
        if (obstacle == QLatin1String("folder")) {
            QVERIFY(QDir().mkdir(path));
            TestFiles::write(path + QStringLiteral("/inside"), "keep");
        } else if (obstacle == QLatin1String("file as folder")) {
            TestFiles::write(path, "old1\r\n");
            ProgramFolder::setPath(path);
        } else {
            TestFiles::write(path, "old1\r\nold2\r\n");
        }
        CUserIDs list;
        for (int i = 0; save && i < 2000; ++i)
            list.Add(QStringLiteral("seller-with-a-long-name-%1").arg(i));
        const QStringList before = contentsOf(m_folder.path());
        QString raised;
        {
            // Writes past a few kilobytes fail as on a full disk.
            const FileSizeLimit limit(obstacle == QLatin1String("full disk") ? 4096 : RLIM_INFINITY);
            raised = raisedBy([&] {
                save ? list.SaveToReturnDelimitedFile(FileName) : list.LoadFromReturnDelimitedFile(FileName);
            });
        }
        QCOMPARE(raised, QStringLiteral("-2147221504 ") + error);
        QCOMPARE(contentsOf(m_folder.path()), before);
    }
};

QTEST_GUILESS_MAIN(TestCUserIDs)
#include "tst_cuserids.moc"
