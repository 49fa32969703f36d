#pragma once

#include <QSettings>

// The user's settings store: the platform's native one, under organisation
// and application "Zorvane" (on Linux ~/.config/Zorvane/Zorvane.conf).
inline QSettings userSettings()
{
    return QSettings(QSettings::NativeFormat, QSettings::UserScope, QStringLiteral("Zorvane"),
                     QStringLiteral("Zorvane"));
}
