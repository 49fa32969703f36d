#include "SiteModel.h"

#include <QStringList>

#include <algorithm>
#include <array>

namespace {

// What a seller of each kind sells. Titles are written as the site shows
// them: already HTML, so "&amp;" is the page's own text.
struct Theme
{
    std::vector<const char *> first;
    std::vector<const char *> things;
    std::vector<const char *> details;
    qint64 lowCents;
    qint64 highCents;
};

const Theme &themeOf(SellerKind kind)
{
    static const Theme gadgets{
        {"Vintage", "NEW", "Boxed", "Working", "Rare", "Classic", "Mint"},
        {"Pocket Radio", "Film Camera", "Calculator", "Cassette Walkman", "Game Boy",
         "Pager", "Flip Phone", "Digital Watch", "Synthesizer", "Slide Projector",
         "Reel-to-Reel Deck", "Handheld LCD Game"},
        {"", " - Tested", " w/ Manual", " Lot of 3", " - Free Shipping", " NR", " + Case"},
        100, 25000};
    static const Theme coins{
        {"Lot of 10", "Roll of 20", "Set of 5", "Lot of 25", "Bag of 50"},
        {"Silver Dollars", "Wheat Pennies", "Buffalo Nickels", "Mercury Dimes",
         "State Quarters", "Indian Head Cents", "Walking Liberty Halves"},
        {"", " - Circulated", " BU", " VF-XF", " Mixed Dates"},
        99, 2000};
    static const Theme estate{
        {"Antique", "Victorian", "Art Deco", "Estate", "Hand Painted", "Signed"},
        {"Brass Desk Lamp", "Mantel Clock", "Salt &amp; Pepper Shakers", "Tea Set",
         "Oil Painting", "Silver Locket", "Crystal Decanter", "Quilt", "Pocket Knife",
         "Cameo Brooch"},
        {"", " c. 1920", " - Estate Find", " Excellent Cond.", " NR"},
        500, 50000};
    static const Theme comics{
        {"Golden Age", "Silver Age", "Bronze Age", "Key Issue", "Lot of 12"},
        {"Comic Books", "Pulp Magazines", "Trading Cards", "Movie Posters", "Lobby Cards"},
        {"", " CGC 8.0", " - High Grade", " Low Reserve"},
        200, 9000};
    switch (kind) {
    case SellerKind::ManyPages:
        return gadgets;
    case SellerKind::Dutch:
        return coins;
    case SellerKind::Completed:
        return estate;
    case SellerKind::Empty:
    case SellerKind::Flaky:
        break;
    }
    return comics;
}

// The sellers of the site, in the order sellerIds() gives them.
struct SellerEntry
{
    const char *id;
    SellerKind kind;
    int initialCount;
};

constexpr std::array<SellerEntry, 5> Sellers{{
    {"gadget-garage", SellerKind::ManyPages, 250},
    {"dutch-dollar-deals", SellerKind::Dutch, 12},
    {"attic-estate-sales", SellerKind::Completed, 15},
    {"quiet-collector", SellerKind::Empty, 0},
    {"flaky-phil", SellerKind::Flaky, 8},
}};

// The people who bid; none is longer than the 50 characters a bidder ID may have.
constexpr std::array<const char *, 20> Bidders{
    "retro.rita", "coinhound", "bidmaster_99", "tinkerbell77", "sniper-steve",
    "gadgetgal", "old_timer42", "the_collector", "midnight.bidder", "lucky-lou",
    "penny_pincher", "antiquarian_al", "vinyl.vera", "dealhunter", "maple_mart",
    "quiet_quentin", "bargain-bob", "estate_emma", "numismatix", "late_larry"};

// The bid steps the site uses: the next bid is at least this much higher.
qint64 increment(qint64 cents)
{
    if (cents < 100)
        return 5;
    if (cents < 500)
        return 25;
    if (cents < 2500)
        return 50;
    if (cents < 10000)
        return 100;
    if (cents < 25000)
        return 250;
    if (cents < 50000)
        return 500;
    return 1000;
}

// How long an ended auction stays on a listing, marked as completed.
constexpr int CompletedStaySteps = 3;
// Sellers other than the three-page one stop growing here.
constexpr size_t SmallSellerLimit = 40;

// Simulated time starts here and moves on by this much per step.
const QDateTime ClockStart(QDate(2003, 3, 14), QTime(18, 0), Qt::UTC);
constexpr qint64 StepSeconds = 2 * 3600;

} // namespace

