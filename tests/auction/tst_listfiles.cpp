#include "auction/CUserIDs.h"
#include "base/ProgramFolder.h"
#include "base/AppError.h"
#include "TestFiles.h"

#include "RaisedError.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QTest>

#include <csignal>
#include <optional>
#include <sys/resource.h>

namespace {

QStringList idsOf(const CUserIDs &list)
{
    QStringList ids;
    for (const CUserID &entry : list)
        ids << entry.UserID();
    return ids;
}

const QString FileName = QStringLiteral("/Accounts.txt");

} // namespace

class TestListFiles : public QObject
{
    Q_OBJECT

    QTemporaryDir *m_folder = nullptr;

    QString filePath() const { return m_folder->path() + FileName; }

private Q_SLOTS:
    void init()
    {
        m_folder = new QTemporaryDir;
        QVERIFY(m_folder->isValid());
        ProgramFolder::setPath(m_folder->path());
    }

    void cleanup()
    {
        ProgramFolder::setPath(QString());
        delete m_folder;
        m_folder = nullptr;
    }

    void missingFileLoadsNothing()
    {
        CUserIDs list;
        list.LoadFromReturnDelimitedFile(FileName);
        QCOMPARE(list.Count(), 0);
    }

    void lineEnds_data()
    {
        QTest::addColumn<QByteArray>("bytes");
        QTest::addColumn<QStringList>("ids");
        QTest::newRow("CR LF") << QByteArray("a\r\nb\r\n") << QStringList{QStringLiteral("a"), QStringLiteral("b")};
        QTest::newRow("LF") << QByteArray("a\nb\n") << QStringList{QStringLiteral("a"), QStringLiteral("b")};
        QTest::newRow("CR") << QByteArray("a\rb\r") << QStringList{QStringLiteral("a"), QStringLiteral("b")};
        QTest::newRow("mixed") << QByteArray("a\rb\nc\r\nd") << QStringList{QStringLiteral("a"), QStringLiteral("b"), QStringLiteral("c"), QStringLiteral("d")};
        QTest::newRow("no last line end") << QByteArray("a\r\nb") << QStringList{QStringLiteral("a"), QStringLiteral("b")};
        QTest::newRow("blank line") << QByteArray("a\r\n\r\nb\r\n") << QStringList{QStringLiteral("a"), QString(), QStringLiteral("b")};
        QTest::newRow("LF CR is two ends") << QByteArray("a\n\rb") << QStringList{QStringLiteral("a"), QString(), QStringLiteral("b")};
        QTest::newRow("blanks kept") << QByteArray(" a \r\n") << QStringList{QStringLiteral(" a ")};
        QTest::newRow("repeat") << QByteArray("a\r\na\r\n") << QStringList{QStringLiteral("a")};
        QTest::newRow("empty file") << QByteArray() << QStringList{};
    }

    void lineEnds()
    {
        QFETCH(QByteArray, bytes);
        QFETCH(QStringList, ids);
        TestFiles::write(filePath(), bytes);
        CUserIDs list;
        list.LoadFromReturnDelimitedFile(FileName);
        QCOMPARE(idsOf(list), ids);
    }

    void crLfSplitAcrossReadBlocks()
    {
        // A CR at the very end of one read block and its LF at the start of
        // the next still make one line end.
        const QByteArray first(64 * 1024 - 1, 'x');
        TestFiles::write(filePath(), first + "\r\nsecond\r\n");
        CUserIDs list;
        list.LoadFromReturnDelimitedFile(FileName);
        QCOMPARE(idsOf(list), (QStringList{QString::fromLatin1(first), QStringLiteral("second")}));
    }

    void saveAndLoadRoundTripByteForByte()
    {
        // Every byte but the line ends, high bytes included.
        QByteArray all;
        for (int byte = 0; byte < 256; ++byte)
            if (byte != '\r' && byte != '\n')
                all += char(byte);
        const QByteArray original = "seller1\r\n" + all + "\r\n\r\n  spaced  \r\n\xe9t\xe9\r\n";
        TestFiles::write(filePath(), original);

        CUserIDs list;
        list.LoadFromReturnDelimitedFile(FileName);
        QCOMPARE(list.Count(), 5);
        QCOMPARE(list.find(QStringLiteral("\u00e9t\u00e9"))->UserID(), QStringLiteral("\u00e9t\u00e9"));
        list.SaveToReturnDelimitedFile(FileName);
        QCOMPARE(TestFiles::read(filePath()), original);
    }

    void saveWritesCrLfAfterEveryEntry()
    {
        CUserIDs list;
        list.SaveToReturnDelimitedFile(FileName);
        QCOMPARE(TestFiles::read(filePath()), QByteArray());
        list.Add(QStringLiteral("a"));
        list.Add(QStringLiteral("b"));
        list.SaveToReturnDelimitedFile(FileName);
        QCOMPARE(TestFiles::read(filePath()), QByteArray("a\r\nb\r\n"));
        // A file read without a last line end is written back with one.
        TestFiles::write(filePath(), "x\ny");
        CUserIDs loaded;
        loaded.LoadFromReturnDelimitedFile(FileName);
        loaded.SaveToReturnDelimitedFile(FileName);
        QCOMPARE(TestFiles::read(filePath()), QByteArray("x\r\ny\r\n"));
    }

