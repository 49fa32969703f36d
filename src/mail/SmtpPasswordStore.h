#pragma once

#include <qcoro/qcorotask.h>

#include <QString>

// The SMTP password in the desktop's keyring (Secret Service or KWallet,
// through QtKeychain), under the service "Zorvane" and the key
// "smtp:" + user + "@" + server. Every operation is asynchronous. When there
// is no keyring at all the result says so (NoKeyring), so that the caller
// can offer to keep the password in the settings file instead.
class SmtpPasswordStore
{
public:
    enum class Status { Ok, NotFound, NoKeyring, Failed };

    struct Result
    {
        Status status = Status::Failed;
        QString password;  // read: the password found
        QString errorText; // NoKeyring, Failed: the keyring's own words
    };

    explicit SmtpPasswordStore(QString service = QStringLiteral("Zorvane"));

    static QString key(const QString &user, const QString &server);

    QCoro::Task<Result> read(QString user, QString server) const;
    QCoro::Task<Result> write(QString user, QString server, QString password) const;
    // Removing what is not there counts as done.
    QCoro::Task<Result> remove(QString user, QString server) const;

private:
    QString m_service;
};
