#pragma once

#include <QProcess>
#include <QSignalSpy>

// What one run of one of the project's programs gave.
struct ToolRun
{
    int exitCode = -1; // -1: it crashed or did not end in time (then it was killed)
    QByteArray out;
    QByteArray err;
};

// Runs a program to its end without blocking this thread's event loop, so
// that a test's own servers can answer it meanwhile. Bounded in time.
inline ToolRun runTool(const QString &program, const QStringList &arguments, int waitMs = 30000)
{
    QProcess process;
    QSignalSpy finished(&process, &QProcess::finished);
    process.start(program, arguments);
    if (!finished.wait(waitMs)) {
        process.kill();
        finished.wait(waitMs);
        return {};
    }
    return {process.exitStatus() == QProcess::NormalExit ? process.exitCode() : -1, process.readAllStandardOutput(),
            process.readAllStandardError()};
}
