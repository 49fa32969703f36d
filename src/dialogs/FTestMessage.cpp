#include "FTestMessage.h"

#include "ui_FTestMessage.h"

#include <QFontDatabase>
#include <QPushButton>

FTestMessage::FTestMessage(QWidget *parent)
    : QDialog(parent)
    , m_ui(std::make_unique<Ui::FTestMessage>())
{
    m_ui->setupUi(this);
    m_ui->txtDialogue->setFont(QFontDatabase::systemFont(QFontDatabase::FixedFont));
    connect(m_ui->cmdSendAgain, &QPushButton::clicked, this, &FTestMessage::sendAgainRequested);
    connect(m_ui->cmdClose, &QPushButton::clicked, this, &QDialog::accept);
}

FTestMessage::~FTestMessage() = default;

void FTestMessage::begin(const QString &heading)
{
    m_ui->lblHeading->setText(heading);
    m_ui->txtDialogue->clear();
    m_ui->lblVerdict->setText(tr("Waiting for the server..."));
    m_ui->lblVerdict->setStyleSheet(QString());
    m_ui->cmdSendAgain->setEnabled(false);
}

void FTestMessage::addLine(Line kind, const QString &text)
{
    // What we said, what the server answered, and notes of our own.
    static const QString prefixes[] = {QStringLiteral("\u2192 "), QStringLiteral("\u2190 "), QStringLiteral("  ")};
    m_ui->txtDialogue->appendPlainText(prefixes[int(kind)] + text);
}

void FTestMessage::finish(bool accepted, const QString &verdict)
{
    m_ui->lblVerdict->setText(verdict);
    m_ui->lblVerdict->setStyleSheet(accepted ? QStringLiteral("color: #1a7f37; font-weight: bold")
                                             : QStringLiteral("color: #b42318; font-weight: bold"));
    m_ui->cmdSendAgain->setEnabled(true);
}

QString FTestMessage::dialogue() const
{
    return m_ui->txtDialogue->toPlainText();
}

QString FTestMessage::verdict() const
{
    return m_ui->lblVerdict->text();
}
