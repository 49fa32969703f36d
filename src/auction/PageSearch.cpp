#include "PageSearch.h"

#include "base/AppError.h"

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace {

// Finding a needle fast: the page is filtered 8 characters at a time on two
// anchor characters of the needle (the first and the one before the last,
// which tell the markers here apart well), and only the few candidates that
// pass are compared in full. Ignoring letter case applies to ASCII letters
// only: a letter matches itself in either case. Beyond ASCII only the Kelvin
// sign and the long s fold to ASCII letters (k and s), so for ASCII needles
// without those two letters this agrees with Qt's case-insensitive search;
// other needles are left to Qt.
inline bool isAsciiLetter(char16_t c)
{
    return (c >= u'a' && c <= u'z') || (c >= u'A' && c <= u'Z');
}

inline char16_t foldAscii(char16_t c)
{
    return isAsciiLetter(c) ? char16_t(c | 0x20) : c;
}

class Finder
{
public:
    Finder(QStringView needle, bool caseless)
        : m_needle(needle.utf16())
        , m_length(needle.size())
        , m_caseless(caseless)
    {
        m_second = m_length >= 3 ? m_length - 2 : m_length - 1;
        m_anchorA = m_needle[0];
        m_anchorB = m_needle[m_second];
        if (caseless) {
            m_foldA = isAsciiLetter(m_anchorA) ? 0x20 : 0;
            m_foldB = isAsciiLetter(m_anchorB) ? 0x20 : 0;
            m_anchorA = char16_t(m_anchorA | m_foldA);
            m_anchorB = char16_t(m_anchorB | m_foldB);
        }
    }

    qsizetype find(const char16_t *data, qsizetype size, qsizetype from) const
    {
        const qsizetype last = size - m_length; // last possible start
        qsizetype at = from;
#if defined(__SSE2__)
        const __m128i anchorA = _mm_set1_epi16(short(m_anchorA));
        const __m128i anchorB = _mm_set1_epi16(short(m_anchorB));
        const __m128i foldA = _mm_set1_epi16(short(m_foldA));
        const __m128i foldB = _mm_set1_epi16(short(m_foldB));
        for (; at + 7 <= last; at += 8) {
            const __m128i a = _mm_or_si128(
                _mm_loadu_si128(reinterpret_cast<const __m128i *>(data + at)), foldA);
            const __m128i b = _mm_or_si128(
                _mm_loadu_si128(reinterpret_cast<const __m128i *>(data + at + m_second)), foldB);
            unsigned mask = unsigned(_mm_movemask_epi8(
                _mm_and_si128(_mm_cmpeq_epi16(a, anchorA), _mm_cmpeq_epi16(b, anchorB))));
            while (mask) {
                const int bit = __builtin_ctz(mask);
                if (matchesAt(data, at + bit / 2))
                    return at + bit / 2;
                mask &= ~(3u << bit);
            }
        }
#endif
        for (; at <= last; ++at) {
            if (matchesAt(data, at))
                return at;
        }
        return -1;
    }

private:
    bool matchesAt(const char16_t *data, qsizetype at) const
    {
        if (m_caseless) {
            for (qsizetype k = 0; k < m_length; ++k)
                if (foldAscii(data[at + k]) != foldAscii(m_needle[k]))
                    return false;
            return true;
        }
        for (qsizetype k = 0; k < m_length; ++k)
            if (data[at + k] != m_needle[k])
                return false;
        return true;
    }

    const char16_t *m_needle;
    qsizetype m_length;
    bool m_caseless;
    qsizetype m_second = 0;
    char16_t m_anchorA = 0;
    char16_t m_anchorB = 0;
    char16_t m_foldA = 0;
    char16_t m_foldB = 0;
};

bool foldsLikeAscii(QStringView needle)
{
    for (QChar c : needle) {
        const char16_t u = c.unicode();
        if (u > 0x7f || foldAscii(u) == u'k' || foldAscii(u) == u's')
            return false;
    }
    return true;
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
    if (m_needle.isEmpty() || (m_cs == Qt::CaseInsensitive && !foldsLikeAscii(m_needle)))
        return m_page.indexOf(m_needle, position, m_cs);
    return Finder(m_needle, m_cs == Qt::CaseInsensitive).find(m_page.utf16(), m_page.size(), position);
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

QStringView cutView(QStringView page, qsizetype start, qsizetype end)
{
    if (start < 0 || end < start)
        throw AppError::platform(ErrorNumber::InvalidArgument);
    return page.mid(start, end - start);
}
