#pragma once

#include "CUserID.h"
#include "PointerRange.h"

#include <QHash>
#include <QString>

#include <memory>
#include <vector>

// A list of IDs (sellers or recipient addresses) in insertion order, keyed by
// the ID without regard to letter case. Entries live until removed or until
// the list goes; the pointers handed out stay valid that long.
//
// Every operation passes a failure on as the program's own error,
// "CUserIDs.<operation> <number> <description>".
class CUserIDs
{
public:
    using const_iterator = PointerIterator<CUserID, CUserID>;

    CUserIDs() = default;
    CUserIDs(const CUserIDs &) = delete;
    CUserIDs &operator=(const CUserIDs &) = delete;

    // Adds sUserID as it is (no trimming, empty accepted). An exact repeat of
    // a present ID adds nothing and returns nullptr; an ID that differs from
    // a present one in letter case only raises the duplicate-key error (457).
    // An ID holding CR or LF cannot be written to a list file as one line,
    // and one holding a character outside ISO 8859-1 cannot be written at
    // all: both raise the invalid-argument error (5).
    CUserID *Add(const QString &sUserID);

    // Removes the entry stored under sUserID (letter case ignored); an ID not
    // in the list raises the invalid-argument error (5).
    void Remove(const QString &sUserID);

    qint32 Count() const;

    // The entry stored under sUserID (letter case ignored), or nullptr.
    CUserID *find(const QString &sUserID) const;

    const_iterator begin() const { return const_iterator(m_entries.cbegin()); }
    const_iterator end() const { return const_iterator(m_entries.cend()); }

    // List files: program folder + sFileName (which starts with "/"), one ID a
    // line, ISO 8859-1 byte for byte. A missing file loads nothing. Lines end
    // at CR LF, CR or LF. The save writes CR LF after every ID and replaces
    // the file as a whole: a failed save leaves the previous file as it was.
    // sFolder, when given, stands in for the program folder (the main
    // window keeps its lists elsewhere when the program folder is read-only).
    //
    // How far a load got, for telling the user where a file went wrong: the
    // number of lines passed to Add and the last of them, and whether the
    // failure was Add refusing that line (rather than the file failing).
    struct LoadProgress
    {
        qint64 lines = 0;
        QString lastLine;
        bool lineRefused = false;
    };
    void LoadFromReturnDelimitedFile(const QString &sFileName, const QString &sFolder = {},
                                     LoadProgress *progress = nullptr);
    void SaveToReturnDelimitedFile(const QString &sFileName, const QString &sFolder = {}) const;

    // Adds the non-empty blank-separated words of sUserIDs; a text longer
    // than 32,767 characters raises the overflow error (6).
    void LoadFromSpaceDelimitedString(const QString &sUserIDs);

    // Every ID in list order, each followed by one blank; "" when empty.
    QString CreateIDString() const;

    // Adds the bidder IDs of a bidder-list page.
    void LoadFromBidderPage(const QString &sBiddersPage);

    // Adds the values of the page's "event" fields.
    void LoadFromTicketPage(const QString &sTicketPage);

private:
    static QString keyOf(const QString &userID) { return userID.toCaseFolded(); }
    CUserID *addEntry(const QString &sUserID);

    std::vector<std::unique_ptr<CUserID>> m_entries;
    QHash<QString, CUserID *> m_byKey;
};
