#include "FAdd.h"

#include "ui_FAdd.h"

#include <QPushButton>

FAdd::FAdd(QWidget *parent)
    : QDialog(parent)
    , m_ui(std::make_unique<Ui::FAdd>())
{
    m_ui->setupUi(this);
    m_sDesignTitle = windowTitle();
    m_sDesignLabel = m_ui->lblAddUserID->text();

    connect(m_ui->cmdAdd, &QPushButton::clicked, this, &FAdd::OnCmdAddClick);
    connect(m_ui->cmdCancel, &QPushButton::clicked, this, &FAdd::OnCmdCancelClick);
    connect(m_ui->txtEmail, &QLineEdit::textChanged, this, &FAdd::OnTxtEmailChange);
    UpdateAddButton();
}

FAdd::~FAdd() = default;

void FAdd::setEmailMode(bool bEmailMode)
{
    m_bEmailMode = bEmailMode;
    if (m_bEmailMode) {
        setWindowTitle(m_sDesignTitle);
        m_ui->lblAddUserID->setText(m_sDesignLabel);
    } else {
        const QString caption = QStringLiteral("Add eBay Account");
        setWindowTitle(caption);
        m_ui->lblAddUserID->setText(caption);
    }
    UpdateAddButton();
}

QString FAdd::Address() const
{
    return m_ui->txtEmail->text();
}

void FAdd::UpdateAddButton()
{
    const QString text = m_ui->txtEmail->text();
    m_ui->cmdAdd->setEnabled(m_bEmailMode ? IsValidEmailAddress(text) : text.size() >= 2);
}

bool FAdd::IsValidEmailAddress(const QString &sText)
{
    if (sText.isEmpty())
        return false;
    // 0-based: an "@" in the first position does not count.
    const qsizetype at = sText.indexOf(u'@', 1);
    if (at < 0)
        return false;
    const qsizetype dot = sText.indexOf(u'.', at);
    if (dot < at + 2)
        return false; // no "." after the "@", or nothing between them
    return sText.size() > dot + 1;
}

void FAdd::reject()
{
    m_bCancelled = true;
    QDialog::reject();
}

void FAdd::OnCmdAddClick()
{
    accept();
}

void FAdd::OnCmdCancelClick()
{
    reject();
}

void FAdd::OnTxtEmailChange()
{
    UpdateAddButton();
}
