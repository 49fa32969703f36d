#pragma once

// Shared pieces of the fuzz targets: the Qt application they run under, the
// message-box handler that answers without a window, and the checks that
// turn a broken invariant into a crash libFuzzer reports.

#include "base/AppError.h"
#include "base/MessageBoxes.h"
#include "base/PageText.h"

#include <QByteArray>
#include <QString>
#include <QStringList>

#include <cstdint>
#include <cstdio>
#include <cstdlib>

namespace Fuzz {

// Aborts with a message when an invariant does not hold; libFuzzer keeps the
// input that did it.
#define FUZZ_CHECK(condition, what)                                                              \
    do {                                                                                          \
        if (!(condition))                                                                         \
            ::Fuzz::fail(__FILE__, __LINE__, #condition, what);                                   \
    } while (false)

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
    return PageText::fromBytes(QByteArray::fromRawData(reinterpret_cast<const char *>(data),
                                                       qsizetype(size)));
}

// Splits the input into pieces at every form feed: several pages for one list,
// or the parts of an SMTP script.
inline QList<QString> pieces(const QString &input, QChar separator = u'\f')
{
    return input.split(separator, Qt::KeepEmptyParts);
}

// An error passed on by a procedure that follows the passing-on pattern:
// the program's own number, no source, "Class.Procedure <n> <text>".
inline void checkPassedOn(const AppError &error, const QString &procedure)
{
    FUZZ_CHECK(error.number() == ErrorNumber::Component, error.description());
    FUZZ_CHECK(error.source().isEmpty(), error.source());
    FUZZ_CHECK(error.description().startsWith(procedure + u' '), error.description());
}

// The underlying error number inside a passed-on description
// ("Class.Procedure <n> ..."), or 0 when there is none.
inline qint32 innerNumber(const QString &description, const QString &procedure)
{
    const QString rest = description.mid(procedure.size() + 1);
    return rest.section(u' ', 0, 0).toInt();
}

// Answers every message box at once and counts them.
struct BoxCounter
{
    int count = 0;
    QString lastText;

    void install()
    {
        MessageBoxes::setHandler([this](const MessageRequest &request) {
            ++count;
            lastText = request.text;
            return request.buttons == MessageButtons::YesNo ? MessageAnswer::No : MessageAnswer::Ok;
        });
    }
};

} // namespace Fuzz
