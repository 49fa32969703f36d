// The SMTP session against a scripted peer, for exactly what goes on the
// wire and what a real server will not do: refusals,
// silence, a peer that leaves, a connection that fails, sessions that follow
// one another. Then the secure modes against real SMTP servers (aiosmtpd,
// every mode in one process): STARTTLS and TLS, sign-in, certificates that
// do not verify, what the servers stored byte for byte, and no password ever
// leaving in clear or in an event.

#include "mail/CEmail.h"
#include "mail/FWinsock.h"

#include "ScriptedSmtpServer.h"
#include "SmtpServerProcess.h"

#include <QHostInfo>
#include <QLocale>
#include <QRegularExpression>
#include <QSignalSpy>
#include <QTest>

using Reply = ScriptedSmtpServer::Reply;

Q_DECLARE_METATYPE(ScriptedSmtpServer::Reply)
Q_DECLARE_METATYPE(SmtpSecurity)
Q_DECLARE_METATYPE(SmtpStep)
Q_DECLARE_METATYPE(SessionFailure)

namespace {

const QStringList Progress{QStringLiteral("msg:Connected to send email"), QStringLiteral("msg:Receiving Welcome Message"),
                           QStringLiteral("msg:Sending Mail . . .")};
const QStringList SuccessEvents = Progress + QStringList{QStringLiteral("msg:Message Sent"), QStringLiteral("closed")};
const QString ErrorPrefix = QStringLiteral("err:Server returned the following error:\r\n");
const QString ClosedInError = QStringLiteral("err:eMail connection has closed in error.");
const QString TimedOut = QStringLiteral("msg:Could not connect to host.  Timed out");

// For sessions meant to run into the time-out; the others get one far
// beyond the test's own wait, so that waiting for it fails the test.
constexpr int ShortTimeout = 300;
constexpr int LongTimeout = 200000;

} // namespace

class TestCEmail : public QObject
{
    Q_OBJECT

    std::unique_ptr<ScriptedSmtpServer> m_server;
    std::unique_ptr<CEmail> m_email;
    // The session's events in the order they were raised: "msg:" + text,
    // "err:" + text, "closed".
    QStringList m_events;
    std::unique_ptr<QSignalSpy> m_closed;
    SmtpServerProcess m_smtpd;
    bool m_timerForEach = true; // a session has its timer also while it connects, right after the last one's time-out

    void send(const QString &body, const QString &to = QStringLiteral("alerts@example.test"))
    {
        m_email->SendMail(QStringLiteral("127.0.0.1"), m_server->port(), to, QStringLiteral("zorvane@example.test"), QStringLiteral("S"), body);
    }

    // Over, with no timer left to end another session.
    void verifyEnded()
    {
        QVERIFY(!m_email->IsSending());
        QVERIFY(!m_email->frmWinsock()->TimerEnabled());
        QCOMPARE(m_email->frmWinsock()->State(), qint16(FWinsock::Closed));
    }

private Q_SLOTS:
    void initTestCase()
    {
        // Dates in mail headers are English whatever the user's language.
        QLocale::setDefault(QLocale(QLocale::German, QLocale::Germany));
        const QStringList modes{QStringLiteral("plain"), QStringLiteral("starttls"), QStringLiteral("starttls-login"), QStringLiteral("tls"), QStringLiteral("tls-wrong-name")};
        QVERIFY2(m_smtpd.start(modes), qPrintable(m_smtpd.errorText()));
    }

    void init()
    {
        m_events.clear();
        m_email = std::make_unique<CEmail>();
        m_email->frmWinsock()->SetTimerInterval(LongTimeout);
        m_closed = std::make_unique<QSignalSpy>(m_email.get(), &CEmail::OnWinsockConnectionClosed);
        connect(m_email.get(), &CEmail::WinsockMessage, this, [this](const QString &s) { m_events << QStringLiteral("msg:") + s; });
        connect(m_email.get(), &CEmail::OnErrorMessage, this, [this](const QString &s) { m_events << QStringLiteral("err:") + s; });
        connect(m_email.get(), &CEmail::OnWinsockConnectionClosed, this, [this] { m_events << QStringLiteral("closed"); });
        m_server = std::make_unique<ScriptedSmtpServer>();
        QVERIFY(m_server->listen());
    }

