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
    m_pressedInSession = m_session ? m_session() : 0;
    m_onPosition(event->position());
}

void PointerDrag::move(QMouseEvent* event)
{
    if (!m_isDragging || !(event->buttons() & Qt::LeftButton))
        return;
    if (m_session && m_session() != m_pressedInSession) {
        m_isDragging = false;
        return;
    }
    m_onPosition(event->position());
}

void PointerDrag::release(QMouseEvent* event)
{
    if (event->button() == Qt::LeftButton)
        m_isDragging = false;
}
