// The SMTP session against a scripted peer: replies in pieces, refusals,
// silence, closing without a word, and exactly what goes on the wire.

#include "mail/CEmail.h"
#include "mail/FWinsock.h"

#include "ScriptedSmtpServer.h"
#include "SessionRecorder.h"

#include <QHostInfo>
#include <QSignalSpy>
#include <QTcpServer>
#include <QTimer>
#include <QTest>

using Reply = ScriptedSmtpServer::Reply;

Q_DECLARE_METATYPE(ScriptedSmtpServer::Reply)
Q_DECLARE_METATYPE(SmtpSecurity)
Q_DECLARE_METATYPE(SmtpStep)

namespace {

const QString To = QStringLiteral("alerts@example.test");
const QString From = QStringLiteral("zorvane@example.test");

const QString ErrorPrefix = QStringLiteral("err:Server returned the following error:\r\n");

// Time-out for tests that expect the session to run into it; sessions that
// should not time out keep a generous one.
constexpr int ShortTimeout = 300;
constexpr int LongTimeout = 20000;

} // namespace

class TestCEmail : public QObject
{
    Q_OBJECT

    void startSession(CEmail &email, const ScriptedSmtpServer &server,
                      const QString &body = QStringLiteral("Body\r\n"),
                      const QString &subject = QStringLiteral("Auction Update"),
                      const QString &to = To, const QString &from = From)
    {
        email.SendMail(QStringLiteral("127.0.0.1"), server.port(), to, from, subject, body);
    }

    // The reply to one step: "greeting", a command verb, or "." for the message.
    static void setStep(ScriptedSmtpServer &server, const QString &step, const Reply &reply)
    {
        if (step == QLatin1String("greeting"))
            server.setGreeting(reply);
        else
            server.setReply(step, reply);
    }

private Q_SLOTS:
    void successfulSessionOnTheWire()
    {
        ScriptedSmtpServer server;
        QVERIFY(server.listen());
        CEmail email;
        email.frmWinsock()->SetTimerInterval(LongTimeout);
        SessionRecorder rec(email);
        startSession(email, server, QStringLiteral("Line one\r\nLine two"));
        QVERIFY(email.IsSending());
        QVERIFY(rec.waitClosed());
        QCOMPARE(rec.events, SuccessEvents);
        QVERIFY(!email.IsSending());
        QVERIFY(!email.frmWinsock()->TimerEnabled());
        QCOMPARE(email.frmWinsock()->State(), qint16(FWinsock::Closed));

        QTRY_COMPARE_WITH_TIMEOUT(server.commands().size(), 5, 10000);
        QCOMPARE(server.commands(),
                 (QStringList{QStringLiteral("HELO ") + QHostInfo::localHostName(),
                              QStringLiteral("MAIL FROM:<zorvane@example.test>"),
                              QStringLiteral("RCPT TO:<alerts@example.test>"), QStringLiteral("DATA"),
                              QStringLiteral("QUIT")}));
        // To without angle brackets; From and the envelope with them.
        const QByteArray message = headerBlock("alerts@example.test", "zorvane@example.test",
                                               "Auction Update")
            + "Line one\r\nLine two";
        QCOMPARE(server.messageData(), message + "\r\n.\r\n");
        QCOMPARE(server.received(),
                 "HELO " + QHostInfo::localHostName().toLatin1()
                     + "\r\nMAIL FROM:<zorvane@example.test>\r\nRCPT TO:<alerts@example.test>\r\n"
                       "DATA\r\n"
                     + message + "\r\n.\r\nQUIT\r\n");
        QCOMPARE(server.connectionCount(), 1);
    }

