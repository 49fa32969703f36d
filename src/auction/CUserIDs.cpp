#include "CUserIDs.h"

#include "base/FileErrors.h"
#include "PageSearch.h"
#include "TrimBlanks.h"
#include "base/ProgramFolder.h"
#include "base/ErrorPatterns.h"
#include "base/PageText.h"

#include <QFile>
#include <QFileInfo>
#include <QSaveFile>

#include <algorithm>
#include <cerrno>

namespace {

// Texts handled with 16-bit positions cannot be longer than this.
constexpr qsizetype MaxShortPosition = 32767;

} // namespace

CUserID *CUserIDs::Add(const QString &sUserID)
{
    return passingOn("CUserIDs", "Add", [&]() -> CUserID * {
        // A line break inside an ID would come back from the list file as
        // two IDs; such an ID is refused rather than saved broken.
        if (sUserID.contains(u'\r') || sUserID.contains(u'\n') || !PageText::isBytes(sUserID))
            throw AppError::platform(ErrorNumber::InvalidArgument);
        const QString key = keyOf(sUserID);
        const auto present = m_byKey.constFind(key);
        if (present != m_byKey.cend()) {
            // An exact repeat is quietly ignored; a letter-case variant
            // collides with the present key.
            if (present.value()->UserID() == sUserID)
                return nullptr;
            throw AppError::platform(ErrorNumber::DuplicateKey);
        }
        m_entries.push_back(std::unique_ptr<CUserID>(new CUserID(sUserID)));
        CUserID *added = m_entries.back().get();
        try {
            m_byKey.insert(key, added);
        } catch (...) {
            m_entries.pop_back();
            throw;
        }
        return added;
    });
}

void CUserIDs::Remove(const QString &sUserID)
{
    passingOn("CUserIDs", "Remove", [&] {
        const QString key = keyOf(sUserID);
        CUserID *entry = m_byKey.value(key, nullptr);
        if (!entry)
            throw AppError::platform(ErrorNumber::InvalidArgument);
        const auto at = std::find_if(m_entries.begin(), m_entries.end(),
                                     [entry](const auto &owned) { return owned.get() == entry; });
        m_byKey.remove(key);
        m_entries.erase(at);
    });
}

qint32 CUserIDs::Count() const
{
    return passingOn("CUserIDs", "Count", [this] { return qint32(m_entries.size()); });
}

CUserID *CUserIDs::find(const QString &sUserID) const
{
    return m_byKey.value(keyOf(sUserID), nullptr);
}

void CUserIDs::LoadFromReturnDelimitedFile(const QString &sFileName, const QString &sFolder,
                                           LoadProgress *progress)
{
    LoadProgress ignored;
    LoadProgress &read = progress ? *progress : ignored;
    read = {};
    const auto addLine = [&](const QByteArray &line) {
        ++read.lines;
        read.lastLine = PageText::fromBytes(line);
        read.lineRefused = true;
        Add(read.lastLine);
        read.lineRefused = false;
    };
    passingOn("CUserIDs", "LoadFromReturnDelimitedFile", [&] {
        const QString path = (sFolder.isEmpty() ? ProgramFolder::path() : sFolder) + sFileName;
        const QFileInfo info(path);
        if (!info.exists())
            return;
        if (info.isDir())
            throw AppError::platform(ErrorNumber::PathFileAccess);

        QFile file(path);
        errno = 0;
        if (!file.open(QIODevice::ReadOnly))
            throw FileErrors::fromFailure(errno, file, FileErrors::Stage::Open);

        // Read in blocks so that the entries before a failing read or a
        // refused line are kept, as they would be line by line. A CR at the
        // end of one block may pair with an LF at the start of the next.
        QByteArray line;
        bool afterCR = false;
        QByteArray block(64 * 1024, Qt::Uninitialized);
        for (;;) {
            errno = 0;
            const qint64 got = file.read(block.data(), block.size());
            if (got < 0)
                throw FileErrors::fromFailure(errno, file, FileErrors::Stage::Read);
            if (got == 0)
                break;
            for (qint64 i = 0; i < got; ++i) {
                const char c = block.at(i);
                if (afterCR) {
                    afterCR = false;
                    if (c == '\n')
                        continue;
                }
                if (c == '\r' || c == '\n') {
                    afterCR = c == '\r';
                    addLine(line);
                    line.clear();
                } else {
                    line.append(c);
                }
            }
        }
        // The last line counts even without a line end.
        if (!line.isEmpty())
            addLine(line);
    });
}

