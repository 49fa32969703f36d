#include "Outbox.h"

#include "base/ActivityLog.h"
#include "base/ErrorPatterns.h"
#include "base/FileErrors.h"
#include "base/PageText.h"

#include <QDir>
#include <QFile>
#include <QHash>
#include <QRegularExpression>

#include <cerrno>
#include <cstdio>
#include <optional>

namespace {

// Moves a file over another, in one step: whoever looks sees the old file or
// the new one, never neither.
bool replace(const QString &from, const QString &to)
{
#ifdef Q_OS_UNIX
    return std::rename(QFile::encodeName(from).constData(), QFile::encodeName(to).constData()) == 0;
#else
    QFile::remove(to);
    return QFile::rename(from, to);
#endif
}

const QByteArray FirstLine = QByteArrayLiteral("Zorvane-Outbox: 1");
const QRegularExpression MessageName(QStringLiteral("^\\d{9}-\\d{8}T\\d{6}Z\\.txt$"));
// Far beyond any alert; a larger file is not one of ours.
constexpr qint64 LargestFile = 64 * 1024 * 1024;

QByteArray headerLine(const char *key, QString value)
{
    static const QRegularExpression lineBreaks(QStringLiteral("[\\r\\n]+"));
    return QByteArray(key) + ": " + value.replace(lineBreaks, QStringLiteral(" ")).toUtf8() + '\n';
}

std::optional<Outbox::Message> decode(const QByteArray &bytes, QString &why)
{
    const qsizetype headerEnd = bytes.indexOf("\n\n");
    if (!bytes.startsWith(FirstLine + '\n') || headerEnd < 0) {
        why = QStringLiteral("no outbox header");
        return std::nullopt;
    }
    QHash<QString, QString> fields;
    const QStringList lines = QString::fromUtf8(bytes.left(headerEnd)).split(u'\n');
    for (const QString &line : lines.mid(1)) {
        const qsizetype colon = line.indexOf(QStringLiteral(": "));
        fields.insert(line.left(colon), colon < 0 ? QString() : line.mid(colon + 2));
    }
    Outbox::Message message;
    message.recipient = fields.value(QStringLiteral("Recipient"));
    message.subject = fields.value(QStringLiteral("Subject"));
    message.created = QDateTime::fromString(fields.value(QStringLiteral("Created")), Qt::ISODateWithMs);
    message.attempts = fields.value(QStringLiteral("Attempts")).toInt();
    message.lastError = fields.value(QStringLiteral("Last-Error"));
    message.body = PageText::fromBytes(bytes.mid(headerEnd + 2));
    if (message.recipient.isEmpty())
        why = QStringLiteral("no recipient");
    else if (!message.created.isValid())
        why = QStringLiteral("no valid creation time");
    else
        return message;
    return std::nullopt;
}

} // namespace

Outbox::Outbox(QString folder, Clock clock)
    : m_folder(std::move(folder))
    , m_clock(std::move(clock))
{
}

QDateTime Outbox::now() const
{
    return (m_clock ? m_clock() : QDateTime::currentDateTimeUtc()).toUTC();
}

QStringList Outbox::names() const
{
    return QDir(m_folder).entryList({QStringLiteral("*.txt")}, QDir::Files, QDir::Name).filter(MessageName);
}

int Outbox::count() const
{
    // Kept up to date by this object's own changes; the folder is read once.
    if (m_count < 0)
        m_count = int(names().size());
    return m_count;
}

bool Outbox::contains(const QString &id) const
{
    return MessageName.match(id).hasMatch() && QFile::exists(QDir(m_folder).filePath(id));
}

