#pragma once

#include "auction/CItems.h"
#include "auction/ListingSite.h"

#include <QString>

#include <functional>

// Scans a seller the way the program's check cycle does: page 1, 2, ... as
// long as each page carries the next-page marker, every page parsed into
// one list. The fetch function returns the page text, or a null string when
// the request failed.
namespace SandboxScan {

inline const QString NextPageMarker = ListingSite::NextPageMarker.toString();

inline QString listingTarget(const QString &sellerId, int page)
{
    return u'/' + ListingSite::pagePath(sellerId, page);
}

struct Result
{
    bool ok = true;
    int pages = 0;
    QList<int> itemsPerPage;
    QList<bool> markerPerPage;
};

// Stops at a failed or short page (ok false), or after maxPages.
inline Result scan(const std::function<QString(const QString &target)> &fetch, const QString &sellerId,
                   CItems &items, int maxPages = 10)
{
    Result result;
    for (int page = 1; page <= maxPages; ++page) {
        const QString text = fetch(listingTarget(sellerId, page));
        ++result.pages;
        if (!ListingSite::isWhole(text)) {
            result.ok = false;
            return result;
        }
        const int before = items.Count();
        items.LoadFromSellerPage(text);
        result.itemsPerPage << items.Count() - before;
        const bool more = ListingSite::hasNextPage(text);
        result.markerPerPage << more;
        if (!more)
            break;
    }
    return result;
}

// An item that the program's comparison would report as changed.
inline bool changed(const CItem &before, const CItem &now)
{
    return before.Bids() != now.Bids() || before.HighBid() != now.HighBid()
           || before.HighBidder() != now.HighBidder();
}

} // namespace SandboxScan
