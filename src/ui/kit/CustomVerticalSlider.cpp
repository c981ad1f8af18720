#include "ui/kit/CustomVerticalSlider.h"

#include "ui/kit/AccessibleEvents.h"
#include "ui/kit/Palette.h"
#include "ui/kit/Shapes.h"

#include <QAccessible>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QPainter>

#include <cmath>

CustomVerticalSlider::CustomVerticalSlider(QWidget* parent)
    : QWidget(parent)
{
    setFocusPolicy(Qt::TabFocus);
    setSizePolicy(QSizePolicy::Fixed, QSizePolicy::Fixed);
}

void CustomVerticalSlider::setValue(Binding<float> value)
{
    m_value = std::move(value);
    refresh();
}

void CustomVerticalSlider::setRange(Range inRange)
{
    m_range = inRange;
    update();
}

void CustomVerticalSlider::setStep(float step)
{
    m_step = step;
}

void CustomVerticalSlider::setOnChanged(std::function<void(float)> onChanged)
{
    m_onChanged = std::move(onChanged);
}

void CustomVerticalSlider::refresh()
{
    const float value = this->value();
    // Exact comparison on purpose: any change of the value may move the fill.
    if (!m_paintedValue || !(*m_paintedValue == value))
        update();
    if (m_announcedValue != value) {
        const bool first = !m_announcedValue;
        m_announcedValue = value;
        if (!first && isVisible()) {
            QAccessibleValueChangeEvent event(this, value);
            AccessibleEvents::send(event);
        }
    }
}

QRectF CustomVerticalSlider::barRect() const
{
    const qreal x = layoutDirection() == Qt::RightToLeft ? width() - barWidth : 0;
    return {x, 0, barWidth, qreal(height())};
}

QSize CustomVerticalSlider::sizeHint() const
{
    return {20, 100};
}

qreal CustomVerticalSlider::fillHeight(float value) const
{
    const float h = float(height());
    const float fraction = value / m_range.upper;
    const float fill = h * fraction;
    // A value set elsewhere may lie outside the range; the fill stays in the track.
    if (!std::isfinite(fill) || fill <= 0)
        return 0;
    return std::min<qreal>(fill, h);
}

void CustomVerticalSlider::paintEvent(QPaintEvent*)
{
    const float value = m_value ? m_value.get() : 0.0f;
    m_paintedValue = value;

    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);
    const QRectF bar = barRect();
    painter.fillPath(Shapes::roundedRect(bar, cornerRadius), Palette::gray(0.3));
    const qreal fill = fillHeight(value);
    if (fill > 0) {
        const QRectF filled(bar.left(), bar.bottom() - fill, bar.width(), fill);
        painter.fillPath(Shapes::roundedRect(filled, cornerRadius), Palette::blue());
    }
}

float CustomVerticalSlider::valueAt(qreal y) const
{
    const double h = height();
    const float fraction = float((h - y) / h);
    const float upper = m_range.upper;
    float raw = upper * fraction;
    if (!(raw < upper))
        raw = upper;  // a NaN as well
    return quantised(raw);
}

float CustomVerticalSlider::quantised(float raw) const
{
    if (raw < m_range.lower)
        raw = m_range.lower;
    if (!(m_step > 0))
        return raw;  // no quantum to round to
    const float steps = std::round(raw / m_step);  // halves away from zero
    return m_step * steps;
}

void CustomVerticalSlider::setFromY(qreal y)
{
    apply(valueAt(y));
}

void CustomVerticalSlider::choose(float value)
{
    if (!(value < m_range.upper))
        value = m_range.upper;  // a NaN as well
    apply(quantised(value));
}

void CustomVerticalSlider::apply(float value)
{
    if (m_value.set)
        m_value.set(value);
    if (m_onChanged)
        m_onChanged(value);
    refresh();
}

void CustomVerticalSlider::mousePressEvent(QMouseEvent* event)
{
    m_drag.press(event);
}

void CustomVerticalSlider::mouseMoveEvent(QMouseEvent* event)
{
    m_drag.move(event);
}

void CustomVerticalSlider::mouseReleaseEvent(QMouseEvent* event)
{
    m_drag.release(event);
}

FocusOutline CustomVerticalSlider::focusOutline() const
{
    return {barRect(), cornerRadius};
}

void CustomVerticalSlider::keyPressEvent(QKeyEvent* event)
{
    const float stepped = float(keyboardSteps) * (m_step > 0 ? m_step : (m_range.upper - m_range.lower) / 100);
    switch (event->key()) {
    case Qt::Key_Up:
        choose(value() + stepped);
        break;
    case Qt::Key_Down:
        choose(value() - stepped);
        break;
    default:
        event->ignore();
        return;
    }
    event->accept();
}
