// List files and folders that are not what the window expects: a program
// folder that cannot be written, a list file that is a folder, binary bytes,
// a very long list, a disk that fills during a save. The window keeps
// working, tells the user, and never leaves a list file damaged.

#include "auction/CUserIDs.h"

#include "FileSizeLimit.h"
#include "WindowRig.h"

#include <QElapsedTimer>
#include <QFile>
#include <QListWidget>
#include <QProcess>
#include <QPushButton>
#include <QScopeGuard>
#include <QTimer>
#include <QLineEdit>

#include "dialogs/FAdd.h"


namespace {

// Answers the add-entry dialog that is about to open with text.
void answerNextAddDialog(const QString &text)
{
    QTimer::singleShot(0, [text] {
        auto *dialog = qobject_cast<FAdd *>(QApplication::activeModalWidget());
        if (!dialog)
            qFatal("no add-entry dialog is open");
        dialog->findChild<QLineEdit *>(QStringLiteral("txtEmail"))->setText(text);
        dialog->findChild<QPushButton *>(QStringLiteral("cmdAdd"))->click();
    });
}

void addSeller(FAlert &window, const QString &id)
{
    answerNextAddDialog(id);
    window.findChild<QPushButton *>(QStringLiteral("cmdAddAccount"))->click();
}

int shownSellers(FAlert &window)
{
    return window.findChild<QListWidget *>(QStringLiteral("lstAccounts"))->count();
}

QStringList folderEntries(const QString &path)
{
    return QDir(path).entryList(QDir::NoDotAndDotDot | QDir::AllEntries | QDir::Hidden, QDir::Name);
}

} // namespace

