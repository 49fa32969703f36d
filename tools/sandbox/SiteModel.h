#pragma once

#include <QDateTime>
#include <QRandomGenerator>
#include <QString>

#include <memory>
#include <vector>

// One simulated auction, as the listing page shows it.
struct SandboxAuction
{
    QString number;          // ten digits, unique on the site
    QString title;
    bool picture = false;    // shows the camera icon after the title
    int dutchQuantity = 0;   // above 0: a Dutch auction of this many units
    int bidCount = 0;
    qint64 priceCents = 0;   // opening price until bids raise it
    QString highBidder;      // empty while nobody has bid
    QDateTime start;
    QDateTime end;
    int completedAtStep = -1; // the step at which it ended; -1 while running

    bool isDutch() const { return dutchQuantity > 0; }
    bool hasBids() const { return bidCount > 0; }
    bool completed() const { return completedAtStep >= 0; }
};

// The behaviour that sets one simulated seller apart.
enum class SellerKind {
    ManyPages,   // enough auctions for three listing pages
    Dutch,       // sells Dutch auctions beside ordinary ones
    Completed,   // ended auctions stay listed, marked, for a few steps
    Empty,       // has nothing for sale
    Flaky,       // the site fails on every third request for this seller
};

// One seller's little world. It moves on only when told to (one step per
// request of the seller's first listing page), so what a client sees is a
// pure function of the seed and of how many first pages it asked for.
class SellerWorld
{
public:
    SellerWorld(QString id, SellerKind kind, int index, quint32 seed);

    const QString &id() const { return m_id; }
    SellerKind kind() const { return m_kind; }
    int step() const { return m_step; }
    const std::vector<SandboxAuction> &auctions() const { return m_auctions; }

    // One step of time: bids arrive (prices rise, high bidders change, first
    // bids land on auctions without any), auctions end and new ones are
    // listed. Every step of a seller with auctions brings at least one
    // change to an auction with bids and one new auction, so two checks in a
    // row always have something to report.
    void advance();

    // A request for the first listing page: the first one shows the world as
    // it began, every later one moves it on by one step first.
    void firstPageRequested();

private:
    SandboxAuction newAuction(bool dutch);
    QString nextNumber();
    QString pickBidder(const QString &notThisOne);
    void placeBid(SandboxAuction &auction);
    void endAuctions();

    QString m_id;
    SellerKind m_kind;
    QRandomGenerator m_random;
    int m_step = 0;
    bool m_shown = false;
    qint64 m_nextNumber;
    QDateTime m_clock;
    std::vector<SandboxAuction> m_auctions;
};

// The whole simulated site: the known sellers, and what the maker's version
// service has said so far.
class SiteModel
{
public:
    explicit SiteModel(quint32 seed);

    // The sellers every sandbox has, in the order they are presented.
    static QStringList sellerIds();

    // The seller with this ID (letter case ignored), or nullptr: unknown
    // sellers have no auctions.
    SellerWorld *seller(const QString &id);

    // How the site answers the next listing request for this seller: most
    // requests are served, but the flaky seller's every third one fails,
    // alternately with a server error and with a truncated page.
    enum class Answer { Page, ServerError, ShortPage };
    Answer nextAnswer(const QString &id);

    // True only the first time it is asked in a run: the version service
    // carries its welcome message once.
    bool takeCompanyMessage();

private:
    std::vector<std::unique_ptr<SellerWorld>> m_sellers;
    int m_flakyRequests = 0;
    bool m_messageGiven = false;
};

// Money as the site writes it: "$1,234.50".
QString formatPrice(qint64 cents);
