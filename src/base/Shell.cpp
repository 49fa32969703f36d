#include "Shell.h"

#include <QDesktopServices>
#include <QUrl>

bool Shell::open(const QString &address)
{
    const QUrl url(address, QUrl::TolerantMode);
    if (!url.isValid() || url.scheme().isEmpty())
        return false;
    return QDesktopServices::openUrl(url);
}
