#include "ui/kit/CustomProgressBar.h"

#include "ui/kit/AccessibleEvents.h"
#include "ui/kit/Palette.h"
#include "ui/kit/Shadow.h"
#include "ui/kit/Shapes.h"
#include "ui/kit/Typography.h"

#include <QAccessible>
#include <QContextMenuEvent>
#include <QCoreApplication>
#include <QFontMetricsF>
#include <QMouseEvent>
#include <QPaintEngine>
#include <QPaintEvent>
#include <QPainter>

#include <algorithm>
#include <cmath>

namespace {

// The markers' labels, in the language of the moment the bar is made.
QString startLabel()
{
    return QCoreApplication::translate("CustomProgressBar", "Start");
}

QString endLabel()
{
    return QCoreApplication::translate("CustomProgressBar", "End");
}

// How much of the bar's edge is covered, on average: the outline is half
// opaque, the track a fifth, the played part fully.
constexpr qreal trackShadowCoverage = 0.6;

ShadowStyle barShadow()
{
    return {Palette::linearGray(0, 0.33), CustomProgressBar::shadowRadius, {}};
}

// A tick one device pixel column wide or more, snapped to whole device pixels
// so it stays crisp instead of smearing over two columns.
QRectF tickRect(qreal centreX, qreal barHeight, qreal devicePixelRatio)
{
    const qreal left = std::round((centreX - CustomProgressBar::tickWidth / 2) * devicePixelRatio) / devicePixelRatio;
    return {left, barHeight / 2 - CustomProgressBar::tickHeight / 2, CustomProgressBar::tickWidth,
            CustomProgressBar::tickHeight};
}

}  // namespace

CustomProgressBar::CustomProgressBar(QWidget* parent)
    : QWidget(parent)
    , m_labelFont(Typography::font(TextStyle::Caption2))
{
    setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Fixed);
    setFocusPolicy(Qt::TabFocus);
    m_startLabel = startLabel();
    m_endLabel = endLabel();
    m_startLabelShape = makeLabelShape(m_startLabel);
    m_endLabelShape = makeLabelShape(m_endLabel);

    const qreal shadowReach = Shadow::reach(shadowRadius);
    const QSizeF startSize = Typography::textSize(m_startLabel, m_labelFont);
    const QSizeF endSize = Typography::textSize(m_endLabel, m_labelFont);
    const qreal labelHalfWidth = std::max(startSize.width(), endSize.width()) / 2;
    const qreal labelHeight = std::max(startSize.height(), endSize.height());
    const qreal tickOverhang = (tickHeight - barHeight) / 2;
    const qreal labelOverhang = labelRise + labelHeight / 2 - barHeight / 2;
    const int side = int(std::ceil(std::max(labelHalfWidth, shadowReach)));
    // Both labels whole, a little apart, or neither.
    m_labelSpacing = std::max(ProgressBarLayout::labelSpacingPoints, (startSize.width() + endSize.width()) / 2 + 6);
    m_margins = QMargins(side, int(std::ceil(std::max(labelOverhang, tickOverhang + shadowReach))), side,
                         int(std::ceil(tickOverhang + shadowReach)));
}

void CustomProgressBar::setCurrentTime(Binding<double> currentTimeSeconds)
{
    m_currentTime = std::move(currentTimeSeconds);
    refresh();
}

void CustomProgressBar::setDuration(double seconds)
{
    // Told at every frame, where refresh() follows anyway.
    if (seconds == m_durationSeconds)
        return;
    m_durationSeconds = seconds;
    refresh();
}

void CustomProgressBar::setLoopStart(std::function<std::optional<double>()> loopStartSeconds)
{
    m_loopStart = std::move(loopStartSeconds);
    refresh();
}

void CustomProgressBar::setLoopEnd(std::function<std::optional<double>()> loopEndSeconds)
{
    m_loopEnd = std::move(loopEndSeconds);
    refresh();
}

