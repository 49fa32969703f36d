#pragma once

// Shared pieces of the fuzz targets: the checks that turn a broken invariant
// into a crash libFuzzer reports, and the input as the program sees it.

#include "base/AppError.h"
#include "base/MessageBoxes.h"
#include "base/PageText.h"

#include <QCoreApplication>
#include <QStringList>

#include <cstdint>
#include <cstdio>
#include <cstdlib>

// Aborts with a message when an invariant does not hold; libFuzzer keeps the
// input that did it.
#define FUZZ_CHECK(condition, what)                                                              \
    do {                                                                                          \
        if (!(condition))                                                                         \
            ::Fuzz::fail(__FILE__, __LINE__, #condition, what);                                   \
    } while (false)

// Every target runs under a Qt application, made once.
#define FUZZ_QT_APPLICATION                                                                      \
    extern "C" int LLVMFuzzerInitialize(int *argc, char ***argv)                                 \
    {                                                                                             \
        static QCoreApplication app(*argc, *argv);                                                \
        return 0;                                                                                 \
    }

namespace Fuzz {

[[noreturn]] inline void fail(const char *file, int line, const char *condition, const QString &what)
{
    std::fprintf(stderr, "\n*** invariant broken at %s:%d: %s\n    %s\n", file, line, condition,
                 what.toLocal8Bit().constData());
    std::fflush(stderr);
    std::abort();
}

// The fuzzer's bytes as the program sees outside text: one character a byte.
inline QString text(const uint8_t *data, size_t size)
{
    return PageText::fromBytes(QByteArray::fromRawData(reinterpret_cast<const char *>(data), qsizetype(size)));
}

// An error passed on by a procedure that follows the passing-on pattern:
// the program's own number, no source, "Class.Procedure <n> <text>".
inline void checkPassedOn(const AppError &error, const QString &procedure)
{
    FUZZ_CHECK(error.number() == ErrorNumber::Component && error.source().isEmpty()
                   && error.description().startsWith(procedure + u' '),
               error.description());
}

} // namespace Fuzz
