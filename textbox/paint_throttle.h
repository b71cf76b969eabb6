#pragma once

#include <QObject>
#include <QTimer>

class QWidget;

// Lets a widget repaint at most once a frame while changes keep coming. The first change after a
// quiet frame paints as usual, and so do those that come before that paint; later ones in the same
// frame switch the widget's updates off, and the end of the frame switches them on again, which
// repaints once for all of them. Only the pixels wait: whatever the widget and its scroll bars
// report is current all the time.
class PaintThrottle : public QObject
{
    Q_OBJECT

public:
    static constexpr int kFrameMs = 16;

    explicit PaintThrottle(QWidget *widget);

    // Call before asking for the repaint a change needs.
    void changed();
    // The widget painted.
    void painted() { m_painted = true; }
    // Whether changes came within the last frame: more may follow.
    bool inFrame() const { return m_frame.isActive(); }

signals:
    // A frame ended with every change painted and none held: changes have stopped for now.
    void settled();

private:
    void frameOver();

    QWidget *m_widget;
    QTimer m_frame;
    bool m_held = false;    // updates switched off by this throttle
    bool m_painted = false; // the widget painted since this frame began
};
