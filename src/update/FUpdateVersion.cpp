#include "FUpdateVersion.h"

#include "ui_FUpdateVersion.h"

#include "update/MessageText.h"

#include <QPushButton>

FUpdateVersion::FUpdateVersion(QWidget *parent)
    : QDialog(parent)
    , m_ui(std::make_unique<Ui::FUpdateVersion>())
{
    m_ui->setupUi(this);
    connect(m_ui->cmdUpdate, &QPushButton::clicked, this, &FUpdateVersion::OnCmdUpdateClick);
    connect(m_ui->cmdDoNotUpgrade, &QPushButton::clicked, this, &FUpdateVersion::OnCmdDoNotUpgradeClick);
}

FUpdateVersion::~FUpdateVersion() = default;

void FUpdateVersion::LoadMessage(const QString &sCaption, const QString &sMessage)
{
    setWindowTitle(sCaption);
    m_ui->txtMessage->setPlainText(MessageText::forDisplay(sMessage));
}

QString FUpdateVersion::Message() const
{
    return MessageText::fromDisplay(m_ui->txtMessage->toPlainText());
}

void FUpdateVersion::OnCmdUpdateClick()
{
    m_bUpdateChosen = true;
    accept();
}

void FUpdateVersion::OnCmdDoNotUpgradeClick()
{
    m_bUpdateChosen = false;
    reject();
}
