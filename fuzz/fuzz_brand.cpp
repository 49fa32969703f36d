// The brand file: the input is written as the brand file "AppData" in a
// scratch program folder and read by CCustomBrand::Initialize. Each of the
// five values must be what a plain model of the tag extraction (with wide
// positions, failing where a 16-bit position would overflow) gives; every
// value that cannot be extracted shows exactly one message and stays empty.

#include "FuzzSupport.h"

#include "config/CCustomBrand.h"
#include "base/ProgramFolder.h"

#include <QCoreApplication>
#include <QFile>
#include <QTemporaryDir>

namespace {

Fuzz::BoxCounter boxes;
QString brandPath;

// The value between the tags named key, or false when it cannot be read.
bool modelValue(const QString &text, const QString &key, QString &value)
{
    const qsizetype p1 = text.indexOf(key) + 1;
    if (p1 > 32767)
        return false;
    const qsizetype s = p1 + key.size() + 1;
    if (s > 32767)
        return false;
    const qsizetype p2 = s > text.size() + 1 ? 0 : text.indexOf(key, s - 1) + 1;
    if (p2 > 32767)
        return false;
    const qsizetype n = p2 - 2 - s;
    if (n < 0)
        return false;
    value = text.mid(s - 1, n);
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
    brandPath = CCustomBrand::BrandFilePath();
    boxes.install();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    {
        QFile file(brandPath);
        if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate)
            || file.write(reinterpret_cast<const char *>(data), qint64(size)) != qint64(size))
            Fuzz::fail(__FILE__, __LINE__, "write", file.errorString());
    }

    QString joined = Fuzz::text(data, size);
    joined.remove(u'\r');
    joined.remove(u'\n');

    boxes.count = 0;
    CCustomBrand brand;
    try {
        brand.Initialize();
    } catch (const AppError &e) {
        Fuzz::fail(__FILE__, __LINE__, "Initialize raised", e.description());
    }
    FUZZ_CHECK(brand.BrandFileFound(), brandPath);
    FUZZ_CHECK(brand.BrandText() == joined, QStringLiteral("brand text"));

    const std::pair<const char *, const QString *> values[] = {
        {"CompanyName", &Brand::CompanyName},       {"CompanyURL", &Brand::CompanyURL},
        {"SupportEmail", &Brand::SupportEmail},     {"SubscribeEmail", &Brand::SubscribeEmail},
        {"ErrorReportEmail", &Brand::ErrorReportEmail}};
    int failures = 0;
    for (const auto &[key, actual] : values) {
        QString expected;
        if (!modelValue(joined, QLatin1String(key), expected))
            ++failures;
        FUZZ_CHECK(*actual == expected, QLatin1String(key) + QStringLiteral(": ") + actual->left(200));
    }
    FUZZ_CHECK(boxes.count == failures, QStringLiteral("%1 messages for %2 failures").arg(boxes.count).arg(failures));
    return 0;
}
