#pragma once

#include <QString>

#include <memory>

// The process-wide error reporter. Start-up installs the one that shows
// report windows; until then (and in tools) reports go to standard error.
// Tests install a recording one.
class ErrorReporter
{
public:
    virtual ~ErrorReporter() = default;

    // Product name, version text ("2.1") and the address reports may be sent to.
    virtual void Setup(const QString &productName, const QString &version,
                       const QString &reportAddress);

    // Shows or records one report and returns at once; may be called again
    // while an earlier report is still on screen.
    virtual void ReportError(const QString &reportText) = 0;

    const QString &productName() const { return m_productName; }
    const QString &version() const { return m_version; }
    const QString &reportAddress() const { return m_reportAddress; }

    static ErrorReporter &instance();
    // Replaces the process-wide reporter and gives back the previous one.
    static std::unique_ptr<ErrorReporter> install(std::unique_ptr<ErrorReporter> reporter);

private:
    QString m_productName;
    QString m_version;
    QString m_reportAddress;
};

// Writes each report to the standard error stream.
class StandardErrorReporter : public ErrorReporter
{
public:
    void ReportError(const QString &reportText) override;
};
