#pragma once

#include <QByteArray>
#include <QObject>
#include <QPointer>
#include <QTimer>
#include <QUrl>

#include <chrono>
#include <coroutine>

class HttpExchange;

// One HTTP GET in flight, as the page fetcher runs it: it follows redirects
// that are no less safe than the request, fails when the whole answer has
// not arrived within the time-out, when the server answers with anything but
// a 2xx status, or when the body grows past the size bound. It reports its
// outcome exactly once, to a coroutine awaiting `outcome()` and through
// `finished`, and then deletes itself later; an abandoned or destroyed
// request reports nothing.
//
// The report always comes from the event loop, never from inside the
// constructor or a call into the request, so whoever starts a request can
// connect to it or await it first.
class PageRequest : public QObject
{
    Q_OBJECT

public:
    // How the connection hands the outcome on: to a coroutine awaiting it, or
    // as the connection's completion signal.
    enum class Mode { Awaited, Signalled };

    PageRequest(const QUrl &url, Mode mode, std::chrono::milliseconds timeout, qint64 maxBodyBytes,
                QObject *parent);
    ~PageRequest() override;

    struct Outcome
    {
        bool ok = false;
        QByteArray body;
    };

    // co_await request->outcome(): resumes the awaiting coroutine with the
    // outcome, from the event loop. A request destroyed first never resumes
    // it. Awaiting a request that is already gone gives a failure.
    class Awaiter
    {
    public:
        explicit Awaiter(PageRequest *request) : m_request(request) {}
        bool await_ready() const noexcept { return !m_request || m_request->m_reported; }
        void await_suspend(std::coroutine_handle<> awaiting) noexcept
        {
            m_request->m_awaiting = awaiting;
            m_request->m_outcomeSlot = &m_outcome;
        }
        Outcome await_resume() { return std::move(m_outcome); }

    private:
        QPointer<PageRequest> m_request;
        Outcome m_outcome;
    };
    Awaiter outcome() { return Awaiter(this); }

    Mode mode() const { return m_mode; }
    bool isDone() const { return m_done; }
    bool isReported() const { return m_reported; }

    // Stops the transfer and reports a failure (from the event loop, not from
    // inside this call).
    void cancel();
    // Stops the transfer; nothing is reported, even if the outcome was
    // already known and only waiting to be reported.
    void abandon();
    // Stops the transfer and reports a failure at once, from inside this
    // call: used when the connection goes, so that a coroutine awaiting the
    // page ends (with "") instead of staying suspended for ever. The code
    // it resumes must not use the connection any more.
    void endNow();

    // Whether the fetcher can ask for this address at all: http or https with a host.
    static bool isFetchable(const QUrl &url);

Q_SIGNALS:
    void finished(bool ok, const QByteArray &body);

private:
    void complete(bool ok);
    void report(bool ok);
    void stopTransfer();

    Mode m_mode;
    QPointer<HttpExchange> m_exchange;
    QTimer m_deadline;
    QByteArray m_body;
    bool m_done = false;
    bool m_reported = false;
    bool m_abandoned = false;
    std::coroutine_handle<> m_awaiting;
    Outcome *m_outcomeSlot = nullptr;
};
