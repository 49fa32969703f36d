#pragma once

#include <QString>

// Builders for seller listing rows in the markup the parser expects:
// item link, price cell, title cell, optional Dutch and bidder cells, row end.
namespace SellerPages {

inline QString boldPrice(const QString &price)
{
    return QStringLiteral("<td align=\"right\"><b>") + price + QStringLiteral("</b></td>");
}

inline QString plainPrice(const QString &price)
{
    return QStringLiteral("<td align=\"right\">") + price + QStringLiteral("</td>");
}

inline QString titleCell(const QString &title)
{
    return QStringLiteral("<td width=\"45%\">") + title + QStringLiteral("</td>");
}

inline QString bidderCell(const QString &bidder)
{
    return QStringLiteral("<td><a href=\"f?ViewFeedback&amp;userid=s&amp;requested=") + bidder
           + QStringLiteral("&amp;frm=1\">") + bidder + QStringLiteral("</a></td>");
}

inline QString dutchCell(const QString &count)
{
    // "#dutch", four characters, the count, "Dutch".
    return QStringLiteral("<td><a href=\"h.html#dutch\"> -") + count + QStringLiteral("Dutch</a></td>");
}

// One row; mark goes right after the item link (" (*)" for a completed one).
inline QString row(const QString &number, const QString &price, const QString &title,
                   const QString &tail = {}, const QString &mark = {})
{
    return QStringLiteral("<tr><td><a href=\"v?ViewItem&amp;item=") + number + QStringLiteral("\">") + number
           + QStringLiteral("</a>") + mark + QStringLiteral("</td>") + price + titleCell(title) + tail
           + QStringLiteral("</tr>\n");
}

inline QString page(const QString &rows)
{
    return QStringLiteral("<html><body><table>\n") + rows + QStringLiteral("</table></body></html>\n");
}

} // namespace SellerPages
