#pragma once

// The program without a display: `zorvane --headless [--interval MINUTES]`
// runs the same check cycle with the same settings, list files and data
// folder as the window, checks once at start and then every interval, and
// prints what the window's status line would show, one line an event, to
// standard error. It creates no GUI application at all, so it runs where
// there is no display (a home server, a Raspberry Pi), and it ends the
// orderly way on SIGTERM or SIGINT.
namespace Headless {

// Whether the command line asks for it.
bool isRequested(int argc, char *argv[]);

int Main(int argc, char *argv[]);

} // namespace Headless
