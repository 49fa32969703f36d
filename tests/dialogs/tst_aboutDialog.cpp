#include "config/CCustomBrand.h"
#include "base/Version.h"
#include "dialogs/FAbout.h"
#include "UrlCatcher.h"

#include <QApplication>
#include <QGroupBox>
#include <QIcon>
#include <QPixmap>
#include <QLabel>
#include <QPushButton>
#include <QTest>

class TestAboutDialog : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void init()
    {
        Brand::CompanyName = QStringLiteral("Acme Auctions");
        Brand::CompanyURL = QStringLiteral("http://www.acme.example");
    }

    void textsComeFromBrandAndVersion()
    {
        FAbout about;
        QCOMPARE(about.windowTitle(), QStringLiteral("Zorvane"));
        QVERIFY(about.findChild<QWidget *>(QStringLiteral("fraAbout")));
        auto *lblAbout = about.findChild<QLabel *>(QStringLiteral("lblAbout"));
        auto *lblVersion = about.findChild<QLabel *>(QStringLiteral("lblVersion"));
        QVERIFY(lblAbout && lblVersion);
        QCOMPARE(lblAbout->text(),
                 QStringLiteral("Zorvane is brought to you by Acme Auctions, makers of fine online auction software."));
        QCOMPARE(lblVersion->text(),
                 QStringLiteral("Version: %1.%2.%3").arg(Version::Major).arg(Version::Minor).arg(Version::Revision));
        QCOMPARE(about.findChild<QPushButton *>(QStringLiteral("cmdVisit"))->text(), QStringLiteral("&Visit Us"));
        QCOMPARE(about.findChild<QPushButton *>(QStringLiteral("cmdClose"))->text(), QStringLiteral("&Close"));
    }

    void programIconShownOnlyWhenThereIsOne()
    {
        {
            FAbout about;
            about.show();
            QVERIFY(!about.findChild<QLabel *>(QStringLiteral("imgLogo"))->isVisible());
        }
        QPixmap pixmap(32, 32);
        pixmap.fill(Qt::blue);
        QApplication::setWindowIcon(QIcon(pixmap));
        FAbout about;
        about.show();
        auto *imgLogo = about.findChild<QLabel *>(QStringLiteral("imgLogo"));
        QVERIFY(imgLogo->isVisible());
        QVERIFY(!imgLogo->pixmap().isNull());
        QApplication::setWindowIcon(QIcon());
    }

    void visitOpensTheSiteAndStaysOpen()
    {
        UrlCatcher catcher({QStringLiteral("http")});
        FAbout about;
        about.show();
        QVERIFY(QTest::qWaitForWindowExposed(&about));
        QTest::mouseClick(about.findChild<QPushButton *>(QStringLiteral("cmdVisit")), Qt::LeftButton);
        QCOMPARE(catcher.urls(), QList<QUrl>{QUrl(QStringLiteral("http://www.acme.example"))});
        QVERIFY(about.isVisible());

        QTest::mouseClick(about.findChild<QPushButton *>(QStringLiteral("cmdClose")), Qt::LeftButton);
        QVERIFY(!about.isVisible());
        QCOMPARE(catcher.urls().size(), 1);
    }
};

QTEST_MAIN(TestAboutDialog)
#include "tst_aboutDialog.moc"