class TestListFaults : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void unwritableProgramFolderKeepsTheListsElsewhere()
    {
        // Root may write into any folder; a "folder" under a plain file is
        // one that nobody can create or write.
        WindowRig rig;
        TestFiles::write(rig.path(QStringLiteral("blocker")), "a file, not a folder");
        ProgramFolder::setPath(rig.path(QStringLiteral("blocker/program")));

        FAlert &window = rig.reload();
        QVERIFY(rig.boxes.requests().isEmpty());
        addSeller(window, QStringLiteral("kept-seller"));
        QCOMPARE(window.Sellers().Count(), 1);
        QVERIFY2(rig.reporter.reports().isEmpty(), qPrintable(rig.reporter.reports().join(u'\n')));
        QVERIFY(rig.unload());

        // The next start finds the seller again.
        FAlert &again = rig.reload();
        QCOMPARE(again.Sellers().Count(), 1);
        QVERIFY(again.Sellers().find(QStringLiteral("kept-seller")));
        QCOMPARE(shownSellers(again), 1);
        QVERIFY(rig.unload());
    }

    void listsBesideAReadOnlyProgramAreStillRead()
    {
        // An immutable folder is one even root cannot write to.
        WindowRig rig;
        const QString program = rig.path(QStringLiteral("readonly-program"));
        QDir().mkpath(program);
        TestFiles::write(program + QStringLiteral("/Accounts.txt"), "placed-seller\r\n");
        if (QProcess::execute(QStringLiteral("chattr"), {QStringLiteral("+i"), program}) != 0)
            QSKIP("this file system cannot make a folder immutable");
        auto unlock = qScopeGuard([&] { QProcess::execute(QStringLiteral("chattr"), {QStringLiteral("-i"), program}); });
        ProgramFolder::setPath(program);

        FAlert &window = rig.reload();
        QVERIFY(window.Sellers().find(QStringLiteral("placed-seller")));
        QCOMPARE(shownSellers(window), 1);
        addSeller(window, QStringLiteral("added-seller"));
        QVERIFY(rig.unload());
        QCOMPARE(TestFiles::read(program + QStringLiteral("/Accounts.txt")), QByteArray("placed-seller\r\n"));

        // From now on the data folder's copy is the list.
        FAlert &again = rig.reload();
        QCOMPARE(again.Sellers().Count(), 2);
        QVERIFY(again.Sellers().find(QStringLiteral("added-seller")));
        QVERIFY(rig.unload());
    }

    void nowhereToWriteIsReportedAndEndsCleanly()
    {
        WindowRig rig;
        TestFiles::write(rig.path(QStringLiteral("blocker")), "a file, not a folder");
        ProgramFolder::setPath(rig.path(QStringLiteral("blocker/program")));
        DataHome dataHome(rig.path(QStringLiteral("blocker/data")));

        FAlert &window = rig.reload();
        addSeller(window, QStringLiteral("seller1"));
        // The entry stays on screen and in the list; the failed save is told.
        QCOMPARE(window.Sellers().Count(), 1);
        QCOMPARE(shownSellers(window), 1);
        QCOMPARE(rig.reporter.reports().size(), 1);
        QVERIFY2(rig.reporter.reports().at(0).startsWith(
                     QStringLiteral("FAlert.OnCmdAddAccountClick\r\nCUserIDs.SaveToReturnDelimitedFile ")),
                 qPrintable(rig.reporter.reports().at(0)));

        // A delete whose save fails leaves the box and the list agreeing:
        // the entry is gone from both, and the next delete works.
        addSeller(window, QStringLiteral("seller2"));
        auto *box = window.findChild<QListWidget *>(QStringLiteral("lstAccounts"));
        for (int left = 1; left >= 0; --left) {
            box->setCurrentRow(0);
            window.findChild<QPushButton *>(QStringLiteral("cmdDeleteAccount"))->click();
            QCOMPARE(window.Sellers().Count(), left);
            QCOMPARE(shownSellers(window), left);
        }
        for (const QString &report : rig.reporter.reports())
            QVERIFY2(report.contains(QStringLiteral("SaveToReturnDelimitedFile")), qPrintable(report));
        const qsizetype reports = rig.reporter.reports().size();

        QVERIFY(!rig.unload()); // the unload says it could not save
        QCOMPARE(rig.reporter.reports().size(), reports + 1);
        QVERIFY(rig.reporter.reports().last().startsWith(QStringLiteral("FAlert.OnFormUnload\r\nThe seller list could not be saved: ")));
    }

    void listFileThatIsAFolderIsLeftAlone_data()
    {
        QTest::addColumn<QString>("folderName");
        QTest::addColumn<QString>("fileName");
        QTest::newRow("sellers") << QStringLiteral("Accounts.txt") << QStringLiteral("EmailAddresses.txt");
        QTest::newRow("recipients") << QStringLiteral("EmailAddresses.txt") << QStringLiteral("Accounts.txt");
    }

    void listFileThatIsAFolderIsLeftAlone()
    {
        QFETCH(QString, folderName);
        QFETCH(QString, fileName);
        WindowRig rig;
        QVERIFY(QDir().mkpath(rig.programFile(folderName)));
        TestFiles::write(rig.programFile(folderName + QStringLiteral("/inside.txt")), "precious");
        const QByteArray other = fileName == QLatin1String("Accounts.txt") ? QByteArray("seller1\r\nseller2\r\n")
                                                                           : QByteArray("a@example.com\r\n");
        TestFiles::write(rig.programFile(fileName), other);

        rig.reload();
        QCOMPARE(rig.boxes.requests().size(), 1);
        QVERIFY(rig.boxes.requests().at(0).text.contains(folderName));
        QCOMPARE(rig.reporter.reports().size(), 1);
        QVERIFY(rig.reporter.reports().at(0).startsWith(QStringLiteral("FAlert.OnFormLoad\r\n")));

        rig.unload();
        QVERIFY(QFileInfo(rig.programFile(folderName)).isDir());
        QCOMPARE(TestFiles::read(rig.programFile(folderName + QStringLiteral("/inside.txt"))), QByteArray("precious"));
        QCOMPARE(TestFiles::read(rig.programFile(fileName)), other);
    }

    void binaryBytesComeBackByteForByte()
    {
        // Every byte value but CR and LF, in lines that differ in more than
        // letter case; one line holds all of them.
        QByteArray all;
        for (int b = 0; b < 256; ++b)
            if (b != '\r' && b != '\n')
                all += char(b);
        QByteArray file = all + "\r\n";
        for (int b = 0; b < 256; ++b) {
            if (b == '\r' || b == '\n')
                continue;
            const int mirror = 255 - b == '\r' || 255 - b == '\n' ? 'x' : 255 - b;
            file += QByteArray::number(b) + ':' + char(b) + char(mirror) + QByteArray(3, char(b)) + "\r\n";
        }
        file += QByteArray("\0\0\0", 3) + "\r\n";
        const int lines = int(file.count("\r\n"));

        WindowRig rig;
        FAlert &window = rig.load(file, QByteArray("a@example.com\r\n"));
        QVERIFY2(rig.reporter.reports().isEmpty(), qPrintable(rig.reporter.reports().join(u'\n')));
        QCOMPARE(window.Sellers().Count(), lines);
        QCOMPARE(shownSellers(window), lines);
        QVERIFY(rig.unload());
        QCOMPARE(TestFiles::read(rig.programFile(QStringLiteral("Accounts.txt"))), file);
    }

    void binarySellerDoesNotStopTheCycle()
    {
        WindowRig rig;
        LocalHttpServer site;
        QVERIFY(site.isListening());
        rig.writeSettings(site, 9); // no mail server: mail errors are fine here
        const QString good = ListingPages::path(QStringLiteral("seller2"), 1);
        site.route(good, LocalHttpServer::page(sellerPage({{QStringLiteral("1"), QStringLiteral("$1.00"), {}}})));
        static const char sellers[] = "\x01\x7f\xff <>#%?&=\"x\x00y\r\nseller2\r\n";
        FAlert &window = rig.load(QByteArray(sellers, sizeof sellers - 1), "a@example.com\r\n");
        window.Cycle().setPageTimeout(std::chrono::milliseconds(2000));
        window.Cycle().setMailTimeout(std::chrono::milliseconds(500));
        QCOMPARE(window.Sellers().Count(), 2);
        QVERIFY(rig.checkNow());
        QVERIFY(site.requestedPaths().contains(good));
        QCOMPARE(window.Sellers().Count(), 2);
    }

    void hundredThousandLinesLoadShowAndSave()
    {
        QByteArray file;
        file.reserve(100000 * 16);
        for (int i = 0; i < 100000; ++i)
            file += "seller" + QByteArray::number(i).rightJustified(6, '0') + "\r\n";

        WindowRig rig;
        TestFiles::write(rig.programFile(QStringLiteral("Accounts.txt")), file);
        TestFiles::write(rig.programFile(QStringLiteral("EmailAddresses.txt")), "a@example.com\r\n");
        QElapsedTimer clock;
        clock.start();
        FAlert &window = rig.reload();
        const qint64 loadMs = clock.elapsed();
        QCOMPARE(window.Sellers().Count(), 100000);
        QCOMPARE(shownSellers(window), 100000);
        clock.restart();
        QVERIFY(rig.unload());
        const qint64 unloadMs = clock.elapsed();
        // Reported for the record, not asserted: timings belong to benchmarks.
        qInfo("100,000 sellers: load and show %lld ms, unload and save %lld ms", loadMs, unloadMs);
        QCOMPARE(TestFiles::read(rig.programFile(QStringLiteral("Accounts.txt"))), file);
    }

    void diskFullDuringASaveKeepsThePreviousFile()
    {
        QByteArray file;
        for (int i = 0; i < 1000; ++i)
            file += "seller" + QByteArray::number(i) + "\r\n";
        const QByteArray recipients = "a@example.com\r\n";
        WindowRig rig;
        FAlert &window = rig.load(file, recipients);
        QCOMPARE(window.Sellers().Count(), 1000);
        const QStringList entriesBefore = folderEntries(rig.programFolder());

        window.findChild<QLineEdit *>(QStringLiteral("txtSMTP"))->setText(QStringLiteral("smtp.typed.example"));
        {
            // Smaller than the list file, larger than the settings file.
            FileSizeLimit limit(4096);
            QVERIFY(limit.active());
            addSeller(window, QStringLiteral("one-more"));
            QCOMPARE(window.Sellers().Count(), 1001); // still in the list, still on screen
            QCOMPARE(shownSellers(window), 1001);
            QCOMPARE(rig.reporter.reports().size(), 1);
            QVERIFY2(rig.reporter.reports().at(0).contains(QStringLiteral("Disk full")),
                     qPrintable(rig.reporter.reports().at(0)));
            QCOMPARE(TestFiles::read(rig.programFile(QStringLiteral("Accounts.txt"))), file);
            QCOMPARE(folderEntries(rig.programFolder()), entriesBefore); // no half-written file beside it

            QVERIFY(!rig.unload());
            QCOMPARE(rig.reporter.reports().size(), 2);
            QVERIFY(rig.reporter.reports().at(1).startsWith(QStringLiteral("FAlert.OnFormUnload\r\n")));
        }
        // The list could not be saved; the settings typed in this run were.
        QCOMPARE(QSettings(rig.path(QStringLiteral("config/Zorvane/Zorvane.conf")), QSettings::IniFormat)
                     .value(QStringLiteral("Main/SMTP")).toString(),
                 QStringLiteral("smtp.typed.example"));
        QCOMPARE(TestFiles::read(rig.programFile(QStringLiteral("Accounts.txt"))), file);
        QCOMPARE(TestFiles::read(rig.programFile(QStringLiteral("EmailAddresses.txt"))), recipients);
        QCOMPARE(folderEntries(rig.programFolder()), entriesBefore);
    }
};

QTEST_MAIN(TestListFaults)
#include "tst_listfaults.moc"
