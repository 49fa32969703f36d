#include "MainSettings.h"

#include "base/ErrorPatterns.h"

#include <QFile>
#include <QSettings>

namespace {

const QString Main = QStringLiteral("Main");
const QString CheckBox = QStringLiteral("CheckBox");
const QString Option = QStringLiteral("Option");

// The reports name the main window, whose procedures these were.
const char *const ErrorClass = "FAlert";

} // namespace

int MainSettings::GetControlSetting(QSettings &settings, const QString &sSection, const QString &sKey,
                                    const QString &sKind)
{
    return passingOn(ErrorClass, "GetControlSetting", [&] {
        const QString value = settings.value(sSection + u'/' + sKey).toString();
        if (sKind == CheckBox)
            return (value == QStringLiteral("1") || value.isEmpty()) ? 1 : 0;
        return value == QStringLiteral("1") ? 1 : 0;
    });
}

void MainSettings::SaveCheckboxSetting(QSettings &settings, const QString &sSection, const QString &sKey,
                                       int iValue)
{
    passingOn(ErrorClass, "SaveCheckboxSetting", [&] {
        settings.setValue(sSection + u'/' + sKey, iValue == 1 ? QStringLiteral("1") : QStringLiteral("0"));
    });
}

void MainSettings::SaveOptionSetting(QSettings &settings, const QString &sSection, const QString &sKey,
                                     bool bValue)
{
    passingOn(ErrorClass, "SaveOptionSetting", [&] {
        settings.setValue(sSection + u'/' + sKey, bValue ? QStringLiteral("1") : QStringLiteral("0"));
    });
}

MainSettings MainSettings::load(QSettings &settings)
{
    MainSettings main;
    main.fromAddress = settings.value(Main + QStringLiteral("/FromAddress")).toString();
    main.smtpServer = settings.value(Main + QStringLiteral("/SMTP")).toString();
    main.newAuctions = GetControlSetting(settings, Main, QStringLiteral("NewAuctions"), CheckBox) == 1;
    main.changesToAuctions = GetControlSetting(settings, Main, QStringLiteral("ChangesToAuctions"), CheckBox) == 1;
    // Brief only when chosen and detailed is not also chosen (detailed is
    // read second and wins); one message per seller likewise.
    main.briefMessages = GetControlSetting(settings, Main, QStringLiteral("BriefMessages"), Option)
        && !GetControlSetting(settings, Main, QStringLiteral("DetailedMessages"), Option);
    main.oneMessage = GetControlSetting(settings, Main, QStringLiteral("OneMessage"), Option);
    main.rememberAuctions = GetControlSetting(settings, Main, QStringLiteral("RememberAuctions"), Option);
    main.failureNoticeOnce = GetControlSetting(settings, Main, QStringLiteral("FailureNoticeOnce"), Option);

    const auto port = [&settings](const QString &key) -> quint16 {
        bool isNumber = false;
        const uint value = settings.value(key).toString().toUInt(&isNumber);
        return isNumber && value >= 1 && value <= 65535 ? quint16(value) : 0;
    };
    main.smtpPort = port(Main + QStringLiteral("/SmtpPort"));
    if (!main.smtpPort)
        main.smtpPort = port(QStringLiteral("Network/SmtpPort"));
    if (!main.smtpPort)
        main.smtpPort = 25;
    main.smtpSecurity = SmtpSettings::parseSecurity(settings.value(Main + QStringLiteral("/SmtpSecurity")).toString())
                            .value_or(SmtpSecurity::None);
    main.smtpUser = settings.value(Main + QStringLiteral("/SmtpUser")).toString();
    main.storedPassword = settings.value(Main + QStringLiteral("/SmtpPassword")).toString();
    bool isNumber = false;
    const int days = settings.value(Main + QStringLiteral("/OutboxDays")).toString().toInt(&isNumber);
    main.outboxDays = isNumber && days >= 1 && days <= 365 ? days : DefaultOutboxDays;
    return main;
}

void MainSettings::save(QSettings &settings) const
{
    settings.setValue(Main + QStringLiteral("/FromAddress"), fromAddress);
    settings.setValue(Main + QStringLiteral("/SMTP"), smtpServer);
    SaveCheckboxSetting(settings, Main, QStringLiteral("ChangesToAuctions"), changesToAuctions ? 1 : 0);
    SaveCheckboxSetting(settings, Main, QStringLiteral("NewAuctions"), newAuctions ? 1 : 0);
    SaveOptionSetting(settings, Main, QStringLiteral("BriefMessages"), briefMessages);
    SaveOptionSetting(settings, Main, QStringLiteral("DetailedMessages"), !briefMessages);
    SaveOptionSetting(settings, Main, QStringLiteral("ManyMessages"), !oneMessage);
    SaveOptionSetting(settings, Main, QStringLiteral("OneMessage"), oneMessage);

    const auto keep = [&settings](const QString &key, const QVariant &value, bool differs) {
        if (differs || settings.contains(key))
            settings.setValue(key, value);
    };
    // What a store without these keys reads: the "Network" port, no
    // security, no sign-in.
    bool isNumber = false;
    const uint networkPort = settings.value(QStringLiteral("Network/SmtpPort")).toString().toUInt(&isNumber);
    const quint16 fallbackPort = isNumber && networkPort >= 1 && networkPort <= 65535 ? quint16(networkPort) : 25;
    keep(Main + QStringLiteral("/SmtpPort"), QString::number(smtpPort), smtpPort != fallbackPort);
    keep(Main + QStringLiteral("/SmtpSecurity"), SmtpSettings::formatSecurity(smtpSecurity),
         smtpSecurity != SmtpSecurity::None);
    keep(Main + QStringLiteral("/SmtpUser"), smtpUser, !smtpUser.isEmpty());
    keep(Main + QStringLiteral("/RememberAuctions"), rememberAuctions ? QStringLiteral("1") : QStringLiteral("0"),
         rememberAuctions);
    keep(Main + QStringLiteral("/FailureNoticeOnce"), failureNoticeOnce ? QStringLiteral("1") : QStringLiteral("0"),
         failureNoticeOnce);
    if (storedPassword.isEmpty())
        settings.remove(Main + QStringLiteral("/SmtpPassword"));
    else
        settings.setValue(Main + QStringLiteral("/SmtpPassword"), storedPassword);
    keep(Main + QStringLiteral("/OutboxDays"), QString::number(outboxDays), outboxDays != DefaultOutboxDays);

    settings.sync();
    if (settings.status() != QSettings::NoError)
        throw AppError::platform(ErrorNumber::PathFileAccess);
    // A password in the file is for its owner's eyes only.
    if (!storedPassword.isEmpty()
        && !QFile::setPermissions(settings.fileName(), QFileDevice::ReadOwner | QFileDevice::WriteOwner))
        throw AppError::platform(ErrorNumber::PermissionDenied);
}
