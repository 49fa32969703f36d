#pragma once

#include "auction/CUserIDs.h"

#include <QString>

// The two lists the user keeps, sellers and alert recipients, and their
// files: "Accounts.txt" and "EmailAddresses.txt", beside the program or in
// the data folder (ListFolder).
//
// A list file that could not be read to its end keeps what was read before
// the failure, and the list becomes read-only until the next start: it is
// never written back, so the entries that could not be read stay in the
// file for the user to correct.
class ListStore
{
public:
    enum class List { Sellers, Recipients };

    ListStore();

    CUserIDs &list(List which) { return which == List::Sellers ? m_oSellers : m_oRecipients; }
    const CUserIDs &list(List which) const { return which == List::Sellers ? m_oSellers : m_oRecipients; }
    CUserIDs &sellers() { return m_oSellers; }
    CUserIDs &recipients() { return m_oRecipients; }

    // Reads the list's file. A failure is passed on as the list file's
    // error, after the list has become read-only and problem() says in
    // plain words what went wrong where.
    void load(List which);

    // Writes the list's file, unless the list is read-only. Failures are
    // passed on.
    void save(List which) const;

    bool isReadOnly(List which) const { return !problem(which).isEmpty(); }
    // Why the list is read-only, in plain words for a message box: where
    // the file went wrong and how ('line 2, "Alice", differs from "alice"
    // only in letter case'); empty when the list was read completely.
    const QString &problem(List which) const { return state(which).problem; }

    // The file the list was read from (or would have been).
    const QString &readPath(List which) const { return state(which).readPath; }

    static QString fileName(List which);

private:
    struct FileState
    {
        QString readPath;
        QString problem;
    };
    FileState &state(List which) { return which == List::Sellers ? m_sellersFile : m_recipientsFile; }
    const FileState &state(List which) const
    {
        return which == List::Sellers ? m_sellersFile : m_recipientsFile;
    }
    QString describeFailure(List which, const CUserIDs::LoadProgress &progress) const;

    CUserIDs m_oSellers;
    CUserIDs m_oRecipients;
    QString m_sFolder;
    FileState m_sellersFile;
    FileState m_recipientsFile;
};