void CustomProgressBar::setOnTimeChanged(std::function<void(double)> onTimeChanged)
{
    m_onTimeChanged = std::move(onTimeChanged);
}

void CustomProgressBar::setFaintSpans(std::function<std::vector<Span>()> spans)
{
    m_faintSpans = std::move(spans);
    refresh();
}

void CustomProgressBar::setOnContextMenu(std::function<void(double, const QPoint&)> onContextMenu)
{
    m_onContextMenu = std::move(onContextMenu);
}

ProgressBarValues CustomProgressBar::values() const
{
    ProgressBarValues values;
    values.currentTimeSeconds = m_currentTime ? m_currentTime.get() : 0.0;
    values.durationSeconds = m_durationSeconds;
    if (m_loopStart)
        values.loopStartSeconds = m_loopStart();
    if (m_loopEnd)
        values.loopEndSeconds = m_loopEnd();
    if (m_faintSpans)
        for (const Span& span : m_faintSpans())
            values.faintSpans.emplace_back(span.fromSeconds, span.toSeconds);
    return values;
}

QRectF CustomProgressBar::barRect() const
{
    const qreal width = std::max(0, this->width() - m_margins.left() - m_margins.right());
    return {qreal(m_margins.left()), qreal(m_margins.top()), width, barHeight};
}

QSize CustomProgressBar::sizeHint() const
{
    return {200 + m_margins.left() + m_margins.right(), int(barHeight) + m_margins.top() + m_margins.bottom()};
}

QSize CustomProgressBar::minimumSizeHint() const
{
    return {int(2 * cornerRadius) + m_margins.left() + m_margins.right(), sizeHint().height()};
}

void CustomProgressBar::refresh()
{
    announceValueIfChanged();
    const QRectF bar = barRect();
    const ProgressBarLayout next = ProgressBarLayout::compute(values(), bar.size(), m_labelSpacing);
    if (!m_paintedLayout || m_paintedBarSize != bar.size()) {
        update();
        return;
    }
    const ProgressBarLayout& shown = *m_paintedLayout;
    if (next.loopRegion != shown.loopRegion || next.startMarker != shown.startMarker ||
        next.endMarker != shown.endMarker || next.faintSpans != shown.faintSpans) {
        update();
        return;
    }
    const qreal nextFill = next.fillWidth.value_or(0);
    const qreal shownFill = shown.fillWidth.value_or(0);
    // The ratio the layers were last made at: asking the widget walks up to
    // its screen, at every frame; a new ratio repaints the whole window anyway.
    const qreal ratio = m_layers ? m_layers->devicePixelRatio : devicePixelRatioF();
    if (std::abs(nextFill - shownFill) * ratio < 1)
        return;
    update(fillChangeRect(shown.fillWidth, next.fillWidth));
}

QRect CustomProgressBar::fillChangeRect(std::optional<qreal> fromWidth, std::optional<qreal> toWidth) const
{
    // The gradient spans the fill, so all of the fill changes, as far as the
    // longer of the two reaches (and a pixel beyond for the smoothed edge);
    // past that the bar stays as it is.
    const QRectF bar = barRect();
    const qreal reach = std::max(fromWidth.value_or(0), toWidth.value_or(0));
    if (!(reach <= bar.width()))
        return rect();
    return QRectF(bar.left() - 1, bar.top() - 1, reach + 2, bar.height() + 2).toAlignedRect();
}

CustomProgressBar::LabelShape CustomProgressBar::makeLabelShape(const QString& text) const
{
    LabelShape shape;
    shape.outline.addText(QPointF(), m_labelFont, text);
    shape.advance = QFontMetricsF(m_labelFont).horizontalAdvance(text);
    return shape;
}

QPointF CustomProgressBar::labelBaseline(const LabelShape& label, qreal markerX) const
{
    const QFontMetricsF metrics(m_labelFont);
    const qreal centreY = barHeight / 2 - labelRise;
    return {markerX - label.advance / 2, centreY - metrics.height() / 2 + metrics.ascent()};
}

