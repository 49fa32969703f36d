#include "JsonLines.h"

#include <QJsonDocument>

#include <cstdio>

void printJsonLine(const QJsonObject &object)
{
    const QByteArray line = QJsonDocument(object).toJson(QJsonDocument::Compact) + '\n';
    std::fwrite(line.constData(), 1, size_t(line.size()), stdout);
    std::fflush(stdout);
}

int usageError(const QString &message)
{
    const QByteArray line = "zorvane-inspect: " + message.toLocal8Bit() + '\n';
    std::fwrite(line.constData(), 1, size_t(line.size()), stderr);
    return 2;
}
