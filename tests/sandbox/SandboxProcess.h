#pragma once

#include <QProcess>
#include <QRegularExpression>
#include <QSignalSpy>
#include <QStringList>

// The built zorvane-sandbox, started on free loopback ports with its
// standard input held open: closing it (or destroying this object) ends the
// program, so no test leaves one behind.
class SandboxProcess
{
public:
    static constexpr int WaitMs = 20000;

    ~SandboxProcess() { stop(); }

    // Starts the program and waits for both address lines.
    bool start(const QStringList &extraArguments)
    {
        m_process.setProgram(QStringLiteral(ZORVANE_SANDBOX_PATH));
        m_process.setArguments(QStringList{QStringLiteral("--site-port"), QStringLiteral("0"),
                                           QStringLiteral("--smtp-port"), QStringLiteral("0"),
                                           QStringLiteral("--exit-on-stdin-close")}
                               + extraArguments);
        QSignalSpy started(&m_process, &QProcess::started);
        m_process.start();
        if (started.isEmpty() && !started.wait(WaitMs))
            return false;
        static const QRegularExpression site(QStringLiteral("^site: http://127\\.0\\.0\\.1:(\\d+)/$"));
        static const QRegularExpression smtp(QStringLiteral("^smtp: 127\\.0\\.0\\.1:(\\d+)$"));
        const QString siteLine = waitForLine(site);
        const QString smtpLine = waitForLine(smtp);
        if (siteLine.isEmpty() || smtpLine.isEmpty())
            return false;
        m_sitePort = quint16(site.match(siteLine).captured(1).toUInt());
        m_smtpPort = quint16(smtp.match(smtpLine).captured(1).toUInt());
        return m_sitePort != 0 && m_smtpPort != 0;
    }

    // The first output line (from the start) matching the pattern, waiting
    // for more output as needed; empty when none came in time.
    QString waitForLine(const QRegularExpression &pattern, int fromLine = 0)
    {
        QSignalSpy output(&m_process, &QProcess::readyReadStandardOutput);
        for (;;) {
            collect();
            for (qsizetype i = fromLine; i < m_lines.size(); ++i) {
                if (pattern.match(m_lines[i]).hasMatch())
                    return m_lines[i];
            }
            if (m_process.state() == QProcess::NotRunning || !output.wait(WaitMs))
                return {};
        }
    }

    // Ends the program by closing its standard input; true when it exited
    // normally with code 0 in time.
    bool stop()
    {
        if (m_process.state() == QProcess::NotRunning)
            return m_process.exitStatus() == QProcess::NormalExit && m_process.exitCode() == 0;
        QSignalSpy finished(&m_process, &QProcess::finished);
        m_process.closeWriteChannel();
        if (!finished.wait(WaitMs)) {
            m_process.kill();
            finished.wait(WaitMs);
            return false;
        }
        collect();
        return m_process.exitStatus() == QProcess::NormalExit && m_process.exitCode() == 0;
    }

    // Waits for the program to end by itself (after a signal, say).
    bool waitForExit()
    {
        QSignalSpy finished(&m_process, &QProcess::finished);
        if (m_process.state() != QProcess::NotRunning && !finished.wait(WaitMs))
            return false;
        collect();
        return true;
    }

    const QStringList &lines()
    {
        collect();
        return m_lines;
    }

    QString siteUrl(const QString &target) const
    {
        return QStringLiteral("http://127.0.0.1:%1").arg(m_sitePort) + target;
    }

    quint16 sitePort() const { return m_sitePort; }
    quint16 smtpPort() const { return m_smtpPort; }
    QProcess &process() { return m_process; }

private:
    void collect()
    {
        m_pending += m_process.readAllStandardOutput();
        qsizetype end;
        while ((end = m_pending.indexOf('\n')) >= 0) {
            m_lines << QString::fromUtf8(m_pending.left(end));
            m_pending.remove(0, end + 1);
        }
    }

    QProcess m_process;
    QByteArray m_pending;
    QStringList m_lines;
    quint16 m_sitePort = 0;
    quint16 m_smtpPort = 0;
};
