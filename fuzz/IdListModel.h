#pragma once

// A plain model of what CUserIDs::Add does with each ID, for the fuzz targets
// of the ID-list loaders to compare the real list with: exact repeats add
// nothing, a letter-case variant of a present ID is the duplicate-key error,
// an ID with a line break is the invalid-argument error. The first error ends
// the load; the IDs added before it stay.

#include "FuzzSupport.h"

#include "auction/CUserIDs.h"

#include <QHash>
#include <QStringList>

struct IdListModel
{
    QStringList ids;
    QHash<QString, QString> byKey;
    qint32 error = 0; // the number Add raised, 0 while none

    // False once an error has ended the load.
    bool add(const QString &id)
    {
        if (error)
            return false;
        if (id.contains(u'\r') || id.contains(u'\n')) {
            error = ErrorNumber::InvalidArgument;
            return false;
        }
        const QString key = id.toCaseFolded();
        const auto present = byKey.constFind(key);
        if (present != byKey.cend()) {
            if (present.value() == id)
                return true;
            error = ErrorNumber::DuplicateKey;
            return false;
        }
        byKey.insert(key, id);
        ids.append(id);
        return true;
    }
};

inline QStringList idsOf(const CUserIDs &list)
{
    QStringList out;
    for (const CUserID &entry : list)
        out.append(entry.UserID());
    return out;
}

// The real list must hold exactly the model's IDs, and a load that failed
// must have failed for the model's reason, passed on through the load.
inline void compareWithModel(const CUserIDs &list, const IdListModel &model, bool threw,
                             const QString &error, const QString &operation)
{
    const QStringList ids = idsOf(list);
    FUZZ_CHECK(ids == model.ids, QStringLiteral("%1: %2 IDs, expected %3")
                                     .arg(operation).arg(ids.size()).arg(model.ids.size()));
    FUZZ_CHECK(list.Count() == qint32(ids.size()), operation);
    FUZZ_CHECK(threw == (model.error != 0), operation + u' ' + error.left(300));
    if (!threw)
        return;
    const QString prefix = QStringLiteral("CUserIDs.") + operation + u' ';
    if (model.error == ErrorNumber::DuplicateKey || model.error == ErrorNumber::InvalidArgument) {
        // Either Add's own refusal, or (invalid argument only) a cut of the
        // page that went wrong before Add was reached.
        const QString fromAdd = prefix + QString::number(ErrorNumber::Component)
            + QStringLiteral(" CUserIDs.Add ") + QString::number(model.error) + u' ';
        const QString direct = prefix + QString::number(model.error) + u' ';
        FUZZ_CHECK(error.startsWith(fromAdd) || error.startsWith(direct), error.left(300));
    } else {
        FUZZ_CHECK(error.startsWith(prefix + QString::number(model.error) + u' '), error.left(300));
    }
}
