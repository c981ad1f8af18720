#pragma once

#include <QPointF>

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

private:
    std::function<void(QPointF)> m_onPosition;
    bool m_isDragging = false;
};
