#pragma once

#include <QString>

// Where the two list files live: beside the program when the user may write
// there, else in the user's data folder (read from there on the next start
// too, since the same rule picks the same folder).
namespace ListFolder {

QString path();

} // namespace ListFolder
