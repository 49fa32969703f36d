#include "base/ProgramFolder.h"
#include "base/Version.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QImage>
#include <QProcess>
#include <QRegularExpression>
#include <QSettings>
#include <QSignalSpy>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTest>
#include <QXmlStreamReader>

#include <csignal>

namespace {

constexpr int InstallWaitMs = 120000;
constexpr int ProgramWaitMs = 30000;

const QString AppId = QStringLiteral(ZORVANE_APP_ID);
const QString BinDir = QStringLiteral(ZORVANE_INSTALL_BINDIR);
const QString DataDir = QStringLiteral(ZORVANE_INSTALL_DATADIR);

struct Run
{
    bool finished = false;
    int exitCode = -1;
    QByteArray output;
};

// Runs a program to its end, at most waitMs; a program still running then is
// killed and reported as not finished.
Run runProgram(const QString &program, const QStringList &arguments, int waitMs = ProgramWaitMs)
{
    QProcess process;
    process.setProcessChannelMode(QProcess::MergedChannels);
    QSignalSpy finished(&process, &QProcess::finished);
    process.start(program, arguments);
    Run run;
    if (!finished.wait(waitMs)) {
        process.kill();
        finished.wait(waitMs);
        run.output = process.readAll();
        return run;
    }
    run.finished = process.exitStatus() == QProcess::NormalExit;
    run.exitCode = process.exitCode();
    run.output = process.readAll();
    return run;
}

// True once the process has its own handler for SIGTERM: the program sets it
// up just before it loads its window, so from then on a SIGTERM unloads the
// window the orderly way instead of killing the process.
bool catchesSigterm(qint64 pid)
{
    QFile status(QStringLiteral("/proc/%1/status").arg(pid));
    if (!status.open(QIODevice::ReadOnly))
        return false;
    const QString text = QString::fromLatin1(status.readAll());
    static const QRegularExpression caught(QStringLiteral("^SigCgt:\\s*([0-9a-fA-F]+)$"),
                                           QRegularExpression::MultilineOption);
    const QRegularExpressionMatch match = caught.match(text);
    if (!match.hasMatch())
        return false;
    bool ok = false;
    const quint64 mask = match.captured(1).toULongLong(&ok, 16);
    return ok && (mask & (quint64(1) << (SIGTERM - 1))) != 0;
}

QString desktopEntryValue(const QByteArray &entry, const QString &key)
{
    const QStringList lines = QString::fromUtf8(entry).split(u'\n');
    for (const QString &line : lines) {
        if (line.startsWith(key + u'='))
            return line.mid(key.size() + 1);
    }
    return {};
}

} // namespace

// Installs the build tree into a temporary prefix, the way a packager or a
// user would, and checks what lands there and that the program runs from it.
class TestInstall : public QObject
{
    Q_OBJECT

    QTemporaryDir m_temp;
    QString m_prefix;

    QString installed(const QString &relative) const { return m_prefix + u'/' + relative; }
    QString bin(const QString &name) const { return installed(BinDir + u'/' + name); }
    QString data(const QString &relative) const { return installed(DataDir + u'/' + relative); }

private Q_SLOTS:
    void initTestCase()
    {
        QVERIFY(m_temp.isValid());
        // A blank in the prefix must not matter anywhere.
        m_prefix = m_temp.path() + QStringLiteral("/install prefix");
        const Run run = runProgram(QStringLiteral(ZORVANE_CMAKE_COMMAND),
                                   {QStringLiteral("--install"), QStringLiteral(ZORVANE_BUILD_DIR),
                                    QStringLiteral("--prefix"), m_prefix},
                                   InstallWaitMs);
        QVERIFY2(run.finished && run.exitCode == 0, run.output.constData());
    }

    void programsAreInstalled()
    {
        for (const QString &name : {QStringLiteral("zorvane"), QStringLiteral("zorvane-inspect")}) {
            const QFileInfo program(bin(name));
            QVERIFY2(program.isFile() && program.isExecutable(), qPrintable(program.filePath()));
        }
        // The diagnostic tool runs from there: without a command it shows its
        // usage and exits with 2.
        const Run run = runProgram(bin(QStringLiteral("zorvane-inspect")), {});
        QVERIFY(run.finished);
        QCOMPARE(run.exitCode, 2);
        QVERIFY2(run.output.contains("usage: zorvane-inspect"), run.output.constData());
    }

    void helpPageIsInstalledAndNoBrandFile()
    {
        QFile page(data(QStringLiteral("zorvane/help.html")));
        QVERIFY(page.open(QIODevice::ReadOnly));
        QVERIFY(page.readAll().contains("<title>Zorvane Help</title>"));
        // Without a brand file the built-in brand values apply.
        QVERIFY(!QFileInfo::exists(data(QStringLiteral("zorvane/AppData"))));
        QVERIFY(!QFileInfo::exists(bin(QStringLiteral("AppData"))));
    }

