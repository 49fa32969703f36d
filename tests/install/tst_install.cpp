// Installs the build tree into a temporary prefix, as a packager or a user
// would, and checks that what lands there fits together and that the program
// runs from there and ends the orderly way on SIGTERM.

#include "base/ProgramFolder.h"
#include "base/Version.h"

#include "TestFiles.h"

#include <QtTest>

const QByteArray AppId = ZORVANE_APP_ID;
constexpr int WaitMs = 120000;

class TestInstall : public QObject
{
    Q_OBJECT

    QTemporaryDir m_temp;
    const QString m_prefix = m_temp.filePath("install prefix"); // a blank must not matter anywhere
    QString bin(const QString &name = {}) const { return m_prefix + "/" ZORVANE_INSTALL_BINDIR "/" + name; }
    QString data(const QString &path) const { return m_prefix + "/" ZORVANE_INSTALL_DATADIR "/" + path; }

    // Runs a program to its end; its exit code, -1 if it did not end normally.
    static int run(const QString &program, const QStringList &arguments, QByteArray &output)
    {
        QProcess process;
        QSignalSpy finished(&process, &QProcess::finished);
        process.setProcessChannelMode(QProcess::MergedChannels);
        process.start(program, arguments);
        const bool ended = finished.wait(WaitMs);
        output = process.readAll();
        return ended && process.exitStatus() == QProcess::NormalExit ? process.exitCode() : -1;
    }

private Q_SLOTS:
    void initTestCase()
    {
        QByteArray output;
        QVERIFY2(run(ZORVANE_CMAKE_COMMAND, {"--install", ZORVANE_BUILD_DIR, "--prefix", m_prefix}, output) == 0,
                 output.constData());
    }

    void installedFilesFitTogether()
    {
        QByteArray output;
        QCOMPARE(run(bin("zorvane-inspect"), {}, output), 2); // its usage: it runs from there
        ProgramFolder::setPath(bin());
        QCOMPARE(QFileInfo(ProgramFolder::dataFile("help.html")).canonicalFilePath(),
                 QFileInfo(data("zorvane/help.html")).canonicalFilePath());
        ProgramFolder::setPath({});
        for (int size : {16, 22, 24, 32, 48, 64, 128, 256})
            QCOMPARE(QImage(data(QString("icons/hicolor/%1x%1/apps/").arg(size) + AppId + ".png")).size(), QSize(size, size));
        const QByteArray entry = TestFiles::read(data("applications/" + AppId + ".desktop"));
        QVERIFY(entry.contains("\nExec=zorvane\n") && entry.contains("\nIcon=" + AppId + '\n'));
        QVERIFY(TestFiles::read(m_prefix + "/lib/systemd/user/zorvane.service")
                    .contains("\nExecStart=\"" + bin("zorvane").toUtf8() + "\" --headless\n"));
        QVERIFY(TestFiles::read(data("metainfo/" + AppId + ".metainfo.xml")).contains("<release version=\"" + Version::full().toUtf8() + '"'));
        // Warnings and errors of the validators fail; their notes do not.
        const QStringList validations[] = {{"desktop-file-validate", data("applications/" + AppId + ".desktop")},
                                           {"appstreamcli", "validate", "--no-net", data("metainfo/" + AppId + ".metainfo.xml")}};
        for (QStringList command : validations) {
            const QString validator = QStandardPaths::findExecutable(command.takeFirst());
            if (validator.isEmpty())
                continue; // not installed here (desktop-file-utils, appstream)
            QVERIFY2(run(validator, command, output) == 0, output.constData());
            QVERIFY2(!QRegularExpression("^[EW]: |: (error|warning): ", QRegularExpression::MultilineOption)
                          .match(QString::fromUtf8(output)).hasMatch(), output.constData());
        }
    }

    // SIGTERM ends the program the orderly way at any moment, also while a
    // message box of its start-up (a list file it could not read) is open.
    // Started as the desktop entry starts it: by name, from elsewhere.
    void installedProgramEndsCleanlyOnSigterm()
    {
        const QString home = m_temp.filePath("home");
        // Wherever the program keeps its lists (beside it when it may write
        // there), it finds this one.
        const QString lists = QFileInfo(bin()).isWritable() ? bin() : home + "/data/Zorvane/Zorvane/";
        const QByteArray recipients = "a@example.com\r\nA@example.com\r\nb@example.com\r\n";
        QVERIFY(QDir().mkpath(lists));
        TestFiles::write(lists + "EmailAddresses.txt", recipients);

        QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
        environment.insert("HOME", home);
        environment.insert("XDG_CONFIG_HOME", home + "/config");
        environment.insert("XDG_DATA_HOME", home + "/data");
        environment.insert("PATH", bin() + ':' + environment.value("PATH")); // started by name, as its desktop entry does
        QProcess program;
        program.setProcessEnvironment(environment);
        program.setWorkingDirectory(m_temp.path());
        program.setProcessChannelMode(QProcess::MergedChannels);
        QSignalSpy finished(&program, &QProcess::finished);
        program.start(QStandardPaths::findExecutable("zorvane", {bin()}), {});
        QByteArray output;
        // The report comes just before the message box opens.
        QTRY_VERIFY_WITH_TIMEOUT((output += program.readAll()).contains("FAlert.OnFormLoad")
                                     || program.state() == QProcess::NotRunning, WaitMs);
        QVERIFY2(program.state() == QProcess::Running, output.constData());
        program.terminate();
        QVERIFY2(finished.wait(WaitMs), "the program did not end on SIGTERM");
        output += program.readAll();
        QVERIFY2(program.exitStatus() == QProcess::NormalExit && program.exitCode() == 0, output.constData());
        // The unload saved the settings and the seller list; the recipient
        // list it could not read completely is left as it was.
        QCOMPARE(QSettings(home + "/config/Zorvane/Zorvane.conf", QSettings::IniFormat).value("Main/NewAuctions").toString(), QString("1"));
        QVERIFY(QFile::exists(lists + "Accounts.txt"));
        QCOMPARE(TestFiles::read(lists + "EmailAddresses.txt"), recipients);
    }
};

QTEST_MAIN(TestInstall)
#include "tst_install.moc"
