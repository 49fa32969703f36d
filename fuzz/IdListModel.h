#pragma once

// A plain model of what CUserIDs::Add does with each ID, for the fuzz targets
// of the ID-list loaders to compare the real list with: exact repeats add
// nothing, a letter-case variant of a present ID is the duplicate-key error,
// an ID with a line break is the invalid-argument error. The first error ends
// the load; the IDs added before it stay.

#include "FuzzSupport.h"

#include "auction/CUserIDs.h"

#include <QHash>

struct IdListModel
{
    QStringList ids;
    QHash<QString, QString> byKey;
    qint32 error = 0; // the number Add raised, 0 while none

    // False once an error has ended the load.
    bool add(const QString &id)
    {
        const auto present = byKey.constFind(id.toCaseFolded());
        if (error || id.contains(u'\r') || id.contains(u'\n'))
            error = error ? error : ErrorNumber::InvalidArgument;
        else if (present == byKey.cend())
            ids.append(byKey.insert(id.toCaseFolded(), id).value());
        else if (present.value() != id)
            error = ErrorNumber::DuplicateKey;
        return !error;
    }
};

inline QStringList idsOf(const CUserIDs &list)
{
    QStringList out;
    for (const CUserID &entry : list)
        out.append(entry.UserID());
    return out;
}

// Runs one load of the list and checks it against the model: the list holds
// exactly the model's IDs, and a load that failed failed for the model's
// reason, passed on through the load.
template <class Load>
void compareWithModel(CUserIDs &list, const IdListModel &model, const QString &operation, Load load)
{
    const QString prefix = QStringLiteral("CUserIDs.") + operation;
    QString error;
    try {
        load(list);
    } catch (const AppError &e) {
        Fuzz::checkPassedOn(e, prefix);
        error = e.description();
    }
    FUZZ_CHECK(idsOf(list) == model.ids && list.Count() == qint32(model.ids.size()), operation);
    FUZZ_CHECK(error.isEmpty() == (model.error == 0), operation + u' ' + error.left(300));
    // Add's own refusal, or (invalid argument only) a cut of the page that
    // went wrong before Add was reached.
    const QString number = QString::number(model.error) + u' ';
    FUZZ_CHECK(!model.error || error.startsWith(prefix + u' ' + number)
                   || (model.error != ErrorNumber::Overflow
                       && error.startsWith(prefix + QStringLiteral(" -2147221504 CUserIDs.Add ") + number)),
               error.left(300));
}
