#include "StatusLine.h"

#include <QLabel>

StatusLine::StatusLine(QLabel &label, std::function<QString(const QString &)> fit, QObject *parent)
    : QObject(parent)
    , m_label(label)
    , m_fit(std::move(fit))
{
    m_paintTimer.setSingleShot(true);
    m_paintTimer.setTimerType(Qt::PreciseTimer);
    connect(&m_paintTimer, &QTimer::timeout, this, &StatusLine::paint);
}

void StatusLine::setText(const QString &text)
{
    m_latest = text;
    // A paint already waiting will show this text.
    if (m_paintTimer.isActive())
        return;
    const qint64 since = m_sincePaint.isValid() ? m_sincePaint.elapsed() : PaintIntervalMs;
    if (since >= PaintIntervalMs)
        paint();
    else
        m_paintTimer.start(int(PaintIntervalMs - since));
}

QString StatusLine::text() const
{
    return m_paintTimer.isActive() ? m_fit(m_latest) : m_label.text();
}

void StatusLine::paint()
{
    m_sincePaint.start();
    m_label.setText(m_fit(m_latest));
}
