#include "PageRequest.h"

#include "base/Version.h"

#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <QNetworkRequest>

#include <utility>

namespace {

// Enough for any sensible chain of site moves; a loop ends in a failure.
constexpr int MaxRedirects = 10;

} // namespace

PageRequest::PageRequest(QNetworkAccessManager &manager, const QUrl &url, Mode mode,
                         std::chrono::milliseconds timeout, qint64 maxBodyBytes, QObject *parent)
    : QObject(parent)
    , m_mode(mode)
    , m_maxBodyBytes(maxBodyBytes)
{
    m_deadline.setSingleShot(true);
    m_deadline.setInterval(timeout);
    connect(&m_deadline, &QTimer::timeout, this, [this] { complete(false); });

    if (!isFetchable(url)) {
        complete(false);
        return;
    }

    QNetworkRequest request(url);
    request.setAttribute(QNetworkRequest::RedirectPolicyAttribute,
                         QNetworkRequest::NoLessSafeRedirectPolicy);
    request.setMaximumRedirectsAllowed(MaxRedirects);
    request.setHeader(QNetworkRequest::UserAgentHeader,
                      QStringLiteral("Zorvane/%1").arg(Version::majorMinor()));

    m_reply = manager.get(request);
    // The reply belongs to this request, so it goes wherever the request goes.
    m_reply->setParent(this);
    connect(m_reply, &QNetworkReply::metaDataChanged, this, &PageRequest::onMetaDataChanged);
    connect(m_reply, &QNetworkReply::readyRead, this, &PageRequest::onReadyRead);
    connect(m_reply, &QNetworkReply::finished, this, &PageRequest::onReplyFinished);
    m_deadline.start();
}

PageRequest::~PageRequest()
{
    stopTransfer();
}

bool PageRequest::isFetchable(const QUrl &url)
{
    if (!url.isValid() || url.host().isEmpty())
        return false;
    const QString scheme = url.scheme().toLower();
    return scheme == QLatin1String("http") || scheme == QLatin1String("https");
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

void PageRequest::onMetaDataChanged()
{
    // A server that announces more than the bound is refused before a byte
    // of the body is kept.
    const QVariant length = m_reply->header(QNetworkRequest::ContentLengthHeader);
    if (length.isValid() && length.toLongLong() > m_maxBodyBytes)
        complete(false);
}

void PageRequest::onReadyRead()
{
    // Draining the reply at every arrival keeps its own buffer small, and the
    // bound is checked against what is actually held.
    m_body += m_reply->readAll();
    if (m_body.size() > m_maxBodyBytes)
        complete(false);
}

void PageRequest::onReplyFinished()
{
    if (m_done)
        return;
    bool ok = m_reply->error() == QNetworkReply::NoError;
    if (ok) {
        // An error page or an unfollowed redirect is not the page asked for.
        const QVariant status = m_reply->attribute(QNetworkRequest::HttpStatusCodeAttribute);
        ok = status.isValid() && status.toInt() >= 200 && status.toInt() <= 299;
    }
    if (ok) {
        m_body += m_reply->readAll();
        ok = m_body.size() <= m_maxBodyBytes;
    }
    complete(ok);
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
    if (!m_reply)
        return;
    QNetworkReply *reply = m_reply;
    m_reply = nullptr;
    // Nothing of the reply may reach this request any more: abort() emits
    // finished at once.
    disconnect(reply, nullptr, this, nullptr);
    if (reply->isRunning())
        reply->abort();
    // Possibly inside one of the reply's own signals: delete it later.
    reply->deleteLater();
}
