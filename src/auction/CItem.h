#pragma once

#include <QString>

class CItems;

// One auction as one scan saw it. All values are the listing page's own
// text; prices and counts are never turned into numbers. An item never
// changes once its list has created it.
class CItem
{
public:
    const QString &ItemNumber() const { return m_sItemNumber; }
    bool Bids() const { return m_bBids; }
    const QString &NumBids() const { return m_sNumBids; }
    bool IsDutch() const { return m_bIsDutch; }
    const QString &Description() const { return m_sDescription; }
    const QString &HighBidder() const { return m_sHighBidder; }
    bool Completed() const { return m_bCompleted; }
    const QString &HighBid() const { return m_sHighBid; }

    CItem(const CItem &) = delete;
    CItem &operator=(const CItem &) = delete;

    // Only a list creates items (in its own storage); the token is how it
    // reaches a constructor the container must be able to call.
    class Token
    {
        friend class CItems;
        Token() = default;
    };
    explicit CItem(Token) {}

private:
    friend class CItems;

    // Only the owning list sets the values, once, in declared order.
    void Init(const QString &sItemNumber, bool bBids, const QString &sNumBids, bool bIsDutch,
              const QString &sDescription, const QString &sHighBidder, bool bCompleted,
              const QString &sHighBid)
    {
        m_sItemNumber = sItemNumber;
        m_bBids = bBids;
        m_sNumBids = sNumBids;
        m_bIsDutch = bIsDutch;
        m_sDescription = sDescription;
        m_sHighBidder = sHighBidder;
        m_bCompleted = bCompleted;
        m_sHighBid = sHighBid;
    }

    // The flags after the texts: an item takes 128 bytes, not 144.
    QString m_sItemNumber;
    QString m_sNumBids;
    QString m_sDescription;
    QString m_sHighBidder;
    QString m_sHighBid;
    bool m_bBids = false;
    bool m_bIsDutch = false;
    bool m_bCompleted = false;
};
