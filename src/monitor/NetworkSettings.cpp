#include "NetworkSettings.h"

#include <QSettings>

namespace {

void readHost(QSettings &settings, const QString &key, QString &host)
{
    QString value = settings.value(key).toString().trimmed();
    if (value.isEmpty())
        return;
    if (!value.endsWith(u'/'))
        value += u'/';
    host = value;
}

} // namespace

NetworkSettings NetworkSettings::load(QSettings &settings)
{
    NetworkSettings network;
    settings.beginGroup(QStringLiteral("Network"));
    readHost(settings, QStringLiteral("ListingHost"), network.listingHost);
    readHost(settings, QStringLiteral("ItemHost"), network.itemHost);
    readHost(settings, QStringLiteral("MakerHost"), network.makerHost);
    const QString prefix = settings.value(QStringLiteral("ClickThroughPrefix")).toString().trimmed();
    if (!prefix.isEmpty())
        network.clickThroughPrefix = prefix;
    bool isNumber = false;
    const uint port = settings.value(QStringLiteral("SmtpPort")).toString().toUInt(&isNumber);
    if (isNumber && port >= 1 && port <= 65535)
        network.smtpPort = quint16(port);
    network.trustedCertificates = settings.value(QStringLiteral("TrustedCertificates")).toString().trimmed();
    settings.endGroup();
    return network;
}
