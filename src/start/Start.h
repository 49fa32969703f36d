#pragma once

// The program entry: brings up the error reporter, the brand values and the
// main window, then runs the event loop until the window ends the program.
namespace Start {

int Main(int argc, char *argv[]);

} // namespace Start
