#include "auction/CUserIDs.h"
#include "config/CCustomBrand.h"
#include "base/ProgramFolder.h"
#include "desktop/CToolTip.h"
#include "dialogs/FAdd.h"
#include "dialogs/FMessage.h"
#include "mail/CEmail.h"
#include "monitor/CheckCycle.h"
#include "monitor/FAlert.h"
#include "monitor/StatusText.h"
#include "dialogs/ModalDialogs.h"
#include "update/CStartStatus.h"
#include "update/UpdateWindows.h"

#include "RecordingErrorReporter.h"
#include "RecordingMessageBoxes.h"
#include "TestFiles.h"
#include "UrlCatcher.h"

#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QMenu>
#include <QMessageBox>
#include <QScopeGuard>
#include <QPushButton>
#include <QRadioButton>
#include <QSettings>
#include <QSignalSpy>
#include <QTabWidget>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>

namespace {

const QByteArray CrLf = "\r\n";

// Answers the next add-entry dialog from inside its modal loop.
void answerNextAddDialog(const QString &text, bool add)
{
    QTimer::singleShot(0, [text, add] {
        auto *dialog = qobject_cast<FAdd *>(QApplication::activeModalWidget());
        if (!dialog)
            qFatal("no add-entry dialog is open");
        dialog->findChild<QLineEdit *>(QStringLiteral("txtEmail"))->setText(text);
        if (add)
            dialog->findChild<QPushButton *>(QStringLiteral("cmdAdd"))->click();
        else
            dialog->findChild<QPushButton *>(QStringLiteral("cmdCancel"))->click();
    });
}

} // namespace

class TestFAlert : public QObject
{
    Q_OBJECT

private:
    std::unique_ptr<QTemporaryDir> m_folder;
    std::unique_ptr<RecordingErrorReporter> m_reporter;
    std::unique_ptr<RecordingMessageBoxes> m_boxes;
    std::unique_ptr<FAlert> m_window;

    QString programPath(const QString &name) const { return m_folder->filePath(QStringLiteral("program/") + name); }
    QString settingsPath() const { return m_folder->filePath(QStringLiteral("config/Zorvane/Zorvane.conf")); }

    QSettings settings() const { return QSettings(settingsPath(), QSettings::IniFormat); }

    template <class T>
    T *control(const char *name) const
    {
        T *widget = m_window->findChild<T *>(QString::fromLatin1(name));
        if (!widget)
            qFatal("no control %s", name);
        return widget;
    }

    QStringList listTexts(const char *name) const
    {
        QStringList texts;
        const auto *list = control<QListWidget>(name);
        for (int row = 0; row < list->count(); ++row)
            texts << list->item(row)->text();
        return texts;
    }

    FAlert &load()
    {
        m_window = std::make_unique<FAlert>();
        m_window->OnFormLoad();
        return *m_window;
    }

private Q_SLOTS:
    void init()
    {
        m_folder = std::make_unique<QTemporaryDir>();
        QDir(m_folder->path()).mkpath(QStringLiteral("program"));
        ProgramFolder::setPath(m_folder->filePath(QStringLiteral("program")));
        QSettings::setPath(QSettings::NativeFormat, QSettings::UserScope, m_folder->filePath(QStringLiteral("config")));
        CCustomBrand().Initialize(); // no brand file: the defaults
        m_reporter = std::make_unique<RecordingErrorReporter>();
        m_boxes = std::make_unique<RecordingMessageBoxes>();
    }

    void cleanup()
    {
        m_window.reset();
        m_boxes.reset();
        m_reporter.reset();
        ProgramFolder::setPath({});
    }

    void firstStartShowsTheDefaults()
    {
        FAlert &window = load();
        QVERIFY(window.isVisible());
        QVERIFY(control<QCheckBox>("chkNewAuctions")->isChecked());
        QVERIFY(control<QCheckBox>("chkChangesToAuctions")->isChecked());
        QVERIFY(control<QRadioButton>("optDetailedMessage")->isChecked());
        QVERIFY(!control<QRadioButton>("optBriefMessages")->isChecked());
        QVERIFY(control<QRadioButton>("optManyMessages")->isChecked());
        QVERIFY(!control<QRadioButton>("optOneMessage")->isChecked());
        QCOMPARE(control<QComboBox>("cboInterval")->currentText(), QStringLiteral("hour"));
        QCOMPARE(window.Cycle().CheckInterval(), 60);
        QCOMPARE(window.Sellers().Count(), 0);
        QCOMPARE(window.StatusText(), QStringLiteral("Idle.  Please add an email address to receive alerts."));
        QCOMPARE(window.findChild<QAction *>(QStringLiteral("mnuHelpPellridge"))->text(),
                 QStringLiteral("Pellridge Home Page"));
        QVERIFY(!control<QPushButton>("cmdDeleteAccount")->isEnabled());
        QVERIFY(m_reporter->reports().isEmpty());
    }

