#pragma once

#include "dialogs/CError.h"
#include "base/ErrorReporter.h"

// The program's reporter: every report opens a report window of its own and
// is also written to standard error. Without a widget application (tools,
// plain core applications) only the standard error line is written.
class WindowErrorReporter : public StandardErrorReporter
{
public:
    void ReportError(const QString &reportText) override;

private:
    CError m_oError;
};
