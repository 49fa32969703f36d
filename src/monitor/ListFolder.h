#pragma once

#include <QString>

// Where the two list files live: beside the program when the user may write
// there, else in the user's data folder (read from there on the next start
// too, since the same rule picks the same folder).
namespace ListFolder {

// The folder the lists are written to.
QString path();

// The folder a list file is read from: where it is written, or, while that
// is the data folder and it holds no copy yet, the program folder, so that a
// list placed beside a program the user may not write to is still read (the
// first save then keeps it in the data folder).
QString readFolder(const QString &fileName);

} // namespace ListFolder
