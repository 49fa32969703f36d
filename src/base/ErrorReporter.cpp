#include "ErrorReporter.h"

#include <cstdio>

namespace {
std::unique_ptr<ErrorReporter> &processReporter()
{
    static std::unique_ptr<ErrorReporter> reporter = std::make_unique<StandardErrorReporter>();
    return reporter;
}
} // namespace

void ErrorReporter::Setup(const QString &productName, const QString &version,
                          const QString &reportAddress)
{
    m_productName = productName;
    m_version = version;
    m_reportAddress = reportAddress;
}

ErrorReporter &ErrorReporter::instance()
{
    return *processReporter();
}

std::unique_ptr<ErrorReporter> ErrorReporter::install(std::unique_ptr<ErrorReporter> reporter)
{
    Q_ASSERT(reporter);
    std::swap(processReporter(), reporter);
    return reporter;
}

void StandardErrorReporter::ReportError(const QString &reportText)
{
    QString text = reportText;
    text.replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
    const QByteArray bytes = (productName().isEmpty() ? QStringLiteral("Error") : productName() + QStringLiteral(" error"))
                                 .toLocal8Bit()
        + ": " + text.toLocal8Bit() + '\n';
    std::fwrite(bytes.constData(), 1, size_t(bytes.size()), stderr);
    std::fflush(stderr);
}
