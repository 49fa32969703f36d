// The main window as a user works with it: lists, keys, tooltips, the tray,
// ending the program while a modal window is open, the outbox, and the Send
// From tab (CTest runs it with no keyring at all).

#include "desktop/CToolTip.h"
#include "dialogs/FAdd.h"
#include "dialogs/FOutbox.h"
#include "monitor/OutboxView.h"
#include "monitor/TrayNotice.h"
#include "monitor/SendFromTab.h"
#include "update/UpdateWindows.h"

#include "ScriptedSmtpServer.h"
#include "UrlCatcher.h"
#include "WindowRig.h"

#include <QtTest>
#include <QtWidgets>

class TestFAlert : public QObject
{
    Q_OBJECT

    std::unique_ptr<WindowRig> m_rig;

    // A control of the window by name; a missing one ends the test run.
    template <class T>
    T *control(const char *name) const
    {
        T *widget = m_rig->window().findChild<T *>(name);
        return widget ? widget : (qFatal("no control %s", name), nullptr);
    }
    QStringList listTexts(const char *name) const
    {
        QStringList texts;
        for (const auto *list = control<QListWidget>(name); texts.size() < list->count();)
            texts << list->item(int(texts.size()))->text();
        return texts;
    }
    QByteArray listFile(const char *name) const { return TestFiles::read(m_rig->programFile(QString::fromLatin1(name))); }
    QStringList reports() const { return m_rig->reporter.reports(); }
    QString stored(const char *key) const { return QSettings(m_rig->settingsFile(), QSettings::IniFormat).value(key).toString(); }
    // Presses the button (if any) and answers the add-entry dialog it opens:
    // types text, then Add or Cancel.
    void add(const char *button, const QString &text, bool confirm = true)
    {
        QTimer::singleShot(0, this, [text, confirm] {
            auto *dialog = qobject_cast<FAdd *>(QApplication::activeModalWidget());
            QVERIFY2(dialog, "no add-entry dialog is open");
            dialog->findChild<QLineEdit *>("txtEmail")->setText(text);
            dialog->findChild<QPushButton *>(confirm ? "cmdAdd" : "cmdCancel")->click();
        });
        if (button)
            control<QPushButton>(button)->click();
    }
    // Types into a field as a user does; waits for the tab to deal with the
    // password then.
    void type(const char *name, const QString &text)
    {
        QSignalSpy stored(m_rig->window().findChild<SendFromTab *>(), &SendFromTab::passwordStored);
        control<QLineEdit>(name)->setText(text);
        Q_EMIT control<QLineEdit>(name)->editingFinished();
        QVERIFY(!stored.isEmpty() || stored.wait(20000));
    }

private Q_SLOTS:
    void init() { m_rig = std::make_unique<WindowRig>(); }
    void cleanup() { m_rig.reset(); }

    // What was read is shown, the tooltips load, and the partly read list
    // stays read-only (tst_listfaults: it is never written back).
    void aListFileThatFailsToLoadIsShownReadOnly()
    {
        FAlert &window = m_rig->load("seller1\r\n", "me@example.com\r\nMe@Example.com\r\nlost@example.com\r\n");
        const auto &boxes = m_rig->boxes.requests();
        QCOMPARE(reports().size(), 1);
        QVERIFY(boxes.at(0).text.contains(m_rig->programFile("EmailAddresses.txt")));
        QCOMPARE(listTexts("lstEmail"), QStringList{"me@example.com"});
        QVERIFY(window.ToolTipOf(control<QListWidget>("lstEmail")));

        control<QListWidget>("lstEmail")->setCurrentRow(0);
        control<QPushButton>("cmdDeleteEmail")->click();
        control<QPushButton>("cmdAddEmail")->click(); // no dialog opens
        QCOMPARE(boxes.size(), 3);
        QVERIFY(boxes.at(2).text.startsWith("The recipient list cannot be changed"));
        QCOMPARE(listTexts("lstEmail"), QStringList{"me@example.com"});
    }

