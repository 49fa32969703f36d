#include "FError.h"

#include "ui_FError.h"

#include "base/Brand.h"
#include "base/Version.h"
#include "base/Shell.h"

#include <QPushButton>
#include <QUrl>

namespace {
const QString ProgramTitle = QStringLiteral("Zorvane");

QString encoded(const QString &text)
{
    return QString::fromLatin1(QUrl::toPercentEncoding(text));
}
} // namespace

FError::FError(const QString &sReport, QWidget *parent)
    : QDialog(parent)
    , m_ui(std::make_unique<Ui::FError>())
    , m_sReport(sReport)
{
    m_ui->setupUi(this);
    setWindowTitle(ProgramTitle + u' ' + QStringLiteral(" Error"));
    setWindowFlag(Qt::WindowStaysOnTopHint, true);

    // Reports carry CR LF line ends; the text box wants plain line feeds.
    QString shown = sReport;
    shown.replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
    shown.replace(u'\r', u'\n');
    m_ui->txtError->setPlainText(shown);

    connect(m_ui->cmdContinue, &QPushButton::clicked, this, &FError::OnCmdContinueClick);
    connect(m_ui->cmdEmail, &QPushButton::clicked, this, &FError::OnCmdEmailClick);
}

FError::~FError() = default;

QString FError::ErrorMailAddress(const QString &sReport)
{
    const QString subject = ProgramTitle + u' ' + Version::full() + QStringLiteral(" Error");
    return QStringLiteral("mailto:") + Brand::ErrorReportEmail + QStringLiteral("?subject=")
        + encoded(subject) + QStringLiteral("&body=") + encoded(sReport);
}

void FError::OnCmdContinueClick()
{
    close();
}

void FError::OnCmdEmailClick()
{
    Shell::open(ErrorMailAddress(m_sReport));
    close();
}
