// List files: the input is written as a list file and loaded; the list must
// hold exactly the lines (ended by CR LF, CR or LF, the last one also without
// a line end) as a plain model adds them. Saved again, the file must be those
// IDs each followed by CR LF, and loading that file must give the same list.

#include "IdListModel.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>

namespace {

QTemporaryDir *folder = nullptr;

void writeFile(const QString &path, const uint8_t *data, size_t size)
{
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate)
        || file.write(reinterpret_cast<const char *>(data), qint64(size)) != qint64(size)) {
        Fuzz::fail(__FILE__, __LINE__, "write", file.errorString());
    }
}

} // namespace

extern "C" int LLVMFuzzerInitialize(int *argc, char ***argv)
{
    static QCoreApplication app(*argc, *argv);
    // In memory where there is room: every save ends in a flush to disk.
    static QTemporaryDir dir(QFileInfo(QStringLiteral("/dev/shm")).isWritable()
                                 ? QStringLiteral("/dev/shm/zorvane-fuzz-XXXXXX")
                                 : QDir::tempPath() + QStringLiteral("/zorvane-fuzz-XXXXXX"));
    if (!dir.isValid())
        Fuzz::fail(__FILE__, __LINE__, "temporary folder", dir.errorString());
    folder = &dir;
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    const QString dir = folder->path();
    writeFile(dir + QStringLiteral("/Accounts.txt"), data, size);

    QString text = Fuzz::text(data, size);
    text.replace(QLatin1String("\r\n"), QLatin1String("\n"));
    text.replace(u'\r', u'\n');
    QStringList lines = text.split(u'\n');
    if (lines.last().isEmpty())
        lines.removeLast(); // a line end closes the last line; nothing follows it
    IdListModel model;
    for (const QString &line : lines) {
        if (!model.add(line))
            break;
    }

    CUserIDs list;
    bool threw = false;
    QString error;
    try {
        list.LoadFromReturnDelimitedFile(QStringLiteral("/Accounts.txt"), dir);
    } catch (const AppError &e) {
        Fuzz::checkPassedOn(e, QStringLiteral("CUserIDs.LoadFromReturnDelimitedFile"));
        threw = true;
        error = e.description();
    }
    compareWithModel(list, model, threw, error, QStringLiteral("LoadFromReturnDelimitedFile"));

    try {
        list.SaveToReturnDelimitedFile(QStringLiteral("/Saved.txt"), dir);
    } catch (const AppError &e) {
        Fuzz::fail(__FILE__, __LINE__, "save", e.description());
    }
    QFile saved(dir + QStringLiteral("/Saved.txt"));
    if (!saved.open(QIODevice::ReadOnly))
        Fuzz::fail(__FILE__, __LINE__, "open saved", saved.errorString());
    QByteArray expected;
    for (const QString &id : model.ids)
        expected += PageText::toBytes(id) + "\r\n";
    FUZZ_CHECK(saved.readAll() == expected, QStringLiteral("saved file differs"));
    saved.close();

    CUserIDs again;
    try {
        again.LoadFromReturnDelimitedFile(QStringLiteral("/Saved.txt"), dir);
    } catch (const AppError &e) {
        Fuzz::fail(__FILE__, __LINE__, "reload", e.description());
    }
    FUZZ_CHECK(idsOf(again) == model.ids, QStringLiteral("reloaded list differs"));
    return 0;
}