    void addingSavesAtOnceAndRefusesWhatTheListCannotHold()
    {
        m_rig->load({}, {});
        add("cmdAddAccount", "seller1");
        QCOMPARE(listFile("Accounts.txt"), QByteArray("seller1\r\n"));
        add("cmdAddAccount", "seller1"); // an exact repeat: nothing happens, nothing said
        QVERIFY(reports().isEmpty());
        add("cmdAddAccount", "Seller1");
        QCOMPARE(listTexts("lstAccounts"), QStringList{"seller1"});
        QCOMPARE(reports(), QStringList{"FAlert.OnCmdAddAccountClick\r\nCUserIDs.Add 457 This key is already "
                                        "associated with an element of this collection"});
        add("cmdAddEmail", "someone@example.com", false);
        add("cmdAddEmail", "zo\u00eb\u2192@example.com"); // not ISO 8859-1
        QVERIFY(listTexts("lstEmail").isEmpty());
        QVERIFY(m_rig->boxes.requests().at(0).text.startsWith("\"\u2192\" cannot be kept"));

        control<QTabWidget>("SSTab1")->setCurrentIndex(1); // Enter on the Send To tab presses Add
        add(nullptr, "someone@example.com");
        QTest::keyClick(control<QListWidget>("lstEmail"), Qt::Key_Return);
        QCOMPARE(listFile("EmailAddresses.txt"), QByteArray("someone@example.com\r\n"));
    }

    // "." once deleted: its key code is the Delete key's.
    void onlyTheDeleteKeyDeletes_data()
    {
        QTest::addColumn<QString>("list");
        QTest::addColumn<int>("key");
        QTest::addColumn<int>("left");
        QTest::newRow("sellers, Delete") << "lstAccounts" << int(Qt::Key_Delete) << 1;
        QTest::newRow("recipients, full stop") << "lstEmail" << int(Qt::Key_Period) << 2;
        QTest::newRow("recipients, Delete") << "lstEmail" << int(Qt::Key_Delete) << 1;
    }

    void onlyTheDeleteKeyDeletes()
    {
        QFETCH(QString, list);
        QFETCH(int, key);
        QFETCH(int, left);
        m_rig->load("a.b\r\nc.d\r\n", "a@b.c\r\nd@e.f\r\n");
        auto *box = control<QListWidget>(list.toLatin1().constData());
        box->setCurrentRow(0);
        QTest::keyClick(box, Qt::Key(key));
        QCOMPARE(box->count(), left);
    }

    // Each failed save is reported; the box and the list agree after a
    // failed delete; the settings are saved though the lists cannot be.
    void failedSavesAreReportedAndLoseNothingElse()
    {
        TestFiles::write(m_rig->path("blocker"), "a file, not a folder");
        ProgramFolder::setPath(m_rig->path("blocker/program"));
        WindowRig::setDataHome(m_rig->path("blocker/data"));
        FAlert &window = m_rig->reload();
        control<QLineEdit>("txtSMTP")->setText("smtp.typed.example");
        add("cmdAddAccount", "seller1");
        add("cmdAddAccount", "seller2");
        QCOMPARE(listTexts("lstAccounts"), (QStringList{"seller1", "seller2"}));
        QCOMPARE(reports().size(), 2);
        QVERIFY(reports().at(1).startsWith("FAlert.OnCmdAddAccountClick\r\nCUserIDs.SaveToReturnDelimitedFile "));
        for (int left : {1, 0}) {
            control<QListWidget>("lstAccounts")->setCurrentRow(0);
            control<QPushButton>("cmdDeleteAccount")->click();
            QCOMPARE(window.Sellers().Count(), left);
            QCOMPARE(listTexts("lstAccounts").size(), left);
        }
        QVERIFY(!m_rig->unload());
        QVERIFY(reports().last().startsWith("FAlert.OnFormUnload\r\nThe seller list could not be saved: "));
        QCOMPARE(stored("Main/SMTP"), "smtp.typed.example");
    }

    // Without a tray on this desktop a minimised window stays on the task
    // bar instead of being hidden for good.
    void trayIconOffersTheMenuAndRestores()
    {
        FAlert &window = m_rig->load({}, {});
        for (int message : {517, 514, 515}) { // right button up: the menu; left button up, double click
            window.showMinimized();
            QTRY_VERIFY(window.isMinimized() && window.isVisible());
            window.Form_MouseMove(message);
            QCOMPARE(window.isMinimized(), message == 517);
            QVERIFY(message != 517 || window.PopupMenu()->isVisible());
        }
        window.findChild<QAction *>("mnuPopupExit")->trigger(); // asks nothing, and saves
        QVERIFY(window.IsUnloaded() && m_rig->boxes.requests().isEmpty() && QFile::exists(m_rig->settingsFile()));
    }

