#include "PageSearch.h"

#include "dialogs/AppError.h"

namespace {

// An ASCII needle ignoring letter case: anchor on the first character's two
// cases with the fast single-character search, then compare the rest. Gives
// the same answer as QStringView::indexOf with Qt::CaseInsensitive for an
// ASCII needle, since no other character folds to an ASCII letter.
inline char16_t asciiLower(char16_t c)
{
    return (c >= u'A' && c <= u'Z') ? char16_t(c + 32) : c;
}

bool isAscii(QStringView text)
{
    for (QChar c : text)
        if (c.unicode() > 0x7f)
            return false;
    return true;
}

qsizetype findAsciiCaseless(QStringView page, QStringView needle, qsizetype position)
{
    const qsizetype length = needle.size();
    const char16_t first = asciiLower(needle.at(0).unicode());
    const bool firstIsLetter = first >= u'a' && first <= u'z';
    const qsizetype last = page.size() - length;
    const char16_t *data = page.utf16();
    for (qsizetype at = position; at <= last; ++at) {
        if (!firstIsLetter) {
            // Jump to the next candidate with the vectorised single-character
            // search (the usual case: "<").
            at = page.indexOf(QChar(first), at);
            if (at < 0 || at > last)
                return -1;
        } else if (asciiLower(data[at]) != first) {
            continue;
        }
        qsizetype k = 1;
        while (k < length && asciiLower(data[at + k]) == asciiLower(needle.at(k).unicode()))
            ++k;
        if (k == length)
            return at;
    }
    return -1;
}

} // namespace

PageSearch::PageSearch(QStringView page, QStringView needle, Qt::CaseSensitivity cs)
    : m_page(page)
    , m_needle(needle)
    , m_cs(cs)
{
}

qsizetype PageSearch::plain(QStringView page, QStringView needle, qsizetype position,
                            Qt::CaseSensitivity cs)
{
    if (position < 0)
        throw AppError::platform(ErrorNumber::InvalidArgument);
    // indexOf counts a negative start from the end and accepts starts past
    // the end; both are settled here so that its answer is always "first at
    // or after position".
    if (position >= page.size())
        return -1;
    return page.indexOf(needle, position, cs);
}

qsizetype PageSearch::scan(qsizetype position) const
{
    if (position >= m_page.size())
        return -1;
    if (m_cs == Qt::CaseInsensitive && isAscii(m_needle))
        return findAsciiCaseless(m_page, m_needle, position);
    return m_page.indexOf(m_needle, position, m_cs);
}

qsizetype PageSearch::from(qsizetype position)
{
    if (position < 0)
        throw AppError::platform(ErrorNumber::InvalidArgument);

    for (const Known &known : m_known) {
        if (known.start >= 0 && position >= known.start
            && (known.found < 0 || position <= known.found))
            return known.found;
    }

    const qsizetype found = scan(position);

    // Replace the interval this search has moved past, if there is one, so
    // that a forward-moving search keeps reusing one slot; otherwise take the
    // slots in turn.
    int slot = -1;
    for (int i = 0; i < int(m_known.size()); ++i) {
        if (m_known[i].start < 0) {
            slot = i;
            break;
        }
    }
    if (slot < 0) {
        for (int i = 0; i < int(m_known.size()); ++i) {
            const Known &known = m_known[i];
            if (known.found >= 0 && known.found < position
                && (slot < 0 || known.found > m_known[slot].found))
                slot = i;
        }
    }
    if (slot < 0) {
        slot = m_nextSlot;
        m_nextSlot = (m_nextSlot + 1) % int(m_known.size());
    }
    m_known[slot] = Known{position, found};
    return found;
}

QString cutText(QStringView page, qsizetype start, qsizetype end)
{
    if (start < 0 || end < start)
        throw AppError::platform(ErrorNumber::InvalidArgument);
    return page.mid(start, end - start).toString();
}
