#include "PageFolderSite.h"

#include "ListingPage.h"
#include "base/PageText.h"

#include <QDir>
#include <QFile>

PageFolderSite::PageFolderSite(QString folder)
    : m_folder(std::move(folder))
{
}

QString PageFolderSite::pageFile(const QString &sellerId, int page) const
{
    // A seller ID becomes one name inside the folder, never a path.
    if (sellerId.isEmpty() || sellerId.startsWith(u'.') || sellerId.contains(u'/') || sellerId.contains(u'\\')
        || sellerId.contains(QChar(0)))
        return {};
    return QDir(m_folder).filePath(sellerId + u'/' + QString::number(page) + QStringLiteral(".html"));
}

HttpResponse PageFolderSite::handle(const HttpRequest &request) const
{
    HttpResponse response;
    if (request.path.toLower() == u"/ws/ebayisapi.dll" && request.query.hasQueryItem(QStringLiteral("ViewListedItems"))) {
        bool pageOk = false;
        const int page = request.query.queryItemValue(QStringLiteral("page")).toInt(&pageOk);
        const QString path = pageOk && page > 0
                                 ? pageFile(request.query.queryItemValue(QStringLiteral("userid"), QUrl::FullyDecoded), page)
                                 : QString();
        QFile file(path);
        if (!path.isEmpty() && file.open(QIODevice::ReadOnly)) {
            response.body = file.readAll();
            return response;
        }
    }
    response.status = 404;
    response.body = PageText::toBytes(ListingPage::errorPage(404, QStringLiteral("Not Found")));
    return response;
}
