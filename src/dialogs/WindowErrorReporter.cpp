#include "WindowErrorReporter.h"

#include <QApplication>

void WindowErrorReporter::ReportError(const QString &reportText)
{
    StandardErrorReporter::ReportError(reportText);
    if (qobject_cast<QApplication *>(QCoreApplication::instance()))
        m_oError.ShowError(reportText);
}
