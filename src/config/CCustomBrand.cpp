#include "CCustomBrand.h"

#include "base/ProgramFolder.h"
#include "base/AppError.h"
#include "base/ErrorPatterns.h"
#include "base/MessageBoxes.h"
#include "base/PageText.h"

#include <QFile>
#include <QFileInfo>

#include <limits>

namespace {

constexpr qsizetype MaxPosition = std::numeric_limits<qint16>::max(); // 32,767

// A text position stored in a 16-bit signed integer: anything larger
// overflows, as the run time reports it.
qint16 toPosition(qsizetype value)
{
    if (value > MaxPosition || value < std::numeric_limits<qint16>::min())
        throw AppError::platform(ErrorNumber::Overflow);
    return qint16(value);
}

// 1-based position of sKey in sText searching from 1-based iStart; 0 when
// it does not occur there (also when iStart lies beyond the text).
qsizetype findFrom(qsizetype iStart, const QString &sText, const QString &sKey)
{
    if (iStart > sText.size() + 1)
        return 0;
    const qsizetype found = sText.indexOf(sKey, iStart - 1, Qt::CaseSensitive);
    return found < 0 ? 0 : found + 1;
}

void showBrandFileProblem(const QString &sDescription)
{
    const QString crlf = QStringLiteral("\r\n");
    MessageRequest request;
    request.title = QStringLiteral("Zorvane");
    request.text = QStringLiteral("There appears to be a problem with a file ") + crlf
        + QStringLiteral("file included in the setup of this ") + crlf
        + QStringLiteral("application.  Please try re-installing ") + crlf
        + QStringLiteral("the software.  ") + crlf + crlf + sDescription;
    request.buttons = MessageButtons::Ok;
    MessageBoxes::show(request);
}

} // namespace

QString CCustomBrand::BrandFilePath()
{
    return ProgramFolder::dataFile(QStringLiteral("AppData"));
}

void CCustomBrand::Initialize()
{
    try {
        m_sBrandText = ReadBrandFile();
        if (m_bBrandFileFound) {
            Brand::CompanyName = GetBrandValue(m_sBrandText, QStringLiteral("CompanyName"));
            Brand::CompanyURL = GetBrandValue(m_sBrandText, QStringLiteral("CompanyURL"));
            Brand::SupportEmail = GetBrandValue(m_sBrandText, QStringLiteral("SupportEmail"));
            Brand::SubscribeEmail = GetBrandValue(m_sBrandText, QStringLiteral("SubscribeEmail"));
            Brand::ErrorReportEmail = GetBrandValue(m_sBrandText, QStringLiteral("ErrorReportEmail"));
        } else {
            Brand::CompanyName = QStringLiteral("Pellridge");
            Brand::CompanyURL = QStringLiteral("http://www.pellridge.com");
            Brand::SupportEmail = QStringLiteral("support@pellridge.com");
            Brand::SubscribeEmail = QStringLiteral("subscribe@pellridge.com");
            Brand::ErrorReportEmail = QStringLiteral("errors@pellridge.com");
        }
    } catch (...) {
        passOnCaughtError("CCustomBrand", "Initialize");
    }
}

QString CCustomBrand::ReadBrandFile()
{
    m_bBrandFileFound = false;
    const QString path = BrandFilePath();

    // Only a plain file is read: a folder of that name, or a pipe or device
    // that could keep the read waiting for ever, counts as no brand file.
    const QFileInfo info(path);
    if (!info.isFile())
        return {};

    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return {};
    const QByteArray bytes = file.readAll();
    if (file.error() != QFileDevice::NoError)
        return {};
    file.close();

    // Joining the lines with nothing between them is the same as dropping
    // every line-end character, whichever of CR LF, CR or LF the file uses.
    QString text = PageText::fromBytes(bytes);
    text.remove(u'\r');
    text.remove(u'\n');
    m_bBrandFileFound = true;
    return text;
}

QString CCustomBrand::GetBrandValue(const QString &sText, const QString &sKey)
{
    try {
        // The opening tag: p1 is where the key starts, s the first character
        // after the key and its closing ">".
        const qint16 p1 = toPosition(findFrom(1, sText, sKey));
        const qint16 s = toPosition(qsizetype(p1) + sKey.size() + 1);
        // The closing tag: p2 is where the key appears again, after "</".
        const qint16 p2 = toPosition(findFrom(s, sText, sKey));
        const qint16 n = toPosition(qsizetype(p2) - 2 - s);
        // A missing or unclosed tag leaves n negative: an invalid argument.
        if (n < 0)
            throw AppError::platform(ErrorNumber::InvalidArgument);
        return sText.mid(s - 1, n);
    } catch (...) {
        showBrandFileProblem(caughtError().description());
        return {};
    }
}
