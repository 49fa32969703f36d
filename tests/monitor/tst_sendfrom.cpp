// The Send From tab as a user works with it: security and port, the mail
// settings kept only when chosen, the password in the keyring (or, with the
// user's consent, in the settings file), and Send Test Message against real
// servers. CTest runs it once with no keyring at all and once, for the
// keyring function, with a throw-away gnome-keyring (see CMakeLists.txt).

#include "dialogs/FTestMessage.h"
#include "monitor/FAlert.h"

#include "SmtpServerProcess.h"
#include "WindowRig.h"

#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTimer>

class TestSendFrom : public QObject
{
    Q_OBJECT

    std::unique_ptr<WindowRig> m_rig;

    QString settingsPath() const { return m_rig->path(QStringLiteral("config/Zorvane/Zorvane.conf")); }
    QSettings stored() const { return QSettings(settingsPath(), QSettings::IniFormat); }

    template <class T>
    T *control(const char *name) const
    {
        return m_rig->window().findChild<T *>(QString::fromLatin1(name));
    }

    void type(const char *name, const QString &text)
    {
        control<QLineEdit>(name)->setText(text);
        Q_EMIT control<QLineEdit>(name)->editingFinished();
    }

private Q_SLOTS:
    void init()
    {
        m_rig = std::make_unique<WindowRig>();
        m_rig->load("seller1\r\n", "a@example.com\r\n");
    }

    void cleanup() { m_rig.reset(); }

    void securityBringsItsPortUnlessOneWasTyped_data()
    {
        QTest::addColumn<QString>("typedPort"); // empty: none typed
        QTest::addColumn<int>("security");      // the entry chosen
        QTest::addColumn<QString>("port");
        QTest::newRow("STARTTLS") << QString() << 1 << QStringLiteral("587");
        QTest::newRow("SSL/TLS") << QString() << 2 << QStringLiteral("465");
        QTest::newRow("typed port stays") << QStringLiteral("2525") << 1 << QStringLiteral("2525");
        QTest::newRow("back to None") << QStringLiteral("25") << 0 << QStringLiteral("25");
    }

    void securityBringsItsPortUnlessOneWasTyped()
    {
        QFETCH(QString, typedPort);
        QFETCH(int, security);
        QFETCH(QString, port);
        QCOMPARE(control<QLineEdit>("txtSmtpPort")->text(), QStringLiteral("25"));
        if (!typedPort.isEmpty())
            control<QLineEdit>("txtSmtpPort")->setText(typedPort);
        control<QComboBox>("cboSecurity")->setCurrentIndex(security);
        QCOMPARE(control<QLineEdit>("txtSmtpPort")->text(), port);
        QCOMPARE(m_rig->window().Cycle().settings().smtp.port, port.toUShort());
    }

    // A user of the plain mode keeps the settings file as it was; the
    // secure settings are kept and read back once chosen.
    void mailSettingsAreKeptOnlyWhenChosen()
    {
        QVERIFY(m_rig->unload());
        for (const char *key : {"Main/SmtpPort", "Main/SmtpSecurity", "Main/SmtpUser", "Main/SmtpPassword"})
            QVERIFY2(!stored().contains(QString::fromLatin1(key)), key);

        m_rig->reload();
        control<QComboBox>("cboSecurity")->setCurrentIndex(2);
        type("txtSmtpUser", QStringLiteral("me@example.com"));
        QVERIFY(m_rig->unload());
        QCOMPARE(stored().value(QStringLiteral("Main/SmtpSecurity")).toString(), QStringLiteral("TLS"));
        QCOMPARE(stored().value(QStringLiteral("Main/SmtpPort")).toString(), QStringLiteral("465"));
        m_rig->reload();
        QCOMPARE(control<QComboBox>("cboSecurity")->currentIndex(), 2);
        QCOMPARE(control<QLineEdit>("txtSmtpUser")->text(), QStringLiteral("me@example.com"));
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
        m_rig->boxes.queueAnswer(agree ? MessageAnswer::Yes : MessageAnswer::No);
        type("txtSmtpUser", QStringLiteral("me@example.com"));
        type("txtSmtpPassword", QStringLiteral("app pass"));
        QTRY_COMPARE(m_rig->boxes.requests().size(), 1); // said once, even on a second try
        type("txtSmtpPassword", QStringLiteral("app pass 2"));
        QTest::qWait(100);
        QCOMPARE(m_rig->boxes.requests().size(), 1);
        QVERIFY(m_rig->boxes.requests().at(0).text.startsWith(QStringLiteral("Zorvane cannot keep the mail server's password in a keyring")));

        QVERIFY(m_rig->unload());
        QCOMPARE(stored().value(QStringLiteral("Main/SmtpPassword")).toString(), agree ? QStringLiteral("app pass 2") : QString());
        if (agree) // for its owner's eyes only
            QCOMPARE(QFile::permissions(settingsPath()) & (QFile::ReadGroup | QFile::ReadOther), QFile::Permissions());
        m_rig->reload();
        QCOMPARE(control<QLineEdit>("txtSmtpPassword")->text(), agree ? QStringLiteral("app pass 2") : QString());
        QCOMPARE(m_rig->window().Cycle().settings().smtp.password, control<QLineEdit>("txtSmtpPassword")->text());
    }

