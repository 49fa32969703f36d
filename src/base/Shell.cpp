#include "Shell.h"

#include "base/MessageBoxes.h"

#include <QRegularExpression>

namespace {

Shell::Handler &currentHandler()
{
    static Shell::Handler handler;
    return handler;
}

bool isOpenable(const QUrl &url)
{
    static const QStringList schemes{QStringLiteral("http"), QStringLiteral("https"), QStringLiteral("mailto"),
                                     QStringLiteral("file")};
    return url.isValid() && schemes.contains(url.scheme().toLower());
}

} // namespace

QUrl Shell::addressOf(const QString &address)
{
    const QString trimmed = address.trimmed();
    if (trimmed.isEmpty())
        return {};
    // A scheme is letters, digits, "+", "-" and "." before the first ":";
    // "www.example.com:8080/x" has none (a port is no scheme), so the host
    // test below decides.
    static const QRegularExpression withScheme(QStringLiteral("^[A-Za-z][A-Za-z0-9+.-]*:(?!\\d)"));
    if (withScheme.match(trimmed).hasMatch())
        return QUrl(trimmed, QUrl::TolerantMode);
    return QUrl(QStringLiteral("http://") + trimmed, QUrl::TolerantMode);
}

bool Shell::open(const QString &address)
{
    if (address.trimmed().isEmpty())
        return false; // nothing to open
    const QUrl url = addressOf(address);
    const bool opened = isOpenable(url) && currentHandler() && currentHandler()(url);
    if (!opened)
        MessageBoxes::show({QStringLiteral("Zorvane"),
                            QStringLiteral("Zorvane could not open this address:") + QStringLiteral("\r\n")
                                + address,
                            MessageButtons::Ok, MessageIcon::Warning});
    return opened;
}

Shell::Handler Shell::setHandler(Handler handler)
{
    std::swap(currentHandler(), handler);
    return handler;
}
