#pragma once

// What the check cycle's tests share: the cycle without a window, over two
// lists of its own, a local listing server and an in-process mail catcher,
// with its outbox (on a clock the test moves) and kept scans in a temporary
// folder. startProgram() makes the cycle the way a start of the program
// does, so that a test can end the program and start it again over the
// same folder.

#include "auction/CUserIDs.h"
#include "monitor/CheckCycle.h"

#include "ListingPages.h"
#include "LocalHttpServer.h"
#include "MailCatcher.h"

#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>

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
    QDateTime now{QDate(2024, 5, 1), QTime(10, 0), Qt::UTC};
    int sessions = 0;

    CheckCycle &cycle() { return *m_cycle; }
    LocalHttpServer &site() { return m_site; }
    MailCatcher &catcher() { return m_catcher; }
    QString path(const QString &name) const { return m_folder.filePath(name); }

    // A new cycle, as a start of the program makes it (the previous one
    // ends first), with the rig's settings and the kept scans restored.
    CheckCycle &startProgram()
    {
        m_cycle.reset();
        reload(m_sellers);
        reload(m_recipients);
        settings.sender = QStringLiteral("zorvane@example.com");
        settings.smtp.server = QStringLiteral("127.0.0.1");
        settings.smtp.port = m_catcher.port();
        settings.network.listingHost = m_site.url(QStringLiteral("/"));
        settings.network.itemHost = QStringLiteral("http://items.example/");
        m_cycle = std::make_unique<CheckCycle>(*m_sellers, *m_recipients);
        m_cycle->setOutbox(path(QStringLiteral("outbox")), [this] { return now; });
        m_cycle->setScanFolder(path(QStringLiteral("scans")));
        m_cycle->setSettings(settings);
        m_cycle->restoreScans();
        connect(m_cycle.get(), &CheckCycle::deliveryEnded, this, [this] { ++sessions; });
        return *m_cycle;
    }

    // One cycle, as Check Now starts it; false when it did not end.
    bool check()
    {
        QSignalSpy finished(m_cycle.get(), &CheckCycle::cycleFinished);
        m_cycle->checkNow();
        return finished.wait(60000);
    }
    // One cycle over this listing of the seller.
    bool check(const QString &seller, const QList<QList<ListingPages::Auction>> &pages) { return offer(seller, pages), check(); }

    // The seller's listing: page n holds pages[n - 1], each but the last
    // linking to the next.
    void offer(const QString &seller, const QList<QList<ListingPages::Auction>> &pages)
    {
        for (qsizetype n = 0; n < pages.size(); ++n)
            m_site.route(ListingPages::path(seller, int(n + 1)),
                         LocalHttpServer::page(ListingPages::page(pages.at(n), n + 1 < pages.size())));
    }

    // The mail caught so far: how many, and message n's subject, body and
    // recipient; "recipient subject" of each, in order.
    int mailCount() const { return int(m_mail.size()); }
    QString subject(int n) const
    {
        const QByteArray &data = m_mail.at(n - 1).data;
        const qsizetype start = data.indexOf("Subject: ") + 9;
        return QString::fromLatin1(data.mid(start, data.indexOf("\r\n", start) - start));
    }
    QString body(int n) const
    {
        const QByteArray &data = m_mail.at(n - 1).data; // the line end before the final "." is the terminator's
        return QString::fromLatin1(data.mid(data.indexOf("\r\n\r\n") + 4).chopped(data.endsWith("\r\n") ? 2 : 0));
    }
    QStringList delivered() const
    {
        QStringList all;
        for (int n = 1; n <= mailCount(); ++n)
            all << QString::fromLatin1(m_mail.at(n - 1).recipients.value(0)) + u' ' + subject(n);
        return all;
    }

private:
    static void reload(std::unique_ptr<CUserIDs> &list)
    {
        auto fresh = std::make_unique<CUserIDs>();
        for (const CUserID &entry : *list)
            fresh->Add(entry.UserID());
        list = std::move(fresh);
    }

    QTemporaryDir m_folder;
    LocalHttpServer m_site;
    MailCatcher m_catcher;
    QList<CaughtMessage> m_mail;
    std::unique_ptr<CUserIDs> m_sellers = std::make_unique<CUserIDs>();
    std::unique_ptr<CUserIDs> m_recipients = std::make_unique<CUserIDs>();
    std::unique_ptr<CheckCycle> m_cycle;
};
