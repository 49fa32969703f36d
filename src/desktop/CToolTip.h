#pragma once

#include <QColor>
#include <QObject>
#include <QPointer>
#include <QString>
#include <QWidget>

class CToolTipWindow;

// A tooltip of its own for one control: a small tip window with an optional
// bold title line, its own colours, optionally centred below the control,
// and one or several lines of text.
//
// Set the properties, then call Create. From then on the tip shows whenever
// the mouse rests over any part of the control (the control and its
// children, one tool covering the whole control) and hides when the mouse
// leaves it or a button is pressed. Properties changed after Create take
// effect at the next Create; a second Create replaces the first tip, so an
// object never has more than one.
//
// Colours are 32-bit values: a plain red-green-blue value with red in the
// low byte (0x00BBGGRR), or one of the two system colour codes below, which
// stand for the platform's tooltip colours (QPalette::ToolTipText and
// QPalette::ToolTipBase).
//
// Text and title are plain text: markup is shown as written and ampersands
// show literally.
class CToolTip : public QObject
{
    Q_OBJECT
    Q_PROPERTY(QString Title READ Title WRITE setTitle)
    Q_PROPERTY(quint32 ForeColor READ ForeColor WRITE setForeColor)
    Q_PROPERTY(quint32 BackColor READ BackColor WRITE setBackColor)
    Q_PROPERTY(QWidget *HwndParentControl READ HwndParentControl WRITE setHwndParentControl)
    Q_PROPERTY(bool Centered READ Centered WRITE setCentered)
    Q_PROPERTY(qint32 Style READ Style WRITE setStyle)
    Q_PROPERTY(QString Text READ Text WRITE setText)
    Q_PROPERTY(bool MultiLine READ MultiLine WRITE setMultiLine)

public:
    static constexpr quint32 SystemToolTipForeColorCode = 0x80000017u;
    static constexpr quint32 SystemToolTipBackColorCode = 0x80000018u;
    static constexpr qint32 StyleStandard = 0;
    static constexpr qint32 StyleBalloon = 1;

    explicit CToolTip(QObject *parent = nullptr);
    ~CToolTip() override;

    QString Title() const { return m_title; }
    void setTitle(const QString &title) { m_title = title; }
    quint32 ForeColor() const { return m_foreColor; }
    void setForeColor(quint32 color) { m_foreColor = color; }
    quint32 BackColor() const { return m_backColor; }
    void setBackColor(quint32 color) { m_backColor = color; }
    QWidget *HwndParentControl() const { return m_control.data(); }
    void setHwndParentControl(QWidget *control) { m_control = control; }
    bool Centered() const { return m_centered; }
    void setCentered(bool centered) { m_centered = centered; }
    qint32 Style() const { return m_style; }
    void setStyle(qint32 style) { m_style = style; }
    QString Text() const { return m_text; }
    void setText(const QString &text) { m_text = text; }
    bool MultiLine() const { return m_multiLine; }
    void setMultiLine(bool multiLine) { m_multiLine = multiLine; }

    quint32 SystemToolTipForeColor() const { return SystemToolTipForeColorCode; }
    quint32 SystemToolTipBackColor() const { return SystemToolTipBackColorCode; }

    // Builds the tip from the current properties, replacing an earlier one.
    // Without a control it only removes the earlier tip. True when done,
    // false when a step failed.
    bool Create();

    // The tip window made by the last Create; null when there is none (no
    // Create yet, no control, or the control is gone).
    QWidget *tipWindow() const;
    // The control the current tip belongs to; null when there is none.
    QWidget *tipControl() const { return m_tipControl.data(); }

    // A colour value as shown: the system codes give the palette's tooltip
    // colours, anything else the RGB in its low three bytes (red lowest).
    static QColor toColor(quint32 value, QPalette::ColorRole systemRole);

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    void destroyTip();
    void showTip(const QPoint &globalPos);
    void hideTip();

    // Properties, in effect from the next Create.
    QString m_title;
    quint32 m_foreColor = SystemToolTipForeColorCode;
    quint32 m_backColor = SystemToolTipBackColorCode;
    QPointer<QWidget> m_control;
    bool m_centered = false;
    qint32 m_style = StyleStandard;
    QString m_text;
    bool m_multiLine = true;

    // The tip made by the last Create. The window is a child of the control,
    // so it goes with the control at the latest.
    QPointer<QWidget> m_tipControl;
    QPointer<CToolTipWindow> m_tipWindow;
    bool m_tipCentered = false;
};
