#pragma once

#include "CItems.h"

#include <QString>

class CUserIDs;

// One entry of an ID list: a monitored seller with the auctions of the scan
// under way (Items) and of the previous scan (OldItems), or, in the
// recipient list, one e-mail address whose item lists stay empty.
class CUserID
{
public:
    const QString &UserID() const { return m_sUserID; }

    // The lists themselves never change; their contents do.
    CItems &Items() { return m_oItems; }
    const CItems &Items() const { return m_oItems; }
    CItems &OldItems() { return m_oOldItems; }
    const CItems &OldItems() const { return m_oOldItems; }

    // True until the check cycle has taken in this seller's first scan.
    bool FirstScan() const { return m_bFirstScan; }
    void setFirstScan(bool bFirstScan) { m_bFirstScan = bFirstScan; }

    CUserID(const CUserID &) = delete;
    CUserID &operator=(const CUserID &) = delete;

private:
    friend class CUserIDs;
    explicit CUserID(const QString &sUserID) : m_sUserID(sUserID) { m_oItems.shareTextsWith(&m_oOldItems); }

    QString m_sUserID;
    CItems m_oItems;
    CItems m_oOldItems;
    bool m_bFirstScan = true;
};
