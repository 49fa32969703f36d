#include "PageRequest.h"

#include "base/Version.h"
#include "web/HttpExchange.h"

#include <utility>

PageRequest::PageRequest(const QUrl &url, Mode mode, std::chrono::milliseconds timeout, qint64 maxBodyBytes,
                         QObject *parent)
    : QObject(parent)
    , m_mode(mode)
{
    m_deadline.setSingleShot(true);
    m_deadline.setInterval(timeout);
    connect(&m_deadline, &QTimer::timeout, this, [this] { complete(false); });

    if (!isFetchable(url)) {
        complete(false);
        return;
    }
    m_exchange = new HttpExchange(url, "Zorvane/" + Version::majorMinor().toLatin1(), maxBodyBytes, this);
    connect(m_exchange, &HttpExchange::finished, this, [this](bool ok, const QByteArray &body) {
        m_body = body;
        complete(ok);
    });
    m_deadline.start();
}

PageRequest::~PageRequest()
{
    stopTransfer();
}

bool PageRequest::isFetchable(const QUrl &url)
{
    return HttpExchange::isFetchable(url);
}

void PageRequest::cancel()
{
    complete(false);
}

void PageRequest::endNow()
{
    if (m_reported)
        return;
    m_done = true;
    stopTransfer();
    m_body.clear();
    report(false);
}

void PageRequest::abandon()
{
    m_done = true;
    m_abandoned = true;
    stopTransfer();
    deleteLater();
}

void PageRequest::complete(bool ok)
{
    if (m_done)
        return;
    m_done = true;
    stopTransfer();
    if (!ok)
        m_body.clear();
    // Reported from the event loop: the caller of cancel() and the network
    // stack (whose signal may be running now) are never re-entered.
    QMetaObject::invokeMethod(this, [this, ok] { report(ok); }, Qt::QueuedConnection);
}

void PageRequest::report(bool ok)
{
    m_reported = true;
    deleteLater();
    if (m_abandoned)
        return;
    const QByteArray body = std::exchange(m_body, {});
    const std::coroutine_handle<> awaiting = std::exchange(m_awaiting, {});
    Outcome *const slot = std::exchange(m_outcomeSlot, nullptr);
    // From here on only locals: whoever hears of the outcome may release the
    // connection, and this request with it.
    Q_EMIT finished(ok, body);
    if (awaiting) {
        *slot = Outcome{ok, body};
        awaiting.resume();
    }
}

void PageRequest::stopTransfer()
{
    m_deadline.stop();
    if (HttpExchange *exchange = m_exchange.data()) {
        m_exchange = nullptr;
        exchange->abort();
        // Possibly inside its own signal: deleted later.
        exchange->deleteLater();
    }
}
