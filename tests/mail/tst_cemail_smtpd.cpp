// The SMTP session and `zorvane-inspect sendmail` against real SMTP servers
// (aiosmtpd, every mode in one process): plain, STARTTLS and TLS, sign-in,
// certificates that do not verify, checking what the servers stored byte for
// byte and that no password ever leaves in clear or in an event.

#include "mail/CEmail.h"
#include "mail/FWinsock.h"

#include "SessionRecorder.h"
#include "SmtpServerProcess.h"
#include "TestFiles.h"

#include <QHostInfo>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QLocale>
#include <QProcess>
#include <QRegularExpression>
#include <QSignalSpy>
#include <QSslCertificate>
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

// The lines of a run whose event is one of these.
QList<QJsonObject> eventsOf(const ToolRun &run, const QStringList &names)
{
    QList<QJsonObject> out;
    for (const QJsonObject &line : run.lines) {
        if (names.contains(line.value(QStringLiteral("event")).toString()))
            out << line;
    }
    return out;
}

const QStringList AllModes{QStringLiteral("plain"), QStringLiteral("plain-auth"), QStringLiteral("starttls"),
                           QStringLiteral("starttls-login"), QStringLiteral("tls"), QStringLiteral("tls-wrong-name")};

QByteArray secureHeaderBlock(const QByteArray &date, const QByteArray &messageId, const QByteArray &charset)
{
    return "From: <zorvane@example.test>\r\nTo: alerts@example.test\r\nSubject: Secure\r\nDate: " + date
        + "\r\nMessage-ID: " + messageId
        + "\r\nX-Mailer: Quillet v1.1\r\nMIME-Version: 1.0\r\nContent-Type: text/plain; charset=" + charset
        + "\r\nContent-Transfer-Encoding: 8bit\r\n\r\n";
}

} // namespace

Q_DECLARE_METATYPE(SmtpSecurity)
Q_DECLARE_METATYPE(SessionFailure)
Q_DECLARE_METATYPE(SessionOutcome)

class TestCEmailSmtpd : public QObject
{
    Q_OBJECT

