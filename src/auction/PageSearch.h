#pragma once

#include <QString>
#include <QStringView>

#include <array>

// "The first X at or after P" over one page, remembered per needle.
//
// The page parsers ask the same few needles again and again from positions
// that mostly move forward. A search from P0 that found Q (or nothing) also
// answers every later search from P with P0 <= P <= Q (nothing stays
// nothing), so each answer is remembered as such an interval and a page is
// scanned for one needle about once in all, instead of once per row. A few
// intervals are kept, so that a search that keeps coming back to one fixed
// early position does not throw away the forward one.
//
// Positions are 0-based; -1 is "none". A search from a negative position is
// an invalid call, as it is for the run time's own search: it raises the
// invalid-argument error (5).
class PageSearch
{
public:
    PageSearch(QStringView page, QStringView needle,
               Qt::CaseSensitivity cs = Qt::CaseSensitive);

    qsizetype from(qsizetype position);

    // The plain, unremembered search with the same rules; what from() must
    // always agree with.
    static qsizetype plain(QStringView page, QStringView needle, qsizetype position,
                           Qt::CaseSensitivity cs = Qt::CaseSensitive);

private:
    struct Known
    {
        qsizetype start = -1; // -1: slot unused
        qsizetype found = -1;
    };

    qsizetype scan(qsizetype position) const;

    QStringView m_page;
    QStringView m_needle;
    Qt::CaseSensitivity m_cs;
    std::array<Known, 4> m_known{};
    int m_nextSlot = 0;
};

// Text from position start up to just before position end. An end before the
// start (a missing marker, usually) is the invalid-argument error (5).
QStringView cutView(QStringView page, qsizetype start, qsizetype end);
inline QString cutText(QStringView page, qsizetype start, qsizetype end)
{
    return cutView(page, start, end).toString();
}
