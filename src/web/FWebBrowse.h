#pragma once

#include <QString>

// Opens an address in the user's default browser. What the desktop makes of
// it is not examined and nothing is reported.
class FWebBrowse
{
public:
    static void OpenInBrowser(QString URL);
};
