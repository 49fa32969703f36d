#pragma once

#include "HttpServer.h"

#include <QString>

// A site whose listing pages are files written beforehand: the request for
// page N of seller S gets the bytes of FOLDER/S/N.html, read afresh on every
// request, so whoever writes the files (a benchmark, say) can change what
// the next check sees between two checks. Everything else is not found.
class PageFolderSite
{
public:
    explicit PageFolderSite(QString folder);

    HttpResponse handle(const HttpRequest &request) const;

    // The file that answers this seller's page; empty for a seller ID that
    // could name something outside the folder.
    QString pageFile(const QString &sellerId, int page) const;

private:
    QString m_folder;
};
