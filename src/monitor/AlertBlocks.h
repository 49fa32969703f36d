#pragma once

#include <QString>

class CItem;

// The text blocks of alert messages: one block per new or changed auction,
// brief (for phones and pagers) or detailed. Blocks are joined with nothing
// between them when a message carries several.
namespace AlertBlocks {

// The auction link of detailed blocks; itemHost ends in "/".
QString itemLink(const QString &itemHost, const QString &itemNumber);

QString changed(const CItem &current, const CItem &previous, bool detailed, const QString &itemHost);
QString added(const CItem &current, bool detailed, const QString &itemHost);

} // namespace AlertBlocks
