#pragma once

#include <QString>

#include <optional>

// How the connection to the SMTP server is protected: not at all (the
// program's original plain dialogue), STARTTLS on a plain connection, or TLS
// from the first byte.
enum class SmtpSecurity { None, StartTls, Tls };

// Everything one session needs to know about the server and the account.
struct SmtpSettings
{
    QString server;
    quint16 port = 25;
    SmtpSecurity security = SmtpSecurity::None;
    // Empty: no sign-in.
    QString user;
    QString password;
    // A PEM file of CA certificates trusted besides the system's; may be empty.
    QString trustedCertificatesFile;

    bool signsIn() const { return !user.isEmpty(); }

    // The port a provider usually has for each kind: 25, 587, 465.
    static quint16 defaultPort(SmtpSecurity security)
    {
        switch (security) {
        case SmtpSecurity::StartTls: return 587;
        case SmtpSecurity::Tls: return 465;
        case SmtpSecurity::None: break;
        }
        return 25;
    }

    // The spellings kept in the settings file: "None", "StartTLS", "TLS".
    static QString formatSecurity(SmtpSecurity security)
    {
        switch (security) {
        case SmtpSecurity::StartTls: return QStringLiteral("StartTLS");
        case SmtpSecurity::Tls: return QStringLiteral("TLS");
        case SmtpSecurity::None: break;
        }
        return QStringLiteral("None");
    }

    // Reads those spellings in any letter case, blanks around them ignored;
    // nothing for any other text.
    static std::optional<SmtpSecurity> parseSecurity(const QString &text)
    {
        for (SmtpSecurity security : {SmtpSecurity::None, SmtpSecurity::StartTls, SmtpSecurity::Tls}) {
            if (text.trimmed().compare(formatSecurity(security), Qt::CaseInsensitive) == 0)
                return security;
        }
        return std::nullopt;
    }
};
