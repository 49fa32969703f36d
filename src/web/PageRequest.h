#pragma once

#include <QByteArray>
#include <QObject>
#include <QPointer>
#include <QTimer>
#include <QUrl>

#include <chrono>

class QNetworkAccessManager;
class QNetworkReply;

// One HTTP GET in flight, as the page fetcher runs it: it follows redirects
// that are no less safe than the request, fails when the whole answer has
// not arrived within the time-out, when the server answers with anything but
// a 2xx status, or when the body grows past the size bound. It reports its
// outcome exactly once through `finished` and then deletes itself later; an
// abandoned or destroyed request reports nothing.
//
// `finished` is never emitted from inside the constructor or from inside a
// call into the request, so whoever starts a request can connect to it first.
class PageRequest : public QObject
{
    Q_OBJECT

public:
    // How the connection hands the outcome on: to a coroutine awaiting it, or
    // as the connection's completion signal.
    enum class Mode { Awaited, Signalled };

    PageRequest(QNetworkAccessManager &manager, const QUrl &url, Mode mode,
                std::chrono::milliseconds timeout, qint64 maxBodyBytes, QObject *parent);
    ~PageRequest() override;

    Mode mode() const { return m_mode; }
    bool isDone() const { return m_done; }

    // Stops the transfer and reports a failure (from the event loop, not from
    // inside this call).
    void cancel();
    // Stops the transfer; nothing is reported.
    void abandon();

    // Whether the fetcher can ask for this address at all: http or https with a host.
    static bool isFetchable(const QUrl &url);

Q_SIGNALS:
    void finished(bool ok, const QByteArray &body);

private:
    void onMetaDataChanged();
    void onReadyRead();
    void onReplyFinished();
    void complete(bool ok);
    void stopTransfer();

    Mode m_mode;
    qint64 m_maxBodyBytes;
    QPointer<QNetworkReply> m_reply;
    QTimer m_deadline;
    QByteArray m_body;
    bool m_done = false;
};
