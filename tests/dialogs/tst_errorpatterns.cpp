#include "base/ErrorPatterns.h"
#include "RecordingErrorReporter.h"

#include <QTest>

#include <stdexcept>

namespace {

// A chain of the program's shape: an entry procedure calling an inner
// procedure calling another, the innermost failing with a run-time error.
void innermost()
{
    try {
        throw AppError::platform(ErrorNumber::InvalidArgument);
    } catch (...) {
        passOnCaughtError("FAlert", "CompareLists");
    }
}

void middle()
{
    passingOn("FAlert", "Check", [] { innermost(); });
}

void entry()
{
    reporting("FAlert", "OnTimerSubmitInterval", [] { middle(); });
}

} // namespace

class TestErrorPatterns : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void threeLevelChainReadsAsOneReport()
    {
        RecordingErrorReporter reporter;
        entry();
        QCOMPARE(reporter.reports(),
                 QStringList{QStringLiteral(
                     "FAlert.OnTimerSubmitInterval\r\n"
                     "FAlert.Check -2147221504 FAlert.CompareLists 5 Invalid procedure call or argument")});
    }

    void passedOnErrorCarriesComponentNumberAndEmptySource()
    {
        try {
            try {
                throw AppError(ErrorNumber::DuplicateKey, runtimeDescription(ErrorNumber::DuplicateKey),
                               QStringLiteral("Collection"));
            } catch (...) {
                passOnCaughtError("CItems", "LoadFromSellerPage", QStringLiteral(" Item: 1234"));
            }
            QFAIL("nothing raised");
        } catch (const AppError &error) {
            QCOMPARE(error.number(), qint32(0x80040000u));
            QCOMPARE(error.number(), -2147221504);
            QVERIFY(error.source().isEmpty());
            QCOMPARE(error.description(),
                     QStringLiteral("CItems.LoadFromSellerPage 457 This key is already associated "
                                    "with an element of this collection Item: 1234"));
        }
    }

    void foreignExceptionsBecomeRunTimeErrors()
    {
        RecordingErrorReporter reporter;
        reporting("FAlert", "OnFormLoad", [] { throw std::bad_alloc(); });
        reporting("FAlert", "OnFormLoad", [] { throw std::runtime_error("boom"); });
        QCOMPARE(reporter.reports().size(), 2);
        QCOMPARE(reporter.reports().at(0), QStringLiteral("FAlert.OnFormLoad\r\nOut of memory"));
        QCOMPARE(reporter.reports().at(1), QStringLiteral("FAlert.OnFormLoad\r\nInternal error: boom"));
    }

    void reportingEndsTheProcedureButNotTheProgram()
    {
        RecordingErrorReporter reporter;
        int stepsDone = 0;
        reporting("FAlert", "OnFormUnload", [&] {
            ++stepsDone;
            throw AppError::platform(ErrorNumber::PermissionDenied);
            ++stepsDone; // never reached
        });
        reporting("FAlert", "OnFormUnload", [&] { ++stepsDone; });
        QCOMPARE(stepsDone, 2);
        QCOMPARE(reporter.reports(), QStringList{QStringLiteral("FAlert.OnFormUnload\r\nPermission denied")});
    }

    void passingOnGivesBackTheBodysResult()
    {
        QCOMPARE(passingOn("CItems", "Count", [] { return 42; }), 42);
    }

    void installedReporterIsReplacedAndRestored()
    {
        ErrorReporter *before = &ErrorReporter::instance();
        {
            RecordingErrorReporter reporter;
            QVERIFY(&ErrorReporter::instance() != before);
            ErrorReporter::instance().Setup(QStringLiteral("Zorvane"), QStringLiteral("2.1"),
                                            QStringLiteral("errors@example.com"));
            QCOMPARE(reporter.reporter().version(), QStringLiteral("2.1"));
        }
        QCOMPARE(&ErrorReporter::instance(), before);
    }
};

QTEST_GUILESS_MAIN(TestErrorPatterns)
#include "tst_errorpatterns.moc"
