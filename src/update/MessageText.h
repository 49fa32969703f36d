#pragma once

#include <QString>

// The version service writes its messages with CR LF (or bare CR) line ends;
// the text boxes want "\n" and give "\n" back.
namespace MessageText {

inline QString forDisplay(QString text)
{
    text.replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
    text.replace(u'\r', u'\n');
    return text;
}

inline QString fromDisplay(QString text)
{
    return text.replace(u'\n', QStringLiteral("\r\n"));
}

} // namespace MessageText
