#pragma once

#include <QJsonObject>

// Prints one JSON object as one line on standard output and flushes, so a
// reader sees each event as soon as it happens.
void printJsonLine(const QJsonObject &object);

// Prints one line built by hand (for keys in an order of our own, which a
// QJsonObject would sort) on standard output, UTF-8, and flushes.
void printLine(const QString &line);

// A text as a JSON string literal, quotes included.
QString jsonString(const QString &text);
QString jsonBool(bool value);

// Prints a usage or argument error to standard error; gives back status 2.
int usageError(const QString &message);
