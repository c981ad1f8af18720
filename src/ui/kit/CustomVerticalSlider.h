#pragma once

#include "ui/kit/Binding.h"
#include "ui/kit/PointerDrag.h"

#include <QWidget>

#include <functional>
#include <optional>

// The upright volume slider: a gray pill with a blue fill rising from the
// bottom in proportion to the value, with no thumb. Pressing or dragging
// anywhere in the control sets the value from the pointer's height, quantised
// to step and kept within the range, writes it through the binding and
// reports it through onChanged.
//
// The fill measures the value from 0 to the range's upper bound; the lower
// bound only limits what a drag produces. The bar is barWidth wide at the
// leading side of the control and as tall as the control.
//
// Like the progress bar, it owns no value: call refresh() when the bound value
// may have changed; it repaints only when the value differs from the one shown.
class CustomVerticalSlider : public QWidget {
    Q_OBJECT

public:
    static constexpr qreal barWidth = 8;
    static constexpr qreal cornerRadius = 4;

    struct Range {
        float lower = 0.0f;
        float upper = 1.0f;
    };

    explicit CustomVerticalSlider(QWidget* parent = nullptr);

    void setValue(Binding<float> value);
    void setRange(Range inRange);
    Range range() const { return m_range; }
    void setStep(float step);
    float step() const { return m_step; }
    void setOnChanged(std::function<void(float)> onChanged);

    void refresh();

    // The value a press at height y (local, growing downward) produces.
    float valueAt(qreal y) const;
    // The fill's height for a value, in points (limited to the control's height).
    qreal fillHeight(float value) const;
    QRectF barRect() const;

    QSize sizeHint() const override;

protected:
    void paintEvent(QPaintEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;

private:
    void setFromY(qreal y);

    Binding<float> m_value;
    Range m_range;
    float m_step = 0.01f;
    std::function<void(float)> m_onChanged;
    PointerDrag m_drag{[this](QPointF position) { setFromY(position.y()); }};
    std::optional<float> m_paintedValue;  // what the last paint showed
};
