#pragma once

#include <QString>

// The program's version record, set by the build from the project version.
namespace Version {

inline constexpr int Major = ZORVANE_VERSION_MAJOR;
inline constexpr int Minor = ZORVANE_VERSION_MINOR;
inline constexpr int Revision = ZORVANE_VERSION_REVISION;

// "2.1": what the error reporter is given.
inline QString majorMinor() { return QString::number(Major) + u'.' + QString::number(Minor); }

// "2.1.0": what the About window, error reports and the version check show.
inline QString full() { return majorMinor() + u'.' + QString::number(Revision); }

} // namespace Version
