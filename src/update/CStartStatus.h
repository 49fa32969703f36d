#pragma once

#include <QObject>
#include <QString>

class CWebConnection;

// What the program knows about this run as it starts: its version and
// whether this is the first run since it was installed. The check cycle asks
// it, once per run, to check with the maker's version service for a newer
// version; the answer arrives later and may offer the download (then
// `UpdateAccepted` asks the main window to end the program) or carry a
// message from the maker.
class CStartStatus : public QObject
{
    Q_OBJECT

public:
    // The version service's Response values.
    static constexpr qint32 ResponseFailed = 11;
    static constexpr qint32 ResponseCompleted = 12;

    static QString defaultMakerHost() { return QStringLiteral("https://www.pellridge.com/"); }

    explicit CStartStatus(QObject *parent = nullptr);
    explicit CStartStatus(const QString &sMakerHost, QObject *parent = nullptr);
    // Cancels and releases a version check still under way.
    ~CStartStatus() override;

    // major.minor.revision, e.g. "2.1.3".
    QString Version() const;

    // True on the first run of this version; clearing it is remembered in
    // the settings store, so later runs read False.
    bool IsFirstTime() const { return m_bIsFirstTime; }
    void setIsFirstTime(bool bIsFirstTime);

    // The maker's web host, an address ending in "/" (one is added when
    // missing); the version service lives under it.
    QString MakerHost() const { return m_sMakerHost; }
    void setMakerHost(const QString &sMakerHost);

    // The address the version check asks for.
    QString VersionCheckURL() const;

    // Starts the version check and returns at once; the reply is handled in
    // OnVersionCheckAsynchResponse. A check still under way is dropped: its
    // reply never arrives. Failures are passed on ("oStartStatus.Check ...").
    void CheckVersion();

    // The reply of the version check: Response 12 with the whole reply text,
    // or 11 when the request failed. Reports its own failures.
    void OnVersionCheckAsynchResponse(qint32 Response, const QString &HTML);

    // Reads the reply's status block into the three results below, then
    // calls ShowCheckResult. Throws (passing-on pattern) when a closing tag
    // is missing or misplaced or a position does not fit in 16 bits; results
    // read before the failure keep their new values.
    void CheckVersionPage(const QString &HTML);

    // Shows what the results call for: the update window for a new version,
    // else the maker's message if there is one, else nothing.
    void ShowCheckResult();

    // The results of the last reply (they stay until a later reply replaces them).
    bool NewVersion() const { return m_bNewVersion; }
    QString Message() const { return m_sMessage; }
    QString UpdateURL() const { return m_sUpdateURL; }

    // The connection of the check under way (or of the last one), if any.
    CWebConnection *WebConnection() const { return m_oWebConnection; }

    // Whether an update address may be handed to the browser: only http and
    // https addresses with a host are.
    static bool IsDownloadAddress(const QString &sURL);

Q_SIGNALS:
    // The user chose to update and the download has been handed to the
    // browser: the program is to end now.
    void UpdateAccepted();

private:
    void m_oWebConnection_ResponseCompleted(const QString &sResponse);
    void releaseConnection();

    bool m_bIsFirstTime;
    QString m_sMakerHost;
    CWebConnection *m_oWebConnection = nullptr; // a child of this object
    // The connection whose reply is being handled right now (only compared,
    // never used: it may have been dropped meanwhile).
    CWebConnection *m_oDelivering = nullptr;
    bool m_bNewVersion = false;
    QString m_sMessage;
    QString m_sUpdateURL;
};
