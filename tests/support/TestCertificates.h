#pragma once

#include "SmtpServerProcess.h"

// A throw-away certificate authority and a server certificate it signed for
// localhost and 127.0.0.1, made for the test that needs them and gone with
// it: those a TLS mail server of the tests makes as it starts.
class TestCertificates
{
public:
    // False when they could not be made; errorText() says why.
    bool make() { return m_server.start(QStringList{QStringLiteral("tls")}); }

    QString caFile() const { return m_server.caFile(); }
    QString certificateFile() const { return QString(caFile()).replace(QStringLiteral("ca.pem"), QStringLiteral("server.pem")); }
    QString keyFile() const { return QString(caFile()).replace(QStringLiteral("ca.pem"), QStringLiteral("server.key")); }
    QString errorText() const { return m_server.errorText(); }

private:
    SmtpServerProcess m_server;
};
