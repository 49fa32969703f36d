#include "FWebBrowse.h"

#include "base/Shell.h"

void FWebBrowse::OpenInBrowser(QString URL)
{
    Shell::open(URL);
}
