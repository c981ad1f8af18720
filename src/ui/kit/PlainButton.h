#pragma once

#include "ui/kit/ButtonLabel.h"
#include "ui/kit/FocusRing.h"

#include <QAbstractButton>
#include <QMargins>

#include <memory>

// A button without chrome: its label is its whole look. It dims while pressed
// and when disabled (a disabled button ignores clicks), and can be drawn
// scaled about its centre for press feedback; the scale is a property, so a
// QPropertyAnimation on "scale" animates it.
//
// Tab reaches it, a click never gives it the focus (the window's key capture
// keeps the keys), and a FocusRing shows the focus around its label. Focused,
// it answers Enter and Return alone: Space and the arrows are the window's
// play and seek keys and are never taken for a press, and every other key
// goes on to the parents as if the button were not there. A double-click is
// one press.
class PlainButton : public QAbstractButton, public FocusRingShape {
    Q_OBJECT
    Q_PROPERTY(qreal scale READ scale WRITE setScale)

public:
    static constexpr qreal disabledOpacity = 0.35;
    static constexpr qreal pressedOpacity = 0.7;

    explicit PlainButton(QWidget* parent = nullptr);
    explicit PlainButton(std::shared_ptr<const ButtonLabel> label, QWidget* parent = nullptr);

    void setLabel(std::shared_ptr<const ButtonLabel> label);
    const ButtonLabel* label() const { return m_label.get(); }

    qreal scale() const { return m_scale; }
    void setScale(qreal scale);

    // Room around the label for what it draws outside its own rect (shadows).
    // The label is laid out inside these margins; presses only count on the label.
    void setOverflowMargins(const QMargins& margins);
    QMargins overflowMargins() const { return m_overflow; }
    QRectF labelRect() const;
    // At least this wide, whatever the label (a chip whose label changes
    // keeps its place and the places beside it).
    void setMinimumLabelWidth(qreal width);

    QSize sizeHint() const override;
    QSize minimumSizeHint() const override;

    FocusOutline focusOutline() const override;

protected:
    void paintEvent(QPaintEvent* event) override;
    bool hitButton(const QPoint& position) const override;
    void keyPressEvent(QKeyEvent* event) override;
    void keyReleaseEvent(QKeyEvent* event) override;
    void mouseDoubleClickEvent(QMouseEvent* event) override;

private:
    std::shared_ptr<const ButtonLabel> m_label;
    qreal m_scale = 1.0;
    QMargins m_overflow;
    qreal m_minimumLabelWidth = 0;
};
