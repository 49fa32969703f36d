// The brand file: the input is written as the brand file "AppData" in a
// scratch program folder and read by CCustomBrand::Initialize. Each of the
// five values must be what a plain model of the tag extraction (with wide
// positions, failing where a 16-bit position would overflow) gives; every
// value that cannot be extracted shows exactly one message and stays empty.

#include "FuzzSupport.h"

#include "config/CCustomBrand.h"
#include "base/ProgramFolder.h"

#include <QFile>
#include <QTemporaryDir>

namespace {

int boxes = 0;

// The value between the tags named key, or false when it cannot be read.
bool modelValue(const QString &text, const QString &key, QString &value)
{
    const qsizetype p1 = text.indexOf(key) + 1;
    const qsizetype s = p1 + key.size() + 1;
    const qsizetype p2 = s > text.size() + 1 ? 0 : text.indexOf(key, s - 1) + 1;
    if (p1 > 32767 || s > 32767 || p2 > 32767 || p2 - 2 - s < 0)
        return false;
    value = text.mid(s - 1, p2 - 2 - s);
    return true;
}

} // namespace

extern "C" int LLVMFuzzerInitialize(int *argc, char ***argv)
{
    static QCoreApplication app(*argc, *argv);
    static QTemporaryDir dir;
    if (!dir.isValid())
        Fuzz::fail(__FILE__, __LINE__, "temporary folder", dir.errorString());
    ProgramFolder::setPath(dir.path());
    MessageBoxes::setHandler([](const MessageRequest &) { ++boxes; return MessageAnswer::Ok; });
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    QFile file(CCustomBrand::BrandFilePath());
    if (!file.open(QIODevice::WriteOnly) || file.write(reinterpret_cast<const char *>(data), qint64(size)) != qint64(size))
        Fuzz::fail(__FILE__, __LINE__, "write", file.errorString());
    file.close();
    QString joined = Fuzz::text(data, size);
    joined.remove(u'\r').remove(u'\n');

    boxes = 0;
    CCustomBrand brand;
    try {
        brand.Initialize();
    } catch (const AppError &e) {
        Fuzz::fail(__FILE__, __LINE__, "Initialize raised", e.description());
    }
    FUZZ_CHECK(brand.BrandFileFound() && brand.BrandText() == joined, QStringLiteral("brand text"));

    const std::pair<const char *, const QString *> values[] = {
        {"CompanyName", &Brand::CompanyName},   {"CompanyURL", &Brand::CompanyURL},
        {"SupportEmail", &Brand::SupportEmail}, {"SubscribeEmail", &Brand::SubscribeEmail},
        {"ErrorReportEmail", &Brand::ErrorReportEmail}};
    int failures = 0;
    for (const auto &[key, actual] : values) {
        QString expected;
        failures += !modelValue(joined, QLatin1String(key), expected);
        FUZZ_CHECK(*actual == expected, QLatin1String(key) + QStringLiteral(": ") + actual->left(200));
    }
    FUZZ_CHECK(boxes == failures, QStringLiteral("%1 messages for %2 failures").arg(boxes).arg(failures));
    return 0;
}