    void bodyIsNormalisedAndDotStuffed_data()
    {
        QTest::addColumn<QString>("body");
        QTest::addColumn<QByteArray>("wire");
        QTest::newRow("empty") << QString() << QByteArray("\r\n.\r\n");
        QTest::newRow("ends with CR LF") << QStringLiteral("x\r\n") << QByteArray("x\r\n\r\n.\r\n");
        QTest::newRow("lone dot line")
            << QStringLiteral("a\r\n.\r\nRCPT TO:<x@y>") << QByteArray("a\r\n..\r\nRCPT TO:<x@y>\r\n.\r\n");
        QTest::newRow("bare LF ends DATA otherwise")
            << QStringLiteral("a\n.\nQUIT") << QByteArray("a\r\n..\r\nQUIT\r\n.\r\n");
        QTest::newRow("bare CR") << QStringLiteral("a\r.\rb") << QByteArray("a\r\n..\r\nb\r\n.\r\n");
        QTest::newRow("leading dots")
            << QStringLiteral(".first\n..second\r\n.")
            << QByteArray("..first\r\n...second\r\n..\r\n.\r\n");
        QTest::newRow("LF CR is two line ends")
            << QStringLiteral("a\n\rb") << QByteArray("a\r\n\r\nb\r\n.\r\n");
        QTest::newRow("dot inside a line stays")
            << QStringLiteral("1.50 USD. End.") << QByteArray("1.50 USD. End.\r\n.\r\n");
    }

    void bodyIsNormalisedAndDotStuffed()
    {
        QFETCH(QString, body);
        QFETCH(QByteArray, wire);
        ScriptedSmtpServer server;
        QVERIFY(server.listen());
        CEmail email;
        email.frmWinsock()->SetTimerInterval(LongTimeout);
        SessionRecorder rec(email);
        startSession(email, server, body, QStringLiteral("S"));
        QVERIFY(rec.waitClosed());
        QCOMPARE(rec.events, SuccessEvents);
        QCOMPARE(server.messageData(), headerBlock(To.toLatin1(), From.toLatin1(), "S") + wire);
        // Exactly one message went through: nothing in the body ended it early.
        QTRY_COMPARE_WITH_TIMEOUT(server.commands().size(), 5, 10000);
        QCOMPARE(server.commands().last(), QStringLiteral("QUIT"));
    }

    void lineBreaksInHeaderValuesCannotInject()
    {
        ScriptedSmtpServer server;
        QVERIFY(server.listen());
        CEmail email;
        email.frmWinsock()->SetTimerInterval(LongTimeout);
        SessionRecorder rec(email);
        startSession(email, server, QStringLiteral("b"), QStringLiteral("Hi\r\nBcc: evil@x.test"),
                     QStringLiteral("a@b.test>\r\nRCPT TO:<evil@x.test"),
                     QStringLiteral("me@b.test\nX-Evil: 1"));
        QVERIFY(rec.waitClosed());
        QCOMPARE(rec.events, SuccessEvents);
        QTRY_COMPARE_WITH_TIMEOUT(server.commands().size(), 5, 10000);
        QCOMPARE(server.commands().at(1), QStringLiteral("MAIL FROM:<me@b.testX-Evil: 1>"));
        QCOMPARE(server.commands().at(2), QStringLiteral("RCPT TO:<a@b.test>RCPT TO:<evil@x.test>"));
        QCOMPARE(server.messageData(),
                 headerBlock("a@b.test>RCPT TO:<evil@x.test", "me@b.testX-Evil: 1",
                             "HiBcc: evil@x.test")
                     + "b\r\n.\r\n");
    }

    void repliesInPiecesAreTakenWhenComplete_data()
    {
        QTest::addColumn<QString>("step");
        QTest::addColumn<QByteArray>("first");
        QTest::addColumn<QByteArray>("afterPause");
        QTest::newRow("line cut in two") << "greeting" << QByteArray("220 first half")
                                         << QByteArray(" and second\r\n");
        QTest::newRow("greeting lines apart (postscreen)")
            << "greeting" << QByteArray("220-mx.test first line\r\n") << QByteArray("220 mx.test second line\r\n");
        QTest::newRow("HELO reply lines apart")
            << "HELO" << QByteArray("250-first\r\n250-second\r\n") << QByteArray("250 last\r\n");
        QTest::newRow("cut after the continuation dash")
            << "MAIL" << QByteArray("250-") << QByteArray("sender\r\n250 ok\r\n");
        QTest::newRow("several lines in one piece")
            << "greeting" << QByteArray("220-mx.test ESMTP\r\n220-more\r\n220 done\r\n") << QByteArray();
        QTest::newRow("code alone on the last line") << "RCPT" << QByteArray("250-a\r\n250\r\n") << QByteArray();
    }

