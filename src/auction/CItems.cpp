#include "CItems.h"

#include "PageSearch.h"
#include "TrimBlanks.h"
#include "base/AppError.h"
#include "base/ErrorPatterns.h"

namespace {

// The markers of a seller listing row, in the order a row carries them.
constexpr QStringView ItemMark = u";item=";
constexpr QStringView QuoteClose = u"\">";
constexpr QStringView CompletedMark = u"(*)";
constexpr QStringView CompletedLegend = u"(*) indicates";
constexpr QStringView BoldOpen = u"<b>";
constexpr QStringView BoldClose = u"</b>";
constexpr QStringView QuoteRight = u"\"right\"";
constexpr QStringView CellEnd = u"</td>";
constexpr QStringView ImageMark = u"<img";
constexpr QStringView DutchLink = u"#dutch";
constexpr QStringView DutchWord = u"Dutch";
constexpr QStringView BidderMark = u";requested=";
constexpr QStringView EscapedAmp = u"&amp";
constexpr QStringView RowEnd = u"</tr>";

// A title longer than this does not end at an icon.
constexpr qsizetype TitleIconReach = 119;
// High bidder texts longer than this are not user IDs.
constexpr qsizetype MaxBidderLength = 50;
// Item numbers of this length or longer are not auctions.
constexpr qsizetype ItemNumberLimit = 12;

// Item numbers are short and plain: their letters fold as ASCII letters do,
// without a copy. Anything else is folded the general way.
constexpr qsizetype ShortKey = 32;

bool isShortAscii(QStringView text)
{
    if (text.size() > ShortKey)
        return false;
    for (QChar c : text) {
        if (c.unicode() >= 0x80)
            return false;
    }
    return true;
}

inline char16_t foldAscii(char16_t c)
{
    return (c >= u'A' && c <= u'Z') ? char16_t(c | 0x20) : c;
}

} // namespace

bool operator==(CItems::Key a, CItems::Key b) noexcept
{
    if (isShortAscii(a.number) && isShortAscii(b.number)) {
        if (a.number.size() != b.number.size())
            return false;
        for (qsizetype i = 0; i < a.number.size(); ++i) {
            if (foldAscii(a.number[i].unicode()) != foldAscii(b.number[i].unicode()))
                return false;
        }
        return true;
    }
    return a.number.toString().toCaseFolded() == b.number.toString().toCaseFolded();
}

size_t qHash(CItems::Key key, size_t seed) noexcept
{
    if (isShortAscii(key.number)) {
        char16_t folded[ShortKey];
        for (qsizetype i = 0; i < key.number.size(); ++i)
            folded[i] = foldAscii(key.number[i].unicode());
        return qHash(QStringView(folded, key.number.size()), seed);
    }
    return qHash(key.number.toString().toCaseFolded(), seed);
}

namespace {

// The text to keep for a field: the other list's, when it says the same.
inline QString keptText(const QString *same, QStringView value)
{
    return same && *same == value ? *same : value.toString();
}

inline QString keptText(const QString *same, const QString &value)
{
    return same && *same == value ? *same : value;
}

} // namespace

const CItem *CItems::Add(const QString &sItemNumber, bool bBids, const QString &sNumBids,
                         bool bIsDutch, const QString &sDescription, const QString &sHighBidder,
                         bool bCompleted, const QString &sHighBid) noexcept
{
    return add(sItemNumber, bBids, sNumBids, bIsDutch, sDescription, sHighBidder, bCompleted, sHighBid);
}

