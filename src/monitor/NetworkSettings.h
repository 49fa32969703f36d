#pragma once

#include <QString>

class QSettings;

// The addresses the program talks to, and the SMTP port. Each has a
// built-in default and can be overridden in the "Network" section of the
// settings store (keys ListingHost, ItemHost, ClickThroughPrefix, MakerHost,
// SmtpPort, TrustedCertificates), read once at load.
struct NetworkSettings
{
    QString listingHost = QStringLiteral("https://cgi6.ebay.com/");   // seller listing pages
    QString itemHost = QStringLiteral("https://cgi.ebay.com/");       // item links in alerts
    QString clickThroughPrefix = QStringLiteral("https://www.pellridge.com/go?loc=");
    QString makerHost = QStringLiteral("https://www.pellridge.com/"); // version service, first-run page
    quint16 smtpPort = 25;
    // TrustedCertificates: a PEM file of certificates trusted besides the
    // system's, for a mail server with a certificate of its own.
    QString trustedCertificates;

    // Reads the "Network" section; missing or unusable values keep their
    // defaults. Host addresses always end in "/".
    static NetworkSettings load(QSettings &settings);
};
