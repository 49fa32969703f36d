#pragma once

#include <QStringList>

#include <optional>

// Reads saved pages, each decoded the way the program decodes a fetched
// page. Gives nothing (after a message on standard error) when a file
// cannot be read, so that a command prints nothing from a partial set.
std::optional<QStringList> readPageFiles(const QStringList &fileNames, const QString &command);