    void session_data()
    {
        QTest::addColumn<SmtpSecurity>("security");
        QTest::addColumn<QString>("step");
        QTest::addColumn<Reply>("reply");
        QTest::addColumn<QString>("body");
        QTest::addColumn<QStringList>("events");
        QTest::addColumn<SessionFailure>("failure");
        QTest::addColumn<SmtpStep>("lastStep");
        QTest::addColumn<QByteArray>("wire"); // the DATA bytes after the header block
        const auto plain = SmtpSecurity::None;
        const auto sent = SessionFailure::None, refused = SessionFailure::Refused, gone = SessionFailure::ClosedByServer, late = SessionFailure::TimedOut;
        // The events of a failed session: the progress texts up to where it
        // failed, the reply quoted in an error text, then the end.
        const auto ended = [](int progress, const QString &quoted, bool closedInError, bool timedOut = false) {
            QStringList events = Progress.mid(0, progress);
            if (!quoted.isEmpty())
                events << ErrorPrefix + quoted;
            if (closedInError)
                events << ClosedInError;
            return events << QStringLiteral("closed") << (timedOut ? QStringList{TimedOut} : QStringList{});
        };
        QTest::newRow("lines") << plain << "" << Reply{} << "Line one\r\nLine two" << SuccessEvents << sent << SmtpStep::Message << QByteArray("Line one\r\nLine two\r\n.\r\n");
        // A lone dot line, after a CR LF, a bare LF or a bare CR, would end DATA early.
        QTest::newRow("dot lines") << plain << "" << Reply{} << "a\r\n.\r\nRCPT TO:<x@y>\n.\nQUIT\r.\rb" << SuccessEvents << sent << SmtpStep::Message << QByteArray("a\r\n..\r\nRCPT TO:<x@y>\r\n..\r\nQUIT\r\n..\r\nb\r\n.\r\n");
        QTest::newRow("greeting 554") << plain << "greeting" << Reply{"554 go away\r\n"} << "b" << ended(1, "554 go away\r\n", false) << refused << SmtpStep::Greeting << QByteArray();
        QTest::newRow("MAIL 550") << plain << "MAIL" << Reply{"550 no such sender\r\n"} << "b" << ended(2, "550 no such sender\r\n", true) << refused << SmtpStep::MailFrom << QByteArray();
        QTest::newRow("RCPT code beyond int") << plain << "RCPT" << Reply{"99999999999999999999 ok\r\n"} << "b" << ended(2, "99999999999999999999 ok\r\n", true) << refused << SmtpStep::RcptTo << QByteArray();
        QTest::newRow("DATA 250") << plain << "DATA" << Reply{"250 not now\r\n"} << "b" << ended(2, "250 not now\r\n", false) << refused << SmtpStep::Data << QByteArray();
        QTest::newRow("end of data 552") << plain << "." << Reply{"552 too big\r\n"} << "b" << ended(3, "552 too big\r\n", false) << refused << SmtpStep::Message << QByteArray();
        QTest::newRow("421 and closed") << plain << "MAIL" << Reply{"421 4.3.2 shutting down\r\n", true} << "b" << ended(2, "421 4.3.2 shutting down\r\n", true) << refused << SmtpStep::MailFrom << QByteArray();
        // Gone: the session ends at once, without waiting for its time-out.
        QTest::newRow("closed instead of greeting") << plain << "greeting" << Reply{.bCloseAfter = true} << "b" << ended(1, {}, true) << gone << SmtpStep::Greeting << QByteArray();
        QTest::newRow("reset instead of HELO reply") << plain << "HELO" << Reply{.bResetAfter = true} << "b" << ended(2, {}, true) << gone << SmtpStep::Helo << QByteArray();
        QTest::newRow("refused") << plain << "refused" << Reply{} << "b" << ended(0, {}, true) << SessionFailure::ConnectionFailed << SmtpStep::Connection << QByteArray();
        QTest::newRow("unresolvable") << plain << "unresolvable" << Reply{} << "b" << ended(0, {}, true) << SessionFailure::ConnectionFailed << SmtpStep::Connection << QByteArray();
        QTest::newRow("no greeting") << plain << "greeting" << Reply{} << "b" << ended(1, {}, true, true) << late << SmtpStep::Greeting << QByteArray();
        // A peer that takes the connection and never speaks TLS.
        QTest::newRow("TLS handshake stalls") << SmtpSecurity::Tls << "greeting" << Reply{.bDeafAfter = true} << "b" << ended(1, {}, true, true) << late << SmtpStep::TlsHandshake << QByteArray();
        QTest::newRow("STARTTLS handshake stalls") << SmtpSecurity::StartTls << "STARTTLS" << Reply{.bytes = "220 go ahead\r\n", .bDeafAfter = true} << "b" << ended(2, {}, true, true) << late << SmtpStep::TlsHandshake << QByteArray();
        // A reply that never ends may not grow without bound.
        QTest::newRow("endless reply") << plain << "greeting" << Reply{QByteArray(1024 * 1024, 'x')} << "b" << ended(1, QString(512, u'x') + QStringLiteral("..."), true) << SessionFailure::OverlongReply << SmtpStep::Greeting << QByteArray();
    }