    void storedSettingsAreReadAsStored()
    {
        {
            QSettings stored = settings();
            stored.setValue(QStringLiteral("Main/FromAddress"), QStringLiteral("me@example.com"));
            stored.setValue(QStringLiteral("Main/SMTP"), QStringLiteral("mail.example.com"));
            stored.setValue(QStringLiteral("Main/NewAuctions"), QStringLiteral("0"));
            stored.setValue(QStringLiteral("Main/ChangesToAuctions"), QStringLiteral("yes")); // not 1, 0 or empty
            stored.setValue(QStringLiteral("Main/BriefMessages"), QStringLiteral("1"));
            stored.setValue(QStringLiteral("Main/DetailedMessages"), QStringLiteral("0"));
            stored.setValue(QStringLiteral("Main/OneMessage"), QStringLiteral("1"));
            stored.setValue(QStringLiteral("Main/OutboxDays"), QStringLiteral("7"));
        }
        load();
        QCOMPARE(m_window->Cycle().settings().outboxDays, 7);
        QCOMPARE(control<QLineEdit>("txtUserName")->text(), QStringLiteral("me@example.com"));
        QCOMPARE(control<QLineEdit>("txtSMTP")->text(), QStringLiteral("mail.example.com"));
        QVERIFY(!control<QCheckBox>("chkNewAuctions")->isChecked());
        QVERIFY(!control<QCheckBox>("chkChangesToAuctions")->isChecked());
        QVERIFY(control<QRadioButton>("optBriefMessages")->isChecked());
        QVERIFY(!control<QRadioButton>("optDetailedMessage")->isChecked());
        QVERIFY(control<QRadioButton>("optOneMessage")->isChecked());
        QVERIFY(!control<QRadioButton>("optManyMessages")->isChecked());
    }

    void listFilesAreShownAndWrittenBackWithLineEnds()
    {
        TestFiles::write(programPath(QStringLiteral("Accounts.txt")), "seller1\r\n\r\nseller2");
        TestFiles::write(programPath(QStringLiteral("EmailAddresses.txt")), "me@example.com\r\n");
        FAlert &window = load();
        QCOMPARE(listTexts("lstAccounts"), (QStringList{QStringLiteral("seller1"), QString(), QStringLiteral("seller2")}));
        QCOMPARE(listTexts("lstEmail"), QStringList{QStringLiteral("me@example.com")});
        QCOMPARE(window.StatusText(), QStringLiteral("Idle.  Minutes to next check: 60"));

        QSignalSpy unloaded(&window, &FAlert::Unloaded);
        window.Unload();
        QCOMPARE(unloaded.size(), 1);
        QCOMPARE(unloaded.at(0).at(0).toBool(), true);
        QCOMPARE(TestFiles::read(programPath(QStringLiteral("Accounts.txt"))), QByteArray("seller1\r\n\r\nseller2\r\n"));
        QCOMPARE(TestFiles::read(programPath(QStringLiteral("EmailAddresses.txt"))), QByteArray("me@example.com\r\n"));
    }

