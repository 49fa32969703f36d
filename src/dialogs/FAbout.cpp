#include "FAbout.h"

#include "ui_FAbout.h"

#include "base/Brand.h"
#include "base/Version.h"
#include "base/Shell.h"

#include <QApplication>
#include <QIcon>
#include <QPushButton>

FAbout::FAbout(QWidget *parent)
    : QDialog(parent)
    , m_ui(std::make_unique<Ui::FAbout>())
{
    m_ui->setupUi(this);
    connect(m_ui->cmdVisit, &QPushButton::clicked, this, &FAbout::OnCmdVisitClick);
    connect(m_ui->cmdClose, &QPushButton::clicked, this, &FAbout::OnCmdCloseClick);
    OnFormLoad();
}

FAbout::~FAbout() = default;

void FAbout::OnFormLoad()
{
    m_ui->lblAbout->setText(QStringLiteral("Zorvane is brought to you by ") + Brand::CompanyName
                            + QStringLiteral(", makers of fine online auction software."));
    m_ui->lblVersion->setText(QStringLiteral("Version: ") + Version::full());

    // The program's icon, when start-up has given it one.
    const QIcon icon = QApplication::windowIcon();
    if (icon.isNull())
        m_ui->imgLogo->hide();
    else
        m_ui->imgLogo->setPixmap(icon.pixmap(48, 48));
}

void FAbout::OnCmdVisitClick()
{
    // The window stays open; whether a browser took the address is not looked at.
    Shell::open(Brand::CompanyURL);
}

void FAbout::OnCmdCloseClick()
{
    accept();
}