QString formatPrice(qint64 cents)
{
    const QString dollars = QString::number(cents / 100);
    QString grouped;
    for (qsizetype i = 0; i < dollars.size(); ++i) {
        if (i > 0 && (dollars.size() - i) % 3 == 0)
            grouped += u',';
        grouped += dollars.at(i);
    }
    return u'$' + grouped + u'.' + QStringLiteral("%1").arg(cents % 100, 2, 10, QLatin1Char('0'));
}

SellerWorld::SellerWorld(QString id, SellerKind kind, int index, quint32 seed)
    : m_id(std::move(id))
    , m_kind(kind)
    // Each seller draws from its own generator, so the order in which a
    // client asks for sellers does not change what any one of them shows.
    , m_random(seed * 2654435761u + quint32(index) * 40503u + 1u)
    , m_clock(ClockStart)
{
    m_nextNumber = 3000000000LL + qint64(index) * 100000000LL + m_random.bounded(1000000);
    const int count = Sellers.at(size_t(index)).initialCount;
    for (int i = 0; i < count; ++i) {
        // Every other auction of the Dutch seller is a Dutch one.
        SandboxAuction auction = newAuction(kind == SellerKind::Dutch && i % 2 == 0);
        // Started some time in the last week; a third or more already has bids.
        auction.start = m_clock.addSecs(-qint64(m_random.bounded(7 * 24)) * 3600);
        auction.end = m_clock.addSecs(StepSeconds * (i + 1) + m_random.bounded(3600));
        if (i % 3 == 1 || m_random.bounded(4) == 0) {
            const int bids = 1 + m_random.bounded(4);
            for (int b = 0; b < bids; ++b)
                placeBid(auction);
        }
        m_auctions.push_back(std::move(auction));
    }
    if (kind == SellerKind::Completed) {
        // Some auctions ended just before the site opened.
        for (int i = 0; i < 3 && i < int(m_auctions.size()); ++i) {
            m_auctions[size_t(i)].completedAtStep = 0;
            m_auctions[size_t(i)].end = m_clock.addSecs(-3600 * (3 - i));
        }
    }
}

QString SellerWorld::nextNumber()
{
    m_nextNumber += 1 + m_random.bounded(40);
    return QString::number(m_nextNumber);
}

QString SellerWorld::pickBidder(const QString &notThisOne)
{
    for (;;) {
        const QString bidder = QString::fromLatin1(Bidders.at(m_random.bounded(int(Bidders.size()))));
        if (bidder != notThisOne)
            return bidder;
    }
}

SandboxAuction SellerWorld::newAuction(bool dutch)
{
    const Theme &theme = themeOf(m_kind);
    SandboxAuction auction;
    auction.number = nextNumber();
    auction.title = QString::fromLatin1(theme.first.at(m_random.bounded(int(theme.first.size())))) + u' '
                    + QString::fromLatin1(theme.things.at(m_random.bounded(int(theme.things.size()))))
                    + QString::fromLatin1(theme.details.at(m_random.bounded(int(theme.details.size()))));
    auction.picture = m_random.bounded(2) == 0;
    auction.dutchQuantity = dutch ? 5 + m_random.bounded(20) : 0;
    // Opening prices end in .99 or .00, as sellers like them.
    const qint64 dollars = (theme.lowCents + m_random.bounded(int(theme.highCents - theme.lowCents))) / 100;
    auction.priceCents = m_random.bounded(2) == 0 ? dollars * 100 + 99 : std::max<qint64>(dollars, 1) * 100;
    auction.start = m_clock;
    auction.end = m_clock.addDays(3 + m_random.bounded(5));
    return auction;
}

void SellerWorld::placeBid(SandboxAuction &auction)
{
    const int newBids = auction.isDutch() ? 1 + m_random.bounded(3) : 1;
    if (auction.hasBids()) {
        // A higher bid by someone else: the price rises by one to three steps.
        const int steps = 1 + m_random.bounded(3);
        for (int i = 0; i < steps; ++i)
            auction.priceCents += increment(auction.priceCents);
    }
    // The first bid is taken at the opening price.
    auction.bidCount += newBids;
    auction.highBidder = pickBidder(auction.highBidder);
}

