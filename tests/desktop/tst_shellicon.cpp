#include "desktop/ShellIcon.h"
#include "base/AppError.h"
#include "RecordingErrorReporter.h"

#include <QAction>
#include <QApplication>
#include <QMenu>
#include <QPixmap>
#include <QSignalSpy>
#include <QTest>
#include <QWidget>

namespace {

// Records every event of one control as "Name" or "Name(button)", in order.
class EventLog : public QObject
{
public:
    explicit EventLog(ShellIcon &icon)
    {
        connect(&icon, &ShellIcon::MouseMove, this, [this] { events << QStringLiteral("MouseMove"); });
        auto record = [this](const char *name) {
            return [this, name](int button) { events << QStringLiteral("%1(%2)").arg(QLatin1String(name)).arg(button); };
        };
        connect(&icon, &ShellIcon::MouseDown, this, record("MouseDown"));
        connect(&icon, &ShellIcon::MouseUp, this, record("MouseUp"));
        connect(&icon, &ShellIcon::DblClick, this, record("DblClick"));
        connect(&icon, &ShellIcon::Click, this, record("Click"));
        connect(&icon, &ShellIcon::SingleClick, this, record("SingleClick"));
    }
    QStringList events;
};

QIcon someIcon(Qt::GlobalColor colour)
{
    QPixmap pixmap(16, 16);
    pixmap.fill(colour);
    return QIcon(pixmap);
}

QMenu *openSysMenu()
{
    return qobject_cast<QMenu *>(QApplication::activePopupWidget());
}

} // namespace

