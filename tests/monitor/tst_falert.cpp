#include "auction/CUserIDs.h"
#include "config/CCustomBrand.h"
#include "base/ProgramFolder.h"
#include "desktop/CToolTip.h"
#include "dialogs/FAdd.h"
#include "dialogs/FMessage.h"
#include "mail/CEmail.h"
#include "monitor/FAlert.h"
#include "monitor/StatusText.h"

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
        QCOMPARE(window.CheckInterval(), 60);
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
        }
        load();
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

    void aListFileThatFailsToLoadIsNeverWrittenOver()
    {
        const QByteArray recipients = "me@example.com\r\nMe@Example.com\r\nlost@example.com\r\n";
        const QByteArray sellers = "seller1\r\nseller2\r\n";
        TestFiles::write(programPath(QStringLiteral("EmailAddresses.txt")), recipients);
        TestFiles::write(programPath(QStringLiteral("Accounts.txt")), sellers);
        FAlert &window = load();

        QCOMPARE(m_reporter->reports().size(), 1);
        QVERIFY2(m_reporter->reports().at(0).startsWith(
                     QStringLiteral("FAlert.OnFormLoad\r\nCUserIDs.LoadFromReturnDelimitedFile -2147221504 ")),
                 qPrintable(m_reporter->reports().at(0)));
        QVERIFY(m_reporter->reports().at(0).contains(QStringLiteral("457")));
        QCOMPARE(m_boxes->requests().size(), 1); // the user is told once why
        QVERIFY(m_boxes->requests().at(0).text.contains(QStringLiteral("EmailAddresses.txt")));

        window.Unload();
        // Neither the partly read recipients nor the sellers (never read,
        // since the load stopped) are written over.
        QCOMPARE(TestFiles::read(programPath(QStringLiteral("EmailAddresses.txt"))), recipients);
        QCOMPARE(TestFiles::read(programPath(QStringLiteral("Accounts.txt"))), sellers);
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

        answerNextAddDialog(QStringLiteral("someone@example.com"), true);
        control<QPushButton>("cmdAddEmail")->click();
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
        QCOMPARE(window.CheckInterval(), 15);
        interval->setCurrentIndex(5);
        window.SetInterval();
        QCOMPARE(window.CheckInterval(), 480);
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
        int made = 0;
        for (QWidget *widget : window.findChildren<QWidget *>())
            made += window.ToolTipOf(widget) != nullptr;
        QCOMPARE(made, 10);
    }

    void messageWindowCollectsUntilClosed()
    {
        CEmail email;
        auto *window = new FMessage;
        window->LoadMessage(&email, QStringLiteral("Server returned the following error:\r\n550 no\r\n"));
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
