#pragma once

#include "base/Brand.h"

#include <QString>

// Reads the brand file and publishes the brand values.
//
// The brand file is 8-bit text; its line breaks mean nothing (the lines are
// joined before anything is looked up). Each value stands between an opening
// and a closing tag named after it: <CompanyName>Pellridge</CompanyName>.
class CCustomBrand
{
public:
    // Sets the five brand values: from the brand file when it could be read,
    // otherwise from the defaults. A tag that cannot be extracted shows a
    // message and leaves its value empty. Any other failure is passed on.
    void Initialize();

    // The whole brand file with its line ends removed; sets BrandFileFound.
    // A missing or unreadable file gives an empty text and no message.
    QString ReadBrandFile();

    // The text between the tags named sKey. Positions are 1-based and held
    // in 16 bits, so a tag beyond position 32,767 cannot be read. On failure
    // (tag missing or unclosed, position overflow) shows the brand-file
    // message and gives back an empty text.
    static QString GetBrandValue(const QString &sText, const QString &sKey);

    bool BrandFileFound() const { return m_bBrandFileFound; }
    const QString &BrandText() const { return m_sBrandText; }

    // The brand file's full path: "AppData" beside the program, or in the
    // installed data folder when the program was installed without one beside it.
    static QString BrandFilePath();

private:
    QString m_sBrandText;
    bool m_bBrandFileFound = false;
};
