#include "ScanStore.h"

#include "auction/CItems.h"
#include "base/ActivityLog.h"

#include <QCryptographicHash>
#include <QDataStream>
#include <QDir>
#include <QFile>
#include <QSaveFile>
#include <QSet>

namespace {

const QString Suffix = QStringLiteral(".scan");
constexpr quint32 Magic = 0x5a534331; // "ZSC1"
// A scan file is far smaller than this; a larger one is not read.
constexpr qint64 LargestFile = 256 * 1024 * 1024;

// Case-folded, then every byte but letters, digits, "-" and "_"
// percent-encoded (the escapes' hex digits are upper case, the folded
// letters lower case, so no two IDs meet); very long IDs by their hash.
QString safeName(const QString &sellerId)
{
    const QByteArray folded = sellerId.toCaseFolded().toUtf8();
    QByteArray name = folded.toPercentEncoding({}, ".~");
    if (name.size() > 180)
        name = "sha256-" + QCryptographicHash::hash(folded, QCryptographicHash::Sha256).toHex();
    return QString::fromLatin1(name) + Suffix;
}

} // namespace

ScanStore::ScanStore(QString folder)
    : m_folder(std::move(folder))
{
}

QString ScanStore::filePath(const QString &sellerId) const
{
    return QDir(m_folder).filePath(safeName(sellerId));
}

bool ScanStore::save(const QString &sellerId, const CItems &items, const Scan &scan) const
{
    QByteArray payload;
    {
        QDataStream out(&payload, QIODevice::WriteOnly);
        out.setVersion(QDataStream::Qt_6_0);
        out << Magic << sellerId << scan.failureReported << qint32(items.Count());
        for (const CItem &item : items)
            out << item.ItemNumber() << item.Bids() << item.NumBids() << item.IsDutch() << item.Description()
                << item.HighBidder() << item.Completed() << item.HighBid();
    }
    QDir().mkpath(m_folder);
    QSaveFile file(filePath(sellerId));
    if (file.open(QIODevice::WriteOnly)
        && file.write(QCryptographicHash::hash(payload, QCryptographicHash::Sha256)) == 32
        && file.write(payload) == payload.size() && file.commit())
        return true;
    qCWarning(lcActivity).noquote() << QStringLiteral("Scan of %1 could not be kept: %2").arg(sellerId, file.errorString());
    return false;
}

bool ScanStore::load(const QString &sellerId, CItems &items, Scan &scan) const
{
    QFile file(filePath(sellerId));
    if (!file.exists())
        return false;
    const auto damaged = [&](const QString &why) {
        items.Clear();
        qCWarning(lcActivity).noquote()
            << QStringLiteral("Scan of %1 in %2 could not be read (%3); the seller starts anew").arg(sellerId, file.fileName(), why);
        return false;
    };
    if (file.size() > LargestFile || !file.open(QIODevice::ReadOnly))
        return damaged(file.size() > LargestFile ? QStringLiteral("too large") : file.errorString());
    const QByteArray bytes = file.readAll();
    const QByteArray payload = bytes.mid(32);
    if (bytes.size() < 32 || bytes.left(32) != QCryptographicHash::hash(payload, QCryptographicHash::Sha256))
        return damaged(QStringLiteral("damaged"));

    QDataStream in(payload);
    in.setVersion(QDataStream::Qt_6_0);
    quint32 magic = 0;
    QString storedId;
    qint32 count = 0;
    in >> magic >> storedId >> scan.failureReported >> count;
    if (magic != Magic || storedId.toCaseFolded() != sellerId.toCaseFolded() || count < 0)
        return damaged(QStringLiteral("not this seller's scan"));
    for (qint32 i = 0; i < count && in.status() == QDataStream::Ok; ++i) {
        QString number, numBids, description, bidder, highBid;
        bool bids = false, dutch = false, completed = false;
        in >> number >> bids >> numBids >> dutch >> description >> bidder >> completed >> highBid;
        items.Add(number, bids, numBids, dutch, description, bidder, completed, highBid);
    }
    if (in.status() != QDataStream::Ok || !in.atEnd())
        return damaged(QStringLiteral("damaged"));
    return true;
}

void ScanStore::keepOnly(const QStringList &sellerIds) const
{
    QSet<QString> kept;
    for (const QString &id : sellerIds)
        kept.insert(safeName(id));
    QDir folder(m_folder);
    for (const QString &name : folder.entryList({QLatin1Char('*') + Suffix}, QDir::Files)) {
        if (!kept.contains(name))
            folder.remove(name);
    }
}

void ScanStore::clear() const
{
    keepOnly({});
}
