// The SMTP password store against a real Secret Service (a throw-away
// gnome-keyring on a D-Bus session of the test's own) and with no session
// bus at all. CTest runs each function in its own environment (see
// CMakeLists.txt).

#include "mail/SmtpPasswordStore.h"

#include <qcoro/qcorotask.h>

#include <QTest>

using Status = SmtpPasswordStore::Status;

namespace {

const QString Server = QStringLiteral("smtp.example.test");
const QString User = QStringLiteral("alerts@example.test");

} // namespace

class TestSmtpPasswordStore : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void storeReadChangeRemove()
    {
        // A store made for each call, as the next start of the program makes one.
        QCOMPARE(QCoro::waitFor(SmtpPasswordStore().read(User, Server)).status, Status::NotFound);
        QCOMPARE(QCoro::waitFor(SmtpPasswordStore().write(User, Server, QStringLiteral("s3cret p\u00e4ss \u20ac"))).status, Status::Ok);
        QCOMPARE(QCoro::waitFor(SmtpPasswordStore().read(User, Server)).password, QStringLiteral("s3cret p\u00e4ss \u20ac"));
        QCOMPARE(QCoro::waitFor(SmtpPasswordStore().read(QStringLiteral("other@example.test"), Server)).status, Status::NotFound);
        QCOMPARE(QCoro::waitFor(SmtpPasswordStore().write(User, Server, QStringLiteral("changed"))).status, Status::Ok);
        QCOMPARE(QCoro::waitFor(SmtpPasswordStore().read(User, Server)).password, QStringLiteral("changed"));
        for (int twice = 0; twice < 2; ++twice)
            QCOMPARE(QCoro::waitFor(SmtpPasswordStore().remove(User, Server)).status, Status::Ok);
        QCOMPARE(QCoro::waitFor(SmtpPasswordStore().read(User, Server)).status, Status::NotFound);
    }

    void noKeyring()
    {
        QCOMPARE(QCoro::waitFor(SmtpPasswordStore().write(User, Server, QStringLiteral("x"))).status, Status::NoKeyring);
        const SmtpPasswordStore::Result result = QCoro::waitFor(SmtpPasswordStore().read(User, Server));
        QCOMPARE(result.status, Status::NoKeyring);
        QVERIFY(result.password.isEmpty() && !result.errorText.isEmpty());
    }
};

QTEST_GUILESS_MAIN(TestSmtpPasswordStore)
#include "tst_smtppasswordstore.moc"
