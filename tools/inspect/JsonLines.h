#pragma once

#include <QJsonObject>

// Prints one JSON object as one line on standard output and flushes, so a
// reader sees each event as soon as it happens.
void printJsonLine(const QJsonObject &object);

// Prints a usage or argument error to standard error; gives back status 2.
int usageError(const QString &message);
