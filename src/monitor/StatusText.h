#pragma once

#include <QString>

class QWidget;

namespace StatusText {

// Shortens a text to fit a control: while it is wider than the control less
// a small margin, its middle is replaced by "..." one character per side at
// a time, down to 4 characters on each side. Texts of fewer than 12
// characters come back unchanged. Widths are measured in the font of the
// control's window.
QString FitText(const QWidget &control, const QString &caption);

} // namespace StatusText
