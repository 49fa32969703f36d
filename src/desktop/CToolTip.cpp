#include "desktop/CToolTip.h"

#include <QApplication>
#include <QEvent>
#include <QHelpEvent>
#include <QLabel>
#include <QPainter>
#include <QPainterPath>
#include <QScreen>
#include <QVBoxLayout>

namespace {

constexpr qreal BalloonRadius = 7.0;
// Where a tip following the mouse stands, relative to the pointer's tip:
// below the cursor picture, as the platform's own tooltips do.
constexpr QPoint MouseOffset(2, 18);

// CR LF (or a lone CR or LF) breaks the line when multi-line; otherwise the
// text shows on one line, each break becoming a blank.
QString tipText(const QString &text, bool multiLine)
{
    QString shown = text;
    const QString separator = multiLine ? QStringLiteral("\n") : QStringLiteral(" ");
    shown.replace(QStringLiteral("\r\n"), separator);
    shown.replace(QLatin1Char('\r'), separator);
    if (!multiLine)
        shown.replace(QLatin1Char('\n'), separator);
    return shown;
}

QLabel *plainLabel(const QString &text, const QString &objectName, QWidget *parent)
{
    auto *label = new QLabel(parent);
    label->setObjectName(objectName);
    // Plain text and no buddy: markup is not interpreted and ampersands
    // are shown as written.
    label->setTextFormat(Qt::PlainText);
    label->setText(text);
    label->setWordWrap(false);
    return label;
}

} // namespace

// The tip itself: a frameless tooltip window with an optional bold title and
// the text, painted in the tip's colours, as a rectangle or a rounded balloon.
class CToolTipWindow : public QWidget
{
public:
    CToolTipWindow(QWidget *control, const QString &title, const QString &text, const QColor &fore,
                   const QColor &back, bool balloon)
        : QWidget(control, Qt::ToolTip | Qt::FramelessWindowHint | Qt::WindowStaysOnTopHint
                               | Qt::WindowDoesNotAcceptFocus)
        , m_balloon(balloon)
    {
        setObjectName(QStringLiteral("toolTipWindow"));
        setAttribute(Qt::WA_ShowWithoutActivating);

        QPalette colours = QApplication::palette();
        for (QPalette::ColorRole role : {QPalette::WindowText, QPalette::ToolTipText, QPalette::Text})
            colours.setColor(role, fore);
        for (QPalette::ColorRole role : {QPalette::Window, QPalette::ToolTipBase, QPalette::Base})
            colours.setColor(role, back);
        setPalette(colours);

        auto *layout = new QVBoxLayout(this);
        const int margin = balloon ? 9 : 4;
        layout->setContentsMargins(margin + 1, margin, margin + 1, margin);
        layout->setSpacing(3);

        QLabel *titleLabel = plainLabel(title, QStringLiteral("lblTitle"), this);
        QFont bold = titleLabel->font();
        bold.setBold(true);
        titleLabel->setFont(bold);
        titleLabel->setVisible(!title.isEmpty());
        layout->addWidget(titleLabel);
        layout->addWidget(plainLabel(text, QStringLiteral("lblText"), this));

        adjustSize();
    }

    bool isBalloon() const { return m_balloon; }

protected:
    void paintEvent(QPaintEvent *) override
    {
        QPainter painter(this);
        painter.setRenderHint(QPainter::Antialiasing, m_balloon);
        painter.setPen(palette().color(QPalette::WindowText));
        painter.setBrush(palette().color(QPalette::Window));
        const QRectF frame = QRectF(rect()).adjusted(0.5, 0.5, -0.5, -0.5);
        if (m_balloon)
            painter.drawRoundedRect(frame, BalloonRadius, BalloonRadius);
        else
            painter.drawRect(frame);
    }

    void resizeEvent(QResizeEvent *) override
    {
        if (!m_balloon)
            return;
        // Cut the corners away so that the desktop shows through them.
        QPainterPath outline;
        outline.addRoundedRect(QRectF(rect()), BalloonRadius, BalloonRadius);
        setMask(QRegion(outline.toFillPolygon().toPolygon()));
    }

private:
    bool m_balloon;
};

