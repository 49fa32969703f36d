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
    "usage: zorvane-inspect sendmail --server HOST --port N --from ADDR --to ADDR "
    "--subject TEXT --body-file FILE";

} // namespace

int InspectCommands::runSendMail(const QStringList &args)
{
    QCommandLineParser parser;
    const QCommandLineOption server(QStringLiteral("server"), QString(), QStringLiteral("HOST"));
    const QCommandLineOption port(QStringLiteral("port"), QString(), QStringLiteral("N"));
    const QCommandLineOption from(QStringLiteral("from"), QString(), QStringLiteral("ADDR"));
    const QCommandLineOption to(QStringLiteral("to"), QString(), QStringLiteral("ADDR"));
    const QCommandLineOption subject(QStringLiteral("subject"), QString(), QStringLiteral("TEXT"));
    const QCommandLineOption bodyFile(QStringLiteral("body-file"), QString(), QStringLiteral("FILE"));
    parser.addOptions({server, port, from, to, subject, bodyFile});
    if (!parser.parse(QStringList{QStringLiteral("sendmail")} + args))
        return usageError(parser.errorText() + u'\n' + QLatin1String(SendMailUsage));
    if (!parser.positionalArguments().isEmpty())
        return usageError(QStringLiteral("unexpected argument ") + parser.positionalArguments().first()
                          + u'\n' + QLatin1String(SendMailUsage));
    for (const QCommandLineOption *option : {&server, &port, &from, &to, &subject, &bodyFile}) {
        if (!parser.isSet(*option))
            return usageError(QStringLiteral("missing --") + option->names().first() + u'\n'
                              + QLatin1String(SendMailUsage));
    }
    if (parser.value(server).isEmpty())
        return usageError(QStringLiteral("--server is empty"));
    bool bPortOk = false;
    const uint iPort = parser.value(port).toUInt(&bPortOk, 10);
    if (!bPortOk || iPort == 0 || iPort > 65535)
        return usageError(QStringLiteral("--port must be a number from 1 to 65535"));

    QFile file(parser.value(bodyFile));
    if (!file.open(QIODevice::ReadOnly))
        return usageError(QStringLiteral("cannot read ") + file.fileName() + QStringLiteral(": ")
                          + file.errorString());
    const QString sBody = PageText::fromBytes(file.readAll());
    file.close();

    CEmail email;
    bool bSent = false;
    QObject::connect(&email, &CEmail::WinsockMessage, [&bSent](const QString &sMessage) {
        if (sMessage == QLatin1String("Message Sent"))
            bSent = true;
        printJsonLine({{QStringLiteral("event"), QStringLiteral("WinsockMessage")},
                       {QStringLiteral("text"), sMessage}});
    });
    QObject::connect(&email, &CEmail::OnErrorMessage, [](const QString &sMessage) {
        printJsonLine({{QStringLiteral("event"), QStringLiteral("OnErrorMessage")},
                       {QStringLiteral("text"), sMessage}});
    });
    QObject::connect(&email, &CEmail::OnWinsockConnectionClosed, [&email, &bSent] {
        printJsonLine({{QStringLiteral("event"), QStringLiteral("OnWinsockConnectionClosed")}});
        // A time-out raises its status text just after the closed event:
        // end once the session's handler has finished.
        QTimer::singleShot(0, &email, [&bSent] { QCoreApplication::exit(bSent ? 0 : 1); });
    });

    const QString sServer = parser.value(server);
    const QString sFrom = parser.value(from);
    const QString sTo = parser.value(to);
    const QString sSubject = parser.value(subject);
    QTimer::singleShot(0, &email, [&] {
        email.SendMail(sServer, int(iPort), sTo, sFrom, sSubject, sBody);
    });
    return QCoreApplication::exec();
}
