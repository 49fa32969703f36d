#include "mail/SessionResult.h"

namespace {

// A reply of one or more lines quoted on one line.
QString quoted(const QString &reply)
{
    QStringList lines = reply.split(QStringLiteral("\r\n"), Qt::SkipEmptyParts);
    for (QString &line : lines)
        line = line.trimmed();
    return lines.join(u' ');
}

QString waitingFor(SmtpStep step)
{
    switch (step) {
    case SmtpStep::Connection: return QStringLiteral("the connection");
    case SmtpStep::TlsHandshake: return QStringLiteral("the TLS handshake");
    case SmtpStep::Greeting: return QStringLiteral("the greeting");
    case SmtpStep::Helo: return QStringLiteral("the reply to HELO");
    case SmtpStep::Ehlo: return QStringLiteral("the reply to EHLO");
    case SmtpStep::StartTls: return QStringLiteral("the reply to STARTTLS");
    case SmtpStep::SignIn: return QStringLiteral("the reply to AUTH");
    case SmtpStep::MailFrom: return QStringLiteral("the reply to MAIL FROM");
    case SmtpStep::RcptTo: return QStringLiteral("the reply to RCPT TO");
    case SmtpStep::Data: return QStringLiteral("the reply to DATA");
    case SmtpStep::Message: return QStringLiteral("the reply to the message");
    }
    return {};
}

// What a refusal at each step turned away.
QString refusedThing(SmtpStep step)
{
    switch (step) {
    case SmtpStep::Greeting: return QStringLiteral("the connection");
    case SmtpStep::Helo: return QStringLiteral("the greeting HELO");
    case SmtpStep::Ehlo: return QStringLiteral("the greeting EHLO");
    case SmtpStep::StartTls: return QStringLiteral("STARTTLS");
    case SmtpStep::SignIn: return QStringLiteral("the sign-in");
    case SmtpStep::MailFrom: return QStringLiteral("the sender address");
    case SmtpStep::RcptTo: return QStringLiteral("the recipient address");
    case SmtpStep::Data:
    case SmtpStep::Message: return QStringLiteral("the message");
    default: return QStringLiteral("the session");
    }
}

QString duration(int ms)
{
    if (ms == 1000)
        return QStringLiteral("1 second");
    return QString::number(ms / 1000.0) + QStringLiteral(" seconds");
}

} // namespace

QString SessionResult::verdict() const
{
    const QString where = server + QStringLiteral(" port ") + QString::number(port);
    const QString reason = QStringLiteral(" (") + quoted(reply) + u')';
    // The usual mix-up: TLS from the first byte on a STARTTLS port, or the
    // other way round.
    QString portHint;
    if (security == SmtpSecurity::Tls && port != 465
        && (step == SmtpStep::TlsHandshake || step == SmtpStep::Connection))
        portHint = QStringLiteral(": port ") + QString::number(port)
            + QStringLiteral(" may not speak TLS from the first byte; choose STARTTLS there (usually port 587)");
    else if (security != SmtpSecurity::Tls && port == 465 && step == SmtpStep::Greeting)
        portHint = QStringLiteral(": port 465 usually expects TLS from the first byte; choose TLS");

    switch (failure) {
    case SessionFailure::None:
        return QStringLiteral("The server accepted the message");
    case SessionFailure::Refused:
        if (step == SmtpStep::MailFrom && replyCode == 530)
            return QStringLiteral("The server requires sign-in") + reason
                + (security == SmtpSecurity::None
                       ? QStringLiteral(": choose STARTTLS or TLS and enter a user name and password")
                       : QStringLiteral(": enter a user name and password"));
        if (replyCode >= 500 && replyCode <= 599)
            return QStringLiteral("The server refused ") + refusedThing(step) + reason;
        if (replyCode >= 400 && replyCode <= 499)
            return QStringLiteral("The server turned ") + refusedThing(step) + QStringLiteral(" away for now")
                + reason + QStringLiteral(": try again later");
        return QStringLiteral("The server gave an unexpected answer while Zorvane waited for ") + waitingFor(step)
            + reason;
    case SessionFailure::SignInRefused:
        if (replyCode >= 400 && replyCode <= 499)
            return QStringLiteral("The server could not check the sign-in for now") + reason
                + QStringLiteral(": try again later");
        return QStringLiteral("The server refused the sign-in") + reason
            + QStringLiteral(": check the user name and password");
    case SessionFailure::TimedOut:
        if (step == SmtpStep::Connection)
            return QStringLiteral("No connection to ") + where + QStringLiteral(" within ") + duration(timeoutMs);
        return QStringLiteral("No answer from the server within ") + duration(timeoutMs) + QStringLiteral(" (waiting for ")
            + waitingFor(step) + u')' + portHint;
    case SessionFailure::ConnectionFailed:
        if (step == SmtpStep::Connection)
            return QStringLiteral("Could not connect to ") + where + QStringLiteral(": ") + detail;
        return QStringLiteral("The connection to ") + where + QStringLiteral(" failed while waiting for ")
            + waitingFor(step) + QStringLiteral(": ") + detail;
    case SessionFailure::ClosedByServer:
        return QStringLiteral("The server closed the connection while Zorvane waited for ") + waitingFor(step) + portHint;
    case SessionFailure::CertificateNotTrusted:
        return QStringLiteral("The server's certificate is not trusted: ") + certificateErrors.join(QStringLiteral("; "))
            + QStringLiteral(" (certificate ") + certificateSubject + QStringLiteral(", fingerprint SHA-256 ")
            + certificateFingerprint + u')';
    case SessionFailure::TlsFailed:
        return QStringLiteral("The secure connection to ") + where + QStringLiteral(" failed: ") + detail + portHint;
    case SessionFailure::NoStartTls:
        return QStringLiteral("The server does not offer STARTTLS (its reply to EHLO lists ")
            + (detail.isEmpty() ? QStringLiteral("no extensions") : QStringLiteral("only: ") + detail)
            + QStringLiteral("); nothing was sent unencrypted: choose TLS if the server has a TLS port (usually 465)");
    case SessionFailure::NoSignInMethod:
        if (detail.isEmpty())
            return QStringLiteral("The server does not offer sign-in (no AUTH in its reply to EHLO): "
                                  "leave the user name empty if it needs none");
        return QStringLiteral("The server offers no sign-in method Zorvane knows (it offers ") + detail
            + QStringLiteral("; Zorvane signs in with PLAIN or LOGIN)");
    case SessionFailure::SignInNeedsEncryption:
        return QStringLiteral("A user name is set but the connection would not be encrypted: choose STARTTLS or TLS "
                              "(Zorvane never sends a password in clear)");
    case SessionFailure::BadCertificateFile:
        return QStringLiteral("The trusted certificates file ") + detail;
    case SessionFailure::OverlongReply:
        return QStringLiteral("The server sent a reply longer than 64 KB while Zorvane waited for ") + waitingFor(step);
    }
    return {};
}
