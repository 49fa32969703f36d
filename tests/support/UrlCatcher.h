#pragma once

#include "base/Shell.h"

#include <QList>
#include <QUrl>

// Opens every address the program asks to open, while it lives, by keeping
// it: nothing reaches a browser or mail program.
class UrlCatcher
{
public:
    UrlCatcher() { m_previous = Shell::setHandler([this](const QUrl &url) { return m_urls.append(url), true; }); }
    ~UrlCatcher() { Shell::setHandler(std::move(m_previous)); }
    Q_DISABLE_COPY(UrlCatcher)
    const QList<QUrl> &urls() const { return m_urls; }

private:
    Shell::Handler m_previous;
    QList<QUrl> m_urls;
};