    void loadFailingPartWayKeepsTheEarlierEntries()
    {
        TestFiles::write(filePath(), "seller1\r\nother\r\nSeller1\r\nlater\r\n");
        CUserIDs list;
        const auto error = raisedBy([&] { list.LoadFromReturnDelimitedFile(FileName); });
        QVERIFY(error);
        QCOMPARE(error->number(), ErrorNumber::Component);
        QCOMPARE(error->description(),
                 QStringLiteral("CUserIDs.LoadFromReturnDelimitedFile -2147221504 CUserIDs.Add 457 "
                                "This key is already associated with an element of this collection"));
        QCOMPARE(idsOf(list), (QStringList{QStringLiteral("seller1"), QStringLiteral("other")}));
    }

    void loadOfADirectoryIsAFileError()
    {
        QVERIFY(QDir(m_folder->path()).mkdir(QStringLiteral("Accounts.txt")));
        CUserIDs list;
        const auto error = raisedBy([&] { list.LoadFromReturnDelimitedFile(FileName); });
        QVERIFY(error);
        QCOMPARE(error->description(),
                 QStringLiteral("CUserIDs.LoadFromReturnDelimitedFile 75 Path/File access error"));
    }

    void saveOverADirectoryFailsAndLeavesIt()
    {
        QVERIFY(QDir(m_folder->path()).mkdir(QStringLiteral("Accounts.txt")));
        TestFiles::write(filePath() + QStringLiteral("/inside"), "keep");
        CUserIDs list;
        list.Add(QStringLiteral("a"));
        const auto error = raisedBy([&] { list.SaveToReturnDelimitedFile(FileName); });
        QVERIFY(error);
        QCOMPARE(error->number(), ErrorNumber::Component);
        QCOMPARE(error->description(),
                 QStringLiteral("CUserIDs.SaveToReturnDelimitedFile 75 Path/File access error"));
        QCOMPARE(TestFiles::read(filePath() + QStringLiteral("/inside")), QByteArray("keep"));
        QCOMPARE(QDir(m_folder->path()).entryList(QDir::NoDotAndDotDot | QDir::AllEntries),
                 QStringList{QStringLiteral("Accounts.txt")});
    }

    void saveIntoAFolderThatIsAFileFails()
    {
        const QString notAFolder = m_folder->path() + QStringLiteral("/plain");
        TestFiles::write(notAFolder, "file");
        ProgramFolder::setPath(notAFolder);
        CUserIDs list;
        list.Add(QStringLiteral("a"));
        const auto error = raisedBy([&] { list.SaveToReturnDelimitedFile(FileName); });
        QVERIFY(error);
        QCOMPARE(error->description(), QStringLiteral("CUserIDs.SaveToReturnDelimitedFile 76 Path not found"));
        QCOMPARE(TestFiles::read(notAFolder), QByteArray("file"));
        // Loading from there finds no file.
        CUserIDs loaded;
        loaded.LoadFromReturnDelimitedFile(FileName);
        QCOMPARE(loaded.Count(), 0);
    }

    void saveFailingPartWayLeavesThePreviousFile()
    {
        // A file-size limit makes the write fail after a few kilobytes, as a
        // full disk would; root cannot override it.
        const QByteArray previous = "old1\r\nold2\r\n";
        TestFiles::write(filePath(), previous);
        CUserIDs list;
        for (int i = 0; i < 2000; ++i)
            list.Add(QStringLiteral("seller-with-a-long-name-%1").arg(i));

        std::optional<AppError> error;
        {
            const auto previousHandler = std::signal(SIGXFSZ, SIG_IGN);
            rlimit saved{};
            QCOMPARE(getrlimit(RLIMIT_FSIZE, &saved), 0);
            rlimit limited = saved;
            limited.rlim_cur = 4096;
            QCOMPARE(setrlimit(RLIMIT_FSIZE, &limited), 0);
            error = raisedBy([&] { list.SaveToReturnDelimitedFile(FileName); });
            setrlimit(RLIMIT_FSIZE, &saved);
            std::signal(SIGXFSZ, previousHandler);
        }
        QVERIFY(error);
        QCOMPARE(error->number(), ErrorNumber::Component);
        QCOMPARE(error->description(), QStringLiteral("CUserIDs.SaveToReturnDelimitedFile 61 Disk full"));
        QCOMPARE(TestFiles::read(filePath()), previous);
        // No half-written file is left beside it.
        QCOMPARE(QDir(m_folder->path()).entryList(QDir::NoDotAndDotDot | QDir::AllEntries),
                 QStringList{QStringLiteral("Accounts.txt")});
    }
};

QTEST_GUILESS_MAIN(TestListFiles)
#include "tst_listfiles.moc"