    void aListFileThatFailsToLoadIsShownReadOnlyAndNeverWrittenOver()
    {
        const QByteArray recipients = "me@example.com\r\nMe@Example.com\r\nlost@example.com\r\n";
        TestFiles::write(programPath(QStringLiteral("EmailAddresses.txt")), recipients);
        TestFiles::write(programPath(QStringLiteral("Accounts.txt")), "seller1\r\n");
        FAlert &window = load();

        QCOMPARE(m_reporter->reports().size(), 1);
        QVERIFY2(m_reporter->reports().at(0).startsWith(
                     QStringLiteral("FAlert.OnFormLoad\r\nCUserIDs.LoadFromReturnDelimitedFile -2147221504 ")),
                 qPrintable(m_reporter->reports().at(0)));
        QCOMPARE(m_boxes->requests().size(), 1); // the user is told where and why
        QVERIFY(m_boxes->requests().at(0).text.contains(programPath(QStringLiteral("EmailAddresses.txt"))));
        QVERIFY2(m_boxes->requests().at(0).text.contains(
                     QStringLiteral("Line 2, \"Me@Example.com\", differs from \"me@example.com\" only in letter case")),
                 qPrintable(m_boxes->requests().at(0).text));
        // The window is whole: what was read is shown, the other list is
        // loaded, the tooltips are made.
        QCOMPARE(listTexts("lstEmail"), QStringList{QStringLiteral("me@example.com")});
        QCOMPARE(listTexts("lstAccounts"), QStringList{QStringLiteral("seller1")});
        QVERIFY(window.ToolTipOf(control<QListWidget>("lstEmail")));

        // The partly read list cannot be changed; the user hears why.
        control<QListWidget>("lstEmail")->setCurrentRow(0);
        control<QPushButton>("cmdDeleteEmail")->click();
        control<QPushButton>("cmdAddEmail")->click(); // no dialog opens
        QCOMPARE(m_boxes->requests().size(), 3);
        QVERIFY(m_boxes->requests().at(2).text.startsWith(QStringLiteral("The recipient list cannot be changed")));
        QCOMPARE(listTexts("lstEmail"), QStringList{QStringLiteral("me@example.com")});

        // The other list works as ever; the partly read file is never written.
        answerNextAddDialog(QStringLiteral("seller2"), true);
        control<QPushButton>("cmdAddAccount")->click();
        window.Unload();
        QCOMPARE(TestFiles::read(programPath(QStringLiteral("EmailAddresses.txt"))), recipients);
        QCOMPARE(TestFiles::read(programPath(QStringLiteral("Accounts.txt"))), QByteArray("seller1\r\nseller2\r\n"));
    }

    void addingEntriesSavesAtOnceAndRefusesDuplicates()
    {
        FAlert &window = load();
        answerNextAddDialog(QStringLiteral("seller1"), true);
        control<QPushButton>("cmdAddAccount")->click();
        QCOMPARE(listTexts("lstAccounts"), QStringList{QStringLiteral("seller1")});
        QCOMPARE(TestFiles::read(programPath(QStringLiteral("Accounts.txt"))), QByteArray("seller1\r\n"));

        answerNextAddDialog(QStringLiteral("seller1"), true); // exact repeat: nothing happens, nothing said
        control<QPushButton>("cmdAddAccount")->click();
        QCOMPARE(listTexts("lstAccounts"), QStringList{QStringLiteral("seller1")});
        QVERIFY(m_reporter->reports().isEmpty());

        answerNextAddDialog(QStringLiteral("Seller1"), true); // letter-case variant: reported
        control<QPushButton>("cmdAddAccount")->click();
        QCOMPARE(listTexts("lstAccounts"), QStringList{QStringLiteral("seller1")});
        QCOMPARE(m_reporter->reports(),
                 QStringList{QStringLiteral("FAlert.OnCmdAddAccountClick\r\nCUserIDs.Add 457 This key is "
                                            "already associated with an element of this collection")});

        answerNextAddDialog(QStringLiteral("someone@example.com"), false); // cancelled
        control<QPushButton>("cmdAddEmail")->click();
        QVERIFY(listTexts("lstEmail").isEmpty());
        QCOMPARE(window.StatusText(), QStringLiteral("Idle.  Please add an email address to receive alerts."));

        // A character the list file cannot hold is refused, with a reason.
        answerNextAddDialog(QStringLiteral("zo\u00eb\u2192@example.com"), true);
        control<QPushButton>("cmdAddEmail")->click();
        QVERIFY(listTexts("lstEmail").isEmpty());
        QCOMPARE(m_boxes->requests().size(), 1);
        QVERIFY(m_boxes->requests().at(0).text.startsWith(QStringLiteral("\"\u2192\" cannot be kept")));

        // Enter on the Send To tab presses Add.
        control<QTabWidget>("SSTab1")->setCurrentIndex(1);
        answerNextAddDialog(QStringLiteral("someone@example.com"), true);
        QTest::keyClick(control<QListWidget>("lstEmail"), Qt::Key_Return);
        QCOMPARE(listTexts("lstEmail"), QStringList{QStringLiteral("someone@example.com")});
        QCOMPARE(TestFiles::read(programPath(QStringLiteral("EmailAddresses.txt"))),
                 QByteArray("someone@example.com\r\n"));
        QCOMPARE(window.StatusText(), QStringLiteral("Idle.  Minutes to next check: 60"));
    }

