#include "mail/SmtpPasswordStore.h"

#include <qt6keychain/keychain.h>

#include <qcoro/qcorodbus.h>
#include <qcoro/qcorosignal.h>
#include <QDBusConnection>
#include <QDBusMessage>
#include <QDBusPendingCall>
#include <QDBusReply>

#include <memory>

namespace {

// Whether the session bus has anyone who could keep secrets: the Secret
// Service or KWallet, running or startable. QtKeychain reports a missing
// bus or service only as a general error, which says nothing the user can
// act on.
QCoro::Task<bool> keyringReachable()
{
    QDBusConnection bus = QDBusConnection::sessionBus();
    if (!bus.isConnected())
        co_return false;
    const QString dbus = QStringLiteral("org.freedesktop.DBus");
    for (const char *method : {"ListNames", "ListActivatableNames"}) {
        const QDBusMessage call = QDBusMessage::createMethodCall(dbus, QStringLiteral("/org/freedesktop/DBus"), dbus,
                                                                 QString::fromLatin1(method));
        const QDBusReply<QStringList> names = co_await bus.asyncCall(call);
        if (!names.isValid())
            continue;
        for (const QString &name : names.value()) {
            if (name == QLatin1String("org.freedesktop.secrets") || name.startsWith(QLatin1String("org.kde.kwalletd")))
                co_return true;
        }
    }
    co_return false;
}

// Runs one job to its end and says how it went.
QCoro::Task<SmtpPasswordStore::Result> run(std::unique_ptr<QKeychain::Job> job)
{
    job->setAutoDelete(false);
    job->start();
    co_await qCoro(job.get(), &QKeychain::Job::finished);

    SmtpPasswordStore::Result result;
    switch (job->error()) {
    case QKeychain::NoError:
        result.status = SmtpPasswordStore::Status::Ok;
        if (auto *reading = qobject_cast<QKeychain::ReadPasswordJob *>(job.get()))
            result.password = reading->textData();
        co_return result;
    case QKeychain::EntryNotFound:
        result.status = SmtpPasswordStore::Status::NotFound;
        co_return result;
    case QKeychain::NoBackendAvailable:
    case QKeychain::NotImplemented:
        result.status = SmtpPasswordStore::Status::NoKeyring;
        break;
    default:
        result.status = co_await keyringReachable() ? SmtpPasswordStore::Status::Failed
                                                    : SmtpPasswordStore::Status::NoKeyring;
        break;
    }
    result.errorText = job->errorString();
    co_return result;
}

} // namespace

SmtpPasswordStore::SmtpPasswordStore(QString service)
    : m_service(std::move(service))
{
}

QString SmtpPasswordStore::key(const QString &user, const QString &server)
{
    return QStringLiteral("smtp:") + user + u'@' + server;
}

QCoro::Task<SmtpPasswordStore::Result> SmtpPasswordStore::read(QString user, QString server) const
{
    auto job = std::make_unique<QKeychain::ReadPasswordJob>(m_service);
    job->setKey(key(user, server));
    co_return co_await run(std::move(job));
}

QCoro::Task<SmtpPasswordStore::Result> SmtpPasswordStore::write(QString user, QString server,
                                                                QString password) const
{
    auto job = std::make_unique<QKeychain::WritePasswordJob>(m_service);
    job->setKey(key(user, server));
    job->setTextData(password);
    co_return co_await run(std::move(job));
}

QCoro::Task<SmtpPasswordStore::Result> SmtpPasswordStore::remove(QString user, QString server) const
{
    auto job = std::make_unique<QKeychain::DeletePasswordJob>(m_service);
    job->setKey(key(user, server));
    Result result = co_await run(std::move(job));
    if (result.status == Status::NotFound)
        result.status = Status::Ok;
    co_return result;
}