    void programFindsItsInstalledFiles()
    {
        // The installed program's folder leads to the installed data folder.
        ProgramFolder::setPath(bin(QString()));
        const QString help = ProgramFolder::dataFile(QStringLiteral("help.html"));
        ProgramFolder::setPath({});
        QCOMPARE(QFileInfo(help).canonicalFilePath(),
                 QFileInfo(data(QStringLiteral("zorvane/help.html"))).canonicalFilePath());
    }

    void iconsAreInstalledInEverySize()
    {
        for (int size : {16, 22, 24, 32, 48, 64, 128, 256}) {
            const QString path = data(QStringLiteral("icons/hicolor/%1x%1/apps/%2.png").arg(size).arg(AppId));
            const QImage icon(path);
            QVERIFY2(!icon.isNull(), qPrintable(path));
            QCOMPARE(icon.size(), QSize(size, size));
            QVERIFY(icon.hasAlphaChannel());
        }
    }

    void desktopEntryNamesTheInstalledProgramAndIcon()
    {
        QFile file(data(QStringLiteral("applications/%1.desktop").arg(AppId)));
        QVERIFY(file.open(QIODevice::ReadOnly));
        const QByteArray entry = file.readAll();
        QVERIFY(entry.startsWith("[Desktop Entry]\n"));
        QCOMPARE(desktopEntryValue(entry, QStringLiteral("Type")), QStringLiteral("Application"));
        QCOMPARE(desktopEntryValue(entry, QStringLiteral("Name")), QStringLiteral("Zorvane"));
        const QString exec = desktopEntryValue(entry, QStringLiteral("Exec"));
        QCOMPARE(exec.section(u' ', 0, 0), QStringLiteral("zorvane"));
        QVERIFY(QFileInfo(bin(exec.section(u' ', 0, 0))).isExecutable());
        QCOMPARE(desktopEntryValue(entry, QStringLiteral("Icon")), AppId);
    }

    void serviceRunsTheInstalledProgramWithoutAWindow()
    {
        QFile file(installed(QStringLiteral("lib/systemd/user/zorvane.service")));
        QVERIFY(file.open(QIODevice::ReadOnly));
        const QByteArray unit = file.readAll();
        QCOMPARE(desktopEntryValue(unit, QStringLiteral("ExecStart")),
                 u'"' + QFileInfo(bin(QStringLiteral("zorvane"))).absoluteFilePath() + QStringLiteral("\" --headless"));
    }

    void metainfoMatchesTheDesktopEntryAndVersion()
    {
        QFile file(data(QStringLiteral("metainfo/%1.metainfo.xml").arg(AppId)));
        QVERIFY(file.open(QIODevice::ReadOnly));
        QXmlStreamReader xml(&file);
        QString id, launchable, icon, binary, release, releaseDate;
        while (!xml.atEnd()) {
            if (xml.readNext() != QXmlStreamReader::StartElement)
                continue;
            const auto name = xml.name();
            if (name == u"id")
                id = xml.readElementText();
            else if (name == u"launchable")
                launchable = xml.readElementText();
            else if (name == u"icon")
                icon = xml.readElementText();
            else if (name == u"binary")
                binary = xml.readElementText();
            else if (name == u"release") {
                release = xml.attributes().value(QStringLiteral("version")).toString();
                releaseDate = xml.attributes().value(QStringLiteral("date")).toString();
            }
        }
        QVERIFY2(!xml.hasError(), qPrintable(xml.errorString()));
        QCOMPARE(id, AppId);
        QCOMPARE(launchable, AppId + QStringLiteral(".desktop"));
        QCOMPARE(icon, AppId);
        QCOMPARE(binary, QStringLiteral("zorvane"));
        QCOMPARE(release, Version::full());
        QVERIFY2(QRegularExpression(QStringLiteral("^\\d{4}-\\d{2}-\\d{2}$")).match(releaseDate).hasMatch(),
                 qPrintable(releaseDate));
    }

    void desktopEntryValidates()
    {
        const QString validator = QStandardPaths::findExecutable(QStringLiteral("desktop-file-validate"));
        if (validator.isEmpty())
            QSKIP("desktop-file-validate is not installed (Debian package desktop-file-utils)");
        const Run run = runProgram(validator, {data(QStringLiteral("applications/%1.desktop").arg(AppId))});
        QVERIFY(run.finished);
        QVERIFY2(run.exitCode == 0 && run.output.trimmed().isEmpty(), run.output.constData());
    }

    void metainfoValidates()
    {
        const QString validator = QStandardPaths::findExecutable(QStringLiteral("appstreamcli"));
        if (validator.isEmpty())
            QSKIP("appstreamcli is not installed (Debian package appstream)");
        const Run run = runProgram(validator, {QStringLiteral("validate"), QStringLiteral("--no-net"),
                                               data(QStringLiteral("metainfo/%1.metainfo.xml").arg(AppId))});
        QVERIFY(run.finished);
        QVERIFY2(run.exitCode == 0, run.output.constData());
        // Warnings and errors fail the test; infos and pedantic notes do not.
        QVERIFY2(!QRegularExpression(QStringLiteral("^[EW]: "), QRegularExpression::MultilineOption)
                      .match(QString::fromUtf8(run.output))
                      .hasMatch(),
                 run.output.constData());
    }

