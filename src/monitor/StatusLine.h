#pragma once

#include <QElapsedTimer>
#include <QObject>
#include <QString>
#include <QTimer>

#include <functional>

class QLabel;

// The status line's label, painted at a pace a person can read: a cycle
// gives several texts a page and a mail session, and laying out and painting
// each would cost more than the work they describe. A text is shown at once
// when the label has not changed for a while; texts that come faster are
// held back, and only the latest is shown once the pause is over, so the
// line always ends up showing the last text given. The texts shown are those
// given, in order, some left out.
class StatusLine : public QObject
{
    Q_OBJECT

public:
    // At most one new text in this time.
    static constexpr int PaintIntervalMs = 50;

    // fit: shortens a text to the label's width.
    StatusLine(QLabel &label, std::function<QString(const QString &)> fit, QObject *parent = nullptr);

    void setText(const QString &text);
    // The text the line shows, or is about to show: the latest given, fitted.
    QString text() const;

private:
    void paint();

    QLabel &m_label;
    std::function<QString(const QString &)> m_fit;
    QString m_latest;
    QElapsedTimer m_sincePaint;
    QTimer m_paintTimer;
};
