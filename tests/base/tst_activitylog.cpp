// The activity log a user reads the next morning: a file deleted meanwhile
// is written again, and at about 1 MB the files rotate, three kept.

#include "base/ActivityLog.h"

#include "TestFiles.h"

#include <QtTest>

class TestActivityLog : public QObject
{
    Q_OBJECT

    QTemporaryDir m_folder;
    QString log(const QString &suffix = {}) const { return m_folder.filePath("zorvane.log" + suffix); }

private Q_SLOTS:
    void initTestCase() { ActivityLog::install(m_folder.path()); }
    void cleanupTestCase() { ActivityLog::uninstall(); }

    void comesBackWhenDeletedAndKeepsThreeFiles()
    {
        QVERIFY(QFile::remove(log()));
        qCInfo(lcActivity).noquote() << "after the deletion";
        QVERIFY(QFile::exists(log()) && TestFiles::read(log()).endsWith("  after the deletion\n"));

        const QString line(10 * 1024, u'x');
        for (int i = 0; i < 350; ++i) // 3.5 MB
            qCInfo(lcActivity).noquote() << line;
        for (const QString suffix : {".1", ".2"}) {
            const qint64 size = QFileInfo(log(suffix)).size();
            QVERIFY2(size > ActivityLog::RotateBytes - 2 * line.size() && size <= ActivityLog::RotateBytes, qPrintable(suffix));
        }
        QVERIFY(QFileInfo(log()).size() <= ActivityLog::RotateBytes);
        QVERIFY(!QFile::exists(log(".3")));
    }
};

QTEST_GUILESS_MAIN(TestActivityLog)
#include "tst_activitylog.moc"
