#pragma once

#include <QString>
#include <QStringList>

class CItems;

// The last scan of each seller, kept between runs when the user wants the
// first check after a start to report what changed while the program was
// not running: one file per seller in a folder of their own, written whole
// or not at all (QSaveFile).
//
// A file is named after the seller's ID without regard to letter case (the
// seller list treats "Alice" and "alice" as one seller), made safe for any
// file system; it holds the ID, whether the seller's failed page has been
// reported, and every value of every item, with a checksum: a file that is
// damaged in any way is not read, only logged, and the seller starts anew.
class ScanStore
{
public:
    struct Scan
    {
        bool failureReported = false;
    };

    explicit ScanStore(QString folder);

    const QString &folder() const { return m_folder; }

    // The file a seller's scan is kept in.
    QString filePath(const QString &sellerId) const;

    // Keeps a seller's scan; false (and logged) when it could not be written.
    bool save(const QString &sellerId, const CItems &items, const Scan &scan) const;

    // Reads a seller's scan into `items` (which must be empty); false when
    // there is none, or none that could be read (logged), leaving `items`
    // empty.
    bool load(const QString &sellerId, CItems &items, Scan &scan) const;

    // Removes the scans of every seller not in the list.
    void keepOnly(const QStringList &sellerIds) const;
    // Removes every scan.
    void clear() const;

private:
    QString m_folder;
};
