// The SMTP session and `zorvane-inspect sendmail` against a real SMTP
// server (aiosmtpd), checking what the server stored byte for byte.

#include "mail/CEmail.h"
#include "mail/FWinsock.h"

#include "SessionRecorder.h"
#include "SmtpServerProcess.h"
#include "TestFiles.h"

#include <QHostInfo>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QSignalSpy>
#include <QTcpServer>
#include <QTemporaryDir>
#include <QTest>

namespace {

const QString To = QStringLiteral("alerts@example.test");
const QString From = QStringLiteral("zorvane@example.test");

struct ToolRun
{
    int exitCode = -1;
    QList<QJsonObject> lines;
    QByteArray errorOutput;
};

// Runs zorvane-inspect with the given arguments, bounded in time.
ToolRun runTool(const QStringList &args)
{
    ToolRun run;
    QProcess process;
    process.setProgram(QStringLiteral(ZORVANE_INSPECT_PATH));
    process.setArguments(args);
    QSignalSpy finished(&process, &QProcess::finished);
    process.start();
    if (!finished.wait(60000)) {
        process.kill();
        finished.wait(5000);
        return run;
    }
    run.exitCode = process.exitStatus() == QProcess::NormalExit ? process.exitCode() : -1;
    run.errorOutput = process.readAllStandardError();
    for (const QByteArray &line : process.readAllStandardOutput().split('\n')) {
        if (!line.isEmpty())
            run.lines << QJsonDocument::fromJson(line).object();
    }
    return run;
}

QJsonObject jsonEvent(const QString &name, const QString &text = {})
{
    QJsonObject object{{QStringLiteral("event"), name}};
    if (!text.isNull())
        object.insert(QStringLiteral("text"), text);
    return object;
}

} // namespace

class TestCEmailSmtpd : public QObject
{
    Q_OBJECT

    SmtpServerProcess m_server;

private Q_SLOTS:
    void initTestCase()
    {
        QVERIFY2(m_server.start(), qPrintable(m_server.errorText()));
    }

    void messageIsStoredByteForByte_data()
    {
        QTest::addColumn<QString>("body");
        QTest::addColumn<QByteArray>("stored");
        // aiosmtpd keeps CR LF line ends, removes the stuffed dots and keeps
        // the CR LF that precedes the terminating dot as the last line end.
        QTest::newRow("dots and bare line ends")
            << QStringLiteral(".first line\nsecond\r\n.\r\n..two dots\rlast")
            << QByteArray(".first line\r\nsecond\r\n.\r\n..two dots\r\nlast\r\n");
        QTest::newRow("ends with CR LF") << QStringLiteral("Item 1234\r\n")
                                         << QByteArray("Item 1234\r\n\r\n");
        QTest::newRow("empty") << QString() << QByteArray("\r\n");
        QTest::newRow("page bytes") << QStringLiteral("Price \u00a31.50 \u00e9")
                                    << QByteArray("Price \xa3" "1.50 \xe9\r\n");
    }

    void messageIsStoredByteForByte()
    {
        QFETCH(QString, body);
        QFETCH(QByteArray, stored);
        const int before = m_server.messageCount();
        CEmail email;
        email.frmWinsock()->SetTimerInterval(20000);
        SessionRecorder rec(email);
        email.SendMail(QStringLiteral("127.0.0.1"), m_server.port(), To, From,
                       QStringLiteral("seller1 Auction Update"), body);
        QVERIFY(rec.waitClosed());
        QCOMPARE(rec.events, SuccessEvents);
        QCOMPARE(m_server.messageCount(), before + 1);
        QCOMPARE(m_server.message(before + 1),
                 headerBlock(To.toLatin1(), From.toLatin1(), "seller1 Auction Update") + stored);
        const QJsonObject envelope = m_server.envelope(before + 1);
        QCOMPARE(envelope.value(QStringLiteral("mail_from")).toString(), From);
        QCOMPARE(envelope.value(QStringLiteral("rcpt_tos")).toArray(), QJsonArray{To});
        QCOMPARE(envelope.value(QStringLiteral("helo")).toString(), QHostInfo::localHostName());
    }

    void batchOfRecipientsOneSessionEach()
    {
        const int before = m_server.messageCount();
        CEmail email;
        email.frmWinsock()->SetTimerInterval(20000);
        SessionRecorder rec(email);
        QStringList recipients{QStringLiteral("two@example.test"), QStringLiteral("three@example.test")};
        connect(&email, &CEmail::OnWinsockConnectionClosed, this, [&] {
            if (!recipients.isEmpty())
                email.SendMail(QStringLiteral("127.0.0.1"), m_server.port(), recipients.takeFirst(),
                               From, QStringLiteral("S"), QStringLiteral("B"));
        });
        email.SendMail(QStringLiteral("127.0.0.1"), m_server.port(), QStringLiteral("one@example.test"),
                       From, QStringLiteral("S"), QStringLiteral("B"));
        QVERIFY(rec.waitClosed(3));
        QCOMPARE(rec.events, SuccessEvents + SuccessEvents + SuccessEvents);
        QCOMPARE(m_server.messageCount(), before + 3);
        QCOMPARE(m_server.envelope(before + 3).value(QStringLiteral("rcpt_tos")).toArray(),
                 QJsonArray{QStringLiteral("three@example.test")});
    }

