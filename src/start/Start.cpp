#include "Start.h"

#include <QApplication>

int Start::Main(int argc, char *argv[])
{
    QApplication application(argc, argv);
    QApplication::setOrganizationName(QStringLiteral("Zorvane"));
    QApplication::setApplicationName(QStringLiteral("Zorvane"));
    return 0;
}