    // Over any part of its control, also while the window is inactive; text
    // as written, not as markup.
    void tooltipsShowOverTheirControls()
    {
        FAlert &window = m_rig->load("seller1\r\n", {});
        auto *list = control<QListWidget>("lstAccounts");
        QWidget *tip = window.ToolTipOf(list)->tipWindow();
        QVERIFY(window.testAttribute(Qt::WA_AlwaysShowToolTips));
        QHelpEvent rest(QEvent::ToolTip, QPoint(20, 40), list->viewport()->mapToGlobal(QPoint(20, 40)));
        QApplication::sendEvent(list->viewport(), &rest);
        QVERIFY(tip->isVisible());
        QCOMPARE(tip->findChild<QLabel *>("lblTitle")->text(), "Sellers to check");
        QCOMPARE(tip->findChild<QLabel *>("lblText")->textFormat(), Qt::PlainText);
        QEvent leave(QEvent::Leave);
        QApplication::sendEvent(list, &leave);
        QVERIFY(!tip->isVisible());
    }

    // The middle gives way; the window never grows with long texts.
    void statusTextFitsTheLabel()
    {
        FAlert &window = m_rig->load({}, {});
        QApplication::sendPostedEvents();
        const int width = window.width();
        auto *label = control<QLabel>("sbrConnectionStatusPanel");
        window.UpdateStatusText("Page 1 of auctions gotten for " + QString(200, u'x'));
        QTRY_VERIFY(label->text().startsWith("Page 1") && label->text().contains("...xx")); // shown a moment later
        QApplication::sendPostedEvents();
        QCOMPARE(window.width(), width);
        QVERIFY(label->fontMetrics().horizontalAdvance(label->text()) <= label->width());
    }

    // Whatever modal window is open when the program is told to end
    // (SIGTERM, the session's end, an accepted update offer), it closes, the
    // handler that opened it returns, and only then does the unload save.
    void endingWithAModalWindowOpen_data()
    {
        QTest::addColumn<QString>("opener");
        // For each modal window as it opens, in order: "Class:end" asks the
        // program to end, "Class:version" lets an update offer arrive,
        // "Class:name" clicks that button.
        QTest::addColumn<QStringList>("steps");
        QTest::newRow("add seller") << "cmdAddAccount" << QStringList{"FAdd:end"};
        QTest::newRow("check now, no recipient") << "cmdCheck" << QStringList{"QMessageBox:end"};
        QTest::newRow("close question") << "close" << QStringList{"QMessageBox:end"};
        QTest::newRow("about") << "mnuHelpAbout" << QStringList{"FAbout:end"};
        QTest::newRow("update offer") << "version" << QStringList{"FUpdateVersion:end"};
        QTest::newRow("update accepted while adding")
            << "cmdAddAccount" << QStringList{"FAdd:version", "FUpdateVersion:cmdUpdate", "QMessageBox:ok"};
    }

    void endingWithAModalWindowOpen()
    {
        QFETCH(QString, opener);
        QFETCH(QStringList, steps);
        MessageBoxes::setHandler(UpdateWindows::show); // the rig's recorder puts the first one back
        UrlCatcher catcher;
        FAlert &window = m_rig->load({}, {});
        control<QLineEdit>("txtSMTP")->setText("smtp.example.com");
        QSignalSpy unloaded(&window, &FAlert::Unloaded);
        auto act = [&](const QString &what, QWidget *modal) {
            if (what == "end")
                window.Unload(FAlert::UnloadBySession);
            else if (what == "version")
                m_rig->startStatus().CheckVersionPage("<status>..................<newversion>1</newversion><updateurl>"
                                                      "http://example.com/setup</updateurl><message>New</message></status>");
            else if (what == "close")
                window.close();
            else if (auto *box = qobject_cast<QMessageBox *>(modal))
                box->buttons().first()->click();
            else if (auto *action = window.findChild<QAction *>(what))
                action->trigger();
            else
                (modal ? modal : &window)->findChild<QPushButton *>(what)->click();
        };
        QTimer poll;
        connect(&poll, &QTimer::timeout, this, [&] {
            QWidget *modal = QApplication::activeModalWidget();
            if (!modal || !modal->isVisible())
                return;
            if (steps.isEmpty()) // still open after all: the user closes it
                return void(QMetaObject::invokeMethod(modal, &QWidget::close, Qt::QueuedConnection));
            const QStringList step = steps.first().split(u':');
            if (!modal->inherits(step.at(0).toLatin1().constData()))
                return;
            steps.removeFirst();
            // From the event loop: a timer is not heard again while its own
            // handler runs a modal window.
            QMetaObject::invokeMethod(this, [&act, what = step.at(1), modal = QPointer(modal)] { act(what, modal); },
                                      Qt::QueuedConnection);
        });
        poll.start(10);
        act(opener, nullptr);
        QTRY_COMPARE_WITH_TIMEOUT(unloaded.size(), 1, 10000);
        QVERIFY(steps.isEmpty());
        QCOMPARE(unloaded.at(0).at(0).toBool(), true);
        QVERIFY(!QApplication::activeModalWidget());
        QCOMPARE(stored("Main/SMTP"), "smtp.example.com");
        QVERIFY(QFile::exists(m_rig->programFile("Accounts.txt")));
        QVERIFY(reports().isEmpty());
    }

