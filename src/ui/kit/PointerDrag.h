#pragma once

#include <QPointF>
#include <QtGlobal>

#include <functional>

class QMouseEvent;

// A press-and-drag with the left button that reports every pointer position,
// the press itself included, until the button is released. Other buttons are
// left to the widget's parent. A control forwards its three mouse events.
class PointerDrag {
public:
    explicit PointerDrag(std::function<void(QPointF position)> onPosition);

    void press(QMouseEvent* event);
    void move(QMouseEvent* event);
    void release(QMouseEvent* event);
    bool isDragging() const { return m_isDragging; }
    // What the positions mean, taken at the press (the track the bar
    // shows): once it changes, the drag is over, though the button is
    // still held; the positions would point into something else.
    void setSession(std::function<quint64()> session) { m_session = std::move(session); }

private:
    std::function<void(QPointF)> m_onPosition;
    std::function<quint64()> m_session;
    quint64 m_pressedInSession = 0;
    bool m_isDragging = false;
};