    void deletingKeepsASensibleSelection()
    {
        TestFiles::write(programPath(QStringLiteral("Accounts.txt")), "a\r\nb\r\nc\r\n");
        load();
        auto *list = control<QListWidget>("lstAccounts");
        auto *deleteButton = control<QPushButton>("cmdDeleteAccount");

        list->setCurrentRow(2); // the last line
        QVERIFY(deleteButton->isEnabled());
        deleteButton->click();
        QCOMPARE(listTexts("lstAccounts"), (QStringList{QStringLiteral("a"), QStringLiteral("b")}));
        QCOMPARE(list->currentRow(), 1);

        list->setCurrentRow(0); // the first line: the next moves up into its place
        deleteButton->click();
        QCOMPARE(listTexts("lstAccounts"), QStringList{QStringLiteral("b")});
        QCOMPARE(list->currentRow(), 0);
        QCOMPARE(TestFiles::read(programPath(QStringLiteral("Accounts.txt"))), QByteArray("b\r\n"));

        QTest::keyClick(list, Qt::Key_Delete); // the only line
        QVERIFY(listTexts("lstAccounts").isEmpty());
        QCOMPARE(list->currentRow(), -1);
        QVERIFY(!deleteButton->isEnabled());
        QTest::keyClick(list, Qt::Key_Delete); // nothing selected: nothing happens
        QVERIFY(m_reporter->reports().isEmpty());
        QCOMPARE(TestFiles::read(programPath(QStringLiteral("Accounts.txt"))), QByteArray());
    }

    // Only Delete deletes: no printable key does ("." once did, its key
    // code being the Delete key's).
    void onlyTheDeleteKeyDeletes_data()
    {
        QTest::addColumn<QString>("list");
        QTest::addColumn<int>("key");
        QTest::addColumn<bool>("deletes");
        QTest::newRow("sellers, Delete") << QStringLiteral("lstAccounts") << int(Qt::Key_Delete) << true;
        QTest::newRow("sellers, full stop") << QStringLiteral("lstAccounts") << int(Qt::Key_Period) << false;
        QTest::newRow("recipients, full stop") << QStringLiteral("lstEmail") << int(Qt::Key_Period) << false;
        QTest::newRow("recipients, Backspace") << QStringLiteral("lstEmail") << int(Qt::Key_Backspace) << false;
        QTest::newRow("recipients, Delete") << QStringLiteral("lstEmail") << int(Qt::Key_Delete) << true;
    }

    void onlyTheDeleteKeyDeletes()
    {
        QFETCH(QString, list);
        QFETCH(int, key);
        QFETCH(bool, deletes);
        TestFiles::write(programPath(QStringLiteral("Accounts.txt")), "a.b\r\nc.d\r\n");
        TestFiles::write(programPath(QStringLiteral("EmailAddresses.txt")), "a@b.c\r\nd@e.f\r\n");
        load();
        auto *box = control<QListWidget>(list.toLatin1().constData());
        box->setCurrentRow(0);
        QTest::keyClick(box, Qt::Key(key));
        QCOMPARE(box->count(), deletes ? 1 : 2);
        QVERIFY(m_reporter->reports().isEmpty());
    }

    void oneAlertKindStaysChosen()
    {
        load();
        auto *newAuctions = control<QCheckBox>("chkNewAuctions");
        auto *changes = control<QCheckBox>("chkChangesToAuctions");
        newAuctions->click();
        QVERIFY(!newAuctions->isChecked());
        QVERIFY(changes->isChecked());
        changes->click(); // would leave none: the other one comes back
        QVERIFY(!changes->isChecked());
        QVERIFY(newAuctions->isChecked());
    }

