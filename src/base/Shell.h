#pragma once

#include <QString>

// Every "open this address" of the program (web pages, the help page,
// mailto: drafts) goes through here, to the desktop's handler for the
// address's scheme. Nothing is ever passed through a command shell. Tests
// capture the addresses with QDesktopServices::setUrlHandler.
namespace Shell {

// The address is taken as written: nothing is percent-encoded by the
// program (characters a URL cannot carry are encoded by Qt on the way out).
// Gives back whether a handler accepted it; callers may ignore it.
bool open(const QString &address);

} // namespace Shell