    void session()
    {
        QFETCH(SmtpSecurity, security);
        QFETCH(QString, step);
        QFETCH(Reply, reply);
        QFETCH(QString, body);
        QFETCH(QStringList, events);
        QFETCH(SessionFailure, failure);
        QFETCH(SmtpStep, lastStep);
        QFETCH(QByteArray, wire);
        if (step == QLatin1String("greeting"))
            m_server->setGreeting(reply);
        else
            m_server->setReply(step, reply); // a command verb, or "." for the message
        m_email->frmWinsock()->SetTimerInterval(failure == SessionFailure::TimedOut ? ShortTimeout : LongTimeout);
        SmtpSettings settings{.server = QStringLiteral("127.0.0.1"), .port = m_server->port(), .security = security};
        if (step == QLatin1String("refused"))
            m_server = std::make_unique<ScriptedSmtpServer>(); // nothing listens there any more
        if (step == QLatin1String("unresolvable"))
            settings.server = QStringLiteral("no-such-smtp.invalid");
        // Line breaks in the header values and addresses could add headers
        // or commands of their own.
        m_email->SendMail(settings, QStringLiteral("a@b.test>\r\nRCPT TO:<evil@x.test"), QStringLiteral("me@b.test\nX-Evil: 1"),
                          QStringLiteral("Hi\r\nBcc: evil@x.test"), body);
        QVERIFY(m_events.isEmpty()); // nothing before SendMail returns
        QTRY_COMPARE_WITH_TIMEOUT(m_closed->count(), 1, 20000);
        QCOMPARE(m_events, events);
        QCOMPARE(m_email->result().failure, failure);
        QCOMPARE(m_email->result().step, lastStep);
        // Only a 5xx refusal is for good.
        const bool permanent = failure == SessionFailure::Refused && events.filter(QStringLiteral("error:\r\n5")).size() == 1;
        QCOMPARE(m_email->result().outcome, failure == SessionFailure::None ? SessionOutcome::Accepted
                                            : permanent ? SessionOutcome::RefusedPermanently : SessionOutcome::FailedTemporarily);
        verifyEnded();
        // No QUIT after a failure: the connection is simply closed.
        QVERIFY(failure == SessionFailure::None || !m_server->commands().contains(QStringLiteral("QUIT")));
        if (failure != SessionFailure::None)
            return;
        // To without angle brackets; From and the envelope with them.
        QCOMPARE(m_server->messageData(), "From: <me@b.testX-Evil: 1>\r\nTo: a@b.test>RCPT TO:<evil@x.test\r\nSubject: HiBcc: evil@x.test\r\n"
                                          "X-Mailer: Quillet v1.1\r\nMime-Version: 1.0\r\nContent-Type: text/plain;\tcharset=us-ascii\r\n\r\n" + wire);
        QTRY_COMPARE(m_server->commands(), (QStringList{QStringLiteral("HELO ") + QHostInfo::localHostName(), QStringLiteral("MAIL FROM:<me@b.testX-Evil: 1>"),
                                                        QStringLiteral("RCPT TO:<a@b.test>RCPT TO:<evil@x.test>"), QStringLiteral("DATA"), QStringLiteral("QUIT")}));
    }

