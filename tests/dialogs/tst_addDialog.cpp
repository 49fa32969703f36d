#include "dialogs/FAdd.h"

#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QSignalSpy>
#include <QTest>

class TestAddDialog : public QObject
{
    Q_OBJECT

    static QLineEdit *text(FAdd &dialog) { return dialog.findChild<QLineEdit *>(QStringLiteral("txtEmail")); }
    static QPushButton *add(FAdd &dialog) { return dialog.findChild<QPushButton *>(QStringLiteral("cmdAdd")); }
    static QPushButton *cancel(FAdd &dialog)
    {
        return dialog.findChild<QPushButton *>(QStringLiteral("cmdCancel"));
    }
    static QLabel *label(FAdd &dialog) { return dialog.findChild<QLabel *>(QStringLiteral("lblAddUserID")); }

private Q_SLOTS:
    void designTimeLook()
    {
        FAdd dialog;
        QVERIFY(text(dialog) && add(dialog) && cancel(dialog) && label(dialog));
        QCOMPARE(dialog.windowTitle(), QStringLiteral("Add Email Address"));
        QCOMPARE(label(dialog)->text(), QStringLiteral("Add &email address:"));
        QCOMPARE(label(dialog)->buddy(), text(dialog));
        QCOMPARE(add(dialog)->text(), QStringLiteral("&Add"));
        QCOMPARE(cancel(dialog)->text(), QStringLiteral("&Cancel"));
        QVERIFY(add(dialog)->isDefault());
        QVERIFY(!add(dialog)->isEnabled());
        QVERIFY(text(dialog)->text().isEmpty());
        QVERIFY(dialog.EmailMode());
        QVERIFY(!dialog.Cancelled());
    }

    void modeCaptions()
    {
        FAdd dialog;
        dialog.setEmailMode(false);
        QCOMPARE(dialog.windowTitle(), QStringLiteral("Add eBay Account"));
        QCOMPARE(label(dialog)->text(), QStringLiteral("Add eBay Account"));
        dialog.setEmailMode(true);
        QCOMPARE(dialog.windowTitle(), QStringLiteral("Add Email Address"));
        QCOMPARE(label(dialog)->text(), QStringLiteral("Add &email address:"));
    }

    void emailValidation_data()
    {
        QTest::addColumn<QString>("typed");
        QTest::addColumn<bool>("valid");
        QTest::newRow("shortest") << QStringLiteral("a@b.c") << true;
        QTest::newRow("longer runs") << QStringLiteral("alice@example.com") << true;
        QTest::newRow("subdomains") << QStringLiteral("bob@mail.example.co.uk") << true;
        QTest::newRow("starts with @") << QStringLiteral("@b.c") << false;
        QTest::newRow("starts with @, later @ counts") << QStringLiteral("@a@b.c") << true;
        QTest::newRow("dot right after @") << QStringLiteral("a@.c") << false;
        QTest::newRow("ends with the dot") << QStringLiteral("a@b.") << false;
        QTest::newRow("no dot after @") << QStringLiteral("a.b@c") << false;
        QTest::newRow("no @") << QStringLiteral("ab.c") << false;
        QTest::newRow("blank inside") << QStringLiteral("a b@c d.e f") << true;
        QTest::newRow("trailing blank") << QStringLiteral("a@b.c ") << true;
        QTest::newRow("two @") << QStringLiteral("a@b@c.d") << true;
        QTest::newRow("one letter") << QStringLiteral("a") << false;
        QTest::newRow("@ only") << QStringLiteral("a@") << false;
    }

    void emailValidation()
    {
        QFETCH(QString, typed);
        QFETCH(bool, valid);
        QCOMPARE(FAdd::IsValidEmailAddress(typed), valid);

        FAdd dialog;
        dialog.setEmailMode(true);
        QTest::keyClicks(text(dialog), typed);
        QCOMPARE(text(dialog)->text(), typed);
        QCOMPARE(add(dialog)->isEnabled(), valid);
    }