Outbox::Message Outbox::add(const QString &recipient, const QString &subject, const QString &body)
{
    return passingOn("Outbox", "Add", [&] {
        // The folder is made, and its names read, before the first message
        // of a run, and again should it have gone meanwhile.
        QDir folder(m_folder);
        if (!m_prepared || !folder.exists()) {
            if (!folder.mkpath(QStringLiteral(".")))
                throw AppError::platform(ErrorNumber::PathFileAccess);
            // After every name there is, damaged ones too, and every one
            // given before: no name is used twice.
            for (const QString &name : folder.entryList(QDir::Files)) {
                m_lastSequence = qMax(m_lastSequence, name.section(u'-', 0, 0).toULongLong());
                if (name.endsWith(QLatin1String(".new"))) // left by a write cut short
                    folder.remove(name);
            }
            m_prepared = true;
            m_count = -1;
        }
        Message message{{}, recipient, subject, body, now(), 0, {}};
        // A name that is there already (a file put there meanwhile) is
        // never written over.
        do {
            message.id = QStringLiteral("%1-%2.txt")
                             .arg(++m_lastSequence, 9, 10, QChar(u'0'))
                             .arg(message.created.toString(QStringLiteral("yyyyMMdd'T'HHmmss'Z'")));
        } while (QFile::exists(folder.filePath(message.id)));
        write(message);
        if (m_count >= 0)
            ++m_count;
        return message;
    });
}

void Outbox::write(const Message &message) const
{
    QByteArray bytes = FirstLine + '\n';
    bytes += headerLine("Recipient", message.recipient);
    bytes += headerLine("Subject", message.subject);
    bytes += headerLine("Created", message.created.toString(Qt::ISODateWithMs));
    bytes += headerLine("Attempts", QString::number(message.attempts));
    bytes += headerLine("Last-Error", message.lastError);
    bytes += '\n' + PageText::toBytes(message.body);

    // Written under a name no message has, then renamed: a file of the
    // outbox is whole or not there at all.
    const QString path = QDir(m_folder).filePath(message.id);
    QFile file(path + QStringLiteral(".new"));
    errno = 0;
    if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate | QIODevice::Unbuffered))
        throw FileErrors::fromFailure(errno, file, FileErrors::Stage::Open);
    errno = 0;
    const bool written = file.write(bytes) == bytes.size();
    const int error = errno;
    file.close();
    errno = 0;
    if (!written || !replace(file.fileName(), path)) {
        const int failure = written ? errno : error;
        file.remove();
        throw FileErrors::fromFailure(failure, file, FileErrors::Stage::Write);
    }
}

QList<Outbox::Message> Outbox::messages() const
{
    QList<Message> waiting;
    const QDir folder(m_folder);
    for (const QString &name : names()) {
        QFile file(folder.filePath(name));
        QString why;
        if (file.size() > LargestFile)
            why = QStringLiteral("larger than any message");
        else if (!file.open(QIODevice::ReadOnly))
            why = QStringLiteral("it cannot be read: ") + file.errorString();
        else if (std::optional<Message> message = decode(file.readAll(), why)) {
            message->id = name;
            waiting << *message;
            continue;
        }
        file.close();
        const QString kept = name + QStringLiteral(".damaged");
        const bool moved = QFile::rename(folder.filePath(name), folder.filePath(kept));
        qCWarning(lcActivity).noquote() << QStringLiteral("Outbox: %1 is not a message Zorvane can read (%2); %3")
                                               .arg(name, why,
                                                    moved ? QStringLiteral("kept as ") + kept
                                                          : QStringLiteral("left as it is"));
    }
    m_count = int(waiting.size());
    return waiting;
}

bool Outbox::recordFailure(Message &message, const QString &error)
{
    // A message discarded meanwhile must not come back.
    if (!contains(message.id))
        return false;
    Message updated = message;
    ++updated.attempts;
    updated.lastError = error;
    try {
        write(updated);
    } catch (const AppError &failure) {
        qCWarning(lcActivity).noquote() << QStringLiteral("Outbox: %1 could not be updated: %2")
                                               .arg(message.id, failure.description());
        return false;
    }
    message = updated;
    return true;
}

bool Outbox::remove(const QString &id)
{
    const QString path = QDir(m_folder).filePath(id);
    if (QFile::remove(path)) {
        if (m_count > 0)
            --m_count;
        return true;
    }
    return !QFile::exists(path);
}