    // As the alert sender does: the next session started from the closed
    // event, also when the time-out ended the last one.
    void nextSessionStartsFromTheClosedEvent()
    {
        m_server->setGreeting({});
        m_email->frmWinsock()->SetTimerInterval(ShortTimeout);
        QStringList recipients{QStringLiteral("b@example.test"), QStringLiteral("c@example.test")};
        connect(m_email.get(), &CEmail::OnWinsockConnectionClosed, this, [&] {
            QTimer::singleShot(0, this, [this] { m_timerForEach = m_timerForEach && (m_email->frmWinsock()->TimerEnabled() || !m_email->IsSending()); });
            if (recipients.size() == 1) { // the third behaves
                m_server->setGreeting({"220 ready\r\n"});
                m_email->frmWinsock()->SetTimerInterval(LongTimeout);
            }
            if (!recipients.isEmpty())
                send(QStringLiteral("B"), recipients.takeFirst());
        });
        send(QStringLiteral("B"));
        // A second session left without a timer would wait for ever.
        QTRY_COMPARE_WITH_TIMEOUT(m_closed->count(), 3, 20000);
        const QStringList timedOut{Progress[0], ClosedInError, QStringLiteral("closed"), TimedOut};
        QCOMPARE(m_events, timedOut + timedOut + SuccessEvents);
        QVERIFY(m_timerForEach);
    }

    // The owner closes the socket before each batch: the session it cut
    // short ends without a word, and the next one starts at once.
    void ownerCloseEndsTheSessionSilently()
    {
        m_server->setGreeting({});
        m_email->frmWinsock()->SetTimerInterval(ShortTimeout);
        QSignalSpy ticks(m_email->frmWinsock(), &FWinsock::OnTimerExpired);
        send(QStringLiteral("first"));
        QTRY_COMPARE(m_events, QStringList{Progress[0]});
        QTest::ignoreMessage(QtWarningMsg, QRegularExpression(QStringLiteral("session is still running")));
        send(QStringLiteral("ignored"));
        m_email->frmWinsock()->Close();
        send(QStringLiteral("stuck"));
        m_email->frmWinsock()->Close(); // before it even connected: it never does
        QVERIFY(ticks.wait(10000));
        QCOMPARE(m_events, QStringList{Progress[0]});
        verifyEnded();

        m_server->setGreeting({"220 ready\r\n"});
        m_email->frmWinsock()->SetTimerInterval(LongTimeout);
        send(QStringLiteral("fresh"));
        QTRY_COMPARE_WITH_TIMEOUT(m_closed->count(), 1, 20000);
        QCOMPARE(m_events, QStringList{Progress[0]} + SuccessEvents);
        QVERIFY(m_server->messageData().endsWith("fresh\r\n.\r\n"));
    }

