#pragma once

#include <QString>
#include <QUrl>

#include <functional>

// Every "open this address" of the program (web pages, the help page,
// mailto: drafts) goes through here, to whatever opens addresses: the
// desktop's handler in the windowed program, nothing in a program without a
// desktop, a recorder in tests. Nothing is ever passed through a command
// shell.
namespace Shell {

// Opens a web page (http, https), a mail draft (mailto) or a local file
// (file). An address without a scheme, such as a brand file's
// "www.example.com", is taken as a web address ("http://" is put in front).
// When the address cannot be opened - another scheme, no handler, or the
// handler refused it - the user is told so in a message box. Gives back
// whether it was opened; callers may ignore it. An empty address opens
// nothing and says nothing.
bool open(const QString &address);

// The address open() hands on: the text as written (nothing percent-encoded
// by the program), with "http://" in front when it has no scheme. Invalid
// when it is no address at all.
QUrl addressOf(const QString &address);

using Handler = std::function<bool(const QUrl &)>;

// Replaces what opens addresses and gives back the previous handler. Without
// one, nothing can be opened.
Handler setHandler(Handler handler);

} // namespace Shell