    void sendmailCommandReportsEachEvent()
    {
        QTemporaryDir dir;
        QVERIFY(dir.isValid());
        const QString bodyFile = dir.filePath(QStringLiteral("body.txt"));
        TestFiles::write(bodyFile, QByteArray("caf\xe9\n.dot\r\nend"));
        const int before = m_server.messageCount();
        const ToolRun run = runTool({QStringLiteral("sendmail"), QStringLiteral("--server"),
                                     QStringLiteral("127.0.0.1"), QStringLiteral("--port"),
                                     QString::number(m_server.port()), QStringLiteral("--from"), From,
                                     QStringLiteral("--to"), To, QStringLiteral("--subject"),
                                     QStringLiteral("Tool test"), QStringLiteral("--body-file"), bodyFile});
        QCOMPARE(run.exitCode, 0);
        QCOMPARE(run.lines,
                 (QList<QJsonObject>{jsonEvent(QStringLiteral("WinsockMessage"),
                                           QStringLiteral("Connected to send email")),
                                     jsonEvent(QStringLiteral("WinsockMessage"),
                                           QStringLiteral("Receiving Welcome Message")),
                                     jsonEvent(QStringLiteral("WinsockMessage"),
                                           QStringLiteral("Sending Mail . . .")),
                                     jsonEvent(QStringLiteral("WinsockMessage"), QStringLiteral("Message Sent")),
                                     jsonEvent(QStringLiteral("OnWinsockConnectionClosed"))}));
        QCOMPARE(m_server.messageCount(), before + 1);
        QCOMPARE(m_server.message(before + 1),
                 headerBlock(To.toLatin1(), From.toLatin1(), "Tool test") + "caf\xe9\r\n.dot\r\nend\r\n");
    }

    void sendmailCommandFailureExitsWithOne()
    {
        QTcpServer probe;
        QVERIFY(probe.listen(QHostAddress::LocalHost, 0));
        const QString port = QString::number(probe.serverPort());
        probe.close();
        QTemporaryDir dir;
        const QString bodyFile = dir.filePath(QStringLiteral("body.txt"));
        TestFiles::write(bodyFile, "B");
        const ToolRun run = runTool({QStringLiteral("sendmail"), QStringLiteral("--server"),
                                     QStringLiteral("127.0.0.1"), QStringLiteral("--port"), port,
                                     QStringLiteral("--from"), From, QStringLiteral("--to"), To,
                                     QStringLiteral("--subject"), QStringLiteral("S"),
                                     QStringLiteral("--body-file"), bodyFile});
        QCOMPARE(run.exitCode, 1);
        QCOMPARE(run.lines, (QList<QJsonObject>{jsonEvent(QStringLiteral("OnErrorMessage"),
                                                      QStringLiteral("eMail connection has closed in error.")),
                                                jsonEvent(QStringLiteral("OnWinsockConnectionClosed"))}));
    }

    void sendmailCommandUsageErrors_data()
    {
        QTest::addColumn<QStringList>("args");
        const QStringList good{QStringLiteral("--server"), QStringLiteral("127.0.0.1"),
                               QStringLiteral("--port"), QStringLiteral("25"),
                               QStringLiteral("--from"), From, QStringLiteral("--to"), To,
                               QStringLiteral("--subject"), QStringLiteral("S"),
                               QStringLiteral("--body-file")};
        QTest::newRow("no options") << QStringList{};
        QTest::newRow("missing body file option") << good.mid(0, good.size() - 1);
        QTest::newRow("body file does not exist") << good + QStringList{QStringLiteral("/nonexistent/b.txt")};
        QStringList badPort = good + QStringList{QStringLiteral("/dev/null")};
        badPort[3] = QStringLiteral("x25");
        QTest::newRow("port not a number") << badPort;
        badPort[3] = QStringLiteral("70000");
        QTest::newRow("port too large") << badPort;
        QTest::newRow("unknown option") << good + QStringList{QStringLiteral("/dev/null"),
                                                              QStringLiteral("--cc"), To};
    }

    void sendmailCommandUsageErrors()
    {
        QFETCH(QStringList, args);
        const ToolRun run = runTool(QStringList{QStringLiteral("sendmail")} + args);
        QCOMPARE(run.exitCode, 2);
        QVERIFY(run.lines.isEmpty());
        QVERIFY(!run.errorOutput.isEmpty());
    }
};

QTEST_MAIN(TestCEmailSmtpd)
#include "tst_cemail_smtpd.moc"
