#pragma once

#include "ui/kit/Backdrop.h"
#include "ui/kit/Binding.h"
#include "ui/kit/FocusRing.h"
#include "ui/kit/GradientCapsulePainter.h"
#include "ui/kit/Palette.h"
#include "ui/kit/PointerDrag.h"
#include "ui/kit/ProgressBarLayout.h"

#include <QFont>
#include <QMargins>
#include <QPainterPath>
#include <QPixmap>
#include <QWidget>

#include <functional>
#include <optional>
#include <utility>
#include <vector>

// The thin position bar of the player card: track, the A-B loop region, the
// played part as a green-to-blue fill, red "Start" and "End" ticks, an outline
// and a soft shadow. Pressing or dragging anywhere on it seeks.
//
// The control owns none of what it shows: it reads the position and the loop
// bounds through bindings each time it paints, and a drag writes the position
// through its binding and reports it through onTimeChanged. Feed it from a
// fast timer by calling refresh() (and setDuration()): both compare the new
// picture with the one on screen and repaint only when it differs visibly (the
// fill moved by a device pixel or more, or a loop bound, the duration or the
// size changed), so a 100 Hz timer costs nothing while the picture stands still.
//
// A press anywhere in the widget counts (its margins are thin, and the bar is
// a small target); the time comes from x measured along the bar alone.
//
// The bar itself is barHeight high and spans the width between barMargins();
// the margins hold the tick ends, the labels and the shadow. Align neighbours
// with barRect() (or barMargins()) when the bar must line up with them.
//
// Tab reaches it (a click does not give it the focus); it takes no keys of
// its own, as the window's arrow keys already seek. Assistive tools read the
// position and the duration and seek through seekTo(); they hear of a change
// when the whole second shown or the duration changes, not at every frame.
class CustomProgressBar : public QWidget, public FocusRingShape {
    Q_OBJECT

public:
    static constexpr qreal barHeight = 12;
    static constexpr qreal cornerRadius = 6;
    static constexpr qreal tickWidth = 1;
    static constexpr qreal tickHeight = 16;
    static constexpr qreal labelRise = 12;  // label centre above the bar's centre line
    static constexpr qreal shadowRadius = 2;

    explicit CustomProgressBar(QWidget* parent = nullptr);

    void setCurrentTime(Binding<double> currentTimeSeconds);
    // The length the full width stands for. Repaints only if the picture changes.
    void setDuration(double seconds);
    double duration() const { return m_durationSeconds; }
    // Loop bounds are only read; absent means no bound set.
    void setLoopStart(std::function<std::optional<double>()> loopStartSeconds);
    void setLoopEnd(std::function<std::optional<double>()> loopEndSeconds);
    // Called after every drag change with the position read back from the binding.
    void setOnTimeChanged(std::function<void(double)> onTimeChanged);
    // What the bar shows (the track loaded): a drag begun in one ends when
    // another is loaded, the button still held.
    void setDragSession(std::function<quint64()> session) { m_drag.setSession(std::move(session)); }
    // Stretches to mark faintly along the bar's foot, in seconds (read like the bounds).
    struct Span {
        double fromSeconds = 0;
        double toSeconds = 0;
    };
    void setFaintSpans(std::function<std::vector<Span>()> spans);
    // A right-click (or the menu key) on the bar: the time under the pointer
    // and where to show a menu.
    void setOnContextMenu(std::function<void(double seconds, const QPoint& globalPosition)> onContextMenu);

    // Re-reads the bindings and schedules a repaint if the picture changed.
    void refresh();

    // Seeks as a press at that time would: clamped to the track, written
    // through the binding and reported through onTimeChanged.
    void seekTo(double seconds);
    double currentTime() const { return m_currentTime ? m_currentTime.get() : 0.0; }

    ProgressBarValues values() const;
    QMargins barMargins() const { return m_margins; }
    QRectF barRect() const;

    QSize sizeHint() const override;
    QSize minimumSizeHint() const override;

    FocusOutline focusOutline() const override;

protected:
    void paintEvent(QPaintEvent* event) override;
    void showEvent(QShowEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void contextMenuEvent(QContextMenuEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;

private:
    // A label's outline and advance, made once: shaping text is the dearest
    // part of a paint, and the bar repaints as often as its fill moves.
    struct LabelShape {
        QPainterPath outline;  // with its baseline's left end at the origin
        qreal advance = 0;
    };

    void seekToWidgetX(qreal x);
    double timeAtWidgetX(qreal x) const;
    double clampedTime(double seconds) const;
    void announceValueIfChanged();
    LabelShape makeLabelShape(const QString& text) const;
    QPointF labelBaseline(const LabelShape& label, qreal markerX) const;
    // What a change of the fill's width repaints.
    QRect fillChangeRect(std::optional<qreal> fromWidth, std::optional<qreal> toWidth) const;

    // The picture but for the fill, in the two layers either side of it:
    // while playing only the fill moves, and a repaint is then two copies
    // and one gradient instead of shadows, outlines and text.
    struct Layers {
        ProgressBarLayout layout;  // what they show: everything but the fill
        QSize widgetSize;
        qreal devicePixelRatio = 1;
        QPixmap underFill;  // shadows, the track and the loop region
        QPixmap overFill;   // faint spans, markers, labels and the outline
    };
    const Layers& layersFor(const ProgressBarLayout& layout, qreal devicePixelRatio);
    // What the window shows beneath the bar, painted by the bar itself: on a
    // surface it knows, the bar is opaque, and the repaint of its fill at
    // every frame of a drill then costs neither the window nor anything
    // between the two a paint. Made again whenever what lies beneath moves
    // or changes.
    struct Background {
        Backdrop::Beneath beneath;
        qreal devicePixelRatio = 1;
        QPixmap pixmap;
    };
    void paintBackground(QPainter& painter, qreal devicePixelRatio);
    void paintUnderFill(QPainter& painter, const ProgressBarLayout& layout, qreal devicePixelRatio) const;
    void paintOverFill(QPainter& painter, const ProgressBarLayout& layout, qreal devicePixelRatio) const;

    Binding<double> m_currentTime;
    double m_durationSeconds = 0;
    std::function<std::optional<double>()> m_loopStart;
    std::function<std::optional<double>()> m_loopEnd;
    std::function<void(double)> m_onTimeChanged;
    std::function<std::vector<Span>()> m_faintSpans;
    std::function<void(double, const QPoint&)> m_onContextMenu;

    QFont m_labelFont;
    QString m_startLabel;  // the markers' labels, translated
    QString m_endLabel;
    LabelShape m_startLabelShape;
    LabelShape m_endLabelShape;
    QMargins m_margins;
    qreal m_labelSpacing = ProgressBarLayout::labelSpacingPoints;  // markers closer drop their labels
    PointerDrag m_drag{[this](QPointF position) { seekToWidgetX(position.x()); }};
    // What the last paint showed, to tell whether new values change the picture.
    std::optional<ProgressBarLayout> m_paintedLayout;
    QSizeF m_paintedBarSize;
    std::optional<Layers> m_layers;
    // The played part, green to blue along its length: a capsule, as its
    // corners are half the bar's height.
    static_assert(cornerRadius * 2 == barHeight);
    GradientCapsulePainter m_fillPainter{Palette::green(), Palette::blue()};
    std::optional<Background> m_background;
    // The whole second and the duration assistive tools last heard of.
    std::optional<std::pair<double, double>> m_announcedValue;
};
