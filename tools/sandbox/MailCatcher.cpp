#include "MailCatcher.h"

#include <QDir>
#include <QFileInfo>
#include <QRegularExpression>
#include <QSaveFile>
#include <QTcpSocket>
#include <QTimer>

namespace {

const QByteArray CrLf = "\r\n";

QString printable(const QByteArray &bytes)
{
    QString text = QString::fromLatin1(bytes);
    for (QChar &c : text) {
        const char16_t u = c.unicode();
        if ((u < 0x20 && u != u'\t') || (u >= 0x7f && u < 0xa0))
            c = u'?';
    }
    return text;
}

// "<a@b>" or "a@b" (with or without blanks and parameters after it) gives a@b.
QByteArray bareAddress(QByteArray argument)
{
    argument = argument.trimmed();
    if (argument.startsWith('<')) {
        const qsizetype close = argument.indexOf('>');
        return close < 0 ? argument.mid(1) : argument.mid(1, close - 1);
    }
    const qsizetype blank = argument.indexOf(' ');
    return blank < 0 ? argument : argument.left(blank);
}

} // namespace

// One client's conversation. It lives as a child of its socket and goes
// with it.
class SmtpSession : public QObject
{
public:
    SmtpSession(MailCatcher &catcher, QTcpSocket *socket)
        : QObject(socket)
        , m_catcher(catcher)
        , m_socket(socket)
    {
        m_idle.setSingleShot(true);
        m_idle.setInterval(m_catcher.limits().idle);
        connect(&m_idle, &QTimer::timeout, this,
                [this] { closeWith("421 4.4.2 Idle too long, closing connection"); });
        connect(socket, &QTcpSocket::readyRead, this, &SmtpSession::onReadyRead);
        reply("220 127.0.0.1 Zorvane sandbox mail catcher ready");
    }

private:
    void reply(const QByteArray &line)
    {
        m_socket->write(line + CrLf);
        m_idle.start();
    }

    void closeWith(const QByteArray &line)
    {
        m_closing = true;
        m_idle.stop();
        if (m_socket->state() != QAbstractSocket::ConnectedState)
            return;   // the client has gone already
        m_socket->write(line + CrLf);
        m_socket->disconnectFromHost();
    }

    void onReadyRead()
    {
        if (m_closing) {
            m_socket->readAll();
            return;
        }
        m_buffer += m_socket->readAll();
        qsizetype start = 0;
        while (!m_closing) {
            const qsizetype end = m_buffer.indexOf(CrLf, start);
            if (end < 0)
                break;
            const QByteArray line = m_buffer.mid(start, end - start);
            start = end + 2;
            if (line.size() > m_catcher.limits().lineBytes) {
                closeWith("552 5.3.4 Line too long");
                break;
            }
            m_inData ? dataLine(line) : command(line);
        }
        m_buffer.remove(0, start);
        // An unfinished line may not grow without end either.
        if (!m_closing && m_buffer.size() > m_catcher.limits().lineBytes + 1)
            closeWith("552 5.3.4 Line too long");
    }

    void resetTransaction()
    {
        m_sender.clear();
        m_recipients.clear();
        m_data.clear();
    }

    void command(const QByteArray &line)
    {
        const QByteArray upper = line.toUpper();
        const qsizetype blank = upper.indexOf(' ');
        const QByteArray verb = (blank < 0 ? upper : upper.left(blank)).trimmed();
        if (verb == "HELO" || verb == "EHLO") {
            resetTransaction();
            reply("250 127.0.0.1 Hello, pleased to catch your mail");
        } else if (verb == "MAIL") {
            if (!upper.startsWith("MAIL FROM:")) {
                reply("501 5.5.4 Syntax: MAIL FROM:<address>");
                return;
            }
            resetTransaction();
            m_sender = bareAddress(line.mid(10));
            reply("250 2.1.0 Sender OK");
        } else if (verb == "RCPT") {
            if (!upper.startsWith("RCPT TO:")) {
                reply("501 5.5.4 Syntax: RCPT TO:<address>");
                return;
            }
            if (m_recipients.size() >= MaxRecipients) {
                reply("452 4.5.3 Too many recipients");
                return;
            }
            m_recipients << bareAddress(line.mid(8));
            reply("250 2.1.5 Recipient OK");
        } else if (verb == "DATA") {
            m_inData = true;
            m_data.clear();
            reply("354 End data with <CR><LF>.<CR><LF>");
        } else if (verb == "RSET") {
            resetTransaction();
            reply("250 2.0.0 OK");
        } else if (verb == "NOOP") {
            reply("250 2.0.0 OK");
        } else if (verb == "VRFY") {
            reply("252 2.1.5 Cannot verify, but will accept anything");
        } else if (verb == "QUIT") {
            closeWith("221 2.0.0 Bye");
        } else {
            reply("500 5.5.2 Command not recognized");
        }
    }

    void dataLine(const QByteArray &line)
    {
        if (line == ".") {
            m_inData = false;
            finishMessage();
            return;
        }
        // Transparency: a line that begins with a dot had one more added.
        const QByteArray text = line.startsWith('.') ? line.mid(1) : line;
        if (m_data.size() + text.size() + 2 > m_catcher.limits().messageBytes) {
            closeWith("552 5.3.4 Message too big");
            return;
        }
        m_data += text + CrLf;
        m_idle.start();
    }

