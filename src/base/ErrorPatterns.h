#pragma once

// The two ways a procedure deals with a run-time error.
//
// Entry procedures (user actions, timer and component events, window load and
// close) report the error and return:
//     try { ... } catch (...) { reportCaughtError("FAlert", "OnFormLoad"); }
// Every other procedure that catches errors passes them on to its caller,
// with its own name put in front of the description:
//     try { ... } catch (...) { passOnCaughtError("CUserIDs", "Add"); }
// Both must be called from inside a catch block. The lambda forms below say
// the same for a whole body in one line.

#include "AppError.h"

#include <QString>

#include <utility>

// The exception being handled, as an AppError: program and run-time errors
// keep their number; running out of memory is error 7; anything else that
// escaped as a C++ exception is reported as an internal error.
AppError caughtError();

// Raises the caught error again as
//     Component, "", className.procedure + " " + number + " " + description + suffix
[[noreturn]] void passOnCaughtError(const char *className, const char *procedure,
                                    const QString &suffix = {});

// Hands the process-wide reporter className.procedure + CR LF + description.
void reportCaughtError(const char *className, const char *procedure);

template <class Body>
decltype(auto) passingOn(const char *className, const char *procedure, Body &&body)
{
    try {
        return std::forward<Body>(body)();
    } catch (...) {
        passOnCaughtError(className, procedure);
    }
}

template <class Body>
void reporting(const char *className, const char *procedure, Body &&body)
{
    try {
        std::forward<Body>(body)();
    } catch (...) {
        reportCaughtError(className, procedure);
    }
}
