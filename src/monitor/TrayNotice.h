#pragma once

#include <QString>

// When the tray icon speaks up about mail: at the first failed session, or
// when a cycle ends with messages waiting in the outbox, one balloon says
// why in one sentence; then it keeps quiet until a delivery has emptied the
// outbox. A recipient that keeps failing beside one that works therefore
// costs one balloon, not one a cycle.
class TrayNotice
{
public:
    // A session has ended; `waiting` messages are in the outbox now. The
    // balloon's text, or nothing.
    QString sessionEnded(bool delivered, int waiting, const QString &reason);
    // A cycle has ended with `waiting` messages in the outbox.
    QString cycleEnded(int waiting);

private:
    QString speak(QString text);

    bool m_bQuiet = false;
    QString m_sReason;
};