    void repliesInPiecesAreTakenWhenComplete()
    {
        QFETCH(QString, step);
        QFETCH(QByteArray, first);
        QFETCH(QByteArray, afterPause);
        ScriptedSmtpServer server;
        QVERIFY(server.listen());
        const Reply reply{.bytes = first, .afterPause = afterPause};
        setStep(server, step, reply);
        CEmail email;
        email.frmWinsock()->SetTimerInterval(LongTimeout);
        SessionRecorder rec(email);
        startSession(email, server);
        QVERIFY(rec.waitClosed());
        QCOMPARE(rec.events, SuccessEvents);
        // Nothing was sent before the reply's last line had come.
        QCOMPARE(server.earlyCommands(), 0);
    }

    void refusals_data()
    {
        QTest::addColumn<QString>("verb");
        QTest::addColumn<QByteArray>("reply");
        QTest::addColumn<QStringList>("before");
        QTest::addColumn<bool>("closedInError");
        const QString connected = QStringLiteral("msg:Connected to send email");
        const QString welcome = QStringLiteral("msg:Receiving Welcome Message");
        const QString sending = QStringLiteral("msg:Sending Mail . . .");
        QTest::newRow("greeting 554") << QStringLiteral("greeting") << QByteArray("554 go away\r\n")
                                      << QStringList{connected} << false;
        QTest::newRow("greeting not a number") << QStringLiteral("greeting") << QByteArray("hello\r\n")
                                               << QStringList{connected} << false;
        QTest::newRow("HELO 501") << QStringLiteral("HELO") << QByteArray("501 bad name\r\n")
                                  << QStringList{connected, welcome} << false;
        QTest::newRow("MAIL 550") << QStringLiteral("MAIL") << QByteArray("550 no such sender\r\n")
                                  << QStringList{connected, welcome} << true;
        QTest::newRow("RCPT 251 is a refusal")
            << QStringLiteral("RCPT") << QByteArray("251 User not local; will forward\r\n")
            << QStringList{connected, welcome} << true;
        QTest::newRow("RCPT 2500") << QStringLiteral("RCPT") << QByteArray("2500 ok\r\n")
                                   << QStringList{connected, welcome} << true;
        QTest::newRow("DATA 250") << QStringLiteral("DATA") << QByteArray("250 not now\r\n")
                                  << QStringList{connected, welcome} << false;
        QTest::newRow("end of data 552") << QStringLiteral(".") << QByteArray("552 too big\r\n")
                                         << QStringList{connected, welcome, sending} << false;
    }

    void refusals()
    {
        QFETCH(QString, verb);
        QFETCH(QByteArray, reply);
        QFETCH(QStringList, before);
        QFETCH(bool, closedInError);
        ScriptedSmtpServer server;
        QVERIFY(server.listen());
        setStep(server, verb, {reply});
        CEmail email;
        email.frmWinsock()->SetTimerInterval(LongTimeout);
        SessionRecorder rec(email);
        startSession(email, server);
        QVERIFY(rec.waitClosed());
        QStringList expected = before;
        expected << ErrorPrefix + QString::fromLatin1(reply);
        if (closedInError)
            expected << ClosedInError;
        expected << QStringLiteral("closed");
        QCOMPARE(rec.events, expected);
        QVERIFY(!email.frmWinsock()->TimerEnabled());
        QCOMPARE(email.frmWinsock()->State(), qint16(FWinsock::Closed));
        // No QUIT after a refusal: the connection is simply closed.
        QVERIFY(!server.commands().contains(QStringLiteral("QUIT")));
    }

