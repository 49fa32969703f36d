// List files and folders that are not what the program expects: a file it
// cannot read to the end, a program folder it cannot write, nowhere to
// write at all, a disk that fills during a save. No list file is ever left
// damaged or written over with less than it held.

#include "base/AppError.h"
#include "base/ProgramFolder.h"
#include "monitor/ListStore.h"

#include "FileSizeLimit.h"
#include "TestFiles.h"

#include <QDir>
#include <QTemporaryDir>
#include <QTest>

using namespace Qt::StringLiterals;
using List = ListStore::List;

class TestListFaults : public QObject
{
    Q_OBJECT

    std::unique_ptr<QTemporaryDir> m_folder;

    QString path(const QString &name) const { return m_folder->filePath(name); }
    QStringList programEntries() const { return QDir(path(u"program"_s)).entryList(QDir::NoDotAndDotDot | QDir::AllEntries | QDir::Hidden); }

    // Loads the list; the problem that made it read-only, or empty.
    static QString load(ListStore &store, List which)
    {
        try {
            store.load(which);
        } catch (...) {
        }
        return store.problem(which);
    }

private Q_SLOTS:
    void init()
    {
        m_folder = std::make_unique<QTemporaryDir>();
        QDir().mkpath(path(u"program"_s));
        ProgramFolder::setPath(path(u"program"_s));
        qputenv("XDG_DATA_HOME", path(u"data"_s).toLocal8Bit());
        TestFiles::write(path(u"blocker"_s), "a file, not a folder");
    }

    void aListReadPartWayIsNeverWrittenBack_data()
    {
        QTest::addColumn<QByteArray>("file"); // empty: the list file is a folder
        QTest::addColumn<QString>("problem");
        QTest::newRow("letter-case twins") << QByteArray("me@example.com\r\nMe@Example.com\r\nlost@example.com\r\n")
                                           << u"line 2, \"Me@Example.com\", differs from \"me@example.com\" only in letter case"_s;
        QTest::newRow("a folder") << QByteArray() << u"it is a folder, not a file"_s;
    }

    void aListReadPartWayIsNeverWrittenBack()
    {
        QFETCH(QByteArray, file);
        QFETCH(QString, problem);
        const QString listFile = path(u"program/EmailAddresses.txt"_s);
        TestFiles::write(file.isEmpty() && QDir().mkpath(listFile) ? listFile + u"/inside.txt"_s : listFile, file + "kept");
        TestFiles::write(path(u"program/Accounts.txt"_s), "seller1\r\n");
        const QStringList entries = programEntries();
        ListStore store;
        QCOMPARE(load(store, List::Recipients), problem);
        QCOMPARE(load(store, List::Sellers), QString()); // the other list works as ever
        store.recipients().Add(u"new@example.com"_s);
        store.sellers().Add(u"seller2"_s);
        store.save(List::Recipients);
        store.save(List::Sellers);
        QCOMPARE(TestFiles::read(file.isEmpty() ? listFile + u"/inside.txt"_s : listFile), file + "kept");
        QCOMPARE(TestFiles::read(path(u"program/Accounts.txt"_s)), QByteArray("seller1\r\nseller2\r\n"));
        QCOMPARE(programEntries(), entries);
    }

    // Root may write into any folder: one under a plain file is one nobody can write.
    void aProgramFolderThatCannotBeWrittenKeepsTheListsInTheDataFolder()
    {
        ProgramFolder::setPath(path(u"blocker/program"_s));
        ListStore first;
        QCOMPARE(load(first, List::Sellers), QString());
        first.sellers().Add(u"added"_s);
        first.save(List::Sellers);
        ListStore next;
        QCOMPARE(load(next, List::Sellers), QString());
        QVERIFY(next.sellers().find(u"added"_s));
        qputenv("XDG_DATA_HOME", path(u"blocker/data"_s).toLocal8Bit()); // and then nowhere to write at all
        QVERIFY_THROWS_EXCEPTION(AppError, ListStore().save(List::Sellers));
    }

    void aDiskFullDuringASaveKeepsThePreviousFile()
    {
        QByteArray file;
        for (int i = 0; i < 1000; ++i)
            file += "seller" + QByteArray::number(i) + "\r\n";
        TestFiles::write(path(u"program/Accounts.txt"_s), file);
        const QStringList entries = programEntries();
        ListStore store;
        QCOMPARE(load(store, List::Sellers), QString());
        store.sellers().Add(u"one-more"_s);
        {
            FileSizeLimit limit(4096); // smaller than the list file
            QVERIFY_THROWS_EXCEPTION(AppError, store.save(List::Sellers));
        }
        QCOMPARE(TestFiles::read(path(u"program/Accounts.txt"_s)), file);
        QCOMPARE(programEntries(), entries); // no half-written file beside it
    }
};

QTEST_GUILESS_MAIN(TestListFaults)
#include "tst_listfaults.moc"