    void finishMessage()
    {
        CaughtMessage message;
        message.sender = m_sender;
        message.recipients = m_recipients;
        message.data = m_data;
        resetTransaction();
        QString reason;
        if (!m_catcher.store(message, &reason)) {
            reply("451 4.3.0 Could not store the message");
            Q_EMIT m_catcher.storeFailed(reason);
            return;
        }
        reply("250 2.0.0 OK, saved as " + QDir(m_catcher.folder()).relativeFilePath(message.filePath).toUtf8());
        Q_EMIT m_catcher.messageCaught(message);
    }

    static constexpr qsizetype MaxRecipients = 100;

    MailCatcher &m_catcher;
    QTcpSocket *m_socket;
    QTimer m_idle;
    QByteArray m_buffer;
    bool m_inData = false;
    bool m_closing = false;
    QByteArray m_sender;
    QList<QByteArray> m_recipients;
    QByteArray m_data;
};

QStringList CaughtMessage::describe(int maxBodyLines) const
{
    QStringList lines;
    QStringList to;
    for (const QByteArray &recipient : recipients)
        to << printable(recipient);
    lines << QStringLiteral("mail %1: to %2, from %3")
                 .arg(QFileInfo(filePath).fileName(),
                      to.isEmpty() ? QStringLiteral("(nobody)") : to.join(QStringLiteral(", ")),
                      sender.isEmpty() ? QStringLiteral("(nobody)") : printable(sender));

    // The header block ends at the first empty line; headers may be folded.
    qsizetype headEnd = data.startsWith(CrLf) ? 0 : data.indexOf("\r\n\r\n");
    const QByteArray head = headEnd < 0 ? data : data.left(headEnd);
    const QByteArray body = headEnd < 0 ? QByteArray() : data.mid(headEnd + (headEnd == 0 ? 2 : 4));
    QByteArray subject;
    bool inSubject = false;
    for (const QByteArray &line : head.split('\n')) {
        const QByteArray text = line.endsWith('\r') ? line.chopped(1) : line;
        if (inSubject && (text.startsWith(' ') || text.startsWith('\t'))) {
            subject += text;
            continue;
        }
        inSubject = text.toLower().startsWith("subject:");
        if (inSubject)
            subject = text.mid(8).trimmed();
    }
    lines << QStringLiteral("  Subject: ") + printable(subject);
    QList<QByteArray> bodyLines = body.split('\n');
    // A body that ends with a line end leaves one empty piece behind.
    if (body.endsWith('\n'))
        bodyLines.removeLast();
    for (qsizetype i = 0; i < bodyLines.size() && i < maxBodyLines; ++i) {
        const QByteArray &line = bodyLines[i];
        lines << QStringLiteral("  | ") + printable(line.endsWith('\r') ? line.chopped(1) : line);
    }
    if (bodyLines.size() > maxBodyLines)
        lines << QStringLiteral("  | ... %1 more lines in %2").arg(bodyLines.size() - maxBodyLines).arg(QFileInfo(filePath).fileName());
    return lines;
}

MailCatcher::MailCatcher(QString folder, QObject *parent)
    : QObject(parent)
    , m_folder(std::move(folder))
{
    connect(&m_server, &QTcpServer::newConnection, this, &MailCatcher::onNewConnection);
}

bool MailCatcher::prepareFolder()
{
    QDir dir(m_folder);
    if (!dir.mkpath(QStringLiteral("."))) {
        m_error = QStringLiteral("cannot create the mail folder %1").arg(m_folder);
        return false;
    }
    m_folder = dir.absolutePath();
    static const QRegularExpression numbered(QStringLiteral("^(\\d{4,9})\\.eml$"));
    int highest = 0;
    for (const QString &name : dir.entryList({QStringLiteral("*.eml")}, QDir::Files | QDir::System | QDir::Hidden)) {
        const QRegularExpressionMatch match = numbered.match(name);
        if (match.hasMatch())
            highest = std::max(highest, match.captured(1).toInt());
    }
    m_nextNumber = highest + 1;
    return true;
}

bool MailCatcher::listen(quint16 port)
{
    if (m_server.listen(QHostAddress::LocalHost, port))
        return true;
    m_error = m_server.errorString();
    return false;
}

void MailCatcher::onNewConnection()
{
    while (QTcpSocket *socket = m_server.nextPendingConnection()) {
        connect(socket, &QTcpSocket::disconnected, socket, &QObject::deleteLater);
        new SmtpSession(*this, socket);
    }
}

bool MailCatcher::store(CaughtMessage &message, QString *reason)
{
    QDir dir(m_folder);
    // Never overwrite: a file that appeared since start-up keeps its number.
    QString path;
    do {
        path = dir.filePath(QStringLiteral("%1.eml").arg(m_nextNumber++, 4, 10, QLatin1Char('0')));
    } while (QFileInfo::exists(path));

    // Written whole or not at all.
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly) || file.write(message.data) != message.data.size() || !file.commit()) {
        *reason = QStringLiteral("cannot write %1: %2").arg(path, file.errorString());
        return false;
    }
    message.number = m_nextNumber - 1;
    message.filePath = path;
    return true;
}
