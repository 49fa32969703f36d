// The sandbox's two servers in-process, with small limits and time-outs put
// in: what a misbehaving client gets, and what a failed write does.

#include "HttpServer.h"
#include "MailCatcher.h"

#include <QDir>
#include <QSignalSpy>
#include <QTcpSocket>
#include <QTemporaryDir>
#include <QTest>

namespace {

constexpr int WaitMs = 20000;

// Talks to a server on loopback, one reply (ending in CR LF) at a time.
class Client
{
public:
    explicit Client(quint16 port)
    {
        QSignalSpy connected(&m_socket, &QTcpSocket::connected);
        m_socket.connectToHost(QHostAddress::LocalHost, port);
        m_ok = connected.wait(WaitMs);
    }

    bool ok() const { return m_ok; }
    void send(const QByteArray &bytes) { m_socket.write(bytes); }

    QByteArray reply()
    {
        QSignalSpy ready(&m_socket, &QTcpSocket::readyRead);
        for (;;) {
            m_received += m_socket.readAll();
            const qsizetype end = m_received.indexOf("\r\n");
            if (end >= 0) {
                const QByteArray line = m_received.left(end + 2);
                m_received.remove(0, end + 2);
                return line;
            }
            if (m_socket.state() != QAbstractSocket::ConnectedState || !ready.wait(WaitMs))
                return {};
        }
    }

    bool waitClosed()
    {
        QSignalSpy closed(&m_socket, &QTcpSocket::disconnected);
        return m_socket.state() == QAbstractSocket::UnconnectedState || closed.wait(WaitMs);
    }

    QByteArray rest()
    {
        m_received += m_socket.readAll();
        return std::exchange(m_received, {});
    }

private:
    QTcpSocket m_socket;
    QByteArray m_received;
    bool m_ok = false;
};

// Through the greeting and into DATA.
void startMessage(Client &client)
{
    QVERIFY(client.reply().startsWith("220 "));
    for (const QByteArray &command : {QByteArray("HELO me\r\n"), QByteArray("MAIL FROM:<a@b.test>\r\n"),
                                      QByteArray("RCPT TO:<c@d.test>\r\n")}) {
        client.send(command);
        QVERIFY(client.reply().startsWith("250 "));
    }
    client.send("DATA\r\n");
    QVERIFY(client.reply().startsWith("354 "));
}

} // namespace

