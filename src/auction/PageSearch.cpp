#include "PageSearch.h"

#include "base/AppError.h"

#if defined(__SSE2__)
#include <emmintrin.h>
#endif
#if defined(__x86_64__) && (defined(__GNUC__) || defined(__clang__))
#include <immintrin.h>
#define ZORVANE_WIDE_SEARCH 1
#endif

namespace {

// Finding a needle fast: the page is filtered 16 or, where the processor has
// AVX2, 32 characters at a time on two anchor characters of the needle (the
// first and the one before the last, which tell the markers here apart well),
// and only the few candidates that pass are compared in full. A parse scans
// the page for several needles, so this filter is most of its time.
// Ignoring letter case applies to ASCII letters only: a letter matches itself
// in either case. Beyond ASCII only the Kelvin sign and the long s fold to
// ASCII letters (k and s), so for ASCII needles without those two letters
// this agrees with Qt's case-insensitive search; other needles are left to Qt.
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
        qsizetype found = -1;
#if defined(ZORVANE_WIDE_SEARCH)
        if (hasAvx2() && findWide(data, last, at, found))
            return found;
#endif
#if defined(__SSE2__)
        if (findSse2(data, last, at, found))
            return found;
#endif
        for (; at <= last; ++at) {
            if (matchesAt(data, at))
                return at;
        }
        return -1;
    }

private:
#if defined(ZORVANE_WIDE_SEARCH)
    static bool hasAvx2()
    {
        static const bool has = __builtin_cpu_supports("avx2");
        return has;
    }

    // 32 starts a round. True with found set when the needle was found;
    // otherwise at is where the narrower search goes on.
    __attribute__((target("avx2"))) bool findWide(const char16_t *data, qsizetype last, qsizetype &at,
                                                  qsizetype &found) const
    {
        const __m256i anchorA = _mm256_set1_epi16(short(m_anchorA));
        const __m256i anchorB = _mm256_set1_epi16(short(m_anchorB));
        const __m256i foldA = _mm256_set1_epi16(short(m_foldA));
        const __m256i foldB = _mm256_set1_epi16(short(m_foldB));
        // (Written out: lambdas would not inherit the AVX2 target.)
#define ZORVANE_LOAD(offset) _mm256_loadu_si256(reinterpret_cast<const __m256i *>(data + (offset)))
#define ZORVANE_HALF(from)                                                                          \
    _mm256_and_si256(_mm256_cmpeq_epi16(_mm256_or_si256(ZORVANE_LOAD(from), foldA), anchorA),      \
                     _mm256_cmpeq_epi16(_mm256_or_si256(ZORVANE_LOAD((from) + m_second), foldB), anchorB))
        for (; at + 31 <= last; at += 32) {
            // Packing works within 128-bit lanes; the permutation puts the
            // 32 bytes back in page order.
            const __m256i packed =
                _mm256_permute4x64_epi64(_mm256_packs_epi16(ZORVANE_HALF(at), ZORVANE_HALF(at + 16)), 0xD8);
            for (unsigned mask = unsigned(_mm256_movemask_epi8(packed)); mask; mask &= mask - 1) {
                const int bit = __builtin_ctz(mask);
                if (matchesAt(data, at + bit)) {
                    found = at + bit;
                    return true;
                }
            }
        }
#undef ZORVANE_HALF
#undef ZORVANE_LOAD
        return false;
    }
#endif

#if defined(__SSE2__)
    // 16 starts a round: two 8-character halves, their comparisons packed
    // into one byte mask, one branch for all 16.
    bool findSse2(const char16_t *data, qsizetype last, qsizetype &at, qsizetype &found) const
    {
        const __m128i anchorA = _mm_set1_epi16(short(m_anchorA));
        const __m128i anchorB = _mm_set1_epi16(short(m_anchorB));
        const __m128i foldA = _mm_set1_epi16(short(m_foldA));
        const __m128i foldB = _mm_set1_epi16(short(m_foldB));
        const auto half = [&](qsizetype from) {
            const auto load = [&](qsizetype offset, __m128i fold) {
                return _mm_or_si128(_mm_loadu_si128(reinterpret_cast<const __m128i *>(data + from + offset)), fold);
            };
            return _mm_and_si128(_mm_cmpeq_epi16(load(0, foldA), anchorA),
                                 _mm_cmpeq_epi16(load(m_second, foldB), anchorB));
        };
        for (; at + 15 <= last; at += 16) {
            const __m128i packed = _mm_packs_epi16(half(at), half(at + 8));
            for (unsigned mask = unsigned(_mm_movemask_epi8(packed)); mask; mask &= mask - 1) {
                const int bit = __builtin_ctz(mask);
                if (matchesAt(data, at + bit)) {
                    found = at + bit;
                    return true;
                }
            }
        }
        return false;
    }
#endif

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
