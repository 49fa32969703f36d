// List files: the input is written as a list file and loaded; the list must
// hold exactly the lines (ended by CR LF, CR or LF, the last one also without
// a line end) as a plain model adds them. Saved again, the file must be those
// IDs each followed by CR LF, and loading that file must give the same list.

#include "IdListModel.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>

static QString folder;

extern "C" int LLVMFuzzerInitialize(int *argc, char ***argv)
{
    static QCoreApplication app(*argc, *argv);
    // In memory where there is room: every save ends in a flush to disk.
    static QTemporaryDir dir(QFileInfo(QStringLiteral("/dev/shm")).isWritable()
                                 ? QStringLiteral("/dev/shm/zorvane-fuzz-XXXXXX")
                                 : QDir::tempPath() + QStringLiteral("/zorvane-fuzz-XXXXXX"));
    if (!dir.isValid())
        Fuzz::fail(__FILE__, __LINE__, "temporary folder", dir.errorString());
    folder = dir.path();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    QFile file(folder + QStringLiteral("/Accounts.txt"));
    if (!file.open(QIODevice::WriteOnly) || file.write(reinterpret_cast<const char *>(data), qint64(size)) != qint64(size))
        Fuzz::fail(__FILE__, __LINE__, "write", file.errorString());
    file.close();

    QString text = Fuzz::text(data, size);
    text.replace(QLatin1String("\r\n"), QLatin1String("\n")).replace(u'\r', u'\n');
    QStringList lines = text.split(u'\n');
    if (lines.last().isEmpty())
        lines.removeLast(); // a line end closes the last line; nothing follows it
    IdListModel model;
    for (const QString &line : lines) {
        if (!model.add(line))
            break;
    }
    CUserIDs list;
    compareWithModel(list, model, QStringLiteral("LoadFromReturnDelimitedFile"),
                     [](CUserIDs &l) { l.LoadFromReturnDelimitedFile(QStringLiteral("/Accounts.txt"), folder); });

    QByteArray expected;
    for (const QString &id : model.ids)
        expected += PageText::toBytes(id) + "\r\n";
    model.error = 0;
    CUserIDs again;
    compareWithModel(again, model, QStringLiteral("SaveToReturnDelimitedFile"), [&list](CUserIDs &l) {
        list.SaveToReturnDelimitedFile(QStringLiteral("/Saved.txt"), folder);
        l.LoadFromReturnDelimitedFile(QStringLiteral("/Saved.txt"), folder);
    });
    QFile saved(folder + QStringLiteral("/Saved.txt"));
    FUZZ_CHECK(saved.open(QIODevice::ReadOnly) && saved.readAll() == expected, QStringLiteral("saved file differs"));
    return 0;
}