CToolTip::CToolTip(QObject *parent)
    : QObject(parent)
{
}

CToolTip::~CToolTip()
{
    destroyTip();
}

QWidget *CToolTip::tipWindow() const
{
    return m_tipWindow.data();
}

QColor CToolTip::toColor(quint32 value, QPalette::ColorRole systemRole)
{
    if (value == SystemToolTipForeColorCode || value == SystemToolTipBackColorCode)
        return QApplication::palette().color(systemRole);
    return QColor(int(value & 0xFFu), int((value >> 8) & 0xFFu), int((value >> 16) & 0xFFu));
}

bool CToolTip::Create()
{
    try {
        destroyTip();

        QWidget *const control = m_control.data();
        if (!control)
            return true;

        auto *window = new CToolTipWindow(control, m_title, tipText(m_text, m_multiLine),
                                          toColor(m_foreColor, QPalette::ToolTipText),
                                          toColor(m_backColor, QPalette::ToolTipBase),
                                          m_style == StyleBalloon);
        m_tipWindow = window;
        m_tipControl = control;
        m_tipCentered = m_centered;
        // A tip left showing when its control goes no longer needs to watch
        // the whole application.
        connect(window, &QObject::destroyed, this, [this] { qApp->removeEventFilter(this); });
        // The whole control is the tool: its children's tooltip requests
        // travel up to it when they have no tip of their own.
        control->installEventFilter(this);
        // A tip shows even while its window is not the active one; Qt asks
        // for tips over inactive windows only when the window allows it.
        control->window()->setAttribute(Qt::WA_AlwaysShowToolTips);
        return true;
    } catch (...) {
        return false;
    }
}

void CToolTip::destroyTip()
{
    hideTip();
    if (m_tipControl)
        m_tipControl->removeEventFilter(this);
    delete m_tipWindow.data();
    m_tipWindow.clear();
    m_tipControl.clear();
}

void CToolTip::showTip(const QPoint &globalPos)
{
    QWidget *const window = m_tipWindow.data();
    QWidget *const control = m_tipControl.data();
    if (!window || !control)
        return;

    window->adjustSize();
    QPoint topLeft;
    if (m_tipCentered) {
        const QPoint bottomCentre = control->mapToGlobal(QPoint(control->width() / 2, control->height()));
        topLeft = QPoint(bottomCentre.x() - window->width() / 2, bottomCentre.y());
    } else {
        topLeft = globalPos + MouseOffset;
    }

    // Keep the tip on the screen it appears on.
    QScreen *screen = QGuiApplication::screenAt(globalPos);
    if (!screen)
        screen = control->screen();
    if (screen) {
        const QRect area = screen->availableGeometry();
        topLeft.setX(qBound(area.left(), topLeft.x(), qMax(area.left(), area.right() - window->width() + 1)));
        if (topLeft.y() + window->height() > area.bottom() + 1)
            topLeft.setY(globalPos.y() - window->height() - 2); // above the pointer instead
        topLeft.setY(qMax(area.top(), topLeft.y()));
    }

    window->move(topLeft);
    window->show();
    // While the tip shows, any click, key or wheel anywhere ends it.
    qApp->installEventFilter(this);
}

void CToolTip::hideTip()
{
    qApp->removeEventFilter(this);
    if (m_tipWindow)
        m_tipWindow->hide();
}

bool CToolTip::eventFilter(QObject *watched, QEvent *event)
{
    if (m_tipControl && watched == m_tipControl.data()) {
        switch (event->type()) {
        case QEvent::ToolTip:
            showTip(static_cast<QHelpEvent *>(event)->globalPos());
            return true; // our tip instead of any other
        case QEvent::Leave:
        case QEvent::Hide:
            hideTip();
            break;
        default:
            break;
        }
    }
    switch (event->type()) {
    case QEvent::MouseButtonPress:
    case QEvent::MouseButtonDblClick:
    case QEvent::NonClientAreaMouseButtonPress:
    case QEvent::KeyPress:
    case QEvent::Wheel:
        if (m_tipWindow && m_tipWindow->isVisible())
            hideTip();
        break;
    default:
        break;
    }
    return QObject::eventFilter(watched, event);
}