class TestShellIcon : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void defaults()
    {
        ShellIcon icon;
        QCOMPARE(icon.ToolTipText(), QString());
        QVERIFY(icon.Icon().isNull());
        QCOMPARE(icon.Visible(), false);
        QCOMPARE(icon.SysMenu(), true);
        QCOMPARE(icon.clickInterval(), 500);
        QVERIFY(!icon.isClickTimerActive());
        QVERIFY(!icon.IsRegistered());
        QVERIFY(!icon.IsInTray());
        QVERIFY(!icon.trayIcon().isVisible());
    }

    void singleClickComesAfterTheWait()
    {
        ShellIcon icon;
        icon.setClickInterval(20);
        EventLog log(icon);
        QSignalSpy single(&icon, &ShellIcon::SingleClick);

        icon.HandleTrayMessage(513);
        icon.HandleTrayMessage(514);
        QCOMPARE(log.events, (QStringList{"MouseDown(1)", "MouseUp(1)", "Click(1)"}));
        QVERIFY(icon.isClickTimerActive());

        QVERIFY(single.wait(5000));
        QCOMPARE(log.events, (QStringList{"MouseDown(1)", "MouseUp(1)", "Click(1)", "SingleClick(1)"}));
        QVERIFY(!icon.isClickTimerActive()); // the tick stops the timer
    }

    void doubleClickGivesNoSingleClick()
    {
        ShellIcon icon;
        // Long enough that the wait never ends during the test; the second
        // release must have stopped it.
        icon.setClickInterval(60 * 60 * 1000);
        EventLog log(icon);

        for (int number : {513, 514, 515, 514})
            icon.HandleTrayMessage(number);
        QCOMPARE(log.events,
                 (QStringList{"MouseDown(1)", "MouseUp(1)", "Click(1)", "DblClick(1)", "MouseUp(1)", "Click(1)"}));
        QVERIFY(!icon.isClickTimerActive());
    }

    void twoSeparateClicksGiveTwoSingleClicks()
    {
        ShellIcon icon;
        icon.setClickInterval(10);
        QSignalSpy single(&icon, &ShellIcon::SingleClick);
        icon.HandleTrayMessage(513);
        icon.HandleTrayMessage(514);
        QVERIFY(single.wait(5000));
        icon.HandleTrayMessage(513);
        icon.HandleTrayMessage(514);
        QTRY_COMPARE(single.count(), 2);
        QCOMPARE(single.at(1).at(0).toInt(), 1);
    }

    void otherNumbersOfTheTable()
    {
        ShellIcon icon;
        icon.setSysMenu(false);
        EventLog log(icon);
        for (int number : {512, 516, 517, 518, 511, 519, 0, -1, 1024})
            icon.HandleTrayMessage(number);
        QCOMPARE(log.events,
                 (QStringList{"MouseMove", "MouseDown(2)", "MouseUp(2)", "Click(2)", "DblClick(2)"}));
        QVERIFY(!icon.isClickTimerActive());
    }

    void rightReleaseWithSysMenuOpensTheMenuInsteadOfEvents()
    {
        QWidget owner;
        owner.show();
        QVERIFY(QTest::qWaitForWindowExposed(&owner));
        ShellIcon *icon = new ShellIcon(&owner); // owned by the window
        EventLog log(*icon);

        icon->HandleTrayMessage(516);
        icon->HandleTrayMessage(517);
        QCOMPARE(log.events, QStringList{"MouseDown(2)"});

        QMenu *menu = openSysMenu();
        QVERIFY(menu);
        QCOMPARE(menu->objectName(), QStringLiteral("sysMenu"));
        auto *minimize = menu->findChild<QAction *>(QStringLiteral("mnuMinimize"));
        auto *restore = menu->findChild<QAction *>(QStringLiteral("mnuRestore"));
        QVERIFY(minimize && restore);
        QVERIFY(minimize->isEnabled());
        QVERIFY(!restore->isEnabled()); // a normal window has nothing to restore
        minimize->trigger();
        QVERIFY(owner.isMinimized());
        menu->close();
    }

    void sysMenuActsOnTheTargetWindow()
    {
        QWidget owner;
        QWidget other;
        other.showMaximized();
        // Let the window settle: a change of the active window closes popups.
        QVERIFY(QTest::qWaitForWindowExposed(&other));
        ShellIcon icon(&owner);
        icon.ShowSysMenu(&other);
        QPointer<QMenu> menu = openSysMenu();
        QVERIFY(menu);
        auto *restore = menu->findChild<QAction *>(QStringLiteral("mnuRestore"));
        auto *maximize = menu->findChild<QAction *>(QStringLiteral("mnuMaximize"));
        QVERIFY(restore->isEnabled());
        QVERIFY(!maximize->isEnabled());
        restore->trigger();
        QVERIFY(!other.isMaximized());
        menu->close();
        QTRY_VERIFY(!menu); // a closed menu goes away by itself

        // A second menu replaces a first one still open.
        icon.ShowSysMenu(&other);
        QPointer<QMenu> first = openSysMenu();
        QVERIFY(first);
        icon.ShowSysMenu(&other);
        QPointer<QMenu> second = openSysMenu();
        QVERIFY(second);
        QVERIFY(second != first);
        QTRY_VERIFY(!first);

        // The close entry closes the window.
        second->findChild<QAction *>(QStringLiteral("mnuClose"))->trigger();
        QVERIFY(!other.isVisible());
        second->close();
    }

    void sysMenuWithoutAnyWindowDoesNothing()
    {
        ShellIcon icon; // no owner
        icon.HandleTrayMessage(517);
        QVERIFY(!openSysMenu());
    }

    void visibleAddsAndRemovesOnce()
    {
        ShellIcon icon;
        QSignalSpy notified(&icon, &ShellIcon::trayNotified);
        icon.setIcon(someIcon(Qt::red));
        icon.setVisible(true);
        icon.setVisible(true);
        QCOMPARE(notified.count(), 1);
        QCOMPARE(notified.at(0).at(0).value<ShellIcon::TrayOperation>(), ShellIcon::TrayAdd);
        QVERIFY(icon.IsRegistered());
        QVERIFY(icon.trayIcon().isVisible());
        // Without a tray on this desktop nothing is really shown.
        QCOMPARE(icon.IsInTray(), QSystemTrayIcon::isSystemTrayAvailable());

        icon.setVisible(false);
        icon.setVisible(false);
        QCOMPARE(notified.count(), 2);
        QCOMPARE(notified.at(1).at(0).value<ShellIcon::TrayOperation>(), ShellIcon::TrayDelete);
        QVERIFY(!icon.IsRegistered());
        QVERIFY(!icon.IsInTray());
        QVERIFY(!icon.trayIcon().isVisible());
    }

    void valuesSetOutsideTheTrayOnlyStoredUntilTheAdd()
    {
        ShellIcon icon;
        QSignalSpy notified(&icon, &ShellIcon::trayNotified);
        const QString longTip = QString(70, QLatin1Char('x')) + QStringLiteral("end");
        icon.setToolTipText(longTip);
        icon.setIcon(someIcon(Qt::blue));
        QCOMPARE(notified.count(), 0);
        QCOMPARE(icon.trayIcon().toolTip(), QString()); // nothing handed over yet

        icon.setVisible(true);
        QCOMPARE(icon.trayIcon().toolTip(), QString(63, QLatin1Char('x')));
        QVERIFY(!icon.trayIcon().icon().isNull());
        QCOMPARE(icon.ToolTipText(), longTip); // the property keeps it whole

        // While in the tray every change is handed over at once.
        icon.setToolTipText(QStringLiteral("Zorvane"));
        QCOMPARE(notified.count(), 2);
        QCOMPARE(notified.at(1).at(0).value<ShellIcon::TrayOperation>(), ShellIcon::TrayModify);
        QCOMPARE(icon.trayIcon().toolTip(), QStringLiteral("Zorvane"));

        const QString exact(63, QLatin1Char('y'));
        icon.setToolTipText(exact);
        QCOMPARE(icon.trayIcon().toolTip(), exact);
        icon.setToolTipText(exact + QLatin1Char('z'));
        QCOMPARE(icon.trayIcon().toolTip(), exact);
        QCOMPARE(icon.ToolTipText(), exact + QLatin1Char('z'));
    }

    void destructionRemovesTheIcon()
    {
        QList<ShellIcon::TrayOperation> operations;
        {
            ShellIcon icon;
            connect(&icon, &ShellIcon::trayNotified, this,
                    [&](ShellIcon::TrayOperation operation) { operations << operation; });
            icon.setIcon(someIcon(Qt::green));
            icon.setVisible(true);
        }
        QCOMPARE(operations, (QList<ShellIcon::TrayOperation>{ShellIcon::TrayAdd, ShellIcon::TrayDelete}));

        // Never shown: nothing to remove.
        operations.clear();
        {
            ShellIcon icon;
            connect(&icon, &ShellIcon::trayNotified, this,
                    [&](ShellIcon::TrayOperation operation) { operations << operation; });
        }
        QVERIFY(operations.isEmpty());
    }

    void ownerDestructionTakesTheControlAlong()
    {
        auto *owner = new QWidget;
        QPointer<ShellIcon> icon = new ShellIcon(owner);
        icon->setVisible(true);
        delete owner;
        QVERIFY(!icon);
    }

    void trayActivationsReplayTheMouseMessages()
    {
        ShellIcon icon;
        icon.setSysMenu(false);
        icon.setClickInterval(60 * 60 * 1000);
        EventLog log(icon);
        auto *tray = const_cast<QSystemTrayIcon *>(&icon.trayIcon());

        Q_EMIT tray->activated(QSystemTrayIcon::Trigger);
        Q_EMIT tray->activated(QSystemTrayIcon::DoubleClick);
        QCOMPARE(log.events,
                 (QStringList{"MouseDown(1)", "MouseUp(1)", "Click(1)", "DblClick(1)", "MouseUp(1)", "Click(1)"}));
        QVERIFY(!icon.isClickTimerActive()); // a double click ends in no single click

        log.events.clear();
        Q_EMIT tray->activated(QSystemTrayIcon::Context);
        Q_EMIT tray->activated(QSystemTrayIcon::MiddleClick);
        QCOMPARE(log.events, (QStringList{"MouseDown(2)", "MouseUp(2)", "Click(2)"}));
    }

    void failingHandlerIsReportedNotThrown()
    {
        RecordingErrorReporter reporter;
        ShellIcon icon;
        connect(&icon, &ShellIcon::MouseMove, this,
                [] { throw AppError::platform(ErrorNumber::InvalidArgument); });
        icon.HandleTrayMessage(512);
        QCOMPARE(reporter.reports().size(), 1);
        QVERIFY(reporter.reports().at(0).startsWith(QStringLiteral("ShellIcon.HandleTrayMessage\r\n")));
    }
};

QTEST_MAIN(TestShellIcon)
#include "tst_shellicon.moc"