    void serverGoneEndsTheSessionAtOnce_data()
    {
        QTest::addColumn<QString>("step");
        QTest::addColumn<Reply>("reply");
        QTest::addColumn<QStringList>("before");
        QTest::addColumn<QString>("refusal"); // the reply quoted in an error text, if any
        const QString connected = QStringLiteral("msg:Connected to send email");
        const QString welcome = QStringLiteral("msg:Receiving Welcome Message");
        const QString sending = QStringLiteral("msg:Sending Mail . . .");
        QTest::newRow("closed instead of greeting")
            << "greeting" << Reply{.bCloseAfter = true} << QStringList{connected} << QString();
        QTest::newRow("closed after half a greeting")
            << "greeting" << Reply{.bytes = "220-mx.test\r\n", .bCloseAfter = true} << QStringList{connected}
            << QString();
        QTest::newRow("closed instead of RCPT reply")
            << "RCPT" << Reply{.bCloseAfter = true} << QStringList{connected, welcome} << QString();
        // (A reset before the client has seen its connection established
        // leaves Qt's socket connecting until its own time-out.)
        QTest::newRow("reset instead of HELO reply")
            << "HELO" << Reply{.bResetAfter = true} << QStringList{connected, welcome} << QString();
        QTest::newRow("reset instead of end-of-data reply")
            << "." << Reply{.bResetAfter = true} << QStringList{connected, welcome, sending} << QString();
        QTest::newRow("421 and closed")
            << "MAIL" << Reply{.bytes = "421 4.3.2 shutting down\r\n", .bCloseAfter = true}
            << QStringList{connected, welcome} << QStringLiteral("421 4.3.2 shutting down\r\n");
    }

    void serverGoneEndsTheSessionAtOnce()
    {
        QFETCH(QString, step);
        QFETCH(Reply, reply);
        QFETCH(QStringList, before);
        QFETCH(QString, refusal);
        ScriptedSmtpServer server;
        QVERIFY(server.listen());
        setStep(server, step, reply);
        CEmail email;
        // Far beyond the test's own wait: a session that waits for its
        // time-out fails the test.
        email.frmWinsock()->SetTimerInterval(10 * LongTimeout);
        SessionRecorder rec(email);
        startSession(email, server);
        QVERIFY2(rec.waitClosed(1, LongTimeout / 2), qPrintable(rec.events.join(u'|')));
        QStringList expected = before;
        if (!refusal.isEmpty())
            expected << ErrorPrefix + refusal;
        expected << ClosedInError << QStringLiteral("closed");
        QCOMPARE(rec.events, expected);
        QVERIFY(!email.frmWinsock()->TimerEnabled());
        QCOMPARE(email.frmWinsock()->State(), qint16(FWinsock::Closed));
    }

    void silenceRunsIntoTheTimeOut_data()
    {
        QTest::addColumn<SmtpSecurity>("security");
        QTest::addColumn<QString>("step");
        QTest::addColumn<Reply>("reply");
        QTest::addColumn<QStringList>("before");
        QTest::addColumn<SmtpStep>("waitedFor");
        const QString connected = QStringLiteral("msg:Connected to send email");
        const QString welcome = QStringLiteral("msg:Receiving Welcome Message");
        const auto plain = SmtpSecurity::None;
        QTest::newRow("no greeting") << plain << "greeting" << Reply{} << QStringList{connected} << SmtpStep::Greeting;
        QTest::newRow("no HELO reply") << plain << "HELO" << Reply{} << QStringList{connected, welcome}
                                       << SmtpStep::Helo;
        QTest::newRow("no end-of-data reply")
            << plain << "." << Reply{} << QStringList{connected, welcome, QStringLiteral("msg:Sending Mail . . .")}
            << SmtpStep::Message;
        QTest::newRow("greeting never ends")
            << plain << "greeting" << Reply{.bytes = "220-mx.test\r\n220-still going\r\n"} << QStringList{connected}
            << SmtpStep::Greeting;
        // A peer that takes the connection and never speaks TLS.
        QTest::newRow("TLS handshake stalls") << SmtpSecurity::Tls << "greeting" << Reply{.bDeafAfter = true}
                                              << QStringList{connected} << SmtpStep::TlsHandshake;
        QTest::newRow("STARTTLS handshake stalls")
            << SmtpSecurity::StartTls << "STARTTLS" << Reply{.bytes = "220 go ahead\r\n", .bDeafAfter = true}
            << QStringList{connected, welcome} << SmtpStep::TlsHandshake;
    }

