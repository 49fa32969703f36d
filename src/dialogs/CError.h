#pragma once

#include <QString>

class FError;

// Opens report windows: each report gets a window of its own, shown at once
// without waiting for it, and deleted when the user closes it.
class CError
{
public:
    // Gives back the window, which owns itself from here on.
    FError *ShowError(const QString &sReport);
};
