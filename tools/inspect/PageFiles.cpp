#include "PageFiles.h"

#include "JsonLines.h"

#include "base/PageText.h"

#include <QFile>

std::optional<QStringList> readPageFiles(const QStringList &fileNames, const QString &command)
{
    QStringList pages;
    for (const QString &name : fileNames) {
        QFile file(name);
        if (!file.open(QIODevice::ReadOnly)) {
            usageError(QStringLiteral("%1: cannot read %2: %3").arg(command, name, file.errorString()));
            return std::nullopt;
        }
        const QByteArray bytes = file.readAll();
        if (file.error() != QFileDevice::NoError) {
            usageError(QStringLiteral("%1: cannot read %2: %3").arg(command, name, file.errorString()));
            return std::nullopt;
        }
        pages << PageText::fromBytes(bytes);
    }
    return pages;
}