    void silenceRunsIntoTheTimeOut()
    {
        QFETCH(SmtpSecurity, security);
        QFETCH(QString, step);
        QFETCH(Reply, reply);
        QFETCH(QStringList, before);
        QFETCH(SmtpStep, waitedFor);
        ScriptedSmtpServer server;
        QVERIFY(server.listen());
        setStep(server, step, reply);
        CEmail email;
        email.frmWinsock()->SetTimerInterval(ShortTimeout);
        SessionRecorder rec(email);
        SmtpSettings settings;
        settings.server = QStringLiteral("127.0.0.1");
        settings.port = server.port();
        settings.security = security;
        email.SendMail(settings, To, From, QStringLiteral("S"), QStringLiteral("B"));
        QVERIFY(rec.waitClosed());
        const QStringList expected = before + QStringList{ClosedInError, QStringLiteral("closed"), TimedOut};
        QCOMPARE(rec.events, expected);
        QCOMPARE(email.result().failure, SessionFailure::TimedOut);
        QCOMPARE(email.result().step, waitedFor);
        // The timer is stopped: no further time-out can end another session.
        QVERIFY(!email.frmWinsock()->TimerEnabled());
        QCOMPARE(email.frmWinsock()->State(), qint16(FWinsock::Closed));
    }

    void connectionFailures_data()
    {
        QTest::addColumn<QString>("host");
        QTest::addColumn<bool>("refused");
        QTest::newRow("refused") << QStringLiteral("127.0.0.1") << true;
        QTest::newRow("unresolvable") << QStringLiteral("no-such-smtp.invalid") << false;
    }

    void connectionFailures()
    {
        QFETCH(QString, host);
        QFETCH(bool, refused);
        quint16 port = 25;
        if (refused) {
            QTcpServer probe;
            QVERIFY(probe.listen(QHostAddress::LocalHost, 0));
            port = probe.serverPort();
        }
        CEmail email;
        email.frmWinsock()->SetTimerInterval(LongTimeout);
        SessionRecorder rec(email);
        email.SendMail(host, port, To, From, QStringLiteral("S"), QStringLiteral("B"));
        QVERIFY(rec.events.isEmpty()); // nothing before SendMail returns
        QVERIFY(rec.waitClosed(1, 30000));
        QCOMPARE(rec.events, (QStringList{ClosedInError, QStringLiteral("closed")}));
        QVERIFY(!email.frmWinsock()->TimerEnabled());
    }

    void endlessReplyEndsTheSession()
    {
        ScriptedSmtpServer server;
        QVERIFY(server.listen());
        server.setGreeting({QByteArray(1024 * 1024, 'x')});
        CEmail email;
        email.frmWinsock()->SetTimerInterval(LongTimeout);
        SessionRecorder rec(email);
        startSession(email, server);
        QVERIFY(rec.waitClosed());
        QCOMPARE(rec.events.size(), 4);
        QCOMPARE(rec.events.at(0), QStringLiteral("msg:Connected to send email"));
        QVERIFY(rec.events.at(1).startsWith(ErrorPrefix + QStringLiteral("xxxx")));
        QVERIFY(rec.events.at(1).size() < 1024);
        QCOMPARE(rec.events.at(2), ClosedInError);
        QCOMPARE(rec.events.at(3), QStringLiteral("closed"));
        QVERIFY(!email.frmWinsock()->TimerEnabled());
    }

    void secondSendMailWhileRunningIsIgnored()
    {
        ScriptedSmtpServer server;
        QVERIFY(server.listen());
        CEmail email;
        email.frmWinsock()->SetTimerInterval(LongTimeout);
        SessionRecorder rec(email);
        startSession(email, server, QStringLiteral("first"));
        QTest::ignoreMessage(QtWarningMsg, QRegularExpression(QStringLiteral("session is still running")));
        startSession(email, server, QStringLiteral("second"));
        QVERIFY(rec.waitClosed());
        QCOMPARE(rec.events, SuccessEvents);
        QCOMPARE(server.connectionCount(), 1);
        QVERIFY(server.messageData().endsWith("first\r\n.\r\n"));
    }