void CustomProgressBar::paintEvent(QPaintEvent* event)
{
    const QRectF bar = barRect();
    const ProgressBarLayout layout = ProgressBarLayout::compute(values(), bar.size(), m_labelSpacing);
    // A repaint of part of the bar (its fill, as refresh() asks while
    // playing, or a sliver a neighbour's repaint overlaps) shows only that
    // part of the picture now. If the rest changed since the part was asked
    // for (a loop point set meanwhile), what is on screen is the old rest:
    // ask for all of it. The fill counts as painted only when the part held
    // all of its change; a sliver at every frame would otherwise keep a slow
    // fill from ever building up the pixel that repaints it. Until then the
    // part shows the fill as it stands on screen: a longer one drawn there
    // would be left behind when the fill goes back (the rewind after the
    // track's end), as the repaint asked then reaches only as far as the
    // fill counted as painted.
    std::optional<qreal> fillWidth = layout.fillWidth;
    const QRegion& region = event->region();
    const bool whole = region.rectCount() == 1 && region.boundingRect().contains(rect());
    if (whole || !m_paintedLayout || m_paintedBarSize != bar.size()) {
        m_paintedLayout = layout;
    } else {
        ProgressBarLayout painted = *m_paintedLayout;
        const std::optional<qreal> paintedFill = painted.fillWidth;
        painted.fillWidth = layout.fillWidth;
        // Asked once this paint is over: an update() from inside it is lost.
        if (!(painted == layout))
            QMetaObject::invokeMethod(this, qOverload<>(&QWidget::update), Qt::QueuedConnection);
        if (!QRegion(fillChangeRect(paintedFill, layout.fillWidth)).subtracted(region).isEmpty()) {
            painted.fillWidth = paintedFill;  // left for refresh() to ask for
            fillWidth = paintedFill;
        }
        m_paintedLayout = painted;
    }
    m_paintedBarSize = bar.size();

    QPainter painter(this);
    // The ratio of what is painted on (the engine's device: a render into a
    // finer image than the screen's gets finer layers).
    const qreal dpr = painter.paintEngine()->paintDevice()->devicePixelRatioF();
    if (testAttribute(Qt::WA_OpaquePaintEvent))
        paintBackground(painter, dpr);
    const Layers& layers = layersFor(layout, dpr);
    painter.drawPixmap(0, 0, layers.underFill);
    // A neighbour's repaint that only grazes the bar's margin (the strip's
    // play head, at every frame) need not build and fill the gradient.
    const auto fillShown = [&] {
        const QRectF fill(bar.left(), bar.top(), *fillWidth, barHeight);
        return region.intersects(fill.adjusted(-1, -1, 1, 1).toAlignedRect());
    };
    if (fillWidth && fillShown())
        m_fillPainter.paint(painter, QRectF(bar.left(), bar.top(), *fillWidth, barHeight));
    painter.drawPixmap(0, 0, layers.overFill);
}

void CustomProgressBar::showEvent(QShowEvent* event)
{
    // Shown, the bar is where it will be painted: on a window's surface, or
    // on something it cannot paint itself, which must then shine through.
    const Backdrop* surface = Backdrop::under(this);
    setAttribute(Qt::WA_OpaquePaintEvent, surface && surface->beneath(this));
    QWidget::showEvent(event);
}

void CustomProgressBar::paintBackground(QPainter& painter, qreal dpr)
{
    const Backdrop* surface = Backdrop::under(this);
    const std::optional<Backdrop::Beneath> beneath = surface ? surface->beneath(this) : std::nullopt;
    if (!beneath) {
        // Moved off the surface while shown: the window's colour for now,
        // and from the next paint on, what lies beneath shows through.
        painter.fillRect(rect(), palette().brush(QPalette::Window));
        setAttribute(Qt::WA_OpaquePaintEvent, false);
        m_background.reset();
        QMetaObject::invokeMethod(this, qOverload<>(&QWidget::update), Qt::QueuedConnection);
        return;
    }
    if (!m_background || !(m_background->beneath == *beneath) || m_background->devicePixelRatio != dpr) {
        QPixmap pixmap(QSize(int(std::ceil(width() * dpr)), int(std::ceil(height() * dpr))));
        pixmap.setDevicePixelRatio(dpr);
        QPainter onPixmap(&pixmap);
        surface->paintBeneath(onPixmap, *beneath);
        onPixmap.end();
        m_background = Background{*beneath, dpr, std::move(pixmap)};
    }
    painter.drawPixmap(0, 0, m_background->pixmap);
}

