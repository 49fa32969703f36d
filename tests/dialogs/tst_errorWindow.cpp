#include "config/CCustomBrand.h"
#include "base/Version.h"
#include "dialogs/CError.h"
#include "base/ErrorReporter.h"
#include "dialogs/FError.h"
#include "dialogs/WindowErrorReporter.h"
#include "UrlCatcher.h"

#include <QApplication>
#include <QLabel>
#include <QPlainTextEdit>
#include <QPointer>
#include <QPushButton>
#include <QScrollBar>
#include <QTest>
#include <QUrlQuery>

namespace {

QList<FError *> openReportWindows()
{
    QList<FError *> windows;
    for (QWidget *widget : QApplication::topLevelWidgets()) {
        if (auto *window = qobject_cast<FError *>(widget); window && window->isVisible())
            windows.append(window);
    }
    return windows;
}

QPushButton *button(FError *window, const char *name)
{
    return window->findChild<QPushButton *>(QString::fromLatin1(name));
}

} // namespace

class TestErrorWindow : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void init() { Brand::ErrorReportEmail = QStringLiteral("bugs@acme.example"); }

    void cleanup()
    {
        for (FError *window : openReportWindows())
            window->close();
        QTRY_VERIFY(openReportWindows().isEmpty());
    }

    void windowShowsTheReport()
    {
        const QString report = QStringLiteral("FAlert.OnCmdCheckClick\r\nFAlert.Check -2147221504 Overflow");
        QPointer<FError> window = CError().ShowError(report);
        QVERIFY(window);
        QVERIFY(window->isVisible());
        QCOMPARE(window->windowTitle(), QStringLiteral("Zorvane  Error"));
        QVERIFY(window->windowFlags().testFlag(Qt::WindowStaysOnTopHint));
        QVERIFY(!window->isModal());
        QCOMPARE(window->findChild<QLabel *>(QStringLiteral("lblError"))->text(),
                 QStringLiteral("An error has occured in this application.  The application has returned the "
                                "following information about this error:"));
        QCOMPARE(window->findChild<QLabel *>(QStringLiteral("lblToEmail"))->text(),
                 QStringLiteral("You may send this error information to Pellridge technical support for review "
                                "or continue using the application."));
        auto *txtError = window->findChild<QPlainTextEdit *>(QStringLiteral("txtError"));
        QVERIFY(txtError);
        QVERIFY(txtError->isReadOnly());
        QCOMPARE(txtError->verticalScrollBarPolicy(), Qt::ScrollBarAlwaysOn);
        QCOMPARE(txtError->toPlainText(),
                 QStringLiteral("FAlert.OnCmdCheckClick\nFAlert.Check -2147221504 Overflow"));
        QCOMPARE(txtError->document()->blockCount(), 2);
        QCOMPARE(button(window, "cmdContinue")->text(), QStringLiteral("&Continue"));
        QCOMPARE(button(window, "cmdEmail")->text(), QStringLiteral("&Send Error"));
    }

    void continueClosesAndDeletes()
    {
        QPointer<FError> window = CError().ShowError(QStringLiteral("X.Y\r\nboom"));
        QTest::mouseClick(button(window, "cmdContinue"), Qt::LeftButton);
        QTRY_VERIFY(window.isNull());
    }

    void sendErrorOpensAFaithfulDraftAndCloses()
    {
        UrlCatcher catcher;
        // Characters that would end or bend a raw mailto: address.
        const QString report = QStringLiteral("FAlert.OnFormLoad\r\nCUserIDs.Add 457 a&b=c #frag 100% done+more?\r\nlast");
        QPointer<FError> window = CError().ShowError(report);
        QTest::mouseClick(button(window, "cmdEmail"), Qt::LeftButton);
        QTRY_VERIFY(window.isNull());

        QCOMPARE(catcher.urls().size(), 1);
        const QUrl url = catcher.urls().first();
        QCOMPARE(url.scheme(), QStringLiteral("mailto"));
        QCOMPARE(url.path(), QStringLiteral("bugs@acme.example"));
        QVERIFY(url.fragment().isNull());
        const QUrlQuery query(url);
        QCOMPARE(query.queryItems(QUrl::FullyDecoded).size(), 2);
        QCOMPARE(query.queryItemValue(QStringLiteral("subject"), QUrl::FullyDecoded),
                 QStringLiteral("Zorvane ") + Version::full() + QStringLiteral(" Error"));
        QCOMPARE(query.queryItemValue(QStringLiteral("body"), QUrl::FullyDecoded), report);
        QVERIFY(url.toString(QUrl::FullyEncoded).contains(QStringLiteral("%0D%0A")));
    }

    void draftAddressLayout()
    {
        Brand::ErrorReportEmail = QStringLiteral("errors@pellridge.com");
        QCOMPARE(FError::ErrorMailAddress(QStringLiteral("A.B\r\nC D")),
                 QStringLiteral("mailto:errors@pellridge.com?subject=Zorvane%20") + Version::full()
                     + QStringLiteral("%20Error&body=A.B%0D%0AC%20D"));
    }

    void twoReportsGiveTwoWindowsAtOnce()
    {
        CError error;
        FError *first = error.ShowError(QStringLiteral("First.Report\r\none"));
        FError *second = error.ShowError(QStringLiteral("Second.Report\r\ntwo"));
        QVERIFY(first != second);
        const QList<FError *> windows = openReportWindows();
        QCOMPARE(windows.size(), 2);
        QVERIFY(windows.contains(first) && windows.contains(second));

        // Closing one leaves the other.
        QPointer<FError> gone = first;
        first->close();
        QTRY_VERIFY(gone.isNull());
        QCOMPARE(openReportWindows(), QList<FError *>{second});
    }

    void windowReporterOpensAWindowPerReport()
    {
        auto previous = ErrorReporter::install(std::make_unique<WindowErrorReporter>());
        ErrorReporter::instance().Setup(QStringLiteral("Zorvane"), Version::majorMinor(), Brand::ErrorReportEmail);
        ErrorReporter::instance().ReportError(QStringLiteral("FAlert.OnCmdCheckClick\r\nfirst"));
        ErrorReporter::instance().ReportError(QStringLiteral("FAlert.OnTimerSubmitInterval\r\nsecond"));
        ErrorReporter::install(std::move(previous));

        QStringList reports;
        for (FError *window : openReportWindows())
            reports.append(window->Report());
        reports.sort();
        QCOMPARE(reports, (QStringList{QStringLiteral("FAlert.OnCmdCheckClick\r\nfirst"),
                                       QStringLiteral("FAlert.OnTimerSubmitInterval\r\nsecond")}));
    }
};

QTEST_MAIN(TestErrorWindow)
#include "tst_errorWindow.moc"
