#pragma once

#include "SiteModel.h"

#include <QString>

#include <vector>

// The texts the simulated site serves. Listing pages are laid out the way
// the program's listing parser reads them: one table row per auction with
// the item link, the optional completed mark "(*)", the price (bold when
// the auction has bids, otherwise in a right-aligned cell), the title cell,
// the "#dutch" link of Dutch auctions and the high bidder link, around them
// the usual page furniture and, when a further page exists, the link to it
// that ends in ">&gt;&gt;</a>".
namespace ListingPage {

// Rows per page when the request does not say, and the most it may ask for.
inline constexpr int DefaultRows = 100;
inline constexpr int MaxRows = 200;


// How many pages a list of this many auctions takes (at least one: a seller
// without auctions still has a page saying so).
int pageCount(int auctionCount, int rows);

// Page `page` (from 1) of the seller's listing. A page past the last one is
// a valid page without auctions. sellerId is shown as given, made harmless
// for HTML and for the parser's markers.
QString render(const QString &sellerId, const std::vector<SandboxAuction> &auctions, int page,
               int rows);

// What a listing request gets when the site is having a bad moment: a page
// cut short, well under ListingSite::ShortestPage.
QString truncatedPage();

// The address of page `page` of a seller's listing, as a path and query.
QString listingAddress(const QString &sellerId, int page, int rows);

// The version service's reply. With the welcome message it carries a
// status block saying there is no new version; without, it carries no
// status block at all, so the program shows nothing.
QString versionReply(bool withMessage);

// The text the welcome message of the version service carries.
QString companyMessage();

QString newInstallPage();
QString errorPage(int status, const QString &reason);

// Text from a request made safe to show inside a page: HTML specials, the
// characters of the parser's markers and everything outside printable
// ASCII become character references, so an echoed seller ID can never add
// an auction, a mark or a next-page link. "=" is among them because every
// reference ends in ";": "x;item=" must not become "x&#59;item=", which
// holds the item marker.
QString inertText(const QString &text);

} // namespace ListingPage
