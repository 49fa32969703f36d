#pragma once

#include "mail/SmtpSettings.h"

#include <QString>
#include <QStringList>

// How one session ended, for whoever keeps the message: Accepted only when
// the server took the message (250 to the end of data); RefusedPermanently
// when it answered with a 5xx code (sending the same again gets the same
// answer); FailedTemporarily for everything else: 4xx, time-out, connection,
// TLS, and the settings problems found before anything was sent.
enum class SessionOutcome { Accepted, RefusedPermanently, FailedTemporarily };

// What the session was waiting for when it ended.
enum class SmtpStep { Connection, TlsHandshake, Greeting, Helo, Ehlo, StartTls, SignIn, MailFrom, RcptTo, Data, Message };

// Why a session did not end with the message accepted.
enum class SessionFailure {
    None,
    Refused,               // a reply with another code than the step expects
    SignInRefused,         // the reply to a sign-in step
    TimedOut,
    ConnectionFailed,      // the socket failed (detail says how)
    ClosedByServer,        // closed or reset before the awaited reply
    CertificateNotTrusted, // the certificate did not verify
    TlsFailed,             // the handshake failed otherwise (detail says how)
    NoStartTls,            // STARTTLS chosen, not offered (detail: what was)
    NoSignInMethod,        // a user name set, no PLAIN or LOGIN offered
    SignInNeedsEncryption, // a user name set with no encryption chosen
    BadCertificateFile,    // the trusted-certificates file is unusable
    OverlongReply,
};

struct SessionResult
{
    SessionOutcome outcome = SessionOutcome::FailedTemporarily;
    SessionFailure failure = SessionFailure::None;
    QString server;
    quint16 port = 0;
    SmtpSecurity security = SmtpSecurity::None;
    SmtpStep step = SmtpStep::Connection;
    // The last reply as received (sign-in secrets masked) and its code.
    QString reply;
    int replyCode = 0;
    // The socket's or TLS layer's words, the extensions the server offers,
    // or what is wrong with the certificates file.
    QString detail;
    // For a certificate that did not verify: why, and which one.
    QStringList certificateErrors;
    QString certificateSubject;
    QString certificateFingerprint; // SHA-256, "AB:CD:..."
    int timeoutMs = 0;

    // The result in plain words, for the user trying the settings.
    QString verdict() const;
};
