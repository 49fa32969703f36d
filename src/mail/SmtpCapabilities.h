#pragma once

#include <QString>
#include <QStringList>

// What a server offers in its reply to EHLO: one extension per line after
// the first ("250-STARTTLS", "250 AUTH PLAIN LOGIN").
class SmtpCapabilities
{
public:
    enum class SignIn { None, Plain, Login };

    SmtpCapabilities() = default;
    explicit SmtpCapabilities(const QString &ehloReply);

    bool offersStartTls() const { return offers(QStringLiteral("STARTTLS")); }
    bool offers(const QString &keyword) const;
    // The mechanisms after AUTH (also the old "AUTH=" spelling), upper case.
    QStringList authMechanisms() const { return m_authMechanisms; }
    // PLAIN when offered (one round trip), else LOGIN, else none.
    SignIn preferredSignIn() const;
    // The extension lines as the server wrote them, for messages.
    QStringList extensions() const { return m_extensions; }

private:
    QStringList m_extensions;
    QStringList m_authMechanisms;
};
