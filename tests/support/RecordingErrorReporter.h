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
    RecordingErrorReporter() { m_previous = ErrorReporter::install(std::unique_ptr<Recorder>(m_recorder)); }
    ~RecordingErrorReporter() { ErrorReporter::install(std::move(m_previous)); }
    Q_DISABLE_COPY(RecordingErrorReporter)
    const QStringList &reports() const { return m_recorder->reports; }

private:
    struct Recorder : ErrorReporter
    {
        QStringList reports;
        void ReportError(const QString &text) override { reports.append(text); }
    };
    Recorder *m_recorder = new Recorder; // owned by ErrorReporter while installed
    std::unique_ptr<ErrorReporter> m_previous;
};
