#pragma once

// What the check cycle's tests share: the cycle without a window, over two
// lists of its own, a local listing server and an in-process mail catcher,
// with its outbox and kept scans in a temporary folder. startProgram()
// makes the cycle the way a start of the program does, so that a test can
// end the program and start it again over the same folder.

#include "auction/CUserIDs.h"
#include "monitor/CheckCycle.h"

#include "ListingPages.h"
#include "LocalHttpServer.h"
#include "MailCatcher.h"

#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>

#include <functional>
#include <memory>

class CycleRig : public QObject
{
public:
    CycleRig()
        : m_catcher(m_folder.filePath(QStringLiteral("mail")))
    {
        m_catcher.prepareFolder();
        m_catcher.listen(0);
        connect(&m_catcher, &MailCatcher::messageCaught, this,
                [this](const CaughtMessage &message) { m_mail << message; });
    }

    // The lists: their IDs are kept across a restart, their scans are not.
    CUserIDs &sellers() { return *m_sellers; }
    CUserIDs &recipients() { return *m_recipients; }
    CheckCycle::Settings settings;
    QStringList status;
    QStringList reports;

    CheckCycle &cycle() { return *m_cycle; }
    LocalHttpServer &site() { return m_site; }
    MailCatcher &catcher() { return m_catcher; }
    QString path(const QString &name) const { return m_folder.filePath(name); }

    // A new cycle, as a start of the program makes it (the previous one
    // ends first), with the rig's settings and the kept scans restored.
    CheckCycle &startProgram()
    {
        m_cycle.reset();
        m_sellers = reloaded(*m_sellers);
        m_recipients = reloaded(*m_recipients);
        settings.sender = QStringLiteral("zorvane@example.com");
        settings.smtp.server = QStringLiteral("127.0.0.1");
        settings.smtp.port = m_catcher.port();
        settings.network.listingHost = m_site.url(QStringLiteral("/"));
        settings.network.itemHost = QStringLiteral("http://items.example/");
        settings.network.makerHost = m_site.url(QStringLiteral("/maker/"));
        m_cycle = std::make_unique<CheckCycle>(*m_sellers, *m_recipients);
        m_cycle->setOutbox(path(QStringLiteral("outbox")));
        m_cycle->setScanFolder(path(QStringLiteral("scans")));
        m_cycle->setSettings(settings);
        m_cycle->restoreScans();
        connect(m_cycle.get(), &CheckCycle::statusText, this, [this](const QString &text) { status << text; });
        connect(m_cycle.get(), &CheckCycle::errorReported, this, [this](const QString &text) { reports << text; });
        return *m_cycle;
    }

    // One cycle, as Check Now starts it; false when it did not end.
    bool check()
    {
        QSignalSpy finished(m_cycle.get(), &CheckCycle::cycleFinished);
        m_cycle->checkNow();
        return finished.wait(30000);
    }

    // The seller's listing, one page.
    void offer(const QString &seller, const QList<ListingPages::Auction> &auctions)
    {
        m_site.route(ListingPages::path(seller, 1), LocalHttpServer::page(ListingPages::page(auctions, false)));
    }

    // The mail caught so far: how many, and message n's subject and body.
    int mailCount() const { return int(m_mail.size()); }
    QString subject(int n) const { return header(n, "Subject: "); }
    QString body(int n) const
    {
        QByteArray data = m_mail.at(n - 1).data;
        if (data.endsWith("\r\n"))
            data.chop(2);
        return QString::fromLatin1(data.mid(data.indexOf("\r\n\r\n") + 4));
    }
    QString recipient(int n) const { return QString::fromLatin1(m_mail.at(n - 1).recipients.value(0)); }

private:
    static std::unique_ptr<CUserIDs> reloaded(const CUserIDs &list)
    {
        auto fresh = std::make_unique<CUserIDs>();
        for (const CUserID &entry : list)
            fresh->Add(entry.UserID());
        return fresh;
    }

    QString header(int n, const char *name) const
    {
        const QByteArray &data = m_mail.at(n - 1).data;
        const qsizetype start = data.indexOf(name) + qstrlen(name);
        return QString::fromLatin1(data.mid(start, data.indexOf("\r\n", start) - start));
    }

    QTemporaryDir m_folder;
    LocalHttpServer m_site;
    MailCatcher m_catcher;
    QList<CaughtMessage> m_mail;
    std::unique_ptr<CUserIDs> m_sellers = std::make_unique<CUserIDs>();
    std::unique_ptr<CUserIDs> m_recipients = std::make_unique<CUserIDs>();
    std::unique_ptr<CheckCycle> m_cycle;
};