template <class Text>
const CItem *CItems::add(const Text &number, bool bBids, const Text &numBids, bool bIsDutch, const Text &description,
                         const Text &highBidder, bool bCompleted, const Text &highBid) noexcept
{
    try {
        if (m_byKey.contains(Key{number}))
            return nullptr;
        const CItem *same = sameAuction(QStringView(number));
        const auto field = [same](const QString &(CItem::*get)() const) {
            return same ? &(same->*get)() : nullptr;
        };
        CItem &item = m_items.emplace_back(CItem::Token());
        try {
            item.Init(keptText(field(&CItem::ItemNumber), number), bBids, keptText(field(&CItem::NumBids), numBids),
                      bIsDutch, keptText(field(&CItem::Description), description),
                      keptText(field(&CItem::HighBidder), highBidder), bCompleted,
                      keptText(field(&CItem::HighBid), highBid));
            // The key looks at the item's own number, which lives as long
            // as the item.
            m_byKey.insert(Key{item.m_sItemNumber}, qsizetype(m_items.size()) - 1);
        } catch (...) {
            m_items.pop_back();
            throw;
        }
        return &item;
    } catch (...) {
        return nullptr;
    }
}

// The same auction (the same number, exactly) in the list this one shares
// texts with. Both scans list auctions in the same order, so the item after
// the last one found is tried before the index.
const CItem *CItems::sameAuction(QStringView number)
{
    if (!m_sharesTextsWith)
        return nullptr;
    const std::deque<CItem> &other = m_sharesTextsWith->m_items;
    if (m_shareCursor >= qsizetype(other.size()) || other[size_t(m_shareCursor)].ItemNumber() != number) {
        const auto found = m_sharesTextsWith->m_byKey.constFind(Key{number});
        if (found == m_sharesTextsWith->m_byKey.cend() || other[size_t(found.value())].ItemNumber() != number)
            return nullptr;
        m_shareCursor = found.value();
    }
    return &other[size_t(m_shareCursor++)];
}

void CItems::swap(CItems &other) noexcept
{
    // A deque keeps its elements where they are, so the index's keys, which
    // look at the items' own numbers, stay valid.
    m_items.swap(other.m_items);
    m_byKey.swap(other.m_byKey);
    m_shareCursor = other.m_shareCursor = 0;
}

qint32 CItems::Count() const
{
    return passingOn("CItems", "Count", [this] { return qint32(m_items.size()); });
}

void CItems::Clear()
{
    passingOn("CItems", "Clear", [this] {
        m_byKey.clear();
        m_items.clear();
        m_shareCursor = 0;
    });
}

const CItem *CItems::find(const QString &itemNumber) const
{
    const const_iterator found = position(itemNumber);
    return found == end() ? nullptr : &*found;
}

CItems::const_iterator CItems::position(const QString &itemNumber) const
{
    const auto found = m_byKey.constFind(Key{itemNumber});
    return found == m_byKey.cend() ? end() : begin() + *found;
}