    void secureSession_data()
    {
        QTest::addColumn<QString>("mode");
        QTest::addColumn<SmtpSecurity>("security");
        QTest::addColumn<QString>("host");
        QTest::addColumn<QString>("password"); // empty: no sign-in
        QTest::addColumn<QString>("caFile");   // "ca": the test CA
        QTest::addColumn<QString>("body");
        QTest::addColumn<QByteArray>("stored"); // the body as the server stored it
        QTest::addColumn<QByteArray>("charset");
        QTest::addColumn<SessionFailure>("failure");
        QTest::addColumn<QString>("told"); // in the verdict, or in the transcript when accepted

        const auto plain = SmtpSecurity::None, starttls = SmtpSecurity::StartTls, tls = SmtpSecurity::Tls;
        const QString ip = QStringLiteral("127.0.0.1"), password = SmtpServerProcess::Password, ca = QStringLiteral("ca");
        const auto accepted = SessionFailure::None, untrusted = SessionFailure::CertificateNotTrusted;
        // aiosmtpd removes the stuffed dots and keeps the CR LF before the
        // terminating dot as the last line end.
        QTest::newRow("STARTTLS, AUTH PLAIN") << "starttls" << starttls << ip << password << ca << ".dot line\r\nascii" << QByteArray(".dot line\r\nascii\r\n") << QByteArray("us-ascii") << accepted << "AUTH PLAIN ****";
        QTest::newRow("STARTTLS, AUTH LOGIN only") << "starttls-login" << starttls << ip << password << ca << "caf\u00c3\u00a9" << QByteArray("caf\xc3\xa9\r\n") << QByteArray("utf-8") << accepted << "334 ****";
        QTest::newRow("TLS from the first byte") << "tls" << tls << "localhost" << password << ca << "caf\u00e9" << QByteArray("caf\xe9\r\n") << QByteArray("iso-8859-1") << accepted << "TLS handshake done: TLSv1.";
        QTest::newRow("STARTTLS without sign-in") << "starttls" << starttls << ip << "" << ca << "b" << QByteArray("b\r\n") << QByteArray("us-ascii") << accepted << "MAIL FROM:<zorvane@example.test>";
        QTest::newRow("wrong password") << "starttls" << starttls << ip << "wrong" << ca << "b" << QByteArray() << QByteArray() << SessionFailure::SignInRefused << "The server refused the sign-in (535 5.7.8 Authentication credentials invalid): check the user name and password";
        QTest::newRow("STARTTLS not offered") << "plain" << starttls << ip << password << ca << "b" << QByteArray() << QByteArray() << SessionFailure::NoStartTls << "The server does not offer STARTTLS (its reply to EHLO lists only: SIZE 33554432, 8BITMIME";
        QTest::newRow("sign-in without encryption") << "plain" << plain << ip << password << "" << "b" << QByteArray() << QByteArray() << SessionFailure::SignInNeedsEncryption << "choose STARTTLS or TLS";
        QTest::newRow("untrusted certificate") << "tls" << tls << ip << password << "" << "b" << QByteArray() << QByteArray() << untrusted << "The server's certificate is not trusted: ";
        QTest::newRow("untrusted certificate after STARTTLS") << "starttls" << starttls << ip << password << "" << "b" << QByteArray() << QByteArray() << untrusted << "(certificate CN=localhost, fingerprint";
        QTest::newRow("certificate for another name") << "tls-wrong-name" << tls << "localhost" << password << ca << "b" << QByteArray() << QByteArray() << untrusted << "(certificate CN=wrong.example, fingerprint";
        QTest::newRow("TLS on a STARTTLS port") << "starttls" << tls << ip << password << ca << "b" << QByteArray() << QByteArray() << SessionFailure::TlsFailed << "may not speak TLS from the first byte";
        QTest::newRow("certificates file missing") << "tls" << tls << ip << password << "/nonexistent/ca.pem" << "b" << QByteArray() << QByteArray() << SessionFailure::BadCertificateFile << "The trusted certificates file /nonexistent/ca.pem cannot be read";
    }

