#include "ui/kit/FocusRing.h"

#include "ui/kit/Palette.h"
#include "ui/kit/Shapes.h"

#include <QAbstractScrollArea>
#include <QApplication>
#include <QEvent>
#include <QPainter>

#include <algorithm>
#include <cmath>

FocusRing::FocusRing(QWidget* window)
    : QWidget(window)
{
    setAttribute(Qt::WA_TransparentForMouseEvents);
    setFocusPolicy(Qt::NoFocus);
    hide();
    connect(qApp, &QApplication::focusChanged, this, [this](QWidget*, QWidget* now) { follow(now); });
    follow(QApplication::focusWidget());
}

QWidget* FocusRing::target() const
{
    return isVisible() ? m_target.data() : nullptr;
}

QColor FocusRing::colour()
{
    return Palette::blue(opacity);
}

QPainterPath FocusRing::ringPath(const FocusOutline& outline)
{
    const qreal out = gap + lineWidth / 2;
    const QRectF rect = outline.rect.adjusted(-out, -out, out, out);
    if (2 * outline.cornerRadius >= std::min(outline.rect.width(), outline.rect.height()))
        return Shapes::capsule(rect);
    return Shapes::roundedRect(rect, outline.cornerRadius + out);
}

void FocusRing::follow(QWidget* focusWidget)
{
    QWidget* target = nullptr;
    if (focusWidget && parentWidget() && focusWidget->window() == window()
        && dynamic_cast<FocusRingShape*>(focusWidget))
        target = focusWidget;
    if (target != m_target) {
        m_target = target;
        watch(target);
    }
    place();
}

void FocusRing::watch(QWidget* target)
{
    for (const QPointer<QWidget>& watched : m_watched)
        if (watched)
            watched->removeEventFilter(this);
    m_watched.clear();
    for (QWidget* widget = target; widget && widget != parentWidget(); widget = widget->parentWidget()) {
        widget->installEventFilter(this);
        m_watched.emplace_back(widget);
        if (widget->isWindow())
            break;
    }
}

bool FocusRing::eventFilter(QObject* watched, QEvent* event)
{
    switch (event->type()) {
    case QEvent::Move:
    case QEvent::Resize:
    case QEvent::Show:
    case QEvent::Hide:
        schedulePlacement();
        break;
    default:
        break;
    }
    return QWidget::eventFilter(watched, event);
}

// After the event that moved the control has run its course: whoever moved it
// may raise a sibling over the ring on the way (the playlist panel raises
// itself when it is placed), and the ring must end up on top.
void FocusRing::schedulePlacement()
{
    if (m_placementPending)
        return;
    m_placementPending = true;
    QMetaObject::invokeMethod(this, &FocusRing::place, Qt::QueuedConnection);
}

std::optional<QRect> FocusRing::scrolledView(QWidget* ground) const
{
    for (QWidget* widget = m_target->parentWidget(); widget && widget != ground; widget = widget->parentWidget()) {
        const auto* area = qobject_cast<const QAbstractScrollArea*>(widget->parentWidget());
        if (area && area->viewport() == widget)
            return QRect(widget->mapTo(ground, QPoint()), widget->size());
    }
    return std::nullopt;
}

void FocusRing::place()
{
    m_placementPending = false;
    QWidget* ground = parentWidget();
    const auto* shape = dynamic_cast<const FocusRingShape*>(m_target.data());
    if (!shape || !ground || !m_target->isVisible() || !ground->isAncestorOf(m_target)) {
        hide();
        return;
    }
    FocusOutline outline = shape->focusOutline();
    outline.rect.translate(m_target->mapTo(ground, QPoint()));
    const QPainterPath ring = ringPath(outline);
    const qreal reach = lineWidth / 2 + 1;  // the line's outer half and its antialiasing
    const QRect bounds = ring.boundingRect().adjusted(-reach, -reach, reach, reach).toAlignedRect();
    // A control in a scrolled area (a sheet's content cut to a low window)
    // has its ring only where the area shows it: scrolled out of view, the
    // ring would float over what lies beyond.
    if (const std::optional<QRect> view = scrolledView(ground)) {
        const QRect target(m_target->mapTo(ground, QPoint()), m_target->size());
        if (!view->intersects(target)) {
            hide();
            return;
        }
        const int margin = int(std::ceil(reach));
        setMask(QRegion(view->adjusted(-margin, -margin, margin, margin).translated(-bounds.topLeft())));
    } else {
        clearMask();
    }
    m_ring = ring.translated(-bounds.topLeft());
    setGeometry(bounds);
    raise();
    show();
    update();
}

void FocusRing::paintEvent(QPaintEvent*)
{
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setPen(QPen(colour(), lineWidth));
    painter.setBrush(Qt::NoBrush);
    painter.drawPath(m_ring);
}
