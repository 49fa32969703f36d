#include "CWebConnection.h"

#include "base/AppError.h"
#include "base/ErrorPatterns.h"
#include "base/PageText.h"

#include <QUrl>

namespace {

const char *const ClassName = "CWebConnection";

} // namespace

CWebConnection::CWebConnection(QObject *parent)
    : QObject(parent)
{
}

CWebConnection::~CWebConnection()
{
    reporting(ClassName, "OnClassTerminate", [this] {
        // An awaited fetch ends now with "", so that its coroutine is not
        // left suspended for ever; a signalled one ends without a signal.
        const auto requests = findChildren<PageRequest *>(Qt::FindDirectChildrenOnly);
        for (PageRequest *request : requests) {
            if (request->mode() == PageRequest::Mode::Awaited)
                request->endNow();
            delete request;
        }
    });
}

PageRequest *CWebConnection::startRequest(const QString &sURL, PageRequest::Mode mode)
{
    const QUrl url(sURL.trimmed(), QUrl::TolerantMode);
    return new PageRequest(url, mode, m_timeout, m_maxBodyBytes, this);
}

QCoro::Task<QString> CWebConnection::GetWebPage(QString sURL)
{
    // Every failure, including one in starting the request, is an empty page.
    try {
        PageRequest *request = startRequest(sURL, PageRequest::Mode::Awaited);
        // The request resumes this frame from the event loop, or at once when
        // the connection is destroyed meanwhile (the page is then ""); either
        // way nothing below touches the connection.
        const PageRequest::Outcome outcome = co_await request->outcome();
        co_return outcome.ok ? PageText::fromBytes(outcome.body) : QString();
    } catch (...) {
        co_return QString();
    }
}

QString CWebConnection::GetWebPageAsynch(QString sURL)
{
    try {
        if (!PageRequest::isFetchable(QUrl(sURL.trimmed(), QUrl::TolerantMode)))
            throw AppError(ErrorNumber::InvalidArgument,
                           runtimeDescription(ErrorNumber::InvalidArgument) + QStringLiteral(": ") + sURL);
        PageRequest *request = startRequest(sURL, PageRequest::Mode::Signalled);
        // The request reports from the event loop and touches nothing of its
        // own afterwards, so a listener may release this connection from its
        // handler.
        connect(request, &PageRequest::finished, this, &CWebConnection::OnFrmInetStateChanged);
    } catch (...) {
        passOnCaughtError(ClassName, "GetWebPageAsynch");
    }
    return QString();
}

void CWebConnection::Cancel()
{
    try {
        const auto requests = findChildren<PageRequest *>(Qt::FindDirectChildrenOnly);
        for (PageRequest *request : requests) {
            if (request->isReported())
                continue;
            // An awaited fetch must still end, with ""; a signalled one goes
            // quiet, even when its answer was already in.
            if (request->mode() == PageRequest::Mode::Awaited)
                request->cancel();
            else
                request->abandon();
        }
    } catch (...) {
        passOnCaughtError(ClassName, "Cancel");
    }
}

void CWebConnection::OnFrmInetStateChanged(bool bOk, const QByteArray &body)
{
    QString sResponse;
    try {
        sResponse = bOk ? PageText::fromBytes(body) : QStringLiteral("Error");
    } catch (...) {
        // A response whose handling failed is reported, not raised.
        reportCaughtError(ClassName, "OnFrmInetStateChanged");
        return;
    }
    // Last thing done here: a listener may release this connection.
    Q_EMIT ResponseCompleted(sResponse);
}
