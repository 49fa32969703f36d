#pragma once

#include <QByteArray>
#include <QString>

// Listing pages, list files and the mail wire are handled byte for byte as
// ISO 8859-1: every byte becomes exactly one character and back, so any
// bytes round-trip unchanged and text positions count bytes. A page in
// UTF-8 therefore keeps its bytes: what is cut out of it and mailed on goes
// out as the same bytes it came in as.
namespace PageText {

inline QString fromBytes(const QByteArray &bytes) { return QString::fromLatin1(bytes); }

// Characters above U+00FF cannot come from a decoded page; they become "?".
inline QByteArray toBytes(const QString &text) { return text.toLatin1(); }

} // namespace PageText