    void successCodeErrorChangesNothing()
    {
        ScriptedSmtpServer server;
        QVERIFY(server.listen());
        server.setGreeting({});
        CEmail email;
        email.frmWinsock()->SetTimerInterval(LongTimeout);
        SessionRecorder rec(email);
        QSignalSpy connected(&server, &ScriptedSmtpServer::clientConnected);
        startSession(email, server);
        QVERIFY(connected.wait(20000));
        QTRY_COMPARE_WITH_TIMEOUT(rec.events.size(), 1, 10000);
        Q_EMIT email.frmWinsock()->WinsockError(FWinsock::SuccessCode, QStringLiteral("Success"), 0,
                                                QStringLiteral("Winsock"));
        QCOMPARE(rec.events.size(), 1);
        QVERIFY(email.frmWinsock()->TimerEnabled());
        server.send("220 late but fine\r\n");
        QVERIFY(rec.waitClosed());
        QCOMPARE(rec.events, SuccessEvents);
    }

    void otherSocketErrorEndsTheSession()
    {
        ScriptedSmtpServer server;
        QVERIFY(server.listen());
        server.setReply(QStringLiteral("RCPT"), {});
        CEmail email;
        email.frmWinsock()->SetTimerInterval(LongTimeout);
        SessionRecorder rec(email);
        QSignalSpy commands(&server, &ScriptedSmtpServer::commandReceived);
        startSession(email, server);
        QTRY_VERIFY_WITH_TIMEOUT(server.commands().size() == 3, 20000);
        Q_EMIT email.frmWinsock()->WinsockError(FWinsock::ErrorConnectionReset,
                                                QStringLiteral("reset"), 0, QStringLiteral("Winsock"));
        QCOMPARE(rec.events,
                 (QStringList{QStringLiteral("msg:Connected to send email"),
                              QStringLiteral("msg:Receiving Welcome Message"), ClosedInError,
                              QStringLiteral("closed")}));
        QVERIFY(!email.frmWinsock()->TimerEnabled());
        QCOMPARE(email.frmWinsock()->State(), qint16(FWinsock::Closed));
    }

    void ownerCloseEndsTheSessionSilently()
    {
        ScriptedSmtpServer server;
        QVERIFY(server.listen());
        server.setGreeting({});
        CEmail email;
        email.frmWinsock()->SetTimerInterval(ShortTimeout);
        SessionRecorder rec(email);
        QSignalSpy ticks(email.frmWinsock(), &FWinsock::OnTimerExpired);
        QSignalSpy connected(&server, &ScriptedSmtpServer::clientConnected);
        startSession(email, server);
        QVERIFY(connected.wait(20000));
        QTRY_COMPARE_WITH_TIMEOUT(rec.events.size(), 1, 10000);
        email.frmWinsock()->Close();
        // The wait notices the closed socket and ends without a word.
        QVERIFY(ticks.wait(10000));
        QCOMPARE(rec.events, QStringList{QStringLiteral("msg:Connected to send email")});
        QVERIFY(!email.IsSending());
        QVERIFY(!email.frmWinsock()->TimerEnabled());
    }

    void ownerResetBeforeABatchAllowsTheNextSession()
    {
        ScriptedSmtpServer server;
        QVERIFY(server.listen());
        server.setGreeting({});
        CEmail email;
        email.frmWinsock()->SetTimerInterval(LongTimeout);
        SessionRecorder rec(email);
        QSignalSpy connected(&server, &ScriptedSmtpServer::clientConnected);
        startSession(email, server, QStringLiteral("stuck"));
        QVERIFY(connected.wait(20000));
        // The batch starts by closing the socket, then sends anew.
        email.frmWinsock()->Close();
        server.setGreeting({"220 ready\r\n"});
        startSession(email, server, QStringLiteral("fresh"));
        QVERIFY(rec.waitClosed());
        const QStringList expected = QStringList{QStringLiteral("msg:Connected to send email")} + SuccessEvents;
        QCOMPARE(rec.events, expected);
        QVERIFY(server.messageData().endsWith("fresh\r\n.\r\n"));
    }