void SellerWorld::endAuctions()
{
    // The running auction that ends soonest ends now.
    auto soonest = m_auctions.end();
    for (auto it = m_auctions.begin(); it != m_auctions.end(); ++it) {
        if (!it->completed() && (soonest == m_auctions.end() || it->end < soonest->end))
            soonest = it;
    }
    if (soonest != m_auctions.end()) {
        soonest->end = m_clock;
        soonest->completedAtStep = m_step;
    }
    // Only the completed-auctions seller keeps ended auctions on show, and
    // only for a while.
    const int stay = m_kind == SellerKind::Completed ? CompletedStaySteps : 0;
    std::erase_if(m_auctions, [this, stay](const SandboxAuction &auction) {
        return auction.completed() && m_step - auction.completedAtStep >= stay;
    });
}

void SellerWorld::advance()
{
    if (m_kind == SellerKind::Empty)
        return;
    ++m_step;
    m_clock = m_clock.addSecs(StepSeconds);

    // Auctions end first, so that the bids below land on auctions that are
    // still listed. The three-page seller ends one and lists one every step, so its list
    // keeps its size; the others end one every other step and list one
    // every step, up to a limit.
    if (m_kind == SellerKind::ManyPages || m_kind == SellerKind::Completed || m_step % 2 == 0
        || m_auctions.size() >= SmallSellerLimit)
        endAuctions();

    std::vector<size_t> withBids;
    std::vector<size_t> withoutBids;
    std::vector<size_t> dutch;
    for (size_t i = 0; i < m_auctions.size(); ++i) {
        const SandboxAuction &auction = m_auctions[i];
        if (auction.completed())
            continue;
        (auction.hasBids() ? withBids : withoutBids).push_back(i);
        if (auction.isDutch())
            dutch.push_back(i);
    }
    const auto pick = [this](const std::vector<size_t> &from) {
        return from.at(size_t(m_random.bounded(int(from.size()))));
    };
    // Outbid on an auction that has bids (price and high bidder change), a
    // first bid on one that has none, now and then one more anywhere, and
    // for the Dutch seller always a bid on a Dutch auction.
    if (!withBids.empty())
        placeBid(m_auctions[pick(withBids)]);
    if (!withoutBids.empty())
        placeBid(m_auctions[pick(withoutBids)]);
    if (!dutch.empty())
        placeBid(m_auctions[pick(dutch)]);
    if (m_random.bounded(2) == 0 && !(withBids.empty() && withoutBids.empty())) {
        std::vector<size_t> running = withBids;
        running.insert(running.end(), withoutBids.begin(), withoutBids.end());
        placeBid(m_auctions[pick(running)]);
    }

    // The Dutch seller alternates between Dutch and ordinary auctions.
    m_auctions.push_back(newAuction(m_kind == SellerKind::Dutch && m_step % 2 == 1));

    // Listed as the site lists them: ending soonest first.
    std::stable_sort(m_auctions.begin(), m_auctions.end(),
                     [](const SandboxAuction &a, const SandboxAuction &b) { return a.end < b.end; });
}

void SellerWorld::firstPageRequested()
{
    if (m_shown)
        advance();
    m_shown = true;
}

SiteModel::SiteModel(quint32 seed)
{
    for (size_t i = 0; i < Sellers.size(); ++i) {
        m_sellers.push_back(std::make_unique<SellerWorld>(QString::fromLatin1(Sellers[i].id),
                                                          Sellers[i].kind, int(i), seed));
    }
}

QStringList SiteModel::sellerIds()
{
    QStringList ids;
    for (const SellerEntry &entry : Sellers)
        ids << QString::fromLatin1(entry.id);
    return ids;
}

SellerWorld *SiteModel::seller(const QString &id)
{
    for (const auto &world : m_sellers) {
        if (world->id().compare(id, Qt::CaseInsensitive) == 0)
            return world.get();
    }
    return nullptr;
}

SiteModel::Answer SiteModel::nextAnswer(const QString &id)
{
    const SellerWorld *world = seller(id);
    if (!world || world->kind() != SellerKind::Flaky)
        return Answer::Page;
    // Requests 3, 9, 15, ... fail with a server error, 6, 12, 18, ... with a
    // page cut short; the first two checks always succeed.
    ++m_flakyRequests;
    if (m_flakyRequests % 3 != 0)
        return Answer::Page;
    return (m_flakyRequests / 3) % 2 == 1 ? Answer::ServerError : Answer::ShortPage;
}

bool SiteModel::takeCompanyMessage()
{
    const bool first = !m_messageGiven;
    m_messageGiven = true;
    return first;
}