bool CItems::LoadFromSellerPage(const QString &sHTML)
{
    QStringView lastItemNumber;
    try {
        const QStringView page(sHTML);
        PageSearch itemMark(page, ItemMark);
        PageSearch quoteClose(page, QuoteClose);
        PageSearch rowEnd(page, RowEnd);
        PageSearch completedMark(page, CompletedMark);
        PageSearch boldOpen(page, BoldOpen);
        PageSearch boldClose(page, BoldClose);
        PageSearch quoteRight(page, QuoteRight);
        PageSearch priceCellEnd(page, CellEnd);
        PageSearch titleCellEnd(page, CellEnd, Qt::CaseInsensitive);
        PageSearch imageMark(page, ImageMark);
        PageSearch dutchLink(page, DutchLink);
        PageSearch dutchWord(page, DutchWord);
        PageSearch bidderMark(page, BidderMark);
        PageSearch escapedAmp(page, EscapedAmp);

        // The fields of a listing are separate pieces of its rows, so
        // together they are shorter than the page. Rows that lack their
        // markers can each reach back to the page's start or on to its end;
        // every such row would hold most of the page, and a page of them
        // would need memory and time of rows times page length. Such a page
        // is malformed: it fails once its fields pass the page's length.
        qsizetype fieldsLeft = page.size();

        qsizetype p = itemMark.from(0);
        if (p < 0)
            return false;

        while (p >= 0) {
            const qsizetype g = quoteClose.from(p);
            const QStringView itemNumber = cutView(page, p + ItemMark.size(), g);
            lastItemNumber = itemNumber;

            // A row without "</tr>" has no position before its end.
            const qsizetype e = rowEnd.from(g);
            const auto inRow = [e](qsizetype position) { return position >= 0 && e >= 0 && position < e; };

            // Only the first "(*)" counts, and the page legend is not a mark.
            const qsizetype s = completedMark.from(g);
            const bool completed = inRow(s) && !page.mid(s).startsWith(CompletedLegend);

            const qsizetype b = boldOpen.from(g);
            const bool bids = inRow(b);

            QStringView highBid;
            qsizetype priceEnd;
            if (bids) {
                const qsizetype t = boldClose.from(b);
                highBid = cutView(page, b + BoldOpen.size(), t);
                priceEnd = t;
            } else {
                // Past "right" and the one character that closes the cell tag.
                const qsizetype r = quoteRight.from(g);
                const qsizetype priceStart = r + QuoteRight.size() + 1;
                const qsizetype c = priceCellEnd.from(priceStart);
                highBid = cutView(page, priceStart, c);
                priceEnd = c;
            }

            const qsizetype d = quoteClose.from(priceEnd) + QuoteClose.size();
            const qsizetype m = imageMark.from(d);
            const qsizetype titleEnd = (m >= 0 && m - d >= 1 && m - d <= TitleIconReach)
                                           ? m
                                           : titleCellEnd.from(d);
            const QStringView description = cutView(page, d, titleEnd);

            bool isDutch = false;
            QStringView numBids;
            const qsizetype u = dutchLink.from(titleEnd);
            if (inRow(u)) {
                isDutch = true;
                numBids = trimBlanks(cutView(page, u + 10, dutchWord.from(u)));
            }

            QStringView highBidder;
            if (bids) {
                // Not limited to the row: the next bidder link on the page.
                const qsizetype q = bidderMark.from(titleEnd);
                const qsizetype bidderStart = q + BidderMark.size();
                highBidder = cutView(page, bidderStart, escapedAmp.from(bidderStart));
            }
            if (highBidder.size() > MaxBidderLength)
                highBidder = {};

            fieldsLeft -= itemNumber.size() + highBid.size() + description.size() + numBids.size()
                          + highBidder.size();
            if (fieldsLeft < 0)
                throw AppError::platform(ErrorNumber::Overflow);

            if (itemNumber.size() < ItemNumberLimit)
                add(itemNumber, bids, numBids, isDutch, description, highBidder, completed, highBid);

            // Fails (invalid argument) when the row had no end.
            p = itemMark.from(e);
        }
        return true;
    } catch (...) {
        passOnCaughtError("CItems", "LoadFromSellerPage", QStringLiteral(" Item: ") + lastItemNumber.toString());
    }
}

bool CItems::isMalformedPageError(const AppError &error)
{
    return error.description().startsWith(QStringLiteral("CItems.LoadFromSellerPage ")
                                          + QString::number(ErrorNumber::Overflow) + u' ');
}

bool CItems::LoadFromCategoryPage(const QString &sHTML, qint16 iSite)
{
    try {
        const QStringView page(sHTML);
        const QStringView startMark = iSite != 0 ? QStringView(u"itemnum=") : QStringView(u"item=");
        const QStringView endMark = iSite == 2 ? QStringView(u"&") : QuoteClose;
        PageSearch start(page, startMark);
        PageSearch end(page, endMark);
        PageSearch rowEnd(page, RowEnd);

        qsizetype p = start.from(0);
        if (p < 0)
            return false;
        while (p >= 0) {
            const qsizetype g = end.from(p);
            const QString itemNumber = cutText(page, p + startMark.size(), g);
            const qsizetype e = rowEnd.from(g);
            // A row that shows only "-" in a cell has no bids.
            const bool bids = !QStringView(cutText(page, g, e)).contains(u">-</");
            Add(itemNumber, bids);
            p = start.from(e);
        }
        return true;
    } catch (...) {
        passOnCaughtError("CItems", "LoadFromCategoryPage");
    }
}