void CUserIDs::SaveToReturnDelimitedFile(const QString &sFileName, const QString &sFolder) const
{
    passingOn("CUserIDs", "SaveToReturnDelimitedFile", [&] {
        QByteArray bytes;
        for (const auto &entry : m_entries)
            bytes += PageText::toBytes(entry->UserID()) + "\r\n";

        const QString path = (sFolder.isEmpty() ? ProgramFolder::path() : sFolder) + sFileName;
        const QFileInfo info(path);
        if (info.isDir())
            throw AppError::platform(ErrorNumber::PathFileAccess);
        if (!QFileInfo(info.absolutePath()).isDir())
            throw AppError::platform(ErrorNumber::PathNotFound);

        // Written beside the file and renamed over it only when complete, so
        // a save that fails part-way leaves the previous file untouched.
        QSaveFile file(path);
        errno = 0;
        if (!file.open(QIODevice::WriteOnly))
            throw FileErrors::fromFailure(errno, file, FileErrors::Stage::Open);
        errno = 0;
        if (file.write(bytes) != bytes.size() || !file.flush()) {
            const int error = errno;
            file.cancelWriting();
            throw FileErrors::fromFailure(error, file, FileErrors::Stage::Write);
        }
        errno = 0;
        if (!file.commit())
            throw FileErrors::fromFailure(errno, file, FileErrors::Stage::Write);
    });
}

void CUserIDs::LoadFromSpaceDelimitedString(const QString &sUserIDs)
{
    passingOn("CUserIDs", "LoadFromSpaceDelimitedString", [&] {
        const QString text = trimBlanks(sUserIDs);
        if (text.size() > MaxShortPosition)
            throw AppError::platform(ErrorNumber::Overflow);
        qsizetype start = 0;
        while (start < text.size()) {
            qsizetype blank = text.indexOf(u' ', start);
            if (blank < 0)
                blank = text.size();
            if (blank > start)
                Add(text.mid(start, blank - start));
            start = blank + 1;
        }
    });
}

QString CUserIDs::CreateIDString() const
{
    return passingOn("CUserIDs", "CreateIDString", [this] {
        QString text;
        for (const auto &entry : m_entries)
            text += entry->UserID() + u' ';
        return text;
    });
}

void CUserIDs::LoadFromBidderPage(const QString &sBiddersPage)
{
    passingOn("CUserIDs", "LoadFromBidderPage", [&] {
        const QStringView page(sBiddersPage);
        PageSearch bidderLink(page, u"Email&amp;requested=");
        PageSearch escapedAmp(page, u"&amp");
        const qsizetype s = PageSearch::plain(page, u"40%", 0);
        if (s < 0)
            return;
        // The ID starts 2 characters past the 20-character marker and ends 2
        // characters before the next "&amp".
        qsizetype q = bidderLink.from(s);
        while (q >= 0) {
            const qsizetype a = escapedAmp.from(q + 22);
            Add(cutText(page, q + 22, a - 2));
            q = bidderLink.from(a - 2);
        }
    });
}

void CUserIDs::LoadFromTicketPage(const QString &sTicketPage)
{
    passingOn("CUserIDs", "LoadFromTicketPage", [&] {
        const QStringView page(sTicketPage);
        PageSearch eventField(page, u"\"event\" value=");
        PageSearch quote(page, u"\"");
        qsizetype p = eventField.from(0);
        while (p >= 0) {
            // Past the 14-character marker and the value's opening quote.
            const qsizetype valueStart = p + 15;
            const qsizetype close = quote.from(valueStart);
            const QString value = cutText(page, valueStart, close);
            p = eventField.from(close);
            Add(value);
        }
    });
}