    void closingAsksAndCancelKeepsEverything()
    {
        FAlert &window = load();
        control<QLineEdit>("txtSMTP")->setText(QStringLiteral("smtp.example.com"));
        QSignalSpy unloaded(&window, &FAlert::Unloaded);

        m_boxes->queueAnswer(MessageAnswer::Cancel);
        QVERIFY(!window.close());
        QVERIFY(window.isVisible());
        QCOMPARE(unloaded.size(), 0);
        QVERIFY(!QFile::exists(settingsPath()));
        QCOMPARE(m_boxes->requests().size(), 1);
        QCOMPARE(m_boxes->requests().at(0).title, QStringLiteral("Are you sure?"));
        QCOMPARE(m_boxes->requests().at(0).text,
                 QStringLiteral("Are you sure you want to stop \r\nmonitoring auctions?  \r\n\r\n"
                                "Press cancel and minimize this form \r\nif you want to continue monitoring."
                                "\r\n\r\nPress OK if you want to quit."));

        m_boxes->queueAnswer(MessageAnswer::Ok);
        QVERIFY(window.close());
        QCOMPARE(unloaded.size(), 1);
        QCOMPARE(settings().value(QStringLiteral("Main/SMTP")).toString(), QStringLiteral("smtp.example.com"));
        QCOMPARE(settings().value(QStringLiteral("Main/DetailedMessages")).toString(), QStringLiteral("1"));
        QCOMPARE(settings().value(QStringLiteral("Main/BriefMessages")).toString(), QStringLiteral("0"));
        QVERIFY(!window.TrayIcon().isVisible());
    }

    void exitFromTheTrayMenuAsksNothing()
    {
        FAlert &window = load();
        QSignalSpy unloaded(&window, &FAlert::Unloaded);
        window.Form_MouseMove(517);
        QVERIFY(window.PopupMenu()->isVisible());
        window.findChild<QAction *>(QStringLiteral("mnuPopupExit"))->trigger();
        QCOMPARE(unloaded.size(), 1);
        QVERIFY(m_boxes->requests().isEmpty());
        QVERIFY(QFile::exists(settingsPath()));
    }

    void trayMessagesRestoreTheWindow()
    {
        FAlert &window = load();
        window.Form_MouseMove(516); // right button pressed: nothing
        QVERIFY(!window.PopupMenu()->isVisible());

        window.showMinimized();
        QTRY_VERIFY(window.isMinimized());
        // This desktop has no tray: the window stays reachable, minimised
        // on the task bar, instead of being hidden for good.
        QVERIFY(!QSystemTrayIcon::isSystemTrayAvailable());
        QVERIFY(window.isVisible());

        window.Form_MouseMove(514);
        QVERIFY(!window.isMinimized());
        QVERIFY(window.isVisible());

        window.showMinimized();
        window.Form_MouseMove(515);
        QVERIFY(!window.isMinimized());
    }

    void intervalChoiceKeepsTheMinutesCounted()
    {
        FAlert &window = load();
        auto *interval = control<QComboBox>("cboInterval");
        interval->setCurrentIndex(0);
        window.SetInterval();
        QCOMPARE(window.Cycle().CheckInterval(), 15);
        interval->setCurrentIndex(5);
        window.SetInterval();
        QCOMPARE(window.Cycle().CheckInterval(), 480);
        QCOMPARE(window.StatusText(), QStringLiteral("Idle.  Minutes to next check: 480"));
    }

    void fitTextShortensTheMiddle()
    {
        QLabel narrow;
        narrow.resize(20, 20);
        QCOMPARE(StatusText::FitText(narrow, QStringLiteral("abcdefghijk")), QStringLiteral("abcdefghijk"));
        QCOMPARE(StatusText::FitText(narrow, QStringLiteral("abcdefghijkl")), QStringLiteral("abcd...ijkl"));
        QCOMPARE(StatusText::FitText(narrow, QStringLiteral("Connecting.  Getting auctions for someone")),
                 QStringLiteral("Conn...eone"));
        QLabel wide;
        wide.resize(2000, 20);
        const QString text = QStringLiteral("Connecting.  Getting auctions for someone");
        QCOMPARE(StatusText::FitText(wide, text), text);

        // In the window the text fits the status label itself, and the
        // window never grows with long texts.
        FAlert &window = load();
        QApplication::sendPostedEvents();
        const int width = window.width();
        auto *label = control<QLabel>("sbrConnectionStatusPanel");
        for (int i = 0; i < 5; ++i) {
            window.UpdateStatusText(QStringLiteral("Page 1 of auctions gotten for ") + QString(200, u'x'));
            QApplication::sendPostedEvents();
            QCOMPARE(window.width(), width);
            QVERIFY(label->fontMetrics().horizontalAdvance(label->text()) <= label->width());
        }
    }

