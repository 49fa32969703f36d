#pragma once

#include <QProcess>
#include <QStringList>
#include <QTemporaryDir>

// A throw-away certificate authority and a server certificate it signed for
// localhost and 127.0.0.1 (elliptic-curve keys), made with openssl for the
// test that needs them and gone with it.
class TestCertificates
{
public:
    // False when openssl failed; errorText() says why.
    bool make()
    {
        const auto run = [this](const QStringList &arguments) {
            QProcess openssl;
            openssl.setWorkingDirectory(m_folder.path());
            openssl.start(QStringLiteral("openssl"), arguments);
            if (openssl.waitForFinished(30000) && openssl.exitCode() == 0)
                return true;
            m_error = QString::fromLocal8Bit(openssl.readAllStandardError());
            return false;
        };
        const QStringList ec{QStringLiteral("-newkey"), QStringLiteral("ec"), QStringLiteral("-pkeyopt"),
                             QStringLiteral("ec_paramgen_curve:prime256v1"), QStringLiteral("-nodes")};
        m_folder.setAutoRemove(true);
        QFile names(m_folder.filePath(QStringLiteral("names.cnf")));
        names.open(QIODevice::WriteOnly);
        names.write("subjectAltName=DNS:localhost,IP:127.0.0.1\n");
        names.close();
        return run(QStringList{QStringLiteral("req"), QStringLiteral("-x509")} + ec
                   + QStringList{QStringLiteral("-keyout"), QStringLiteral("ca.key"), QStringLiteral("-out"),
                                 QStringLiteral("ca.pem"), QStringLiteral("-days"), QStringLiteral("2"),
                                 QStringLiteral("-subj"), QStringLiteral("/CN=Zorvane Test CA")})
            && run(QStringList{QStringLiteral("req")} + ec
                   + QStringList{QStringLiteral("-keyout"), QStringLiteral("server.key"), QStringLiteral("-out"),
                                 QStringLiteral("server.csr"), QStringLiteral("-subj"), QStringLiteral("/CN=localhost")})
            && run({QStringLiteral("x509"), QStringLiteral("-req"), QStringLiteral("-in"), QStringLiteral("server.csr"),
                    QStringLiteral("-CA"), QStringLiteral("ca.pem"), QStringLiteral("-CAkey"), QStringLiteral("ca.key"),
                    QStringLiteral("-CAcreateserial"), QStringLiteral("-out"), QStringLiteral("server.pem"),
                    QStringLiteral("-days"), QStringLiteral("2"), QStringLiteral("-extfile"), QStringLiteral("names.cnf")});
    }

    QString caFile() const { return m_folder.filePath(QStringLiteral("ca.pem")); }
    QString certificateFile() const { return m_folder.filePath(QStringLiteral("server.pem")); }
    QString keyFile() const { return m_folder.filePath(QStringLiteral("server.key")); }
    QString errorText() const { return m_error; }

private:
    QTemporaryDir m_folder;
    QString m_error;
};
