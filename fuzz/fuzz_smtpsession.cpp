// One SMTP session of CEmail against arbitrary server bytes, without the
// network: FWinsock is given an in-memory socket that "connects" at once,
// hands over the server's bytes piece by piece and keeps what the client
// writes. The event loop runs only through posted events, and a session still
// open when the script ends is ended by its time-out timer's event, so every
// input finishes deterministically.
//
// Input: optional message part, a form feed, then the server script. The
// message part's first three lines are To, From and Subject, the rest is the
// body. The script is split at 0x1E into pieces delivered one at a time; a
// piece starting with 0x1C makes the connection fail, one starting with 0x1D
// is the server closing (or resetting) the connection.
//
// Invariants: exactly one OnWinsockConnectionClosed per session; no error
// event exactly when the server accepted all six steps; while the session
// waits for a reply its time-out timer runs; the client's bytes are exactly
// the commands a plain model of the dialogue calls for, in order; and in the
// DATA phase nothing the body holds can end the message early: the first
// CR LF "." CR LF after DATA is the terminator, no line break is bare, and
// taking the extra dots off gives the body back.

#include "FuzzSupport.h"

#include "mail/CEmail.h"
#include "mail/FWinsock.h"

#include <QHostInfo>
#include <QPointer>
#include <QRegularExpression>
#include <QTcpSocket>

namespace {

// A connected socket whose peer is the fuzz script.
class ScriptSocket : public QTcpSocket
{
public:
    using QTcpSocket::QTcpSocket;
    using QTcpSocket::connectToHost;

    QByteArray *wire = nullptr; // what the client wrote, kept beyond the socket

    void connectToHost(const QString &, quint16, OpenMode mode, NetworkLayerProtocol) override
    {
        setOpenMode(mode | QIODevice::Unbuffered);
        setSocketState(ConnectedState);
        Q_EMIT connected();
    }

    void deliver(const QByteArray &bytes)
    {
        m_inbound += bytes;
        Q_EMIT readyRead();
    }

    // The connection refused, or the server closing it (then it is also disconnected).
    void end(SocketError error)
    {
        setSocketError(error);
        setSocketState(UnconnectedState);
        Q_EMIT errorOccurred(error);
        if (error == RemoteHostClosedError)
            Q_EMIT disconnected();
    }

    qint64 bytesAvailable() const override { return m_inbound.size() + QIODevice::bytesAvailable(); }

    void close() override
    {
        setSocketState(UnconnectedState);
        QIODevice::close();
    }
    void disconnectFromHost() override { close(); }

protected:
    qint64 readData(char *data, qint64 maxSize) override
    {
        const qint64 n = qMin<qint64>(maxSize, m_inbound.size());
        memcpy(data, m_inbound.constData(), size_t(n));
        m_inbound.remove(0, qsizetype(n));
        return n;
    }
    qint64 writeData(const char *data, qint64 size) override
    {
        wire->append(data, qsizetype(size));
        return size;
    }

private:
    QByteArray m_inbound;
};

QByteArray wire;
QPointer<ScriptSocket> current;

void runPosted()
{
    QCoreApplication::sendPostedEvents();
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
}

// A reply is taken once it ends with CR LF and its last line is no
// continuation line ("250-").
bool replyComplete(const QString &text)
{
    static const QRegularExpression continuation(QStringLiteral("^[0-9]{3}-"));
    if (!text.endsWith(QLatin1String("\r\n")))
        return false;
    const QStringList lines = text.split(QLatin1String("\r\n"));
    return !continuation.match(lines.at(lines.size() - 2)).hasMatch();
}

// Checks the DATA phase as it went on the wire: message text plus terminator.
void checkDataPhase(const QByteArray &sent, const QString &body)
{
    // DATA's own CR LF comes right before the message.
    const QByteArray phase = "\r\n" + sent;
    FUZZ_CHECK(sent.endsWith("\r\n.\r\n") && phase.indexOf("\r\n.\r\n") == phase.size() - 5,
               QStringLiteral("the message ends early"));
    FUZZ_CHECK(sent.count('\r') == sent.count("\r\n") && sent.count('\n') == sent.count("\r\n"),
               QStringLiteral("a bare line break"));
    const QString message = PageText::fromBytes(sent.chopped(5));
    const qsizetype headerEnd = message.indexOf(QLatin1String("\r\n\r\n"));
    FUZZ_CHECK(headerEnd >= 0, QStringLiteral("no header end"));
    QStringList lines = message.mid(headerEnd + 4).split(QLatin1String("\r\n"));
    for (QString &line : lines) {
        FUZZ_CHECK(!line.startsWith(u'.') || line.startsWith(QLatin1String("..")), line.left(100));
        if (line.startsWith(u'.'))
            line.remove(0, 1);
    }
    QString expected = body;
    expected.replace(QLatin1String("\r\n"), QLatin1String("\n")).replace(u'\r', u'\n');
    FUZZ_CHECK(lines.join(u'\n') == expected, QStringLiteral("body changed"));
}

} // namespace

