#include "update/FCompanyMessage.h"
#include "update/FUpdateVersion.h"
#include "update/UpdateWindows.h"

#include <QApplication>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTest>
#include <QTimer>

namespace {

template <class T>
T *control(QWidget *window, const char *name)
{
    T *widget = window->findChild<T *>(QString::fromLatin1(name));
    if (!widget)
        qFatal("no control %s", name);
    return widget;
}

// Nothing of the button is cut off: it is as wide and tall as its text needs
// and lies inside the window.
bool fitsWhole(QWidget *window, QPushButton *button)
{
    const QRect inWindow(button->mapTo(window, QPoint(0, 0)), button->size());
    return button->width() >= button->sizeHint().width() && button->height() >= button->sizeHint().height()
        && window->rect().contains(inWindow);
}

} // namespace

class TestUpdateForms : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void updateWindowLooksAsItShould()
    {
        FUpdateVersion window;
        window.LoadMessage(QStringLiteral("New Version Available."), QStringLiteral("Line one\r\nLine two"));
        window.show();
        QVERIFY(QTest::qWaitForWindowExposed(&window));
        QCOMPARE(window.windowTitle(), QStringLiteral("New Version Available."));
        auto *txtMessage = control<QPlainTextEdit>(&window, "txtMessage");
        QVERIFY(txtMessage->isReadOnly());
        QCOMPARE(txtMessage->toPlainText(), QStringLiteral("Line one\nLine two"));
        QCOMPARE(window.Message(), QStringLiteral("Line one\r\nLine two"));
        auto *cmdUpdate = control<QPushButton>(&window, "cmdUpdate");
        auto *cmdDoNotUpgrade = control<QPushButton>(&window, "cmdDoNotUpgrade");
        QCOMPARE(cmdUpdate->text(), QStringLiteral("&Update Now"));
        QCOMPARE(cmdDoNotUpgrade->text(), QStringLiteral("Update &Later"));
        QVERIFY(fitsWhole(&window, cmdUpdate));
        QVERIFY(fitsWhole(&window, cmdDoNotUpgrade));
        QVERIFY(!window.UpdateChosen());

        // Shrunk as far as it goes, nothing is cut off either.
        window.resize(window.minimumSizeHint());
        QVERIFY(fitsWhole(&window, cmdUpdate));
        QVERIFY(fitsWhole(&window, cmdDoNotUpgrade));
    }

    void updateWindowButtons_data()
    {
        QTest::addColumn<QString>("action");
        QTest::addColumn<bool>("chosen");
        QTest::newRow("Update Now") << QStringLiteral("cmdUpdate") << true;
        QTest::newRow("Update Later") << QStringLiteral("cmdDoNotUpgrade") << false;
        QTest::newRow("frame") << QStringLiteral("close") << false;
        QTest::newRow("Escape") << QStringLiteral("escape") << false;
    }

    void updateWindowButtons()
    {
        QFETCH(QString, action);
        QFETCH(bool, chosen);
        // The offer as the version check makes it, through the program's
        // windows: Yes only for "Update Now".
        QTimer::singleShot(0, this, [action] {
            auto *window = qobject_cast<FUpdateVersion *>(QApplication::activeModalWidget());
            if (!window)
                qFatal("the update window is not the active modal window");
            QCOMPARE(window->windowTitle(), QStringLiteral("New Version Available."));
            if (action == QLatin1String("close"))
                window->close();
            else if (action == QLatin1String("escape"))
                QTest::keyClick(window, Qt::Key_Escape);
            else
                window->findChild<QPushButton *>(action)->click();
        });
        const MessageAnswer answer = UpdateWindows::show({QStringLiteral("New Version Available."), QString(),
                                                          MessageButtons::YesNo, MessageIcon::None,
                                                          MessageKind::UpdateOffer});
        QCOMPARE(answer, chosen ? MessageAnswer::Yes : MessageAnswer::No);
        QVERIFY(!QApplication::activeModalWidget());
    }

    void companyWindow()
    {
        FCompanyMessage window;
        window.LoadMessage(QStringLiteral("Pellridge Message"), QStringLiteral("Our new catalogue\r\nis out."));
        QCOMPARE(window.windowTitle(), QStringLiteral("Pellridge Message"));
        auto *txtMessage = control<QPlainTextEdit>(&window, "txtMessage");
        QVERIFY(txtMessage->isReadOnly());
        QCOMPARE(window.Message(), QStringLiteral("Our new catalogue\r\nis out."));
        const QList<QPushButton *> buttons = window.findChildren<QPushButton *>();
        QCOMPARE(buttons.size(), 1);
        QCOMPARE(buttons.at(0)->objectName(), QStringLiteral("cmdContinue"));
        QCOMPARE(buttons.at(0)->text(), QStringLiteral("Continue"));

        QTimer::singleShot(0, &window, [&window] {
            if (QApplication::activeModalWidget() != &window)
                qFatal("the message window is not the active modal window");
            if (!fitsWhole(&window, window.findChild<QPushButton *>(QStringLiteral("cmdContinue"))))
                qFatal("the Continue button is cut off");
            window.findChild<QPushButton *>(QStringLiteral("cmdContinue"))->click();
        });
        window.exec();
        QVERIFY(!window.isVisible());
    }

    void bareCarriageReturnsBecomeLines()
    {
        FCompanyMessage window;
        window.LoadMessage(QStringLiteral("Pellridge Message"), QStringLiteral("a\rb\nc"));
        QCOMPARE(control<QPlainTextEdit>(&window, "txtMessage")->toPlainText(), QStringLiteral("a\nb\nc"));
    }
};

QTEST_MAIN(TestUpdateForms)
#include "tst_updateforms.moc"
