#include "Commands.h"
#include "JsonLines.h"

#include <QCoreApplication>

#include <functional>
#include <map>

namespace {

const std::map<QString, std::function<int(const QStringList &)>> &commands()
{
    static const std::map<QString, std::function<int(const QStringList &)>> table = {
        {QStringLiteral("fetch"), InspectCommands::runFetch},
        {QStringLiteral("sendmail"), InspectCommands::runSendMail},
        {QStringLiteral("listing"), InspectCommands::runListing},
        {QStringLiteral("compare"), InspectCommands::runCompare},
    };
    return table;
}

QString usage()
{
    QString text = QStringLiteral("usage: zorvane-inspect COMMAND ARGS...\ncommands:");
    for (const auto &entry : commands())
        text += u' ' + entry.first;
    return text;
}

} // namespace

int main(int argc, char *argv[])
{
    QCoreApplication application(argc, argv);
    QStringList arguments = QCoreApplication::arguments().mid(1);
    if (arguments.isEmpty())
        return usageError(usage());
    const auto command = commands().find(arguments.takeFirst());
    if (command == commands().end())
        return usageError(usage());
    return command->second(arguments);
}
