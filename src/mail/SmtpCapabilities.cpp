#include "mail/SmtpCapabilities.h"

#include <QRegularExpression>

SmtpCapabilities::SmtpCapabilities(const QString &ehloReply)
{
    const QStringList lines = ehloReply.split(QStringLiteral("\r\n"), Qt::SkipEmptyParts);
    // The first line names the server; each later one is "250-" or "250 "
    // and one extension.
    for (qsizetype i = 1; i < lines.size(); ++i) {
        const QString extension = lines.at(i).mid(4).trimmed();
        if (extension.isEmpty())
            continue;
        m_extensions << extension;
        static const QRegularExpression auth(QStringLiteral("^AUTH[ =](.*)$"),
                                             QRegularExpression::CaseInsensitiveOption);
        const QRegularExpressionMatch match = auth.match(extension);
        if (!match.hasMatch())
            continue;
        for (const QString &mechanism : match.captured(1).split(u' ', Qt::SkipEmptyParts)) {
            if (!m_authMechanisms.contains(mechanism.toUpper()))
                m_authMechanisms << mechanism.toUpper();
        }
    }
}

bool SmtpCapabilities::offers(const QString &keyword) const
{
    for (const QString &extension : m_extensions) {
        if (extension.section(u' ', 0, 0).compare(keyword, Qt::CaseInsensitive) == 0)
            return true;
    }
    return false;
}

SmtpCapabilities::SignIn SmtpCapabilities::preferredSignIn() const
{
    if (m_authMechanisms.contains(QStringLiteral("PLAIN")))
        return SignIn::Plain;
    if (m_authMechanisms.contains(QStringLiteral("LOGIN")))
        return SignIn::Login;
    return SignIn::None;
}
