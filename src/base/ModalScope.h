#pragma once

#include <functional>

// Marks the time a modal window of the program is open. Every modal window
// runs an event loop of its own inside the handler that opened it, so
// anything the event loop delivers meanwhile (a termination signal, the
// end of the desktop session, a network reply) runs in the middle of that
// handler. Work that must not pull the ground from under such a handler -
// the program's end, above all - asks to run once no modal window is open.
//
// The one rule: while such work waits, the open modal windows are closed
// (as by their Cancel or close button), no new one opens (it answers at
// once as if cancelled), and the work runs from the event loop once the
// handler that opened the outermost window has returned.
class ModalScope
{
public:
    ModalScope();
    ~ModalScope();
    ModalScope(const ModalScope &) = delete;
    ModalScope &operator=(const ModalScope &) = delete;

    // How many modal windows are open, one inside the other.
    static int depth();

    // True while work waits for the modal windows to go: a window about to
    // open should not.
    static bool closing();

    // Runs `work` at once when no modal window is open; otherwise runs it
    // from the event loop once the outermost one has gone and its handler
    // has returned (the caller closes the open windows). Later requests
    // made meanwhile run after it, in order.
    static void whenNoneOpen(std::function<void()> work);
};