    SmtpServerProcess m_server;

private Q_SLOTS:
    void initTestCase()
    {
        // Dates in mail headers are English whatever the user's language.
        QLocale::setDefault(QLocale(QLocale::German, QLocale::Germany));
        QVERIFY2(m_server.start(AllModes), qPrintable(m_server.errorText()));
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
        email.SendMail(QStringLiteral("127.0.0.1"), m_server.port(QStringLiteral("plain")), To, From,
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
                email.SendMail(QStringLiteral("127.0.0.1"), m_server.port(QStringLiteral("plain")), recipients.takeFirst(),
                               From, QStringLiteral("S"), QStringLiteral("B"));
        });
        email.SendMail(QStringLiteral("127.0.0.1"), m_server.port(QStringLiteral("plain")), QStringLiteral("one@example.test"),
                       From, QStringLiteral("S"), QStringLiteral("B"));
        QVERIFY(rec.waitClosed(3));
        QCOMPARE(rec.events, SuccessEvents + SuccessEvents + SuccessEvents);
        QCOMPARE(m_server.messageCount(), before + 3);
        QCOMPARE(m_server.envelope(before + 3).value(QStringLiteral("rcpt_tos")).toArray(),
                 QJsonArray{QStringLiteral("three@example.test")});
    }

    void secureSessions_data()
    {
        QTest::addColumn<QString>("mode");
        QTest::addColumn<SmtpSecurity>("security");
        QTest::addColumn<QString>("host");
        QTest::addColumn<QString>("password"); // empty: no sign-in
        QTest::addColumn<QString>("caFile");   // "ca": the test CA
        QTest::addColumn<QString>("body");
        QTest::addColumn<QByteArray>("charset");
        QTest::addColumn<SessionFailure>("failure");
        QTest::addColumn<SessionOutcome>("outcome");
        QTest::addColumn<QString>("told"); // in the verdict, or in the transcript when accepted

        const auto starttls = SmtpSecurity::StartTls;
        const auto tls = SmtpSecurity::Tls;
        const QString ip = QStringLiteral("127.0.0.1");
        const QString password = SmtpServerProcess::Password;
        const QString ca = QStringLiteral("ca");
        const auto accepted = SessionOutcome::Accepted;
        const auto temporary = SessionOutcome::FailedTemporarily;
        QTest::newRow("STARTTLS, AUTH PLAIN")
            << "starttls" << starttls << ip << password << ca << ".dot line\r\nascii" << QByteArray("us-ascii")
            << SessionFailure::None << accepted << "AUTH PLAIN ****";
        QTest::newRow("STARTTLS, AUTH LOGIN only")
            << "starttls-login" << starttls << ip << password << ca << "caf\u00c3\u00a9 (UTF-8 bytes)"
            << QByteArray("utf-8") << SessionFailure::None << accepted << "334 ****";
        QTest::newRow("TLS from the first byte")
            << "tls" << tls << "localhost" << password << ca << "caf\u00e9 (ISO 8859-1)" << QByteArray("iso-8859-1")
            << SessionFailure::None << accepted << "TLS handshake done: TLSv1.";
        QTest::newRow("STARTTLS without sign-in") << "starttls" << starttls << ip << QString() << ca << "b"
                                                  << QByteArray("us-ascii") << SessionFailure::None << accepted
                                                  << "MAIL FROM:<zorvane@example.test>";
        QTest::newRow("wrong password")
            << "starttls" << starttls << ip << "wrong" << ca << "b" << QByteArray() << SessionFailure::SignInRefused
            << SessionOutcome::RefusedPermanently
            << "The server refused the sign-in (535 5.7.8 Authentication credentials invalid): check the user name "
               "and password";
        QTest::newRow("STARTTLS not offered")
            << "plain" << starttls << ip << password << ca << "b" << QByteArray() << SessionFailure::NoStartTls
            << temporary << "The server does not offer STARTTLS (its reply to EHLO lists: SIZE 33554432, 8BITMIME";
        QTest::newRow("AUTH offered in clear")
            << "plain-auth" << SmtpSecurity::None << ip << password << QString() << "b" << QByteArray()
            << SessionFailure::SignInNeedsEncryption << temporary << "choose STARTTLS or TLS";
        QTest::newRow("untrusted certificate")
            << "tls" << tls << ip << password << QString() << "b" << QByteArray()
            << SessionFailure::CertificateNotTrusted << temporary << "The server's certificate is not trusted: ";
        QTest::newRow("untrusted certificate after STARTTLS")
            << "starttls" << starttls << ip << password << QString() << "b" << QByteArray()
            << SessionFailure::CertificateNotTrusted << temporary << "(certificate CN=localhost, fingerprint";
        QTest::newRow("certificate for another name")
            << "tls-wrong-name" << tls << "localhost" << password << ca << "b" << QByteArray()
            << SessionFailure::CertificateNotTrusted << temporary << "(certificate CN=wrong.example, fingerprint";
        QTest::newRow("TLS on a STARTTLS port")
            << "starttls" << tls << ip << password << ca << "b" << QByteArray() << SessionFailure::TlsFailed << temporary
            << "may not speak TLS from the first byte";
        QTest::newRow("certificates file missing")
            << "tls" << tls << ip << password << "/nonexistent/ca.pem" << "b" << QByteArray()
            << SessionFailure::BadCertificateFile << temporary
            << "The trusted certificates file /nonexistent/ca.pem cannot be read";
    }

    void secureSessions()
    {
        QFETCH(QString, mode);
        QFETCH(SmtpSecurity, security);
        QFETCH(QString, host);
        QFETCH(QString, password);
        QFETCH(QString, caFile);
        QFETCH(QString, body);
        QFETCH(QByteArray, charset);
        QFETCH(SessionFailure, failure);
        QFETCH(SessionOutcome, outcome);
        QFETCH(QString, told);

        SmtpSettings settings;
        settings.server = host;
        settings.port = m_server.port(mode);
        settings.security = security;
        if (!password.isEmpty()) {
            settings.user = SmtpServerProcess::User;
            settings.password = password;
        }
        settings.trustedCertificatesFile = caFile == QLatin1String("ca") ? m_server.caFile() : caFile;
        const int messagesBefore = m_server.messageCount();
        const int signInsBefore = m_server.authCommands(mode);

        CEmail email;
        email.frmWinsock()->SetTimerInterval(20000);
        SessionRecorder rec(email);
        QStringList transcript;
        QStringList sent;
        connect(&email, &CEmail::dialogueLine, this, [&](CEmail::LineKind kind, const QString &line) {
            transcript << line;
            if (kind == CEmail::LineKind::Sent)
                sent << line;
        });
        email.SendMail(settings, To, From, QStringLiteral("Secure"), body);
        QVERIFY(rec.waitClosed());
        QCOMPARE(rec.closedSpy.count(), 1);
        const SessionResult &result = email.result();
        QCOMPARE(result.failure, failure);
        QCOMPARE(result.outcome, outcome);

        // The password never leaves: not in clear, not in an event.
        const QString everything = transcript.join(u'\n') + rec.events.join(u'\n') + result.verdict();
        QVERIFY(!everything.contains(password.isEmpty() ? QStringLiteral("\x01") : password));
        if (outcome != SessionOutcome::Accepted) {
            QVERIFY2(result.verdict().contains(told), qPrintable(result.verdict()));
            QCOMPARE(rec.events.last(), QStringLiteral("closed"));
            QCOMPARE(m_server.messageCount(), messagesBefore);
            if (failure != SessionFailure::SignInRefused)
                QCOMPARE(m_server.authCommands(mode), signInsBefore);
            if (failure == SessionFailure::NoStartTls)
                QCOMPARE(sent, QStringList{QStringLiteral("EHLO ") + QHostInfo::localHostName()});
            if (failure == SessionFailure::SignInNeedsEncryption || failure == SessionFailure::BadCertificateFile)
                QVERIFY(transcript.isEmpty());
            if (failure == SessionFailure::CertificateNotTrusted) {
                const QString certificate = m_server.caFile().replace(
                    QStringLiteral("ca.pem"), mode == QLatin1String("tls-wrong-name") ? QStringLiteral("wrong.pem")
                                                                                      : QStringLiteral("server.pem"));
                const QList<QSslCertificate> chain = QSslCertificate::fromPath(certificate);
                QVERIFY(!chain.isEmpty());
                QVERIFY(result.verdict().endsWith(QString::fromLatin1(
                    chain.first().digest(QCryptographicHash::Sha256).toHex(':').toUpper() + ")")));
            }
            return;
        }

        QCOMPARE(rec.events, SuccessEvents);
        QVERIFY2(!transcript.filter(told).isEmpty(), qPrintable(transcript.join(u'\n')));
        QCOMPARE(m_server.messageCount(), messagesBefore + 1);
        const QJsonObject envelope = m_server.envelope(messagesBefore + 1);
        QVERIFY(envelope.value(QStringLiteral("tls")).toBool());
        QCOMPARE(envelope.value(QStringLiteral("user")).toString(), settings.user);

        const QByteArray stored = m_server.message(messagesBefore + 1);
        const QRegularExpression headers(QStringLiteral("\r\nDate: (.*)\r\nMessage-ID: (<[0-9a-f]{32}@example\\.test>)\r\n"));
        const QRegularExpressionMatch match = headers.match(QString::fromLatin1(stored));
        QVERIFY2(match.hasMatch(), stored.constData());
        const QString date = match.captured(1);
        static const QRegularExpression english(
            QStringLiteral("^([A-Z][a-z]{2}, )?\\d{2} (Jan|Feb|Mar|Apr|May|Jun|Jul|Aug|Sep|Oct|Nov|Dec) \\d{4} "
                           "\\d{2}:\\d{2}:\\d{2} [+-]\\d{4}$"));
        QVERIFY2(english.match(date).hasMatch(), qPrintable(date));
        QVERIFY(qAbs(QDateTime::fromString(date, Qt::RFC2822Date).secsTo(QDateTime::currentDateTime())) < 600);
        QCOMPARE(stored, secureHeaderBlock(date.toLatin1(), match.captured(2).toLatin1(), charset)
                             + body.toLatin1() + "\r\n");
    }

    void sendmailCommandSignsIn_data()
    {
        QTest::addColumn<QString>("password");
        QTest::addColumn<int>("exitCode");
        QTest::addColumn<QString>("outcome");
        QTest::newRow("accepted") << SmtpServerProcess::Password << 0 << "Accepted";
        QTest::newRow("wrong password") << "not the password" << 1 << "RefusedPermanently";
    }

    void sendmailCommandSignsIn()
    {
        QFETCH(QString, password);
        QFETCH(int, exitCode);
        QFETCH(QString, outcome);
        QTemporaryDir dir;
        const QString bodyFile = dir.filePath(QStringLiteral("body.txt"));
        const QString passwordFile = dir.filePath(QStringLiteral("password"));
        TestFiles::write(bodyFile, "B");
        TestFiles::write(passwordFile, password.toUtf8() + "\nsecond line is not the password\n");
        const ToolRun run = runTool({QStringLiteral("sendmail"), QStringLiteral("--server"), QStringLiteral("localhost"),
                                     QStringLiteral("--port"), QString::number(m_server.port(QStringLiteral("starttls"))),
                                     QStringLiteral("--security"), QStringLiteral("starttls"), QStringLiteral("--user"),
                                     SmtpServerProcess::User, QStringLiteral("--password-file"), passwordFile,
                                     QStringLiteral("--ca-file"), m_server.caFile(), QStringLiteral("--from"), From,
                                     QStringLiteral("--to"), To, QStringLiteral("--subject"), QStringLiteral("S"),
                                     QStringLiteral("--body-file"), bodyFile});
        QCOMPARE(run.exitCode, exitCode);
        QStringList dialogue;
        for (const QJsonObject &line : eventsOf(run, {QStringLiteral("Dialogue")}))
            dialogue << line.value(QStringLiteral("from")).toString() + u' ' + line.value(QStringLiteral("text")).toString();
        QVERIFY(dialogue.contains(QStringLiteral("client AUTH PLAIN ****")));
        QVERIFY(dialogue.filter(QRegularExpression(QStringLiteral("^tls TLS handshake done: "))).size() == 1);
        QCOMPARE(run.lines.last().value(QStringLiteral("outcome")).toString(), outcome);
        for (const QJsonObject &line : run.lines)
            QVERIFY(!QJsonDocument(line).toJson().contains(password.toUtf8()));
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
                                     QString::number(m_server.port(QStringLiteral("plain"))), QStringLiteral("--from"), From,
                                     QStringLiteral("--to"), To, QStringLiteral("--subject"),
                                     QStringLiteral("Tool test"), QStringLiteral("--body-file"), bodyFile});
        QCOMPARE(run.exitCode, 0);
        QCOMPARE(eventsOf(run, {QStringLiteral("WinsockMessage"), QStringLiteral("OnErrorMessage"),
                                QStringLiteral("OnWinsockConnectionClosed")}),
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
        QCOMPARE(eventsOf(run, {QStringLiteral("OnErrorMessage"), QStringLiteral("OnWinsockConnectionClosed")}),
                 (QList<QJsonObject>{jsonEvent(QStringLiteral("OnErrorMessage"),
                                                      QStringLiteral("eMail connection has closed in error.")),
                                                jsonEvent(QStringLiteral("OnWinsockConnectionClosed"))}));
        QCOMPARE(run.lines.last().value(QStringLiteral("verdict")).toString(),
                 QStringLiteral("Could not connect to 127.0.0.1 port ") + port + QStringLiteral(": connection refused"));
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
