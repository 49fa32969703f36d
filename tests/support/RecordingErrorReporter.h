#pragma once

#include "base/ErrorReporter.h"

#include <QStringList>

#include <memory>

// Installs itself as the process-wide reporter for the lifetime of the
// object and keeps every report text; the previous reporter comes back at
// destruction.
class RecordingErrorReporter
{
public:
    RecordingErrorReporter()
    {
        auto recorder = std::make_unique<Recorder>();
        m_recorder = recorder.get();
        m_previous = ErrorReporter::install(std::move(recorder));
    }
    ~RecordingErrorReporter() { ErrorReporter::install(std::move(m_previous)); }
    RecordingErrorReporter(const RecordingErrorReporter &) = delete;
    RecordingErrorReporter &operator=(const RecordingErrorReporter &) = delete;

    const QStringList &reports() const { return m_recorder->reports; }
    void clear() { m_recorder->reports.clear(); }
    const ErrorReporter &reporter() const { return *m_recorder; }

private:
    struct Recorder : ErrorReporter
    {
        QStringList reports;
        void ReportError(const QString &text) override { reports.append(text); }
    };
    Recorder *m_recorder;
    std::unique_ptr<ErrorReporter> m_previous;
};
