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

SmtpPasswordStore::Result run(QCoro::Task<SmtpPasswordStore::Result> &&task)
{
    return QCoro::waitFor(std::move(task));
}

} // namespace

class TestSmtpPasswordStore : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void storeReadChangeRemove()
    {
        QCOMPARE(SmtpPasswordStore::key(User, Server), QStringLiteral("smtp:alerts@example.test@smtp.example.test"));
        QCOMPARE(run(SmtpPasswordStore().read(User, Server)).status, Status::NotFound);

        const QString first = QStringLiteral("s3cret p\u00e4ss \u20ac");
        SmtpPasswordStore::Result result = run(SmtpPasswordStore().write(User, Server, first));
        QVERIFY2(result.status == Status::Ok, qPrintable(result.errorText));
        // A store made later (the next start of the program) finds it.
        result = run(SmtpPasswordStore().read(User, Server));
        QCOMPARE(result.status, Status::Ok);
        QCOMPARE(result.password, first);
        // Another user on the same server is another entry.
        QCOMPARE(run(SmtpPasswordStore().read(QStringLiteral("other@example.test"), Server)).status, Status::NotFound);

        QCOMPARE(run(SmtpPasswordStore().write(User, Server, QStringLiteral("changed"))).status, Status::Ok);
        QCOMPARE(run(SmtpPasswordStore().read(User, Server)).password, QStringLiteral("changed"));

        QCOMPARE(run(SmtpPasswordStore().remove(User, Server)).status, Status::Ok);
        QCOMPARE(run(SmtpPasswordStore().read(User, Server)).status, Status::NotFound);
        QCOMPARE(run(SmtpPasswordStore().remove(User, Server)).status, Status::Ok);
    }

    void noKeyring()
    {
        SmtpPasswordStore::Result result = run(SmtpPasswordStore().write(User, Server, QStringLiteral("x")));
        QCOMPARE(result.status, Status::NoKeyring);
        QVERIFY(!result.errorText.isEmpty());
        result = run(SmtpPasswordStore().read(User, Server));
        QCOMPARE(result.status, Status::NoKeyring);
        QVERIFY(result.password.isEmpty());
    }
};

QTEST_GUILESS_MAIN(TestSmtpPasswordStore)
#include "tst_smtppasswordstore.moc"
