#include "config/CCustomBrand.h"
#include "base/Version.h"
#include "dialogs/FAbout.h"
#include "dialogs/FAdd.h"
#include "dialogs/FError.h"
#include "update/FUpdateVersion.h"
#include "RecordingMessageBoxes.h"
#include "UrlCatcher.h"

#include <QApplication>
#include <QGroupBox>
#include <QIcon>
#include <QPixmap>
#include <QLabel>
#include <QPushButton>
#include <QSignalSpy>
#include <QTest>

#include <memory>

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

    void visitOpensTheSiteAndStaysOpen_data()
    {
        QTest::addColumn<QString>("companyUrl");
        QTest::addColumn<QString>("opened"); // empty: nothing opens, the user is told
        QTest::newRow("web address") << QStringLiteral("http://www.acme.example") << QStringLiteral("http://www.acme.example");
        QTest::newRow("no scheme") << QStringLiteral("www.acme.example") << QStringLiteral("http://www.acme.example");
        QTest::newRow("host and port") << QStringLiteral("acme.example:8080/shop") << QStringLiteral("http://acme.example:8080/shop");
        QTest::newRow("not a web address") << QStringLiteral("javascript:alert(1)") << QString();
    }

    void visitOpensTheSiteAndStaysOpen()
    {
        QFETCH(QString, companyUrl);
        QFETCH(QString, opened);
        Brand::CompanyURL = companyUrl;
        UrlCatcher catcher;
        RecordingMessageBoxes boxes;
        FAbout about;
        about.show();
        QVERIFY(QTest::qWaitForWindowExposed(&about));
        QTest::mouseClick(about.findChild<QPushButton *>(QStringLiteral("cmdVisit")), Qt::LeftButton);
        QCOMPARE(catcher.urls(), opened.isEmpty() ? QList<QUrl>{} : QList<QUrl>{QUrl(opened)});
        QCOMPARE(boxes.requests().size(), opened.isEmpty() ? 1 : 0);
        QVERIFY(about.isVisible());

        QTest::mouseClick(about.findChild<QPushButton *>(QStringLiteral("cmdClose")), Qt::LeftButton);
        QVERIFY(!about.isVisible());
    }

    // Tab to a button that is not the default one, then Enter: the focused
    // button is pressed, as everywhere on the desktop.
    void enterPressesTheFocusedButton_data()
    {
        QTest::addColumn<QString>("dialog");
        QTest::addColumn<QString>("button");
        QTest::newRow("About, Visit Us") << QStringLiteral("FAbout") << QStringLiteral("cmdVisit");
        QTest::newRow("Add, Cancel") << QStringLiteral("FAdd") << QStringLiteral("cmdCancel");
        QTest::newRow("Error, Send Error") << QStringLiteral("FError") << QStringLiteral("cmdEmail");
        QTest::newRow("Update, Update Now") << QStringLiteral("FUpdateVersion") << QStringLiteral("cmdUpdate");
    }

    void enterPressesTheFocusedButton()
    {
        QFETCH(QString, dialog);
        QFETCH(QString, button);
        UrlCatcher catcher;
        std::unique_ptr<QDialog> window;
        if (dialog == QLatin1String("FAbout"))
            window = std::make_unique<FAbout>();
        else if (dialog == QLatin1String("FAdd"))
            window = std::make_unique<FAdd>();
        else if (dialog == QLatin1String("FError"))
            window = std::make_unique<FError>(QStringLiteral("report"));
        else
            window = std::make_unique<FUpdateVersion>();
        window->show();
        QVERIFY(QTest::qWaitForWindowExposed(window.get()));
        auto *target = window->findChild<QPushButton *>(button);
        QSignalSpy clicked(target, &QPushButton::clicked);
        for (int tab = 0; tab < 10 && QApplication::focusWidget() != target; ++tab)
            QTest::keyClick(QApplication::focusWidget() ? QApplication::focusWidget() : window.get(), Qt::Key_Tab);
        QCOMPARE(QApplication::focusWidget(), target);
        QTest::keyClick(target, Qt::Key_Return);
        QCOMPARE(clicked.size(), 1);
    }
};

QTEST_MAIN(TestAboutDialog)
#include "tst_aboutDialog.moc"
