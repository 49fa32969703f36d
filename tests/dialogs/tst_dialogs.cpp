// The program's dialogs and error reports, each on its own.

#include "base/ErrorPatterns.h"
#include "base/Version.h"
#include "config/CCustomBrand.h"
#include "dialogs/FAbout.h"
#include "dialogs/CError.h"
#include "dialogs/FAdd.h"
#include "dialogs/FError.h"
#include "update/FUpdateVersion.h"

#include "RecordingErrorReporter.h"
#include "RecordingMessageBoxes.h"
#include "UrlCatcher.h"

#include <QtTest>
#include <QtWidgets>

class TestDialogs : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    // Add is offered, and Enter presses it, only for an entry it may add.
    void addEntryTakesOnlyWhatItMayAdd_data()
    {
        QTest::addColumn<bool>("emailMode");
        QTest::addColumn<QString>("typed");
        QTest::addColumn<bool>("valid");
        QTest::newRow("shortest address") << true << "a@b.c" << true;
        QTest::newRow("starts with @") << true << "@b.c" << false;
        QTest::newRow("starts with @, a later @ counts") << true << "@a@b.c" << true;
        QTest::newRow("dot right after @") << true << "a@.c" << false;
        QTest::newRow("ends with the dot") << true << "a@b." << false;
        QTest::newRow("blanks inside") << true << "a b@c d.e f" << true;
        QTest::newRow("seller of one character") << false << "x" << false;
        QTest::newRow("seller of two blanks") << false << "  " << true;
    }

    void addEntryTakesOnlyWhatItMayAdd()
    {
        QFETCH(bool, emailMode);
        QFETCH(QString, typed);
        QFETCH(bool, valid);
        FAdd dialog;
        dialog.setEmailMode(emailMode);
        dialog.show();
        auto *text = dialog.findChild<QLineEdit *>("txtEmail");
        QTest::keyClicks(text, typed);
        QCOMPARE(dialog.findChild<QPushButton *>("cmdAdd")->isEnabled(), valid);
        QTest::keyClick(text, Qt::Key_Return);
        QCOMPARE(dialog.isVisible(), !valid);
        if (valid)
            QCOMPARE(dialog.Address(), typed);
        // Escape cancels; the caller unloading the hidden dialog does not.
        valid ? void(dialog.close()) : QTest::keyClick(text, Qt::Key_Escape);
        QCOMPARE(dialog.Cancelled(), !valid);
    }

    // Tab to a button that is not the default one, then Enter: the focused
    // button is pressed, as everywhere on the desktop.
    void enterPressesTheFocusedButton_data()
    {
        QTest::addColumn<QString>("button");
        QTest::newRow("About, Visit Us") << "cmdVisit";
        QTest::newRow("Add, Cancel") << "cmdCancel";
        QTest::newRow("Error, Send Error") << "cmdEmail";
        QTest::newRow("Update, Update Now") << "cmdUpdate";
    }

    void enterPressesTheFocusedButton()
    {
        QFETCH(QString, button);
        UrlCatcher catcher;
        FAbout about;
        FAdd add;
        FError error("report");
        FUpdateVersion update;
        QDialog *window = QHash<QString, QDialog *>{
            {"cmdVisit", &about}, {"cmdCancel", &add}, {"cmdEmail", &error}, {"cmdUpdate", &update}}[button];
        window->show();
        QVERIFY(QTest::qWaitForWindowExposed(window));
        auto *target = window->findChild<QPushButton *>(button);
        QSignalSpy clicked(target, &QPushButton::clicked);
        for (int tab = 0; tab < 10 && QApplication::focusWidget() != target; ++tab)
            QTest::keyClick(QApplication::focusWidget() ? QApplication::focusWidget() : window, Qt::Key_Tab);
        QCOMPARE(QApplication::focusWidget(), target);
        QTest::keyClick(target, Qt::Key_Return);
        QCOMPARE(clicked.size(), 1);
    }

    // A brand's address without a scheme is a web address; one that cannot
    // be opened is said, not dropped.
    void visitUsOpensTheBrandsSite_data()
    {
        QTest::addColumn<QString>("companyUrl");
        QTest::addColumn<QString>("opened"); // empty: nothing opens, the user is told
        QTest::newRow("web address") << "http://www.acme.example" << "http://www.acme.example";
        QTest::newRow("no scheme") << "www.acme.example" << "http://www.acme.example";
        QTest::newRow("host and port") << "acme.example:8080/shop" << "http://acme.example:8080/shop";
        QTest::newRow("not a web address") << "javascript:alert(1)" << QString();
    }

    void visitUsOpensTheBrandsSite()
    {
        QFETCH(QString, companyUrl);
        QFETCH(QString, opened);
        Brand::CompanyURL = companyUrl;
        UrlCatcher catcher;
        RecordingMessageBoxes boxes;
        FAbout about;
        about.show();
        about.findChild<QPushButton *>("cmdVisit")->click();
        QCOMPARE(catcher.urls(), opened.isEmpty() ? QList<QUrl>{} : QList<QUrl>{QUrl(opened)});
        QCOMPARE(boxes.requests().size(), opened.isEmpty() ? 1 : 0);
        QVERIFY(about.isVisible());
    }

    // Send Error drafts a mail that carries the report unchanged, whatever
    // characters it holds, and the window goes.
    void sendErrorDraftsAFaithfulMail()
    {
        Brand::ErrorReportEmail = "bugs@acme.example";
        const QString report = "FAlert.OnFormLoad\r\nCUserIDs.Add 457 a&b=c #frag 100% done+more?";
        QPointer<FError> window = CError().ShowError(report);
        UrlCatcher catcher;
        window->findChild<QPushButton *>("cmdEmail")->click();
        QTRY_VERIFY(!window);
        const QUrlQuery draft(catcher.urls().value(0));
        QCOMPARE(catcher.urls().value(0).path(), Brand::ErrorReportEmail);
        QCOMPARE(draft.queryItemValue("subject", QUrl::FullyDecoded), "Zorvane " + Version::full() + " Error");
        QCOMPARE(draft.queryItemValue("body", QUrl::FullyDecoded), report);
    }

    // A foreign exception in a handler is reported like any run-time error
    // and ends that handler, not the program.
    void foreignExceptionsAreReportedNotThrown()
    {
        RecordingErrorReporter reporter;
        reporting("FAlert", "OnFormLoad", [] { throw std::bad_alloc(); });
        reporting("FAlert", "OnFormUnload", [] { throw std::runtime_error("boom"); });
        QCOMPARE(reporter.reports(),
                 (QStringList{"FAlert.OnFormLoad\r\nOut of memory", "FAlert.OnFormUnload\r\nInternal error: boom"}));
    }
};

QTEST_MAIN(TestDialogs)
#include "tst_dialogs.moc"