    void linksOpenTheRightAddresses()
    {
        TestFiles::write(programPath(QStringLiteral("Accounts.txt")), "a&b seller\r\n");
        FAlert &window = load();
        UrlCatcher catcher;

        QCOMPARE(FAlert::URLEncode(QStringLiteral("a:b?c&d=e")), QStringLiteral("a%3Ab%3Fc%26d%3De"));
        QCOMPARE(FAlert::URLEncode(QStringLiteral("100% sure/x")), QStringLiteral("100% sure/x"));

        auto *list = control<QListWidget>("lstAccounts");
        Q_EMIT list->itemDoubleClicked(list->item(0)); // nothing selected yet: nothing opens
        QVERIFY(catcher.urls().isEmpty());
        list->setCurrentRow(0);
        Q_EMIT list->itemDoubleClicked(list->item(0));
        window.findChild<QAction *>(QStringLiteral("mnuHelpContents"))->trigger();
        window.findChild<QAction *>(QStringLiteral("mnuHelpPellridge"))->trigger();
        window.findChild<QAction *>(QStringLiteral("mnuHelpFeedback"))->trigger();
        window.findChild<QAction *>(QStringLiteral("mnuHelpJoin"))->trigger();

        QCOMPARE(catcher.urls().size(), 5);
        const QString seller = catcher.urls().at(0).toString(QUrl::FullyDecoded);
        QCOMPARE(seller, window.Network().clickThroughPrefix
                             + FAlert::URLEncode(window.Network().listingHost
                                                 + QStringLiteral("ws/eBayISAPI.dll?ViewSellersOtherItems&userid=a&b seller"
                                                                  "&completed=0&sort=3&since=-1&include=0&page=1&rows=25")));
        QCOMPARE(catcher.urls().at(1), QUrl::fromLocalFile(programPath(QStringLiteral("help.html"))));
        QCOMPARE(catcher.urls().at(2).toString(), Brand::CompanyURL);
        QCOMPARE(catcher.urls().at(3).toString(QUrl::FullyDecoded),
                 QStringLiteral("mailto:") + Brand::SupportEmail + QStringLiteral("?subject=Zorvane 2.1.3"));
        QCOMPARE(catcher.urls().at(4).toString(QUrl::FullyDecoded),
                 QStringLiteral("mailto:") + Brand::SubscribeEmail + QStringLiteral("?subject=Subscribe Mailing List - ZV"));
    }

    void tooltipsCarryTheirTexts()
    {
        FAlert &window = load();
        const CToolTip *sellers = window.ToolTipOf(control<QListWidget>("lstAccounts"));
        QVERIFY(sellers);
        QCOMPARE(sellers->Title(), QStringLiteral("Sellers to check"));
        QCOMPARE(sellers->Text(), QStringLiteral("These eBay sellers' accounts will \r\nbe checked on a regular "
                                                 "basis and you \r\nwill be notified by email of new auctions "
                                                 "\r\nand/or changes to current auctions."));
        QCOMPARE(sellers->Style(), CToolTip::StyleBalloon);
        const CToolTip *brief = window.ToolTipOf(control<QRadioButton>("optBriefMessages"));
        QVERIFY(brief);
        QVERIFY(brief->Text().contains(QStringLiteral("(if any). \r\n\r\nThis format")));
    }

    // Whatever modal window of the program is open when the program is told
    // to end (SIGTERM, the session's end, an accepted update offer), the
    // window closes, the handler that opened it returns, and then the unload
    // saves everything - never the other way round.
    void endingWithAModalWindowOpen_data()
    {
        QTest::addColumn<QString>("opener");
        // What to do with each modal window as it opens, in order:
        // "Class:end" asks the program to end, "Class:name" clicks that
        // button, "Class:version" lets an update offer arrive meanwhile.
        QTest::addColumn<QStringList>("steps");
        QTest::newRow("add seller") << "cmdAddAccount" << QStringList{"FAdd:end"};
        QTest::newRow("add recipient") << "cmdAddEmail" << QStringList{"FAdd:end"};
        QTest::newRow("check now, no recipient") << "cmdCheck" << QStringList{"QMessageBox:end"};
        QTest::newRow("close question") << "close" << QStringList{"QMessageBox:end"};
        QTest::newRow("about") << "mnuHelpAbout" << QStringList{"FAbout:end"};
        QTest::newRow("update offer") << "version" << QStringList{"FUpdateVersion:end"};
        QTest::newRow("update accepted while adding")
            << "cmdAddAccount"
            << QStringList{"FAdd:version", "FUpdateVersion:cmdUpdate", "QMessageBox:qt_msgbox_buttonbox"};
    }

