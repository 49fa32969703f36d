#include "FWebBrowse.h"

#include "desktop/Shell.h"

void FWebBrowse::OpenInBrowser(QString URL)
{
    Shell::open(URL);
}
