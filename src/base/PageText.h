#pragma once

#include <QByteArray>
#include <QString>

#include <algorithm>

// Listing pages, list files and the mail wire are handled byte for byte as
// ISO 8859-1: every byte becomes exactly one character and back, so any
// bytes round-trip unchanged and text positions count bytes. A page in
// UTF-8 therefore keeps its bytes: what is cut out of it and mailed on goes
// out as the same bytes it came in as.
namespace PageText {

inline QString fromBytes(const QByteArray &bytes) { return QString::fromLatin1(bytes); }

// Characters above U+00FF cannot come from a decoded page; they become "?".
inline QByteArray toBytes(const QString &text) { return text.toLatin1(); }

// Whether every character of the text is one byte (U+0000 to U+00FF), so
// that it goes out exactly as it is. A typed text may hold others.
inline bool isBytes(QStringView text)
{
    return std::all_of(text.begin(), text.end(), [](QChar c) { return c.unicode() <= 0xFF; });
}

// The first character of the text that is not one byte (both halves of a
// surrogate pair); empty when there is none.
inline QString firstNonByte(QStringView text)
{
    const auto found = std::find_if(text.begin(), text.end(), [](QChar c) { return c.unicode() > 0xFF; });
    if (found == text.end())
        return {};
    const qsizetype at = found - text.begin();
    return text.mid(at, found->isHighSurrogate() && at + 1 < text.size() ? 2 : 1).toString();
}

} // namespace PageText
