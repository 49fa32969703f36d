#pragma once

#include <QLoggingCategory>
#include <QString>

// What the program did, for the user who asks the next morning: checks
// started and ended, pages that failed, every mail session's result, the
// outbox's retries and drops, the version check. Written with Qt's logging
// under this category:
//     qCInfo(lcActivity).noquote() << "Check started";
// Passwords never go into it: mail replies and verdicts come masked.
Q_DECLARE_LOGGING_CATEGORY(lcActivity)

// The file the activity category goes to once the program has installed
// the handler: zorvane.log in the user's data folder, one line a message
// with the local time in front. At about 1 MB it is renamed zorvane.log.1
// (the old .1 becoming .2, the old .2 going), so three files are kept.
// Messages of other categories go where they went before.
namespace ActivityLog {

inline constexpr qint64 RotateBytes = 1024 * 1024;

// Starts writing to <folder>/zorvane.log (the data folder when empty) and
// notes the start with the program's version.
void install(const QString &folder = {});
// Gives the messages back to the handler that was there before.
void uninstall();

// The log file written to, or the one install() would write to.
QString path();

// The local time, "2026-12-06 21:32:50", as the log writes it.
QString timestamp();

} // namespace ActivityLog