    void endingWithAModalWindowOpen()
    {
        QFETCH(QString, opener);
        QFETCH(QStringList, steps);
        const auto realBoxes = MessageBoxes::setHandler(UpdateWindows::show);
        auto restore = qScopeGuard([&] { MessageBoxes::setHandler(realBoxes); });
        UrlCatcher catcher;
        CStartStatus startStatus;
        m_window = std::make_unique<FAlert>();
        m_window->Initialize(&startStatus);
        m_window->OnFormLoad();
        control<QLineEdit>("txtSMTP")->setText(QStringLiteral("smtp.example.com"));
        QSignalSpy unloaded(m_window.get(), &FAlert::Unloaded);
        const QString offer = QStringLiteral("<status>..................<newversion>1</newversion>"
                                             "<updateurl>http://example.com/setup</updateurl><message>New</message></status>");

        QTimer poll;
        poll.setInterval(10);
        connect(&poll, &QTimer::timeout, this, [&] {
            QWidget *modal = QApplication::activeModalWidget();
            if (!modal || !modal->isVisible())
                return;
            if (steps.isEmpty()) { // still open after all: the user closes it
                QMetaObject::invokeMethod(modal, &QWidget::close, Qt::QueuedConnection);
                return;
            }
            const QStringList step = steps.first().split(u':');
            if (!modal->inherits(step.at(0).toLatin1().constData()))
                return;
            steps.removeFirst();
            // From the event loop, not from this timer: a timer is not
            // heard again while its own handler runs a modal window.
            QMetaObject::invokeMethod(this, [&, step, modal = QPointer<QWidget>(modal)] {
                if (step.at(1) == QLatin1String("end"))
                    m_window->Unload(FAlert::UnloadBySession);
                else if (step.at(1) == QLatin1String("version"))
                    startStatus.CheckVersionPage(offer);
                else if (auto *box = qobject_cast<QMessageBox *>(modal))
                    box->buttons().first()->click();
                else if (modal)
                    modal->findChild<QPushButton *>(step.at(1))->click();
            }, Qt::QueuedConnection);
        });
        poll.start();

        if (opener == QLatin1String("close"))
            m_window->close();
        else if (opener == QLatin1String("version"))
            startStatus.CheckVersionPage(offer);
        else if (opener.startsWith(QLatin1String("mnu")))
            m_window->findChild<QAction *>(opener)->trigger();
        else
            control<QPushButton>(opener.toLatin1().constData())->click();

        QTRY_COMPARE_WITH_TIMEOUT(unloaded.size(), 1, 10000);
        QVERIFY(steps.isEmpty());
        QCOMPARE(unloaded.at(0).at(0).toBool(), true);
        QVERIFY(!QApplication::activeModalWidget());
        QCOMPARE(settings().value(QStringLiteral("Main/SMTP")).toString(), QStringLiteral("smtp.example.com"));
        QVERIFY(QFile::exists(programPath(QStringLiteral("Accounts.txt"))));
        QVERIFY(m_reporter->reports().isEmpty());
    }

    void messageWindowCollectsUntilClosed()
    {
        CEmail email;
        auto *window = new FMessage;
        window->LoadMessage(QStringLiteral("Server returned the following error:\r\n550 no\r\n"));
        connect(&email, &CEmail::OnErrorMessage, window, &FMessage::m_oEmail_OnErrorMessage);
        window->show();
        Q_EMIT email.OnErrorMessage(QStringLiteral("eMail connection has closed in error."));
        QCOMPARE(window->Text(), QStringLiteral("Server returned the following error:\r\n550 no\r\n\r\n"
                                                "eMail connection has closed in error."));
        QCOMPARE(window->windowTitle(), QStringLiteral("Zorvane System Message"));
        QPointer<FMessage> closed = window;
        window->close();
        QTRY_VERIFY(closed.isNull()); // gone, so later texts reach nobody
        Q_EMIT email.OnErrorMessage(QStringLiteral("later"));
    }
};

QTEST_MAIN(TestFAlert)
#include "tst_falert.moc"
