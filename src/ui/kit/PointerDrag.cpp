#include "ui/kit/PointerDrag.h"

#include <QMouseEvent>

PointerDrag::PointerDrag(std::function<void(QPointF)> onPosition)
    : m_onPosition(std::move(onPosition))
{
}

void PointerDrag::press(QMouseEvent* event)
{
    if (event->button() != Qt::LeftButton) {
        event->ignore();
        return;
    }
    m_isDragging = true;
    m_onPosition(event->position());
}

void PointerDrag::move(QMouseEvent* event)
{
    if (!m_isDragging || !(event->buttons() & Qt::LeftButton))
        return;
    m_onPosition(event->position());
}

void PointerDrag::release(QMouseEvent* event)
{
    if (event->button() == Qt::LeftButton)
        m_isDragging = false;
}
