#include "FCompanyMessage.h"

#include "ui_FCompanyMessage.h"

#include "update/MessageText.h"

#include <QPushButton>

FCompanyMessage::FCompanyMessage(QWidget *parent)
    : QDialog(parent)
    , m_ui(std::make_unique<Ui::FCompanyMessage>())
{
    m_ui->setupUi(this);
    connect(m_ui->cmdContinue, &QPushButton::clicked, this, &QDialog::accept);
}

FCompanyMessage::~FCompanyMessage() = default;

void FCompanyMessage::LoadMessage(const QString &sCaption, const QString &sMessage)
{
    setWindowTitle(sCaption);
    m_ui->txtMessage->setPlainText(MessageText::forDisplay(sMessage));
}

QString FCompanyMessage::Message() const
{
    return MessageText::fromDisplay(m_ui->txtMessage->toPlainText());
}
