#include "mail/FWinsock.h"

#include <QHostAddress>
#include <QSignalSpy>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTest>

#include <sys/socket.h>

namespace {

// The four events of a host, counted.
struct HostSpies
{
    explicit HostSpies(FWinsock &host)
        : error(&host, &FWinsock::WinsockError)
        , data(&host, &FWinsock::WinsockDataArrival)
        , connect(&host, &FWinsock::Connect)
        , timer(&host, &FWinsock::OnTimerExpired)
        , peerClosed(&host, &FWinsock::closedByPeer)
    {
    }
    int total() const
    {
        return int(error.count() + data.count() + connect.count() + timer.count() + peerClosed.count());
    }

    QSignalSpy error;
    QSignalSpy data;
    QSignalSpy connect;
    QSignalSpy timer;
    QSignalSpy peerClosed;
};

// A port on 127.0.0.1 where nothing listens.
quint16 closedPort()
{
    QTcpServer server;
    if (!server.listen(QHostAddress::LocalHost, 0))
        return 0;
    const quint16 port = server.serverPort();
    server.close();
    return port;
}

} // namespace

class TestFWinsock : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void closeOnNeverConnectedSocketRaisesNothing()
    {
        FWinsock host;
        HostSpies spies(host);
        QCOMPARE(host.State(), qint16(FWinsock::Closed));
        host.Close();
        host.Close();
        QCOMPARE(host.State(), qint16(FWinsock::Closed));
        QCOMPARE(host.GetData(), QString());
        host.SendData(QStringLiteral("HELO x\r\n")); // dropped, no crash
        QCOMPARE(spies.total(), 0);
        QVERIFY(!host.TimerEnabled());
        QCOMPARE(host.TimerInterval(), 30000);
    }

    void unresolvableHostRaisesErrorNeverConnect()
    {
        FWinsock host;
        HostSpies spies(host);
        host.ConnectToServer(QStringLiteral("no-such-host.invalid"), QStringLiteral("25"));
        // Nothing happens inside the call; the socket is busy resolving.
        QCOMPARE(spies.total(), 0);
        QVERIFY(host.State() != FWinsock::Closed);
        QVERIFY(spies.error.wait(30000));
        QCOMPARE(spies.error.count(), 1);
        QCOMPARE(spies.error.at(0).at(0).value<qint16>(), FWinsock::ErrorHostNotFound);
        QCOMPARE(spies.connect.count(), 0);
        QCOMPARE(host.State(), qint16(FWinsock::Error));
        host.Close();
        QCOMPARE(host.State(), qint16(FWinsock::Closed));
    }

    void refusedConnectionRaisesError()
    {
        const quint16 port = closedPort();
        QVERIFY(port != 0);
        FWinsock host;
        HostSpies spies(host);
        host.ConnectToServer(QStringLiteral("127.0.0.1"), QString::number(port));
        QCOMPARE(spies.total(), 0);
        QVERIFY(spies.error.wait(20000));
        QCOMPARE(spies.error.at(0).at(0).value<qint16>(), FWinsock::ErrorConnectionRefused);
        QCOMPARE(spies.connect.count(), 0);
    }

    void invalidPortRaisesErrorLater()
    {
        FWinsock host;
        HostSpies spies(host);
        host.ConnectToServer(QStringLiteral("127.0.0.1"), QStringLiteral("99999"));
        QCOMPARE(spies.total(), 0);
        QVERIFY(host.State() != FWinsock::Closed);
        QVERIFY(spies.error.wait(5000));
        QCOMPARE(spies.connect.count(), 0);
    }

    void bytesTravelUnchangedBothWays()
    {
        QTcpServer server;
        QVERIFY(server.listen(QHostAddress::LocalHost, 0));
        FWinsock host;
        HostSpies spies(host);
        host.ConnectToServer(QStringLiteral("127.0.0.1"), QString::number(server.serverPort()));
        QVERIFY(spies.connect.wait(20000));
        QCOMPARE(host.State(), qint16(FWinsock::Connected));
        QTRY_VERIFY_WITH_TIMEOUT(server.hasPendingConnections(), 10000);
        QTcpSocket *peer = server.nextPendingConnection();

        // Every character is one byte (ISO 8859-1), in both directions.
        host.SendData(QStringLiteral("caf\u00e9 \u00ff\r\n"));
        QByteArray got;
        QTRY_VERIFY_WITH_TIMEOUT((got += peer->readAll()).size() >= 8, 10000);
        QCOMPARE(got, QByteArray("caf\xe9 \xff\r\n"));

        peer->write(QByteArray("220 \xe9\x80\r\n"));
        peer->flush();
        QVERIFY(spies.data.wait(10000));
        QVERIFY(spies.data.at(0).at(0).toInt() > 0);
        QString text = host.GetData();
        QTRY_VERIFY_WITH_TIMEOUT((text += host.GetData()).size() >= 7, 10000);
        QCOMPARE(text, QStringLiteral("220 \u00e9\u0080\r\n"));
        QCOMPARE(host.GetData(), QString()); // read once only
        QCOMPARE(spies.error.count(), 0);
    }

    void peerCloseIsReportedOnceAndStateStaysNonZero_data()
    {
        QTest::addColumn<bool>("reset");
        QTest::newRow("orderly close") << false;
        QTest::newRow("reset") << true;
    }

    void peerCloseIsReportedOnceAndStateStaysNonZero()
    {
        QFETCH(bool, reset);
        QTcpServer server;
        QVERIFY(server.listen(QHostAddress::LocalHost, 0));
        FWinsock host;
        HostSpies spies(host);
        host.ConnectToServer(QStringLiteral("127.0.0.1"), QString::number(server.serverPort()));
        QVERIFY(spies.connect.wait(20000));
        QTRY_VERIFY_WITH_TIMEOUT(server.hasPendingConnections(), 10000);
        QTcpSocket *peer = server.nextPendingConnection();

        if (reset) {
            const linger immediately{1, 0};
            ::setsockopt(int(peer->socketDescriptor()), SOL_SOCKET, SO_LINGER, &immediately, sizeof immediately);
            peer->abort();
        } else {
            peer->write("221 bye\r\n");
            peer->disconnectFromHost();
        }
        QVERIFY(spies.peerClosed.wait(10000));
        QCOMPARE(spies.peerClosed.count(), 1);
        QCOMPARE(spies.error.count(), 0);
        QVERIFY(host.State() != FWinsock::Closed);
        // What the peer said before it left can still be read.
        QCOMPARE(host.GetData(), reset ? QString() : QStringLiteral("221 bye\r\n"));
        host.SendData(QStringLiteral("QUIT\r\n")); // dropped, no error
        QCOMPARE(spies.error.count(), 0);
        host.Close();
        QCOMPARE(host.State(), qint16(FWinsock::Closed));
    }

    void closeStopsAllEventsOfTheConnection()
    {
        QTcpServer server;
        QVERIFY(server.listen(QHostAddress::LocalHost, 0));
        FWinsock host;
        HostSpies spies(host);
        // Closed before the connection even started: it never starts.
        host.ConnectToServer(QStringLiteral("127.0.0.1"), QString::number(server.serverPort()));
        host.Close();
        QCOMPARE(host.State(), qint16(FWinsock::Closed));
        // A later connection works and is the only one reported.
        host.ConnectToServer(QStringLiteral("127.0.0.1"), QString::number(server.serverPort()));
        QVERIFY(spies.connect.wait(20000));
        QCOMPARE(spies.connect.count(), 1);
        QTRY_VERIFY_WITH_TIMEOUT(server.hasPendingConnections(), 10000);
        QTcpSocket *peer = server.nextPendingConnection();
        QVERIFY(!server.hasPendingConnections());
        QSignalSpy peerGone(peer, &QTcpSocket::disconnected);
        host.Close();
        peer->write("late\r\n");
        QVERIFY(peerGone.wait(10000));
        QCOMPARE(spies.data.count(), 0);
        QCOMPARE(spies.error.count(), 0);
    }

    void timerTicksWhileEnabled()
    {
        FWinsock host;
        HostSpies spies(host);
        host.SetTimerInterval(20);
        host.SetTimerEnabled(true);
        QVERIFY(host.TimerEnabled());
        QVERIFY(spies.timer.wait(5000));
        QVERIFY(spies.timer.wait(5000)); // periodic
        QVERIFY(host.TimerEnabled());
        host.SetTimerEnabled(false);
        QVERIFY(!host.TimerEnabled());
    }

    void enablingARunningTimerKeepsItsCount()
    {
        FWinsock host;
        host.SetTimerInterval(600000);
        host.SetTimerEnabled(true);
        auto *timer = host.findChild<QTimer *>(QStringLiteral("timWinsock"));
        QVERIFY(timer);
        // Wait until the count has visibly moved, then enable again.
        QTRY_VERIFY_WITH_TIMEOUT(timer->remainingTime() < 600000 - 50, 10000);
        const int before = timer->remainingTime();
        host.SetTimerEnabled(true);
        QVERIFY(timer->remainingTime() <= before);
    }
};

QTEST_MAIN(TestFWinsock)
#include "tst_fwinsock.moc"
