#pragma once

#include "mail/CEmail.h"

#include <QSignalSpy>
#include <QStringList>

// Records the events of one CEmail in the order they were raised:
// "msg:" + text, "err:" + text, "closed".
class SessionRecorder
{
public:
    explicit SessionRecorder(CEmail &email)
        : closedSpy(&email, &CEmail::OnWinsockConnectionClosed)
    {
        QObject::connect(&email, &CEmail::WinsockMessage, &email,
                         [this](const QString &s) { events << QStringLiteral("msg:") + s; });
        QObject::connect(&email, &CEmail::OnErrorMessage, &email,
                         [this](const QString &s) { events << QStringLiteral("err:") + s; });
        QObject::connect(&email, &CEmail::OnWinsockConnectionClosed, &email,
                         [this] { events << QStringLiteral("closed"); });
    }

    // Waits (bounded) until n sessions have ended.
    bool waitClosed(int n = 1, int timeoutMs = 20000)
    {
        while (closedSpy.count() < n) {
            if (!closedSpy.wait(timeoutMs))
                return false;
        }
        return true;
    }

    QStringList events;
    QSignalSpy closedSpy;
};

inline const QString ClosedInError = QStringLiteral("err:eMail connection has closed in error.");
inline const QString TimedOut = QStringLiteral("msg:Could not connect to host.  Timed out");
inline const QStringList SuccessEvents = {
    QStringLiteral("msg:Connected to send email"), QStringLiteral("msg:Receiving Welcome Message"),
    QStringLiteral("msg:Sending Mail . . ."), QStringLiteral("msg:Message Sent"),
    QStringLiteral("closed")};

inline QByteArray headerBlock(const QByteArray &to, const QByteArray &from, const QByteArray &subject)
{
    return "From: <" + from + ">\r\nTo: " + to + "\r\nSubject: " + subject
        + "\r\nX-Mailer: Quillet v1.1\r\nMime-Version: 1.0\r\n"
          "Content-Type: text/plain;\tcharset=us-ascii\r\n\r\n";
}
