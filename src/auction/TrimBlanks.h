#pragma once

#include <QString>
#include <QStringView>

// The text without its leading and trailing blanks: space characters only,
// where QString::trimmed would also take tabs and line ends.
inline QStringView trimBlanks(QStringView text)
{
    qsizetype first = 0;
    qsizetype last = text.size();
    while (first < last && text.at(first) == u' ')
        ++first;
    while (last > first && text.at(last - 1) == u' ')
        --last;
    return text.mid(first, last - first);
}

inline QString trimBlanks(const QString &text)
{
    return trimBlanks(QStringView(text)).toString();
}
