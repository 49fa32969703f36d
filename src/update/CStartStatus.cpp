#include "CStartStatus.h"

#include "config/Version.h"

#include <QSettings>

namespace {
const QString NoticeKey = QStringLiteral("Main/FirstRunNoticeSent");

QSettings userSettings()
{
    return QSettings(QSettings::NativeFormat, QSettings::UserScope, QStringLiteral("Zorvane"),
                     QStringLiteral("Zorvane"));
}
} // namespace

CStartStatus::CStartStatus(QObject *parent)
    : QObject(parent)
    , m_bIsFirstTime(userSettings().value(NoticeKey).toString() != Version::full())
{
}

QString CStartStatus::Version() const
{
    return Version::full();
}

void CStartStatus::setIsFirstTime(bool bIsFirstTime)
{
    m_bIsFirstTime = bIsFirstTime;
    if (!bIsFirstTime)
        userSettings().setValue(NoticeKey, Version::full());
}