const CustomProgressBar::Layers& CustomProgressBar::layersFor(const ProgressBarLayout& layout, qreal dpr)
{
    if (m_layers) {
        // The layers hold no fill: compared as if they held this one, with
        // no copy of the layout on every paint.
        m_layers->layout.fillWidth = layout.fillWidth;
        const bool current = m_layers->layout == layout && m_layers->widgetSize == size() && m_layers->devicePixelRatio == dpr;
        m_layers->layout.fillWidth.reset();
        if (current)
            return *m_layers;
    }
    ProgressBarLayout still = layout;
    still.fillWidth.reset();
    const auto render = [&](auto paint) {
        QPixmap layer(QSize(int(std::ceil(width() * dpr)), int(std::ceil(height() * dpr))));
        layer.setDevicePixelRatio(dpr);
        layer.fill(Qt::transparent);
        QPainter painter(&layer);
        painter.setRenderHint(QPainter::Antialiasing);
        painter.translate(barRect().topLeft());
        (this->*paint)(painter, still, dpr);
        return layer;
    };
    m_layers = Layers{still, size(), dpr, render(&CustomProgressBar::paintUnderFill),
                      render(&CustomProgressBar::paintOverFill)};
    return *m_layers;
}

// Both paint with the bar's top left corner at the origin.
void CustomProgressBar::paintUnderFill(QPainter& painter, const ProgressBarLayout& layout, qreal dpr) const
{
    const QRectF bar = barRect();
    const qreal h = barHeight;
    const QPainterPath track = Shapes::roundedRect(QRectF(0, 0, bar.width(), h), cornerRadius);

    // The shadow follows the picture's coverage. The ticks and labels are
    // opaque and cast it in full; the bar is mostly translucent (a faint track
    // under an outline), so its silhouette casts a lighter one, and the part
    // under the bar is left out, where it would only darken the track's colour.
    painter.save();
    QPainterPath outsideBar;
    outsideBar.setFillRule(Qt::OddEvenFill);
    outsideBar.addRect(QRectF(rect()).translated(-bar.topLeft()));
    outsideBar.addPath(track);
    painter.setClipPath(outsideBar);
    const ShadowStyle shadow = barShadow();
    ShadowStyle trackShadow = shadow;
    trackShadow.color = Palette::withOpacity(shadow.color, trackShadowCoverage);
    Shadow::draw(painter, track, trackShadow);
    const auto castMarker = [&](const ProgressBarLayout::Marker& marker, const LabelShape& label) {
        QPainterPath tick;
        tick.addRect(tickRect(marker.x, h, dpr));
        Shadow::draw(painter, tick, shadow);
        if (marker.showsLabel)
            Shadow::draw(painter, label.outline.translated(labelBaseline(label, marker.x)), shadow);
    };
    if (layout.startMarker)
        castMarker(*layout.startMarker, m_startLabelShape);
    if (layout.endMarker)
        castMarker(*layout.endMarker, m_endLabelShape);
    painter.restore();

    painter.fillPath(track, Palette::gray(0.2));
    if (layout.loopRegion)
        painter.fillPath(Shapes::roundedRect(*layout.loopRegion, cornerRadius), Palette::blue(0.4));
}

