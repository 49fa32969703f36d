// zorvane-inspect sendmail: runs one real mail session the way the alert
// sender does and prints each event of it as one JSON line, in order.

#include "Commands.h"
#include "JsonLines.h"

#include "mail/CEmail.h"
#include "base/PageText.h"

#include <QCommandLineParser>
#include <QCoreApplication>
#include <QFile>
#include <QJsonObject>
#include <QTimer>

namespace {

const char SendMailUsage[] =
    "usage: zorvane-inspect sendmail --server HOST [--port N] [--security none|starttls|tls]\n"
    "       [--user NAME --password-file FILE] [--ca-file PEM] --from ADDR --to ADDR\n"
    "       --subject TEXT --body-file FILE\n"
    "  --port defaults to 25, 587 or 465 by --security (default none); the password is the\n"
    "  first line of FILE; --ca-file adds trusted CA certificates to the system's.";

QString kindName(CEmail::LineKind kind)
{
    switch (kind) {
    case CEmail::LineKind::Sent: return QStringLiteral("client");
    case CEmail::LineKind::Received: return QStringLiteral("server");
    case CEmail::LineKind::Tls: return QStringLiteral("tls");
    }
    return {};
}

QString outcomeName(SessionOutcome outcome)
{
    switch (outcome) {
    case SessionOutcome::Accepted: return QStringLiteral("Accepted");
    case SessionOutcome::RefusedPermanently: return QStringLiteral("RefusedPermanently");
    case SessionOutcome::FailedTemporarily: return QStringLiteral("FailedTemporarily");
    }
    return {};
}

} // namespace

int InspectCommands::runSendMail(const QStringList &args)
{
    QCommandLineParser parser;
    const QCommandLineOption server(QStringLiteral("server"), QString(), QStringLiteral("HOST"));
    const QCommandLineOption port(QStringLiteral("port"), QString(), QStringLiteral("N"));
    const QCommandLineOption security(QStringLiteral("security"), QString(), QStringLiteral("MODE"));
    const QCommandLineOption user(QStringLiteral("user"), QString(), QStringLiteral("NAME"));
    const QCommandLineOption passwordFile(QStringLiteral("password-file"), QString(), QStringLiteral("FILE"));
    const QCommandLineOption caFile(QStringLiteral("ca-file"), QString(), QStringLiteral("PEM"));
    const QCommandLineOption from(QStringLiteral("from"), QString(), QStringLiteral("ADDR"));
    const QCommandLineOption to(QStringLiteral("to"), QString(), QStringLiteral("ADDR"));
    const QCommandLineOption subject(QStringLiteral("subject"), QString(), QStringLiteral("TEXT"));
    const QCommandLineOption bodyFile(QStringLiteral("body-file"), QString(), QStringLiteral("FILE"));
    parser.addOptions({server, port, security, user, passwordFile, caFile, from, to, subject, bodyFile});
    const auto usage = [](const QString &problem) {
        return usageError(problem + u'\n' + QLatin1String(SendMailUsage));
    };
    if (!parser.parse(QStringList{QStringLiteral("sendmail")} + args))
        return usage(parser.errorText());
    if (!parser.positionalArguments().isEmpty())
        return usage(QStringLiteral("unexpected argument ") + parser.positionalArguments().first());
    for (const QCommandLineOption *option : {&server, &from, &to, &subject, &bodyFile}) {
        if (!parser.isSet(*option))
            return usage(QStringLiteral("missing --") + option->names().first());
    }

    SmtpSettings settings;
    settings.server = parser.value(server);
    if (settings.server.isEmpty())
        return usageError(QStringLiteral("--server is empty"));
    if (parser.isSet(security)) {
        const std::optional<SmtpSecurity> chosen = SmtpSettings::parseSecurity(parser.value(security));
        if (!chosen)
            return usageError(QStringLiteral("--security must be none, starttls or tls"));
        settings.security = *chosen;
    }
    settings.port = SmtpSettings::defaultPort(settings.security);
    if (parser.isSet(port)) {
        bool bPortOk = false;
        const uint iPort = parser.value(port).toUInt(&bPortOk, 10);
        if (!bPortOk || iPort == 0 || iPort > 65535)
            return usageError(QStringLiteral("--port must be a number from 1 to 65535"));
        settings.port = quint16(iPort);
    }
    settings.user = parser.value(user);
    if (parser.isSet(passwordFile) != parser.isSet(user))
        return usageError(QStringLiteral("--user and --password-file go together"));
    if (parser.isSet(passwordFile)) {
        QFile file(parser.value(passwordFile));
        if (!file.open(QIODevice::ReadOnly))
            return usageError(QStringLiteral("cannot read ") + file.fileName() + QStringLiteral(": ")
                              + file.errorString());
        settings.password = QString::fromUtf8(file.readLine()).remove(u'\r').remove(u'\n');
    }
    settings.trustedCertificatesFile = parser.value(caFile);

    QFile file(parser.value(bodyFile));
    if (!file.open(QIODevice::ReadOnly))
        return usageError(QStringLiteral("cannot read ") + file.fileName() + QStringLiteral(": ")
                          + file.errorString());
    const QString sBody = PageText::fromBytes(file.readAll());
    file.close();

    CEmail email;
    QObject::connect(&email, &CEmail::WinsockMessage, [](const QString &sMessage) {
        printJsonLine({{QStringLiteral("event"), QStringLiteral("WinsockMessage")},
                       {QStringLiteral("text"), sMessage}});
    });
    QObject::connect(&email, &CEmail::OnErrorMessage, [](const QString &sMessage) {
        printJsonLine({{QStringLiteral("event"), QStringLiteral("OnErrorMessage")},
                       {QStringLiteral("text"), sMessage}});
    });
    QObject::connect(&email, &CEmail::dialogueLine, [](CEmail::LineKind kind, const QString &sLine) {
        printJsonLine({{QStringLiteral("event"), QStringLiteral("Dialogue")},
                       {QStringLiteral("from"), kindName(kind)},
                       {QStringLiteral("text"), sLine}});
    });
    QObject::connect(&email, &CEmail::OnWinsockConnectionClosed, [&email] {
        printJsonLine({{QStringLiteral("event"), QStringLiteral("OnWinsockConnectionClosed")}});
        // A time-out raises its status text just after the closed event:
        // end once the session's handler has finished.
        QTimer::singleShot(0, &email, [&email] {
            const SessionResult &result = email.result();
            printJsonLine({{QStringLiteral("event"), QStringLiteral("Result")},
                           {QStringLiteral("outcome"), outcomeName(result.outcome)},
                           {QStringLiteral("verdict"), result.verdict()}});
            QCoreApplication::exit(result.outcome == SessionOutcome::Accepted ? 0 : 1);
        });
    });

    const QString sFrom = parser.value(from);
    const QString sTo = parser.value(to);
    const QString sSubject = parser.value(subject);
    QTimer::singleShot(0, &email, [&] { email.SendMail(settings, sTo, sFrom, sSubject, sBody); });
    return QCoreApplication::exec();
}