    void secureSession()
    {
        QFETCH(QString, mode);
        QFETCH(SmtpSecurity, security);
        QFETCH(QString, host);
        QFETCH(QString, password);
        QFETCH(QString, caFile);
        QFETCH(QString, body);
        QFETCH(QByteArray, stored);
        QFETCH(QByteArray, charset);
        QFETCH(SessionFailure, failure);
        QFETCH(QString, told);
        const SmtpSettings settings{.server = host, .port = m_smtpd.port(mode), .security = security,
                                    .user = password.isEmpty() ? QString() : SmtpServerProcess::User, .password = password,
                                    .trustedCertificatesFile = caFile == QLatin1String("ca") ? m_smtpd.caFile() : caFile};
        const int before = m_smtpd.messageCount();
        QStringList sent, transcript; // what we sent; what we received and the TLS steps
        connect(m_email.get(), &CEmail::dialogueLine, this, [&](CEmail::LineKind kind, const QString &line) {
            (kind == CEmail::LineKind::Sent ? sent : transcript) << line;
        });
        m_email->SendMail(settings, QStringLiteral("alerts@example.test"), QStringLiteral("zorvane@example.test"), QStringLiteral("Secure"), body);
        QTRY_COMPARE_WITH_TIMEOUT(m_closed->count(), 1, 20000);
        const SessionResult &result = m_email->result();
        QCOMPARE(result.failure, failure);
        // The password never leaves: not in clear, not in base 64, not in an event.
        const QString everything = sent.join(u'\n') + transcript.join(u'\n') + m_events.join(u'\n') + result.verdict();
        QVERIFY(password.isEmpty() || !(everything.contains(password) || everything.contains(QString::fromLatin1(password.toUtf8().toBase64()))));

        if (failure != SessionFailure::None) {
            QVERIFY2(result.verdict().contains(told), qPrintable(result.verdict()));
            QCOMPARE(m_smtpd.messageCount(), before);
            QCOMPARE(result.outcome == SessionOutcome::RefusedPermanently, failure == SessionFailure::SignInRefused); // 535 is for good
            // Nothing said in clear past EHLO; a sign-in only where it may be answered.
            QCOMPARE(sent.filter(QStringLiteral("AUTH")).size(), failure == SessionFailure::SignInRefused ? 1 : 0);
            if (failure == SessionFailure::NoStartTls)
                QCOMPARE(sent, QStringList{QStringLiteral("EHLO ") + QHostInfo::localHostName()});
            if (failure == SessionFailure::SignInNeedsEncryption || failure == SessionFailure::BadCertificateFile)
                QVERIFY(sent.isEmpty() && transcript.isEmpty());
            return;
        }
        QCOMPARE(result.outcome, SessionOutcome::Accepted);
        QCOMPARE(m_events, SuccessEvents);
        QVERIFY2(!(sent + transcript).filter(told).isEmpty(), qPrintable((sent + transcript).join(u'\n')));
        QCOMPARE(m_smtpd.messageCount(), before + 1);
        const QJsonObject envelope = m_smtpd.envelope(before + 1);
        QVERIFY(envelope.value(QStringLiteral("tls")).toBool());
        QCOMPARE(envelope.value(QStringLiteral("user")).toString(), settings.user);
        // The secure modes' header block also carries an English date and a
        // Message-ID in the sender's domain.
        const QByteArray message = m_smtpd.message(before + 1);
        const QRegularExpressionMatch headers = QRegularExpression(QStringLiteral(
            "\r\nDate: ((?:[A-Z][a-z]{2}, )?\\d{2} (?:Jan|Feb|Mar|Apr|May|Jun|Jul|Aug|Sep|Oct|Nov|Dec) \\d{4} \\d{2}:\\d{2}:\\d{2} [+-]\\d{4})"
            "\r\nMessage-ID: (<[0-9a-f]{32}@example\\.test>)\r\n")).match(QString::fromLatin1(message));
        QVERIFY2(headers.hasMatch(), message.constData());
        QVERIFY(qAbs(QDateTime::fromString(headers.captured(1), Qt::RFC2822Date).secsTo(QDateTime::currentDateTime())) < 600);
        QCOMPARE(message, "From: <zorvane@example.test>\r\nTo: alerts@example.test\r\nSubject: Secure\r\nDate: " + headers.captured(1).toLatin1()
                     + "\r\nMessage-ID: " + headers.captured(2).toLatin1() + "\r\nX-Mailer: Quillet v1.1\r\nMIME-Version: 1.0\r\n"
                     "Content-Type: text/plain; charset=" + charset + "\r\nContent-Transfer-Encoding: 8bit\r\n\r\n" + stored);
    }
};

QTEST_MAIN(TestCEmail)
#include "tst_cemail.moc"