    void emptyTextIsNotAnAddress() { QVERIFY(!FAdd::IsValidEmailAddress(QString())); }

    void accountModeNeedsTwoCharacters()
    {
        FAdd dialog;
        dialog.setEmailMode(false);
        QTest::keyClicks(text(dialog), QStringLiteral("x"));
        QVERIFY(!add(dialog)->isEnabled());
        QTest::keyClicks(text(dialog), QStringLiteral("y"));
        QVERIFY(add(dialog)->isEnabled());

        text(dialog)->clear();
        QVERIFY(!add(dialog)->isEnabled());
        QTest::keyClicks(text(dialog), QStringLiteral("  "));
        QVERIFY(add(dialog)->isEnabled()); // two blanks are enough
    }

    void deletingTheTextDisablesAdd()
    {
        FAdd dialog;
        QTest::keyClicks(text(dialog), QStringLiteral("a@b.c"));
        QVERIFY(add(dialog)->isEnabled());
        QTest::keyClick(text(dialog), Qt::Key_Backspace);
        QVERIFY(!add(dialog)->isEnabled());
        text(dialog)->selectAll();
        QTest::keyClick(text(dialog), Qt::Key_Delete);
        QVERIFY(!add(dialog)->isEnabled());
    }

    void addReturnsTheExactText()
    {
        FAdd dialog;
        dialog.show();
        QVERIFY(QTest::qWaitForWindowExposed(&dialog));
        QTest::keyClicks(text(dialog), QStringLiteral(" Mixed@Case.Org "));
        QSignalSpy accepted(&dialog, &QDialog::accepted);
        QTest::mouseClick(add(dialog), Qt::LeftButton);
        QCOMPARE(accepted.size(), 1);
        QVERIFY(!dialog.isVisible());
        QVERIFY(!dialog.Cancelled());
        QCOMPARE(dialog.Address(), QStringLiteral(" Mixed@Case.Org "));

        // The caller unloading the hidden dialog changes nothing.
        dialog.close();
        QVERIFY(!dialog.Cancelled());
    }

    void enterPressesAddOnlyWhenEnabled()
    {
        FAdd dialog;
        dialog.setEmailMode(false);
        dialog.show();
        QVERIFY(QTest::qWaitForWindowExposed(&dialog));
        QSignalSpy finished(&dialog, &QDialog::finished);
        QTest::keyClicks(text(dialog), QStringLiteral("x"));
        QTest::keyClick(text(dialog), Qt::Key_Return);
        QVERIFY(dialog.isVisible());
        QCOMPARE(finished.size(), 0);

        QTest::keyClicks(text(dialog), QStringLiteral("y"));
        QTest::keyClick(text(dialog), Qt::Key_Return);
        QCOMPARE(finished.size(), 1);
        QCOMPARE(dialog.result(), int(QDialog::Accepted));
        QVERIFY(!dialog.Cancelled());
        QCOMPARE(dialog.Address(), QStringLiteral("xy"));
    }

    void cancelWaysAllSetCancelled_data()
    {
        QTest::addColumn<int>("way");
        QTest::newRow("Cancel button") << 0;
        QTest::newRow("title bar close") << 1;
        QTest::newRow("Escape") << 2;
    }

    void cancelWaysAllSetCancelled()
    {
        QFETCH(int, way);
        FAdd dialog;
        dialog.show();
        QVERIFY(QTest::qWaitForWindowExposed(&dialog));
        QTest::keyClicks(text(dialog), QStringLiteral("a@b.c"));
        switch (way) {
        case 0: QTest::mouseClick(cancel(dialog), Qt::LeftButton); break;
        case 1: QVERIFY(dialog.close()); break;
        case 2: QTest::keyClick(text(dialog), Qt::Key_Escape); break;
        }
        QVERIFY(!dialog.isVisible());
        QVERIFY(dialog.Cancelled());
        QCOMPARE(dialog.result(), int(QDialog::Rejected));
    }
};

QTEST_MAIN(TestAddDialog)
#include "tst_addDialog.moc"
