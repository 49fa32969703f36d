#pragma once

#include "web/PageRequest.h"

#include <QObject>
#include <QString>

#include <qcoro/qcorotask.h>

#include <chrono>

// Fetches the text of web pages by address, either as a coroutine result
// (`GetWebPage`, what the check cycle awaits page by page) or through the
// `ResponseCompleted` signal (`GetWebPageAsynch`). Page bodies are decoded
// byte for byte (PageText).
//
// A request fails when the address is not an http or https address, the
// server cannot be reached, the answer is not a 2xx status, the body grows
// past maxBodyBytes(), or the whole answer has not arrived within timeout().
// Redirects are followed as long as they are no less safe than the request.
//
// Destroying the connection stops every request it runs: no
// `ResponseCompleted` follows, and a coroutine awaiting `GetWebPage` gets ""
// at once, from inside the destruction (so no coroutine frame is left
// suspended for ever); the code it resumes must not use the connection.
class CWebConnection : public QObject
{
    Q_OBJECT

public:
    static constexpr std::chrono::milliseconds DefaultTimeout{180'000};
    static constexpr qint64 DefaultMaxBodyBytes = 16 * 1024 * 1024;

    explicit CWebConnection(QObject *parent = nullptr);
    ~CWebConnection() override;

    // Gives the page's text once it has arrived, or "" once the request has
    // failed or was cancelled. Never throws. The caller's event loop runs on
    // while it waits.
    QCoro::Task<QString> GetWebPage(QString sURL);

    // Starts a request and gives "" at once; the page arrives later in one
    // `ResponseCompleted`, with its whole text or "Error". An address that
    // cannot be fetched at all raises an error at once instead.
    QString GetWebPageAsynch(QString sURL);

    // Stops every request of this connection: an awaited fetch gives "",
    // an asynchronous one ends without a `ResponseCompleted`.
    void Cancel();

    // Time allowed for a whole answer (both forms); 180 s unless changed.
    std::chrono::milliseconds timeout() const { return m_timeout; }
    void setTimeout(std::chrono::milliseconds timeout) { m_timeout = timeout; }

    // Largest body accepted; 16 MiB unless changed.
    qint64 maxBodyBytes() const { return m_maxBodyBytes; }
    void setMaxBodyBytes(qint64 bytes) { m_maxBodyBytes = bytes; }

Q_SIGNALS:
    void ResponseCompleted(QString sResponse);

private:
    PageRequest *startRequest(const QString &sURL, PageRequest::Mode mode);
    void OnFrmInetStateChanged(bool bOk, const QByteArray &body);

    std::chrono::milliseconds m_timeout = DefaultTimeout;
    qint64 m_maxBodyBytes = DefaultMaxBodyBytes;
};