void CustomProgressBar::paintOverFill(QPainter& painter, const ProgressBarLayout& layout, qreal dpr) const
{
    const qreal h = barHeight;
    for (const QRectF& span : layout.faintSpans)
        painter.fillPath(Shapes::roundedRect(span, ProgressBarLayout::faintSpanHeight / 2), Palette::blue(0.45));
    painter.setFont(m_labelFont);
    painter.setPen(Palette::red());
    const auto drawMarker = [&](const ProgressBarLayout::Marker& marker, const LabelShape& label, const QString& text) {
        painter.fillRect(tickRect(marker.x, h, dpr), Palette::red());
        if (marker.showsLabel)
            painter.drawText(labelBaseline(label, marker.x), text);
    };
    if (layout.startMarker)
        drawMarker(*layout.startMarker, m_startLabelShape, m_startLabel);
    if (layout.endMarker)
        drawMarker(*layout.endMarker, m_endLabelShape, m_endLabel);

    const QPainterPath track = Shapes::roundedRect(QRectF(0, 0, barRect().width(), h), cornerRadius);
    QPen outline(Palette::gray(0.5), 1.0, Qt::SolidLine, Qt::FlatCap, Qt::MiterJoin);
    outline.setMiterLimit(10);
    painter.strokePath(track, outline);
}

void CustomProgressBar::mousePressEvent(QMouseEvent* event)
{
    m_drag.press(event);
}

void CustomProgressBar::mouseMoveEvent(QMouseEvent* event)
{
    m_drag.move(event);
}

void CustomProgressBar::mouseReleaseEvent(QMouseEvent* event)
{
    m_drag.release(event);
}

double CustomProgressBar::timeAtWidgetX(qreal widgetX) const
{
    const QRectF bar = barRect();
    const double x = widgetX - bar.left();
    return clampedTime(m_durationSeconds * (x / bar.width()));
}

double CustomProgressBar::clampedTime(double seconds) const
{
    double t = seconds;
    if (!(t >= 0))
        t = 0;  // also a NaN from a zero width or duration
    if (m_durationSeconds < t)
        t = m_durationSeconds;
    return t;
}

void CustomProgressBar::contextMenuEvent(QContextMenuEvent* event)
{
    if (!m_onContextMenu) {
        event->ignore();
        return;
    }
    if (event->reason() != QContextMenuEvent::Keyboard) {
        m_onContextMenu(timeAtWidgetX(event->pos().x()), event->globalPos());
    } else {
        // The menu key gives the bar's middle: the menu is about the play
        // head, and opens under it.
        const double seconds = clampedTime(currentTime());
        const QRectF bar = barRect();
        const double share = m_durationSeconds > 0 ? seconds / m_durationSeconds : 0;
        m_onContextMenu(seconds, mapToGlobal(QPointF(bar.left() + bar.width() * share, bar.bottom()).toPoint()));
    }
    event->accept();
}

void CustomProgressBar::seekToWidgetX(qreal widgetX)
{
    seekTo(timeAtWidgetX(widgetX));
}

void CustomProgressBar::seekTo(double seconds)
{
    const double t = clampedTime(seconds);
    if (m_currentTime.set)
        m_currentTime.set(t);
    const double readBack = m_currentTime.get ? m_currentTime.get() : t;
    if (m_onTimeChanged)
        m_onTimeChanged(readBack);
    refresh();
}

FocusOutline CustomProgressBar::focusOutline() const
{
    return {barRect(), cornerRadius};
}

// Playing moves the position a hundred times a second; a screen reader wants
// to hear of it about as often as the time text changes.
void CustomProgressBar::announceValueIfChanged()
{
    const double current = currentTime();
    const auto finite = [](double seconds) { return std::isfinite(seconds) ? seconds : -1.0; };
    const std::pair<double, double> shown{finite(std::floor(current)), finite(m_durationSeconds)};
    if (m_announcedValue == shown)
        return;
    const bool first = !m_announcedValue;
    m_announcedValue = shown;
    // Nothing was heard before, so nothing changed; and nobody hears a bar
    // that is not shown.
    if (first || !isVisible())
        return;
    QAccessibleValueChangeEvent event(this, current);
    AccessibleEvents::send(event);
}