    void nextSessionStartedFromTheClosedEvent()
    {
        ScriptedSmtpServer server;
        QVERIFY(server.listen());
        CEmail email;
        email.frmWinsock()->SetTimerInterval(LongTimeout);
        SessionRecorder rec(email);
        // As the alert sender does: the next recipient once a session ends.
        QStringList recipients{QStringLiteral("b@example.test"), QStringLiteral("c@example.test")};
        connect(&email, &CEmail::OnWinsockConnectionClosed, this, [&] {
            if (!recipients.isEmpty())
                email.SendMail(QStringLiteral("127.0.0.1"), server.port(), recipients.takeFirst(),
                               From, QStringLiteral("S"), QStringLiteral("B"));
        });
        startSession(email, server);
        QVERIFY(rec.waitClosed(3));
        QCOMPARE(rec.events, SuccessEvents + SuccessEvents + SuccessEvents);
        QCOMPARE(server.connectionCount(), 3);
        QTRY_VERIFY_WITH_TIMEOUT(server.commands().contains(QStringLiteral("RCPT TO:<c@example.test>")),
                                 10000);
    }

    void sessionStartedFromATimedOutSessionGetsItsOwnTimer()
    {
        ScriptedSmtpServer server;
        QVERIFY(server.listen());
        server.setGreeting({});
        CEmail email;
        email.frmWinsock()->SetTimerInterval(ShortTimeout);
        SessionRecorder rec(email);
        bool bRetried = false;
        bool bTimerRunningAfterTimeOut = false;
        connect(&email, &CEmail::OnWinsockConnectionClosed, this, [&] {
            if (!bRetried) {
                bRetried = true;
                email.SendMail(QStringLiteral("127.0.0.1"), server.port(), To, From,
                               QStringLiteral("S"), QStringLiteral("B"));
            }
        });
        connect(&email, &CEmail::WinsockMessage, this, [&](const QString &s) {
            // Once the first session's handler is done, the second session's
            // connection attempt must be covered by a running timer.
            if (s.contains(QStringLiteral("Timed out")) && rec.closedSpy.count() == 1)
                QTimer::singleShot(0, this, [&] {
                    bTimerRunningAfterTimeOut = email.frmWinsock()->TimerEnabled();
                });
        });
        startSession(email, server);
        QVERIFY(rec.waitClosed(2));
        QVERIFY(bTimerRunningAfterTimeOut);
        const QStringList one{QStringLiteral("msg:Connected to send email"), ClosedInError,
                              QStringLiteral("closed")};
        // The first session's status text comes after its closed event,
        // which already started the second session.
        const QStringList expected = one + QStringList{TimedOut} + one + QStringList{TimedOut};
        QCOMPARE(rec.events, expected);
    }

    void securitySpellings_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<int>("security"); // -1: not a spelling
        QTest::newRow("None") << "None" << int(SmtpSecurity::None);
        QTest::newRow("StartTLS") << "StartTLS" << int(SmtpSecurity::StartTls);
        QTest::newRow("TLS") << "TLS" << int(SmtpSecurity::Tls);
        QTest::newRow("any case, blanks") << " starttls " << int(SmtpSecurity::StartTls);
        QTest::newRow("SSL is not a spelling") << "SSL" << -1;
        QTest::newRow("empty") << "" << -1;
    }

    void securitySpellings()
    {
        QFETCH(QString, text);
        QFETCH(int, security);
        const std::optional<SmtpSecurity> parsed = SmtpSettings::parseSecurity(text);
        QCOMPARE(parsed ? int(*parsed) : -1, security);
        if (parsed) // the settings file keeps what it reads back
            QCOMPARE(SmtpSettings::parseSecurity(SmtpSettings::formatSecurity(*parsed)), parsed);
    }

    void replyCode_data()
    {
        QTest::addColumn<QString>("reply");
        QTest::addColumn<int>("code");
        QTest::newRow("plain") << QStringLiteral("250 OK\r\n") << 250;
        QTest::newRow("continuation") << QStringLiteral("250-mx\r\n250 OK\r\n") << 250;
        QTest::newRow("code alone") << QStringLiteral("354\r\n") << 354;
        QTest::newRow("letters") << QStringLiteral("OK 250\r\n") << 0;
        QTest::newRow("leading blank") << QStringLiteral(" 250 OK\r\n") << 0;
        QTest::newRow("empty") << QString() << 0;
        QTest::newRow("long") << QStringLiteral("99999999999999999999 x") << 2147483647;
    }

    void replyCode()
    {
        QFETCH(QString, reply);
        QFETCH(int, code);
        QCOMPARE(CEmail::ReplyCode(reply), code);
    }
};

QTEST_MAIN(TestCEmail)
#include "tst_cemail.moc"
