#pragma once

#include "CItem.h"
#include "base/AppError.h"

#include <QHash>
#include <QString>
#include <QStringView>

#include <deque>

// The auctions of one seller as one scan found them: in the order found,
// keyed by item number without regard to letter case. Items are only added
// (directly or by the page parsers) and only removed all at once.
//
// The items live as long as the list or until Clear; the pointers that Add,
// find and the iteration hand out stay valid that long. They are held by
// value in blocks (a deque, which never moves what it holds), and the index
// refers to each item's own number, so that an item costs its texts and
// little more.
class CItems
{
public:
    using const_iterator = std::deque<CItem>::const_iterator;

    CItems() = default;
    CItems(const CItems &) = delete;
    CItems &operator=(const CItems &) = delete;

    // Stores a new item under sItemNumber and returns it. A duplicate key
    // (letter case ignored), or any other failure, leaves the list as it was
    // and returns nullptr; nothing is raised.
    const CItem *Add(const QString &sItemNumber, bool bBids = false, const QString &sNumBids = {},
                     bool bIsDutch = false, const QString &sDescription = {},
                     const QString &sHighBidder = {}, bool bCompleted = false,
                     const QString &sHighBid = {}) noexcept;

    qint32 Count() const;
    void Clear();

    // Exchanges the items of the two lists (each keeps whom it shares texts
    // with): the check cycle's rotation of a seller's scans, without copying
    // a single item.
    void swap(CItems &other) noexcept;

    // The item stored under this number (letter case ignored), or nullptr.
    const CItem *find(const QString &itemNumber) const;
    // The same as a position in the list (end() when there is none), for a
    // walk that goes on from there.
    const_iterator position(const QString &itemNumber) const;

    // Texts of a new item that equal those of the same auction (the same
    // number, exactly) in the other list are stored as shared copies of
    // that list's texts. A seller's current scan shares with the previous
    // one, so that its unchanged auctions cost little more than their
    // entries. The other list must outlive this one or be unset (nullptr).
    void shareTextsWith(const CItems *other) { m_sharesTextsWith = other; }

    const_iterator begin() const { return m_items.cbegin(); }
    const_iterator end() const { return m_items.cend(); }

    // Cuts the auctions out of one seller listing page and adds them after
    // those already present. True when the page holds at least one item
    // marker. A failure is raised with the item number last cut appended;
    // items added before it stay. Besides a missing row end or a cut that
    // would end before it starts (invalid argument, 5), a page whose fields
    // together would be longer than the page itself fails (overflow, 6), so
    // that what a page adds never exceeds its own size.
    bool LoadFromSellerPage(const QString &sHTML);

    // Whether an error that LoadFromSellerPage raised says the page is no
    // listing at all (its rows would hold more text than the page), as
    // opposed to a listing with a broken row.
    static bool isMalformedPageError(const AppError &error);

    // The same for the other kinds of listing page: iSite 0 marks items with
    // "item=", any other value with "itemnum="; site 2 ends the number at
    // "&" instead of at the link's closing quote.
    bool LoadFromCategoryPage(const QString &sHTML, qint16 iSite);

    // An item number as the index's key: letter case does not count.
    struct Key
    {
        QStringView number;
    };

private:
    template <class Text>
    const CItem *add(const Text &number, bool bBids, const Text &numBids, bool bIsDutch, const Text &description,
                     const Text &highBidder, bool bCompleted, const Text &highBid) noexcept;
    const CItem *sameAuction(QStringView number);

    std::deque<CItem> m_items;
    QHash<Key, qsizetype> m_byKey; // the item's place in m_items
    const CItems *m_sharesTextsWith = nullptr;
    // Where the walk through the shared list is.
    qsizetype m_shareCursor = 0;
};

bool operator==(CItems::Key a, CItems::Key b) noexcept;
size_t qHash(CItems::Key key, size_t seed = 0) noexcept;
