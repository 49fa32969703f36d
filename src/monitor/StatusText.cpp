#include "StatusText.h"

#include <QFontMetrics>
#include <QWidget>

namespace {
// The margin kept free at the right of the control: 100 twips, i.e. 100/1440
// of an inch, converted to the control's pixels.
int marginPixels(const QWidget &control)
{
    return (100 * control.logicalDpiX() + 720) / 1440;
}
} // namespace

QString StatusText::FitText(const QWidget &control, const QString &caption)
{
    const QFontMetrics metrics(control.window()->font());
    const int maxWidth = control.width() - marginPixels(control);

    QString text = caption;
    int width = metrics.horizontalAdvance(text);
    int keep = int(text.size() / 2) - 2;
    while (width > maxWidth && keep >= 4) {
        text = text.left(keep) + QStringLiteral("...") + text.right(keep);
        width = metrics.horizontalAdvance(text);
        --keep;
    }
    return text;
}
