#pragma once

#include <QColor>
#include <QPainterPath>
#include <QPointer>
#include <QRectF>
#include <QWidget>

#include <optional>
#include <vector>

// The rounded outline a focus ring goes around, in a control's own
// coordinates. A corner radius of half the shorter side or more makes a
// capsule (a circle, for a square).
struct FocusOutline {
    QRectF rect;
    qreal cornerRadius = 0;
};

// A control that shows the keyboard focus with a FocusRing says where its
// shape is.
class FocusRingShape {
public:
    virtual ~FocusRingShape() = default;
    virtual FocusOutline focusOutline() const = 0;
};

// The keyboard focus made visible: a thin blue ring a little outside the
// shape of whichever control of its window holds the focus, when that control
// is a FocusRingShape. The ring is a widget of its own lying over the window's
// content rather than something each control paints, so that a control with
// no room around it (a chip in a tight row, a capsule button) still shows the
// ring whole, and no layout has to make room for it.
//
// Give it the window as parent; it follows the focus, and the control's moves
// and resizes, by itself. It is transparent for the mouse and never takes the
// focus. Controls that mark a part of themselves (a list's current row) draw
// that mark with ringPath() and colour() so that it matches.
class FocusRing : public QWidget {
    Q_OBJECT

public:
    static constexpr qreal gap = 2;        // between the shape and the ring
    static constexpr qreal lineWidth = 2;
    static constexpr qreal opacity = 0.6;  // of the interface's blue

    explicit FocusRing(QWidget* window);

    // The control the ring is around now; none while the ring is hidden.
    QWidget* target() const;

    static QColor colour();
    // The ring's centre line around an outline: gap and half the line outside it.
    static QPainterPath ringPath(const FocusOutline& outline);

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;
    void paintEvent(QPaintEvent* event) override;

private:
    void follow(QWidget* focusWidget);
    void watch(QWidget* target);
    void schedulePlacement();
    void place();
    // Where the scrolled area the control lies in shows it, in ground's terms.
    std::optional<QRect> scrolledView(QWidget* ground) const;

    QPointer<QWidget> m_target;
    // The target and its ancestors up to the window: a move of any of them
    // moves the target on screen.
    std::vector<QPointer<QWidget>> m_watched;
    QPainterPath m_ring;  // in this widget's coordinates
    bool m_placementPending = false;
};