    // Choosing a security brings its port unless one was typed; a user of
    // the plain mode keeps the settings file as it was.
    void securityAndPortAreKeptOnlyWhenChosen_data()
    {
        QTest::addColumn<QString>("typedPort"); // empty: none typed
        QTest::addColumn<int>("security");      // the entry chosen
        QTest::addColumn<QString>("port");
        QTest::addColumn<QString>("stored"); // Main/SmtpSecurity
        QTest::newRow("STARTTLS") << QString() << 1 << "587" << "StartTLS";
        QTest::newRow("SSL/TLS") << QString() << 2 << "465" << "TLS";
        QTest::newRow("typed port stays") << "2525" << 1 << "2525" << "StartTLS";
        QTest::newRow("back to None") << "25" << 0 << "25" << QString();
    }

    void securityAndPortAreKeptOnlyWhenChosen()
    {
        QFETCH(QString, typedPort);
        QFETCH(int, security);
        QFETCH(QString, port);
        QFETCH(QString, stored);
        FAlert &window = m_rig->load({}, {});
        if (!typedPort.isEmpty())
            control<QLineEdit>("txtSmtpPort")->setText(typedPort);
        control<QComboBox>("cboSecurity")->setCurrentIndex(security);
        QCOMPARE(control<QLineEdit>("txtSmtpPort")->text(), port);
        QCOMPARE(window.Cycle().settings().smtp.port, port.toUShort());
        QVERIFY(m_rig->unload());
        QCOMPARE(this->stored("Main/SmtpSecurity"), stored);
        QCOMPARE(QSettings(m_rig->settingsFile(), QSettings::IniFormat).contains("Main/SmtpPort"), port != "25");
        m_rig->reload();
        QCOMPARE(control<QLineEdit>("txtSmtpPort")->text(), port);
    }

    // Mail waiting in the outbox: the status line and the tray icon say so
    // and File > Outbox... lists it until Send Now delivers it or a
    // confirmed Discard drops it.
    void waitingMailIsShownUntilSentOrDiscarded_data()
    {
        QTest::addColumn<QString>("button");
        QTest::addColumn<MessageAnswer>("answer"); // to Discard's question
        QTest::addColumn<int>("left");
        QTest::newRow("Send Now") << "cmdSendNow" << MessageAnswer::No << 0;
        QTest::newRow("Discard") << "cmdDiscard" << MessageAnswer::Yes << 0;
        QTest::newRow("Discard declined") << "cmdDiscard" << MessageAnswer::No << 1;
    }

