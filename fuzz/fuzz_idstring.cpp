// ID lists from blank-separated text: the input is one or more texts
// separated by form feeds, loaded one after the other into one list, which
// must then hold exactly what a plain model of the loader gives; the ID
// string written from the list gives the same list again.

#include "IdListModel.h"

FUZZ_QT_APPLICATION

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    CUserIDs list;
    IdListModel model;
    for (const QString &text : Fuzz::text(data, size).split(u'\f')) {
        // Blanks around the text dropped, then every non-empty piece between
        // blanks; more than 32,767 characters overflow first.
        qsizetype first = 0, last = text.size();
        while (first < last && text.at(first) == u' ')
            ++first;
        while (last > first && text.at(last - 1) == u' ')
            --last;
        if (last - first > 32767)
            model.error = ErrorNumber::Overflow;
        for (const QString &piece : text.mid(first, last - first).split(u' ', Qt::SkipEmptyParts)) {
            if (!model.add(piece))
                break;
        }
        compareWithModel(list, model, QStringLiteral("LoadFromSpaceDelimitedString"),
                         [&text](CUserIDs &l) { l.LoadFromSpaceDelimitedString(text); });
        if (model.error)
            break;
    }

    // Written out and read back, the list is the same.
    const QString idString = list.CreateIDString();
    FUZZ_CHECK(idString == (model.ids.isEmpty() ? QString() : model.ids.join(u' ') + u' '), idString.left(300));
    CUserIDs again;
    model.error = 0;
    if (idString.size() <= 32767)
        compareWithModel(again, model, QStringLiteral("LoadFromSpaceDelimitedString"),
                         [&idString](CUserIDs &l) { l.LoadFromSpaceDelimitedString(idString); });
    return 0;
}
