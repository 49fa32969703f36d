// ID lists from blank-separated text: the input is one or more texts
// separated by form feeds, loaded one after the other into one list, which
// must then hold exactly what a plain model of the loader gives; the ID
// string written from the list gives the same list again.

#include "IdListModel.h"

#include <QCoreApplication>

extern "C" int LLVMFuzzerInitialize(int *argc, char ***argv)
{
    static QCoreApplication app(*argc, *argv);
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    CUserIDs list;
    IdListModel model;
    for (const QString &text : Fuzz::pieces(Fuzz::text(data, size))) {
        // The model: blanks around the text dropped, then every non-empty
        // piece between blanks; more than 32,767 characters overflow first.
        qsizetype first = 0, last = text.size();
        while (first < last && text.at(first) == u' ')
            ++first;
        while (last > first && text.at(last - 1) == u' ')
            --last;
        if (last - first > 32767) {
            model.error = ErrorNumber::Overflow;
        } else {
            for (const QString &piece : text.mid(first, last - first).split(u' ', Qt::SkipEmptyParts)) {
                if (!model.add(piece))
                    break;
            }
        }

        bool threw = false;
        QString error;
        try {
            list.LoadFromSpaceDelimitedString(text);
        } catch (const AppError &e) {
            Fuzz::checkPassedOn(e, QStringLiteral("CUserIDs.LoadFromSpaceDelimitedString"));
            threw = true;
            error = e.description();
        }
        compareWithModel(list, model, threw, error, QStringLiteral("LoadFromSpaceDelimitedString"));
        if (threw)
            break;
    }

    // Written out and read back, the list is the same.
    const QString idString = list.CreateIDString();
    FUZZ_CHECK(idString == (model.ids.isEmpty() ? QString() : model.ids.join(u' ') + u' '),
               idString.left(300));
    if (idString.size() <= 32767) {
        CUserIDs again;
        try {
            again.LoadFromSpaceDelimitedString(idString);
        } catch (const AppError &e) {
            Fuzz::fail(__FILE__, __LINE__, "reload", e.description());
        }
        FUZZ_CHECK(idsOf(again) == model.ids, idString.left(300));
    }
    return 0;
}
