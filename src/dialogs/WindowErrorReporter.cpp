#include "WindowErrorReporter.h"

#include <QApplication>

#include <cstdio>

void WindowErrorReporter::ReportError(const QString &reportText)
{
    QString line = reportText;
    line.replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
    const QByteArray bytes = (productName().isEmpty() ? QStringLiteral("Error") : productName() + QStringLiteral(" error"))
                                 .toLocal8Bit()
        + ": " + line.toLocal8Bit() + '\n';
    std::fwrite(bytes.constData(), 1, size_t(bytes.size()), stderr);
    std::fflush(stderr);

    if (qobject_cast<QApplication *>(QCoreApplication::instance()))
        m_oError.ShowError(reportText);
}
