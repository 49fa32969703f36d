#pragma once

#include "auction/PageSearch.h"

#include <QString>
#include <QStringView>

// What the program knows of the auction site's seller listings: where page n
// of a seller's listing is, how a page says that another follows, and how
// short a page may be before it counts as not arrived. The check cycle, the
// sandbox site and the tests all take it from here.
namespace ListingSite {

// Rows the listing query asks for.
inline constexpr int RowsPerPage = 100;

// A listing page shorter than this did not arrive whole.
inline constexpr qsizetype ShortestPage = 2500;

// The end of a page's link to the page after it.
inline constexpr QStringView NextPageMarker = u">&gt;&gt;</a>";

// The path and query of page n (from 1) of a seller's listing, after the
// listing host: the seller ID goes in exactly as stored, not encoded.
inline QString pagePath(const QString &sellerId, int page, int rows = RowsPerPage)
{
    return QStringLiteral("ws/eBayISAPI.dll?ViewListedItems&userid=") + sellerId
        + QStringLiteral("&include=0&since=1&page=") + QString::number(page) + QStringLiteral("&sort=2&rows=")
        + QString::number(rows);
}

// The whole address; listingHost ends in "/".
inline QString pageAddress(const QString &listingHost, const QString &sellerId, int page)
{
    return listingHost + pagePath(sellerId, page);
}

inline bool isWhole(QStringView page)
{
    return page.size() >= ShortestPage;
}

inline bool hasNextPage(QStringView page)
{
    return PageSearch(page, NextPageMarker).from(0) >= 0;
}

} // namespace ListingSite