    void waitingMailIsShownUntilSentOrDiscarded()
    {
        QFETCH(QString, button);
        QFETCH(MessageAnswer, answer);
        QFETCH(int, left);
        ScriptedSmtpServer smtp;
        QVERIFY(smtp.listen());
        QDir().mkpath(QFileInfo(m_rig->settingsFile()).path());
        TestFiles::write(m_rig->settingsFile(), "[Main]\nFromAddress=zorvane@example.com\nSMTP=127.0.0.1\n[Network]\nSmtpPort="
                                                    + QByteArray::number(smtp.port()) + "\n");
        Outbox(QStandardPaths::writableLocation(QStandardPaths::AppDataLocation) + "/outbox").add("a@example.com", "Alert", "Bid");
        FAlert &window = m_rig->load("seller1\r\n", "a@example.com\r\n");
        QTRY_VERIFY(window.StatusText().startsWith("1 alert waiting to be sent"));
        QCOMPARE(window.TrayIcon().toolTip(), "Zorvane\n1 alert waiting to be sent");

        control<QAction>("mnuFileOutbox")->trigger();
        auto *table = window.outboxView().window()->findChild<QTableWidget *>("tblMessages");
        QCOMPARE(table->rowCount(), 1);
        QCOMPARE(table->item(0, 1)->text() + table->item(0, 2)->text(), "a@example.comAlert"); // recipient, subject
        table->selectRow(0);
        QSignalSpy received(&smtp, &ScriptedSmtpServer::messageReceived);
        m_rig->boxes.queueAnswer(answer);
        window.outboxView().window()->findChild<QPushButton *>(button)->click();
        QTRY_COMPARE(table->rowCount(), left);
        QCOMPARE(received.size(), button == "cmdSendNow" ? 1 : 0);
        QCOMPARE(m_rig->boxes.requests().size(), button == "cmdDiscard" ? 1 : 0);
        QTRY_COMPARE(window.TrayIcon().toolTip().contains("1 alert waiting"), left == 1);
    }

    // One balloon a trouble, then none until a delivery has emptied the
    // outbox: a recipient that keeps failing beside one that works costs one.
    void trayBalloonOncePerTrouble_data()
    {
        // "fail N" / "ok N": a session ended with N waiting after it; "end N":
        // a cycle ended with N waiting; "!": a balloon shows.
        QTest::addColumn<QString>("events");
        QTest::newRow("all well") << "ok 0, end 0";
        QTest::newRow("the first failure only") << "fail 1!, fail 2, end 2, fail 2, end 2";
        QTest::newRow("mail waiting at a cycle's end") << "end 3!, end 3";
        QTest::newRow("again after the outbox emptied") << "fail 1!, ok 0, fail 1!, end 1";
        QTest::newRow("a recipient failing beside one that works") << "fail 1!, ok 1, end 1, fail 2, ok 2, end 2";
        QTest::newRow("a cycle's end after the outbox emptied") << "fail 1!, ok 0, end 1!";
    }

    void trayBalloonOncePerTrouble()
    {
        QFETCH(QString, events);
        TrayNotice notice;
        for (const QString &event : events.split(", ")) {
            const int waiting = event.section(u' ', 1).remove(u'!').toInt();
            const bool ended = event.startsWith("end");
            const QString balloon = ended ? notice.cycleEnded(waiting)
                                          : notice.sessionEnded(event.startsWith("ok"), waiting, "No connection");
            QVERIFY2(balloon.isEmpty() != event.endsWith(u'!'), qPrintable(event));
            QVERIFY(balloon.isEmpty() || balloon.contains(ended ? QString::number(waiting) : "No connection"));
        }
    }

    void withoutAKeyringThePasswordIsKeptOnlyIfTheUserAgrees_data()
    {
        QTest::addColumn<bool>("agree");
        QTest::newRow("agrees") << true;
        QTest::newRow("declines") << false;
    }

    void withoutAKeyringThePasswordIsKeptOnlyIfTheUserAgrees()
    {
        QFETCH(bool, agree);
        m_rig->load({}, {});
        m_rig->boxes.queueAnswer(agree ? MessageAnswer::Yes : MessageAnswer::No);
        type("txtSmtpUser", "me@example.com");
        type("txtSmtpPassword", "app pass");
        type("txtSmtpPassword", "app pass 2");
        QCOMPARE(m_rig->boxes.requests().size(), 1); // asked once a run
        QVERIFY(m_rig->boxes.requests().at(0).text.startsWith("Zorvane cannot keep the mail server's password in a keyring"));
        QVERIFY(m_rig->unload());
        if (agree) // for its owner's eyes only
            QCOMPARE(QFile::permissions(m_rig->settingsFile()) & (QFile::ReadGroup | QFile::ReadOther), QFile::Permissions());
        FAlert &next = m_rig->reload();
        QCOMPARE(control<QLineEdit>("txtSmtpPassword")->text(), agree ? "app pass 2" : QString());
        QCOMPARE(next.Cycle().settings().smtp.password, control<QLineEdit>("txtSmtpPassword")->text());
    }
};

QTEST_MAIN(TestFAlert)
#include "tst_falert.moc"
