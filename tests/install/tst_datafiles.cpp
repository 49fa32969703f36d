#include "config/CCustomBrand.h"
#include "base/ProgramFolder.h"
#include "RecordingMessageBoxes.h"
#include "TestFiles.h"

#include <QDir>
#include <QTemporaryDir>
#include <QTest>

// The help page and the brand file are found beside the program or, in an
// installation, in <prefix>/share/zorvane reached from <prefix>/bin.
class TestDataFiles : public QObject
{
    Q_OBJECT

    QTemporaryDir *m_prefix = nullptr;

    QString bin() const { return m_prefix->path() + QStringLiteral("/bin"); }
    QString share() const { return m_prefix->path() + QStringLiteral("/share/zorvane"); }

private Q_SLOTS:
    void init()
    {
        m_prefix = new QTemporaryDir;
        QVERIFY(m_prefix->isValid());
        QVERIFY(QDir().mkpath(bin()));
        QVERIFY(QDir().mkpath(share()));
        ProgramFolder::setPath(bin());
    }

    void cleanup()
    {
        ProgramFolder::setPath({});
        delete m_prefix;
        m_prefix = nullptr;
    }

    void installedDataFolderIsBesideTheProgramFolder()
    {
        QCOMPARE(ProgramFolder::installedDataFolder(), share());
        // A program folder given with a trailing separator leads to the same place.
        ProgramFolder::setPath(bin() + QStringLiteral("/"));
        QCOMPARE(ProgramFolder::installedDataFolder(), share());
    }

    void fileBesideTheProgramComesFirst()
    {
        TestFiles::write(bin() + QStringLiteral("/help.html"), "beside");
        TestFiles::write(share() + QStringLiteral("/help.html"), "installed");
        QCOMPARE(ProgramFolder::dataFile(QStringLiteral("help.html")), bin() + QStringLiteral("/help.html"));
    }

    void installedFileWhenNoneBeside()
    {
        TestFiles::write(share() + QStringLiteral("/help.html"), "installed");
        QCOMPARE(ProgramFolder::dataFile(QStringLiteral("help.html")), share() + QStringLiteral("/help.html"));
    }

    void missingEverywhereGivesThePathBeside()
    {
        QCOMPARE(ProgramFolder::dataFile(QStringLiteral("help.html")), bin() + QStringLiteral("/help.html"));
    }

    void folderOfThatNameIsNotTheFile()
    {
        QVERIFY(QDir().mkpath(bin() + QStringLiteral("/help.html")));
        TestFiles::write(share() + QStringLiteral("/help.html"), "installed");
        QCOMPARE(ProgramFolder::dataFile(QStringLiteral("help.html")), share() + QStringLiteral("/help.html"));

        // Folders in both places: nothing to open, the path beside the program.
        QVERIFY(QDir().remove(share() + QStringLiteral("/help.html")));
        QVERIFY(QDir().mkpath(share() + QStringLiteral("/help.html")));
        QCOMPARE(ProgramFolder::dataFile(QStringLiteral("help.html")), bin() + QStringLiteral("/help.html"));
    }

    void brandFileInTheInstalledDataFolderIsRead()
    {
        TestFiles::write(share() + QStringLiteral("/AppData"),
                         "<CompanyName>Acme</CompanyName><CompanyURL>http://acme.example</CompanyURL>"
                         "<SupportEmail>s@acme.example</SupportEmail>"
                         "<SubscribeEmail>j@acme.example</SubscribeEmail>"
                         "<ErrorReportEmail>e@acme.example</ErrorReportEmail>");
        RecordingMessageBoxes boxes;
        CCustomBrand brand;
        brand.Initialize();
        QVERIFY(brand.BrandFileFound());
        QCOMPARE(Brand::CompanyName, QStringLiteral("Acme"));
        QCOMPARE(Brand::ErrorReportEmail, QStringLiteral("e@acme.example"));
        QCOMPARE(boxes.requests().size(), 0);
    }

    void brandFileBesideTheProgramOverridesTheInstalledOne()
    {
        TestFiles::write(share() + QStringLiteral("/AppData"), "<CompanyName>Installed</CompanyName>");
        TestFiles::write(bin() + QStringLiteral("/AppData"),
                         "<CompanyName>Beside</CompanyName><CompanyURL>u</CompanyURL>"
                         "<SupportEmail>s</SupportEmail><SubscribeEmail>j</SubscribeEmail>"
                         "<ErrorReportEmail>e</ErrorReportEmail>");
        RecordingMessageBoxes boxes;
        CCustomBrand brand;
        brand.Initialize();
        QCOMPARE(Brand::CompanyName, QStringLiteral("Beside"));
        QCOMPARE(boxes.requests().size(), 0);
    }

    void noBrandFileAnywhereGivesTheDefaults()
    {
        RecordingMessageBoxes boxes;
        CCustomBrand brand;
        brand.Initialize();
        QVERIFY(!brand.BrandFileFound());
        QCOMPARE(Brand::CompanyName, QStringLiteral("Pellridge"));
        QCOMPARE(boxes.requests().size(), 0);
    }
};

QTEST_MAIN(TestDataFiles)
#include "tst_datafiles.moc"