extern "C" int LLVMFuzzerInitialize(int *argc, char ***argv)
{
    static QCoreApplication app(*argc, *argv);
    FWinsock::setSocketFactory([](QObject *parent) -> QTcpSocket * {
        auto *socket = new ScriptSocket(parent);
        socket->wire = &wire;
        current = socket;
        return socket;
    });
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    const QString input = Fuzz::text(data, size);
    const qsizetype split = input.indexOf(u'\f');
    const QStringList message = split >= 0 ? input.left(split).split(u'\n') : QStringList();
    const QString to = split >= 0 ? message.value(0) : QStringLiteral("alerts@example.com");
    const QString from = split >= 0 ? message.value(1) : QStringLiteral("zorvane@example.com");
    const QString subject = split >= 0 ? message.value(2) : QStringLiteral("Zorvane alert");
    const QString body = split >= 0 ? message.mid(3).join(u'\n') : QStringLiteral("Item 1234567 has a new bid.");
    const QString script = input.mid(split + 1);

    // What the client sends after each accepted reply, and the reply each step awaits.
    const QStringList steps = {
        QStringLiteral("HELO ") + QHostInfo::localHostName() + QStringLiteral("\r\n"),
        QStringLiteral("MAIL FROM:<") + QString(from).remove(u'\r').remove(u'\n') + QStringLiteral(">\r\n"),
        QStringLiteral("RCPT TO:<") + QString(to).remove(u'\r').remove(u'\n') + QStringLiteral(">\r\n"),
        QStringLiteral("DATA\r\n"),
        CEmail::MessageText(to, from, subject, body) + QStringLiteral("\r\n.\r\n"),
        QStringLiteral("QUIT\r\n"),
    };
    const int codes[] = {220, 250, 250, 250, 354, 250};
    // Leading zeros of a reply code do not count.
    static const QRegularExpression code(QStringLiteral("^0*([0-9]*)"));

    wire.clear();
    current = nullptr;
    int closed = 0;
    QStringList errors;
    {
        CEmail email;
        QObject::connect(&email, &CEmail::OnWinsockConnectionClosed, [&closed] { ++closed; });
        QObject::connect(&email, &CEmail::OnErrorMessage, [&errors](const QString &s) { errors << s; });
        email.SendMail(QStringLiteral("mail.example"), 25, to, from, subject, body);
        runPosted();
        FUZZ_CHECK(current, QStringLiteral("no connection attempt"));

        // The model of the dialogue runs beside the real one.
        int accepted = 0;
        bool modelEnded = false;
        QString pending;
        for (const QString &piece : script.split(QChar(0x1e))) {
            if (closed || modelEnded || !current)
                break;
            FUZZ_CHECK(email.IsSending(), QStringLiteral("sending ended without the closed event"));
            FUZZ_CHECK(email.frmWinsock()->TimerEnabled(), QStringLiteral("waiting without a time-out"));
            modelEnded = piece.startsWith(QChar(0x1c)) || piece.startsWith(QChar(0x1d));
            if (modelEnded) {
                // Gone before the awaited reply: the session ends at once.
                current->end(piece.startsWith(QChar(0x1c)) ? QAbstractSocket::ConnectionRefusedError
                                                           : QAbstractSocket::RemoteHostClosedError);
            } else {
                current->deliver(PageText::toBytes(piece));
                pending += piece;
                if (replyComplete(pending)) {
                    modelEnded = code.match(pending).captured(1) != QString::number(codes[accepted])
                                 || ++accepted == 6;
                    pending.clear();
                } else {
                    modelEnded = pending.size() > CEmail::ReplyLimit;
                }
            }
            runPosted();
            FUZZ_CHECK(closed == (modelEnded ? 1 : 0), QStringLiteral("closed %1 times").arg(closed));
        }
        if (!closed) {
            FUZZ_CHECK(email.frmWinsock()->TimerEnabled(), QStringLiteral("waiting without a time-out"));
            Q_EMIT email.frmWinsock()->OnTimerExpired();
            runPosted();
        }
        FUZZ_CHECK(closed == 1 && !email.IsSending(), QStringLiteral("closed %1 times").arg(closed));
        FUZZ_CHECK(errors.isEmpty() == (accepted == 6), errors.join(u'|').left(300));

        QByteArray expected;
        for (int i = 0; i < accepted; ++i)
            expected += PageText::toBytes(steps[i]);
        FUZZ_CHECK(wire == expected, QStringLiteral("wire differs after %1 accepted replies").arg(accepted));
        if (accepted >= 5)
            checkDataPhase(wire.mid(wire.indexOf("DATA\r\n") + 6, PageText::toBytes(steps[4]).size()), body);
    }
    runPosted();
    FUZZ_CHECK(!current, QStringLiteral("socket outlived its session"));
    return 0;
}
