#pragma once

#include "base/MessageBoxes.h"

class QDialog;

// The program's modal windows: each counts as a ModalScope while it is
// open, and none opens while the program is closing (see ModalScope).
namespace ModalDialogs {

// Runs the dialog modally and gives its result; while the program is
// closing it does not open and gives QDialog::Rejected at once.
int exec(QDialog &dialog);

// Asks every open modal window to close, as its Cancel (or close) button
// would: the handlers that opened them see a cancelled window.
void closeAll();

// The message boxes of the windowed program (install with
// MessageBoxes::setHandler).
MessageAnswer messageBox(const MessageRequest &request);

} // namespace ModalDialogs
