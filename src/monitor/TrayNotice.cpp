#include "TrayNotice.h"

QString TrayNotice::sessionEnded(bool delivered, int waiting, const QString &reason)
{
    if (delivered) {
        m_bQuiet = m_bQuiet && waiting > 0;
        return {};
    }
    m_sReason = reason;
    return speak(QStringLiteral("An alert could not be sent: ") + reason);
}

QString TrayNotice::cycleEnded(int waiting)
{
    if (waiting == 0)
        return {};
    return speak(QString::number(waiting) + (waiting == 1 ? QStringLiteral(" alert is") : QStringLiteral(" alerts are"))
                 + QStringLiteral(" waiting to be sent") + (m_sReason.isEmpty() ? QString() : QStringLiteral(": ") + m_sReason));
}

QString TrayNotice::speak(QString text)
{
    if (m_bQuiet)
        return {};
    m_bQuiet = true;
    if (!text.endsWith(u'.'))
        text += u'.';
    return text;
}