    void passwordComesBackFromTheKeyring()
    {
        if (qEnvironmentVariableIsEmpty("ZORVANE_TEST_KEYRING"))
            QSKIP("runs under a throw-away keyring only (tst_sendfrom_keyring)");
        type("txtSMTP", QStringLiteral("smtp.example.test"));
        type("txtSmtpUser", QStringLiteral("me@example.com"));
        type("txtSmtpPassword", QStringLiteral("kept in the keyring"));
        QTest::qWait(500);
        QVERIFY(m_rig->unload());
        QVERIFY(!stored().contains(QStringLiteral("Main/SmtpPassword")));
        m_rig->reload(); // the next start
        QTRY_COMPARE(control<QLineEdit>("txtSmtpPassword")->text(), QStringLiteral("kept in the keyring"));
        QVERIFY(m_rig->boxes.requests().isEmpty());
    }

    // Send Test Message against real servers: the dialogue line by line with
    // the sign-in masked, and the verdict in plain words.
    void testMessageShowsTheDialogueAndTheVerdict_data()
    {
        QTest::addColumn<QString>("password");
        QTest::addColumn<QString>("verdict");
        QTest::newRow("accepted") << SmtpServerProcess::Password << QStringLiteral("The server accepted the message");
        QTest::newRow("wrong password") << QStringLiteral("wrong") << QStringLiteral("The server refused the sign-in (535");
    }

    void testMessageShowsTheDialogueAndTheVerdict()
    {
        QFETCH(QString, password);
        QFETCH(QString, verdict);
        SmtpServerProcess smtp;
        QVERIFY2(smtp.start({QStringLiteral("starttls")}), qPrintable(smtp.errorText()));
        {
            QSettings settings(settingsPath(), QSettings::IniFormat);
            settings.setValue(QStringLiteral("Network/TrustedCertificates"), smtp.caFile());
        }
        m_rig->reload();
        type("txtUserName", SmtpServerProcess::User);
        type("txtSMTP", QStringLiteral("127.0.0.1"));
        control<QComboBox>("cboSecurity")->setCurrentIndex(1);
        control<QLineEdit>("txtSmtpPort")->setText(QString::number(smtp.port(QStringLiteral("starttls"))));
        control<QLineEdit>("txtSmtpUser")->setText(SmtpServerProcess::User);
        control<QLineEdit>("txtSmtpPassword")->setText(password);

        QString dialogue, shown;
        QTimer poll;
        connect(&poll, &QTimer::timeout, this, [&] {
            auto *window = qobject_cast<FTestMessage *>(QApplication::activeModalWidget());
            if (!window || window->findChild<QPushButton *>(QStringLiteral("cmdSendAgain"))->isEnabled() == false)
                return;
            dialogue = window->dialogue();
            shown = window->verdict();
            window->accept();
        });
        poll.start(20);
        control<QPushButton>("cmdSendTest")->click();
        QTRY_VERIFY_WITH_TIMEOUT(!shown.isEmpty(), 20000);
        QVERIFY2(shown.startsWith(verdict), qPrintable(shown));
        QVERIFY2(dialogue.contains(QStringLiteral("AUTH PLAIN ****")), qPrintable(dialogue));
        QVERIFY(!dialogue.contains(password));
        QCOMPARE(m_rig->boxes.requests().size(), 1); // where to keep the password, before the test
        QCOMPARE(smtp.messageCount(), password == SmtpServerProcess::Password ? 1 : 0);
    }
};

QTEST_MAIN(TestSendFrom)
#include "tst_sendfrom.moc"
