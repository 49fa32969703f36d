#include "ModalScope.h"

#include <QCoreApplication>
#include <QList>

namespace {

struct State
{
    int depth = 0;
    QList<std::function<void()>> waiting;
};

State &state()
{
    static State s;
    return s;
}

void runWaiting()
{
    // Whatever queued this has returned to the event loop; a window opened
    // since would have answered at once, so none can be open now.
    const QList<std::function<void()>> work = std::exchange(state().waiting, {});
    for (const auto &item : work)
        item();
}

} // namespace

ModalScope::ModalScope()
{
    ++state().depth;
}

ModalScope::~ModalScope()
{
    if (--state().depth == 0 && !state().waiting.isEmpty())
        QMetaObject::invokeMethod(QCoreApplication::instance(), runWaiting, Qt::QueuedConnection);
}

int ModalScope::depth()
{
    return state().depth;
}

bool ModalScope::closing()
{
    return !state().waiting.isEmpty();
}

void ModalScope::whenNoneOpen(std::function<void()> work)
{
    if (state().depth == 0 && state().waiting.isEmpty()) {
        work();
        return;
    }
    state().waiting.append(std::move(work));
}
