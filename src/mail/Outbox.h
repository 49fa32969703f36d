#pragma once

#include <QDateTime>
#include <QList>
#include <QString>

#include <functional>

// Messages that have not reached the mail server yet: one file per message
// and recipient in a folder of their own, written whole or not at all
// (QSaveFile) before the message is sent and removed once the server has
// accepted it, so that neither a failed session nor a crash loses one.
//
// A file holds a small header (UTF-8) and, after an empty line, the body
// byte for byte (ISO 8859-1, as it goes on the wire):
//     Zorvane-Outbox: 1
//     Recipient: a@example.com
//     Subject: seller1 Auction Update
//     Created: 2024-05-01T10:00:00.000Z
//     Attempts: 2
//     Last-Error: Could not connect to mail.example.com port 25: Connection refused
//
//     <body>
// Its name, "000000042-20240501T100000Z.txt", is a sequence number and the
// time it was written in UTC: names sort in the order messages were composed.
class Outbox
{
public:
    struct Message
    {
        QString id; // the file's name; empty for a message that could not be kept
        QString recipient;
        QString subject;
        QString body;
        QDateTime created; // UTC
        int attempts = 0;
        QString lastError;
    };
    // What time it is; tests move it on instead of waiting.
    using Clock = std::function<QDateTime()>;

    explicit Outbox(QString folder, Clock clock = {});

    const QString &folder() const { return m_folder; }
    QDateTime now() const;

    // Writes a new message behind every other and gives it back with its id.
    // A message that cannot be written leaves no file and raises the file
    // error (61 for a full disk), passed on as "Outbox.Add".
    Message add(const QString &recipient, const QString &subject, const QString &body);

    // The waiting messages, oldest first. A file that cannot be read as a
    // message stops nothing: it is renamed to "<name>.damaged" for the user
    // to look at, logged, and left out.
    QList<Message> messages() const;
    // How many messages wait, without reading them.
    int count() const;
    bool contains(const QString &id) const;

    // Counts a failed attempt and keeps its error; false when the file
    // could not be rewritten (it then stays as it was).
    bool recordFailure(Message &message, const QString &error);
    // Removes the message; false when its file could not be removed.
    bool remove(const QString &id);

    // Whether the message has waited `days` days or more.
    bool hasExpired(const Message &message, int days) const { return message.created.addDays(days) <= now(); }

private:
    void write(const Message &message) const;
    QStringList names() const;

    QString m_folder;
    Clock m_clock;
    qulonglong m_lastSequence = 0;
    bool m_prepared = false;
    // How many messages wait; -1 until the folder has been read.
    mutable int m_count = -1;
};
