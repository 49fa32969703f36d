// What asking Qt which proxy to use costs: every socket that connects to a
// named host asks once. With the system's configuration (Debian's Qt asks
// libproxy, on a thread of its own) the answer is far from free; sockets to
// 127.0.0.1 skip the question, so the loopback benchmarks never see it.

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QNetworkProxy>
#include <QNetworkProxyFactory>

#include <cstdio>
#include <ctime>

static double cpuMilliseconds()
{
    timespec now{};
    clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &now);
    return double(now.tv_sec) * 1e3 + double(now.tv_nsec) / 1e6;
}

template <class Ask>
static void measure(const char *what, Ask ask)
{
    constexpr int Times = 1000;
    const double cpuBefore = cpuMilliseconds();
    QElapsedTimer wall;
    wall.start();
    for (int i = 0; i < Times; ++i)
        ask();
    std::printf("%-45s %.3f ms CPU, %.3f ms wall a question\n", what, (cpuMilliseconds() - cpuBefore) / Times,
                double(wall.nsecsElapsed()) / 1e6 / Times);
}

int main(int argc, char *argv[])
{
    QCoreApplication application(argc, argv);
    std::printf("the system's proxy configuration in use: %s\n",
                QNetworkProxyFactory::usesSystemConfiguration() ? "yes" : "no");
    measure("a TCP connection to shop.example.com:80", [] {
        QNetworkProxyFactory::proxyForQuery(
            QNetworkProxyQuery(QStringLiteral("shop.example.com"), 80, {}, QNetworkProxyQuery::TcpSocket));
    });
    measure("a TCP connection to 127.0.0.1:80", [] {
        QNetworkProxyFactory::proxyForQuery(
            QNetworkProxyQuery(QStringLiteral("127.0.0.1"), 80, {}, QNetworkProxyQuery::TcpSocket));
    });
    measure("QNetworkProxy::applicationProxy()", [] { QNetworkProxy::applicationProxy(); });
    return 0;
}