class TestSandboxServers : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void everyReplyIsOneLine_data()
    {
        QTest::addColumn<QByteArray>("command");
        QTest::addColumn<QByteArray>("code");
        QTest::newRow("helo") << QByteArray("HELO host") << QByteArray("250");
        QTest::newRow("ehlo lower case") << QByteArray("ehlo host") << QByteArray("250");
        QTest::newRow("mail without from") << QByteArray("MAIL <a@b>") << QByteArray("501");
        QTest::newRow("rcpt without to") << QByteArray("RCPT c@d") << QByteArray("501");
        QTest::newRow("noop") << QByteArray("NOOP") << QByteArray("250");
        QTest::newRow("rset") << QByteArray("RSET") << QByteArray("250");
        QTest::newRow("vrfy") << QByteArray("VRFY someone") << QByteArray("252");
        QTest::newRow("empty line") << QByteArray("") << QByteArray("500");
        QTest::newRow("unknown") << QByteArray("STARTTLS") << QByteArray("500");
    }

    // The program's SMTP session takes any text ending in CR LF as the whole
    // reply, so a multi-line reply would break it.
    void everyReplyIsOneLine()
    {
        QFETCH(QByteArray, command);
        QFETCH(QByteArray, code);
        QTemporaryDir dir;
        MailCatcher catcher(dir.path());
        QVERIFY(catcher.prepareFolder());
        QVERIFY(catcher.listen(0));
        Client client(catcher.port());
        QVERIFY(client.ok());
        QVERIFY(client.reply().startsWith("220 "));
        client.send(command + "\r\n");
        const QByteArray reply = client.reply();
        QVERIFY2(reply.startsWith(code + ' '), reply.constData());
        QCOMPARE(reply.count("\r\n"), 1);
        client.send("QUIT\r\n");
        QVERIFY(client.reply().startsWith("221 "));
        QVERIFY(client.waitClosed());
        QCOMPARE(client.rest(), QByteArray());
    }

    void dotsAreUnstuffedAndTheEnvelopeKept()
    {
        QTemporaryDir dir;
        MailCatcher catcher(dir.path());
        QVERIFY(catcher.prepareFolder());
        QVERIFY(catcher.listen(0));
        QSignalSpy caught(&catcher, &MailCatcher::messageCaught);
        Client client(catcher.port());
        startMessage(client);
        // Sent in pieces that split lines, and the terminator, anywhere.
        client.send("Subject: dots\r\n\r\n..one\r");
        client.send("\n...two\r\n.\r");
        client.send("\n");
        QVERIFY(client.reply().startsWith("250 "));
        QCOMPARE(caught.count(), 1);
        const auto message = caught.first().first().value<CaughtMessage>();
        QCOMPARE(message.data, QByteArray("Subject: dots\r\n\r\n.one\r\n..two\r\n"));
        QCOMPARE(message.sender, QByteArray("a@b.test"));
        QCOMPARE(message.recipients, QList<QByteArray>{"c@d.test"});
        QCOMPARE(message.number, 1);
        QCOMPARE(QFileInfo(message.filePath).fileName(), QStringLiteral("0001.eml"));
    }

    void oversizedMessageIsRefused()
    {
        QTemporaryDir dir;
        MailCatcher catcher(dir.path());
        catcher.setLimits({100, 1000, std::chrono::milliseconds(WaitMs)});
        QVERIFY(catcher.prepareFolder());
        QVERIFY(catcher.listen(0));
        QSignalSpy caught(&catcher, &MailCatcher::messageCaught);
        Client client(catcher.port());
        startMessage(client);
        for (int i = 0; i < 20; ++i)
            client.send(QByteArray(80, 'x') + "\r\n");
        QVERIFY(client.reply().startsWith("552 "));
        QVERIFY(client.waitClosed());
        QCOMPARE(caught.count(), 0);
        QVERIFY(QDir(dir.path()).entryList(QDir::Files).isEmpty());
    }

    void unfinishedOverlongLineIsRefused()
    {
        QTemporaryDir dir;
        MailCatcher catcher(dir.path());
        catcher.setLimits({100, 1000, std::chrono::milliseconds(WaitMs)});
        QVERIFY(catcher.prepareFolder());
        QVERIFY(catcher.listen(0));
        Client client(catcher.port());
        QVERIFY(client.reply().startsWith("220 "));
        client.send(QByteArray(500, 'y'));   // no line end ever comes
        QVERIFY(client.reply().startsWith("552 "));
        QVERIFY(client.waitClosed());
    }

    void silentClientIsDropped()
    {
        QTemporaryDir dir;
        MailCatcher catcher(dir.path());
        catcher.setLimits({100, 1000, std::chrono::milliseconds(50)});
        QVERIFY(catcher.prepareFolder());
        QVERIFY(catcher.listen(0));
        Client client(catcher.port());
        QVERIFY(client.reply().startsWith("220 "));
        QVERIFY(client.reply().startsWith("421 "));
        QVERIFY(client.waitClosed());
    }

    // A message that cannot be kept is not acknowledged as kept.
    void failedWriteIsNotReportedAsSuccess()
    {
        QTemporaryDir dir;
        const QString folder = dir.filePath(QStringLiteral("mail"));
        MailCatcher catcher(folder);
        QVERIFY(catcher.prepareFolder());
        QVERIFY(catcher.listen(0));
        QSignalSpy caught(&catcher, &MailCatcher::messageCaught);
        QSignalSpy failed(&catcher, &MailCatcher::storeFailed);
        QVERIFY(QDir(folder).removeRecursively());
        Client client(catcher.port());
        startMessage(client);
        client.send("Subject: lost\r\n\r\nbody\r\n.\r\n");
        QVERIFY(client.reply().startsWith("451 "));
        QCOMPARE(caught.count(), 0);
        QCOMPARE(failed.count(), 1);
        // The session goes on.
        client.send("NOOP\r\n");
        QVERIFY(client.reply().startsWith("250 "));
    }

    void descriptionIsReadable()
    {
        CaughtMessage message;
        message.filePath = QStringLiteral("/tmp/x/0003.eml");
        message.sender = "from@x.test";
        message.recipients = {"one@x.test", "two@x.test"};
        message.data = "X-Mailer: Quillet v1.1\r\nSubject: a long\r\n subject\r\n\r\nbell \x07 here\r\n"
                       "caf\xe9\r\n\r\nend";
        QCOMPARE(message.describe(),
                 (QStringList{QStringLiteral("mail 0003.eml: to one@x.test, two@x.test, from from@x.test"),
                              QStringLiteral("  Subject: a long subject"), QStringLiteral("  | bell ? here"),
                              QStringLiteral("  | caf\u00e9"), QStringLiteral("  | "), QStringLiteral("  | end")}));
        QCOMPARE(message.describe(2).mid(2),
                 (QStringList{QStringLiteral("  | bell ? here"), QStringLiteral("  | caf\u00e9"),
                              QStringLiteral("  | ... 2 more lines in 0003.eml")}));
        CaughtMessage bare;
        bare.filePath = QStringLiteral("0001.eml");
        bare.data = "no header block\r\n";
        QCOMPARE(bare.describe().first(), QStringLiteral("mail 0001.eml: to (nobody), from (nobody)"));
        QCOMPARE(bare.describe().at(1), QStringLiteral("  Subject: "));
    }

    void httpClientThatNeverFinishesGetsTimedOut()
    {
        HttpServer server([](const HttpRequest &) { return HttpResponse{}; });
        server.setIdleTimeout(std::chrono::milliseconds(50));
        QVERIFY(server.listen(0));
        Client client(server.port());
        QVERIFY(client.ok());
        client.send("GET / HTTP/1.1\r\nHost: x\r\n");   // the empty line never comes
        QVERIFY(client.reply().startsWith("HTTP/1.1 408 "));
        QVERIFY(client.waitClosed());
    }

    void httpAnswerCarriesItsLength()
    {
        HttpServer server([](const HttpRequest &request) {
            HttpResponse response;
            response.body = request.path.toUtf8() + '|' + request.query.queryItemValue(QStringLiteral("userid"), QUrl::FullyDecoded).toUtf8();
            return response;
        });
        QVERIFY(server.listen(0));
        QSignalSpy answered(&server, &HttpServer::requestAnswered);
        Client client(server.port());
        client.send("GET /a%20b?x&userid=s%26p%20q HTTP/1.1\r\nHost: x\r\n\r\n");
        QVERIFY(client.waitClosed());
        const QByteArray answer = client.rest();
        QVERIFY(answer.startsWith("HTTP/1.1 200 OK\r\n"));
        QVERIFY(answer.contains("\r\nContent-Length: 10\r\n"));
        QVERIFY(answer.contains("\r\nConnection: close\r\n"));
        QVERIFY(answer.endsWith("\r\n\r\n/a b|s&p q"));
        QCOMPARE(answered.count(), 1);
        QCOMPARE(answered.first().at(2).toInt(), 200);
    }
};

QTEST_GUILESS_MAIN(TestSandboxServers)
#include "tst_sandboxservers.moc"
