#pragma once

#include <QDesktopServices>
#include <QList>
#include <QObject>
#include <QStringList>
#include <QUrl>

// Takes the place of the desktop's handler for the given schemes while it
// lives and keeps every address the program asked to open.
class UrlCatcher : public QObject
{
    Q_OBJECT

public:
    explicit UrlCatcher(const QStringList &schemes)
        : m_schemes(schemes)
    {
        for (const QString &scheme : m_schemes)
            QDesktopServices::setUrlHandler(scheme, this, "open");
    }
    ~UrlCatcher() override
    {
        for (const QString &scheme : m_schemes)
            QDesktopServices::unsetUrlHandler(scheme);
    }

    const QList<QUrl> &urls() const { return m_urls; }

public Q_SLOTS:
    void open(const QUrl &url) { m_urls.append(url); }

private:
    QStringList m_schemes;
    QList<QUrl> m_urls;
};
