#pragma once

#include "mail/SmtpSettings.h"

#include <QString>

class QSettings;

// The user's choices kept in the "Main" section of the settings store: the
// sender and the mail server, the alert kinds and forms. The window shows
// them; the headless program runs with them as stored.
struct MainSettings
{
    QString fromAddress;        // FromAddress
    QString smtpServer;         // SMTP
    bool newAuctions = true;    // NewAuctions
    bool changesToAuctions = true; // ChangesToAuctions
    bool briefMessages = false; // BriefMessages / DetailedMessages
    bool oneMessage = false;    // OneMessage / ManyMessages

    // RememberAuctions, FailureNoticeOnce ("1" or "0", off when missing).
    bool rememberAuctions = false;
    bool failureNoticeOnce = false;

    // Secure submission: SmtpPort (falling back to the "Network" section's
    // SmtpPort, then 25), SmtpSecurity ("None", "StartTLS", "TLS"), SmtpUser.
    // Written only once they differ from what a store without them reads,
    // so a user of the plain mode keeps the store as it was.
    quint16 smtpPort = 25;
    SmtpSecurity smtpSecurity = SmtpSecurity::None;
    QString smtpUser;
    // SmtpPassword: only where there is no keyring and the user chose to
    // keep the password here; the file is then readable by its owner alone.
    QString storedPassword;

    // How many days a message that cannot be delivered waits in the outbox
    // before it is dropped (OutboxDays, 1 to 365); written only once it
    // differs from the default or is already there.
    static constexpr int DefaultOutboxDays = 3;
    int outboxDays = DefaultOutboxDays;

    // Reads the section with the first wave's rules: a check box is checked
    // when its value is "1" or missing; an option is chosen when its value
    // is "1"; an option group with neither chosen takes its default
    // (detailed messages, one message per auction).
    static MainSettings load(QSettings &settings);

    // Writes the section; a store that cannot be written raises the
    // path/file access error (75).
    void save(QSettings &settings) const;

    // The readers and writers of single keys: 1 or 0 for a control's
    // value of kind "CheckBox" or "Option".
    static int GetControlSetting(QSettings &settings, const QString &sSection, const QString &sKey,
                                 const QString &sKind);
    static void SaveCheckboxSetting(QSettings &settings, const QString &sSection, const QString &sKey,
                                    int iValue);
    static void SaveOptionSetting(QSettings &settings, const QString &sSection, const QString &sKey,
                                  bool bValue);
};
