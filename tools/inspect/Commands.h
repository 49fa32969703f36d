#pragma once

#include <QStringList>

// One function per subcommand; each gets the words after its name and
// gives back the process exit status.
namespace InspectCommands {

} // namespace InspectCommands
