// zorvane-inspect fetch URL: fetches one address the way the check cycle
// does and writes the page's own bytes to standard output.

#include "Commands.h"
#include "JsonLines.h"

#include "web/CWebConnection.h"
#include "base/PageText.h"

#include <QCoreApplication>
#include <QFile>
#include <QTimer>

#include <qcoro/qcorotask.h>

#include <cstdio>

int InspectCommands::runFetch(const QStringList &args)
{
    if (args.size() != 1)
        return usageError(QStringLiteral("usage: zorvane-inspect fetch URL"));

    CWebConnection connection;
    const QString address = args.first();
    // Started once the application's event loop runs; its outcome ends the loop.
    QTimer::singleShot(0, &connection, [&connection, address] {
        QCoro::connect(connection.GetWebPage(address), &connection, [](const QString &page) {
            if (page.isEmpty()) {
                std::fputs("fetch: no page (request failed, timed out or page empty)\n", stderr);
                QCoreApplication::exit(1);
                return;
            }
            QFile out;
            const QByteArray bytes = PageText::toBytes(page);
            if (!out.open(stdout, QIODevice::WriteOnly) || out.write(bytes) != bytes.size() || !out.flush()) {
                std::fputs("fetch: cannot write to standard output\n", stderr);
                QCoreApplication::exit(1);
                return;
            }
            QCoreApplication::exit(0);
        });
    });
    return QCoreApplication::exec();
}
