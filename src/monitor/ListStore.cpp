#include "ListStore.h"

#include "base/ErrorPatterns.h"
#include "monitor/ListFolder.h"

#include <QFileInfo>
#include <QRegularExpression>

namespace {

// The run time's own words at the bottom of a passed-on error
// ("CUserIDs.LoadFromReturnDelimitedFile 70 Permission denied" gives
// "Permission denied").
QString innermostDescription(const QString &description)
{
    static const QRegularExpression passedOn(QStringLiteral("^(?:\\S+\\.\\S+ -?\\d+ )+"));
    return QString(description).remove(passedOn);
}

QString quoted(const QString &text)
{
    return u'"' + text + u'"';
}

} // namespace

ListStore::ListStore()
    : m_sFolder(ListFolder::path())
{
}

QString ListStore::fileName(List which)
{
    return which == List::Sellers ? QStringLiteral("/Accounts.txt") : QStringLiteral("/EmailAddresses.txt");
}

void ListStore::load(List which)
{
    const QString name = fileName(which);
    const QString folder = ListFolder::readFolder(name);
    FileState &file = state(which);
    file = {folder + name, {}};
    CUserIDs::LoadProgress progress;
    try {
        list(which).LoadFromReturnDelimitedFile(name, folder, &progress);
    } catch (...) {
        file.problem = describeFailure(which, progress);
        throw;
    }
}

void ListStore::save(List which) const
{
    if (!isReadOnly(which))
        list(which).SaveToReturnDelimitedFile(fileName(which), m_sFolder);
}

QString ListStore::describeFailure(List which, const CUserIDs::LoadProgress &progress) const
{
    const QString error = innermostDescription(caughtError().description());
    if (progress.lineRefused) {
        const QString line = QStringLiteral("line ") + QString::number(progress.lines) + QStringLiteral(", ")
            + quoted(progress.lastLine) + QStringLiteral(", ");
        const CUserID *present = list(which).find(progress.lastLine);
        if (present && present->UserID() != progress.lastLine)
            return line + QStringLiteral("differs from ") + quoted(present->UserID())
                + QStringLiteral(" only in letter case");
        return line + QStringLiteral("could not be taken in: ") + error;
    }
    if (QFileInfo(state(which).readPath).isDir())
        return QStringLiteral("it is a folder, not a file");
    if (progress.lines == 0)
        return QStringLiteral("it could not be read: ") + error;
    return QStringLiteral("it could not be read after line ") + QString::number(progress.lines)
        + QStringLiteral(": ") + error;
}
