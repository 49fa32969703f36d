#include "SandboxSite.h"

#include "ListingPage.h"
#include "base/PageText.h"

namespace {

HttpResponse htmlResponse(int status, const QString &text)
{
    HttpResponse response;
    response.status = status;
    response.body = PageText::toBytes(text);
    return response;
}

// A whole number from the query within [low, high]; fallback when it is
// missing or not a number. Keeps page arithmetic far from overflowing.
int boundedNumber(const QUrlQuery &query, const QString &key, int fallback, int low, int high)
{
    bool ok = false;
    const qint64 value = query.queryItemValue(key).toLongLong(&ok);
    if (!ok)
        return fallback;
    return int(std::clamp<qint64>(value, low, high));
}

// Pages past this one are all empty anyway.
constexpr int MaxPage = 100000;

} // namespace

SandboxSite::SandboxSite(quint32 seed)
    : m_model(seed)
{
}

HttpResponse SandboxSite::handle(const HttpRequest &request)
{
    // The site's server did not care about letter case in paths.
    const QString path = request.path.toLower();
    if (path == u"/ws/ebayisapi.dll" && request.query.hasQueryItem(QStringLiteral("ViewListedItems")))
        return listing(request);
    if (path == u"/version/versioncheck.asp")
        return versionCheck(request);
    if (path == u"/zorvane/zorvanenewinstall.html")
        return htmlResponse(200, ListingPage::newInstallPage());
    return htmlResponse(404, ListingPage::errorPage(404, QStringLiteral("Not Found")));
}

HttpResponse SandboxSite::listing(const HttpRequest &request)
{
    const QString sellerId = request.query.queryItemValue(QStringLiteral("userid"), QUrl::FullyDecoded);
    const int page = boundedNumber(request.query, QStringLiteral("page"), 1, 1, MaxPage);
    const int rows = boundedNumber(request.query, QStringLiteral("rows"), ListingPage::DefaultRows, 1,
                                   ListingPage::MaxRows);

    switch (m_model.nextAnswer(sellerId)) {
    case SiteModel::Answer::ServerError:
        return htmlResponse(500, ListingPage::errorPage(500, QStringLiteral("Internal Server Error")));
    case SiteModel::Answer::ShortPage:
        return htmlResponse(200, ListingPage::truncatedPage());
    case SiteModel::Answer::Page:
        break;
    }

    SellerWorld *world = m_model.seller(sellerId);
    if (!world)
        return htmlResponse(200, ListingPage::render(sellerId, {}, page, rows));
    if (page == 1)
        world->firstPageRequested();
    return htmlResponse(200, ListingPage::render(world->id(), world->auctions(), page, rows));
}

HttpResponse SandboxSite::versionCheck(const HttpRequest &request)
{
    if (!request.query.hasQueryItem(QStringLiteral("app")))
        return htmlResponse(400, ListingPage::errorPage(400, QStringLiteral("Bad Request")));
    HttpResponse response = htmlResponse(200, ListingPage::versionReply(m_model.takeCompanyMessage()));
    response.contentType = "text/plain; charset=ISO-8859-1";
    return response;
}
