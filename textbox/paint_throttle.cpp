#include "textbox/paint_throttle.h"

#include <QWidget>

PaintThrottle::PaintThrottle(QWidget *widget) : QObject(widget), m_widget(widget)
{
    m_frame.setSingleShot(true);
    m_frame.setInterval(kFrameMs);
    connect(&m_frame, &QTimer::timeout, this, &PaintThrottle::frameOver);
}

void PaintThrottle::changed()
{
    if (!m_frame.isActive()) {
        m_painted = false;
        m_frame.start();
        return;
    }
    // A change before the frame's paint is in that paint.
    if (m_painted && !m_held && m_widget->updatesEnabled()) {
        m_held = true;
        m_widget->setUpdatesEnabled(false);
    }
}

void PaintThrottle::frameOver()
{
    if (!m_held) {
        emit settled();
        return;
    }
    m_held = false;
    m_painted = false;
    m_widget->setUpdatesEnabled(true);
    // Changes may go on: those after this repaint wait for the end of this new frame.
    m_frame.start();
}
