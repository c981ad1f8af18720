#pragma once

#include "ui/kit/Binding.h"
#include "ui/kit/FocusRing.h"
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
//
// Tab reaches it (a click does not give it the focus); focused, Up and Down
// move the value by keyboardSteps steps. Assistive tools read the value and
// the range and set it through choose(); refresh() tells them of a change.
class CustomVerticalSlider : public QWidget, public FocusRingShape {
    Q_OBJECT

public:
    static constexpr qreal barWidth = 8;
    static constexpr qreal cornerRadius = 4;
    static constexpr int keyboardSteps = 5;

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

    float value() const { return m_value ? m_value.get() : 0.0f; }
    // Sets the value as a drag would: kept within the range, quantised to
    // the step, written through the binding and reported through onChanged.
    void choose(float value);

    // The value a press at height y (local, growing downward) produces.
    float valueAt(qreal y) const;
    // The fill's height for a value, in points (limited to the control's height).
    qreal fillHeight(float value) const;
    QRectF barRect() const;

    QSize sizeHint() const override;

    FocusOutline focusOutline() const override;

protected:
    void paintEvent(QPaintEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;

private:
    void setFromY(qreal y);
    float quantised(float raw) const;
    void apply(float value);

    Binding<float> m_value;
    Range m_range;
    float m_step = 0.01f;
    std::function<void(float)> m_onChanged;
    PointerDrag m_drag{[this](QPointF position) { setFromY(position.y()); }};
    std::optional<float> m_paintedValue;  // what the last paint showed
    std::optional<float> m_announcedValue;  // what assistive tools last heard of
};
