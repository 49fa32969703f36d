#pragma once

#include "HttpServer.h"
#include "SiteModel.h"

// The simulated site's addresses: seller listing pages, the maker's version
// service and first-run page. Everything else is not found.
class SandboxSite
{
public:
    explicit SandboxSite(quint32 seed);

    HttpResponse handle(const HttpRequest &request);

    SiteModel &model() { return m_model; }

private:
    HttpResponse listing(const HttpRequest &request);
    HttpResponse versionCheck(const HttpRequest &request);

    SiteModel m_model;
};