    // SIGTERM ends the program the orderly way at any moment: once it is
    // up, and while a message box of its start-up (a list file it could not
    // read) is still open.
    void installedProgramStartsAndShutsDownCleanly_data()
    {
        QTest::addColumn<QByteArray>("recipients");
        QTest::newRow("running") << QByteArray("a@example.com\r\n");
        QTest::newRow("start-up message open") << QByteArray("a@example.com\r\nA@example.com\r\nb@example.com\r\n");
    }

    void installedProgramStartsAndShutsDownCleanly()
    {
        QFETCH(QByteArray, recipients);
        const QString home = m_temp.path() + QStringLiteral("/home-") + QString::fromLatin1(QTest::currentDataTag()).replace(u' ', u'-');
        const QString config = home + QStringLiteral("/config");
        const QString dataHome = home + QStringLiteral("/data");
        QVERIFY(QDir().mkpath(config));
        QVERIFY(QDir().mkpath(dataHome + QStringLiteral("/Zorvane/Zorvane")));
        // Wherever the program keeps its lists (beside it when it may write
        // there), it finds this one.
        const QString listFolder = QFileInfo(bin(QString())).isWritable() ? bin(QString())
                                                                         : dataHome + QStringLiteral("/Zorvane/Zorvane");
        const QString recipientsFile = listFolder + QStringLiteral("/EmailAddresses.txt");
        QFile file(recipientsFile);
        QVERIFY(file.open(QIODevice::WriteOnly));
        file.write(recipients);
        file.close();

        QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
        environment.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
        environment.insert(QStringLiteral("HOME"), home);
        environment.insert(QStringLiteral("XDG_CONFIG_HOME"), config);
        environment.insert(QStringLiteral("XDG_DATA_HOME"), dataHome);

        // Started as the desktop entry starts it: by name, from the prefix's
        // bin folder on the search path, from an unrelated working folder.
        environment.insert(QStringLiteral("PATH"),
                           bin(QString()) + u':' + environment.value(QStringLiteral("PATH")));
        QProcess program;
        program.setProcessEnvironment(environment);
        program.setWorkingDirectory(home);
        program.setProcessChannelMode(QProcess::MergedChannels);
        QSignalSpy started(&program, &QProcess::started);
        QSignalSpy finished(&program, &QProcess::finished);
        program.start(QStandardPaths::findExecutable(QStringLiteral("zorvane"), {bin(QString())}), {});
        QVERIFY(!started.isEmpty() || started.wait(ProgramWaitMs));
        const qint64 pid = program.processId();

        QTRY_VERIFY_WITH_TIMEOUT(catchesSigterm(pid) || program.state() == QProcess::NotRunning, ProgramWaitMs);
        QByteArray output;
        if (recipients.contains("A@")) {
            // The report comes just before the message box opens.
            QTRY_VERIFY_WITH_TIMEOUT((output += program.readAll()).contains("FAlert.OnFormLoad")
                                         || program.state() == QProcess::NotRunning,
                                     ProgramWaitMs);
        }
        QVERIFY2(program.state() == QProcess::Running, (output + program.readAll()).constData());

        program.terminate(); // SIGTERM
        if (finished.isEmpty() && !finished.wait(ProgramWaitMs)) {
            program.kill();
            finished.wait(ProgramWaitMs);
            QFAIL("the installed program did not end on SIGTERM");
        }
        output += program.readAll();
        QVERIFY2(program.exitStatus() == QProcess::NormalExit, output.constData());
        QVERIFY2(program.exitCode() == 0, output.constData());

        // The orderly unload saved the settings in the per-user store...
        const QString settingsFile = config + QStringLiteral("/Zorvane/Zorvane.conf");
        QVERIFY2(QFileInfo::exists(settingsFile), output.constData());
        QSettings settings(settingsFile, QSettings::IniFormat);
        QCOMPARE(settings.value(QStringLiteral("Main/NewAuctions")).toString(), QStringLiteral("1"));
        QCOMPARE(settings.value(QStringLiteral("Main/DetailedMessages")).toString(), QStringLiteral("1"));

        // ...and the seller list; the recipient list it could not read
        // completely is left as it was.
        QVERIFY(QFileInfo::exists(listFolder + QStringLiteral("/Accounts.txt")));
        QVERIFY(file.open(QIODevice::ReadOnly));
        QCOMPARE(file.readAll(), recipients);
        file.close();
        QFile::remove(recipientsFile);
        QFile::remove(listFolder + QStringLiteral("/Accounts.txt"));
    }
};

QTEST_MAIN(TestInstall)
#include "tst_install.moc"
