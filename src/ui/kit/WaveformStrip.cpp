#include "ui/kit/WaveformStrip.h"

#include "ui/kit/Palette.h"
#include "ui/kit/Shapes.h"

#include <QMouseEvent>
#include <QPaintEvent>
#include <QPainter>

#include <algorithm>
#include <cmath>

namespace {

constexpr qreal handleWidth = 3;
constexpr qreal progressHeight = 2;

}  // namespace

WaveformStrip::WaveformStrip(QWidget* parent)
    : QWidget(parent)
{
    setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Fixed);
    setFocusPolicy(Qt::NoFocus);
    setMouseTracking(true);
}

void WaveformStrip::setEnvelope(std::function<std::shared_ptr<const Envelope>()> envelope)
{
    m_envelope = std::move(envelope);
    refresh();
}

void WaveformStrip::setPlayHead(std::function<double()> seconds)
{
    m_playHead = std::move(seconds);
    refresh();
}

void WaveformStrip::setLoop(std::function<std::optional<Span>()> loop)
{
    m_loop = std::move(loop);
    refresh();
}

void WaveformStrip::setProgress(std::function<double()> fraction)
{
    m_progress = std::move(fraction);
    refresh();
}

void WaveformStrip::setOnSeek(std::function<void(double)> onSeek)
{
    m_onSeek = std::move(onSeek);
}

void WaveformStrip::setOnMoveLoopStart(std::function<void(double)> onMove)
{
    m_onMoveLoopStart = std::move(onMove);
}

void WaveformStrip::setOnMoveLoopEnd(std::function<void(double)> onMove)
{
    m_onMoveLoopEnd = std::move(onMove);
}

QSize WaveformStrip::sizeHint() const
{
    return {300, preferredHeight};
}

QSize WaveformStrip::minimumSizeHint() const
{
    return {60, preferredHeight};
}

qreal WaveformStrip::xOf(double seconds) const
{
    return (seconds - m_windowStart) / m_windowLength * width();
}

double WaveformStrip::timeAt(qreal x) const
{
    return m_windowStart + x / std::max(1, width()) * m_windowLength;
}

// Turns a page only when it must: the play head near an edge, or a loop that
// fits but is not wholly in view. Not under a held button while the play
// head is on the page: a drag's seek near an edge would turn it, the pointer
// would then point at another time, and the next move would seek there,
// running away seconds a step. A drag stays on the page shown, so the play
// head leaves it under a held button only by playing on (or a key's seek):
// the page follows it then, as at any time.
void WaveformStrip::followWindow(double playHead, const std::optional<Span>& loop)
{
    const std::shared_ptr<const Envelope> envelope = m_envelope ? m_envelope() : nullptr;
    const double duration = envelope ? envelope->durationSeconds : 0;
    m_windowLength = duration > 0 ? std::min(windowSeconds, duration) : windowSeconds;
    const double last = std::max(0.0, duration - m_windowLength);
    const auto place = [&](double start) { m_windowStart = std::clamp(start, 0.0, last); };
    // A handle held stays where it is on the page, whatever the play head
    // does: turned under it, the next move would set the loop to another
    // page's time.
    const bool handleHeld = m_grip != Grip::None && holdsGrippedLoop(loop);
    if (m_pressed && (handleHeld || (playHead >= m_windowStart && playHead <= m_windowStart + m_windowLength))) {
        place(m_windowStart);
        return;
    }
    if (loop && loop->second - loop->first <= 0.8 * m_windowLength) {
        // The loop's page, while the play head is on it: elsewhere (a seek
        // made before the loop, playing up to it) the page follows the play
        // head, which would otherwise be out of sight all the way there.
        const double loopPage = std::clamp(loop->first - (m_windowLength - (loop->second - loop->first)) / 2, 0.0, last);
        if (playHead >= loopPage && playHead <= loopPage + m_windowLength) {
            const bool shown = loop->first >= m_windowStart && loop->second <= m_windowStart + m_windowLength
                && playHead >= m_windowStart && playHead <= m_windowStart + m_windowLength;
            if (!shown)
                place(loopPage);
            return;
        }
    }
    if (playHead < m_windowStart + 0.02 * m_windowLength || playHead > m_windowStart + 0.95 * m_windowLength)
        place(playHead - 0.2 * m_windowLength);
    else
        place(m_windowStart);
}

QRect WaveformStrip::playHeadRect(double seconds) const
{
    const int x = int(std::floor(xOf(seconds)));
    return {x - 1, 0, 3, height()};
}

void WaveformStrip::refresh()
{
    const double playHead = m_playHead ? m_playHead() : 0;
    const std::optional<Span> loop = m_loop ? m_loop() : std::nullopt;
    const double progress = m_progress ? m_progress() : -1;
    const std::shared_ptr<const Envelope> envelope = m_envelope ? m_envelope() : nullptr;
    followWindow(playHead, loop);
    const bool backgroundChanged = envelope != m_paintedEnvelope || loop != m_paintedLoop
        || m_windowStart != m_paintedWindowStart || std::abs(progress - m_paintedProgress) >= 0.01
        || m_background.size() != size() * devicePixelRatioF();
    if (backgroundChanged) {
        update();
        return;
    }
    if (std::abs(xOf(playHead) - xOf(m_paintedPlayHead)) * devicePixelRatioF() >= 1)
        update(playHeadRect(m_paintedPlayHead).united(playHeadRect(playHead)));
}

void WaveformStrip::resizeEvent(QResizeEvent*)
{
    refresh();
}

// The still part of the picture, made once per page, loop or envelope.
void WaveformStrip::renderBackground()
{
    const qreal ratio = devicePixelRatioF();
    m_background = QPixmap((size() * ratio));
    m_background.setDevicePixelRatio(ratio);
    m_background.fill(Qt::transparent);
    QPainter painter(&m_background);
    const QRectF all(0, 0, width(), height());
    const QPainterPath frame = Shapes::roundedRect(all, cornerRadius);
    painter.setRenderHint(QPainter::Antialiasing);
    painter.fillPath(frame, Palette::gray(0.08));
    painter.setRenderHint(QPainter::Antialiasing, false);

    const std::shared_ptr<const Envelope> envelope = m_envelope ? m_envelope() : nullptr;
    const std::optional<Span> loop = m_loop ? m_loop() : std::nullopt;
    const double progress = m_progress ? m_progress() : -1;
    if (envelope) {
        for (const auto& [from, to] : envelope->phrases) {
            if (to < m_windowStart || from > m_windowStart + m_windowLength)
                continue;
            painter.fillRect(QRectF(QPointF(xOf(from), 0), QPointF(xOf(to), height())), Palette::blue(0.07));
        }
        // One column per device pixel: the loudest hop under it.
        const int columns = int(std::ceil(width() * ratio));
        const std::vector<float>& levels = envelope->levelsDecibels;
        std::vector<QLineF> lines;
        lines.reserve(std::size_t(columns));
        const double secondsPerColumn = m_windowLength / columns;
        for (int column = 0; column < columns; ++column) {
            const double from = m_windowStart + column * secondsPerColumn;
            const auto first = std::size_t(std::max(0.0, std::floor(from / envelope->hopSeconds)));
            const auto last = std::size_t(std::max(0.0, std::floor((from + secondsPerColumn) / envelope->hopSeconds)));
            float loudest = floorDecibels;
            for (std::size_t hop = first; hop <= last && hop < levels.size(); ++hop)
                loudest = std::max(loudest, levels[hop]);
            const qreal share = (loudest - floorDecibels) / -floorDecibels;
            const qreal half = share * (height() - 4) / 2;
            const qreal x = (column + 0.5) / ratio;
            if (half > 0.25)
                lines.emplace_back(x, height() / 2.0 - half, x, height() / 2.0 + half);
        }
        QPen pen(Palette::gray(0.7), 1.0 / ratio);
        pen.setCapStyle(Qt::FlatCap);
        painter.setPen(pen);
        painter.drawLines(lines.data(), int(lines.size()));
    }
    if (loop) {
        const QRectF region(QPointF(xOf(loop->first), 0), QPointF(xOf(loop->second), height()));
        painter.fillRect(region, Palette::blue(0.22));
        for (const double end : {loop->first, loop->second})
            painter.fillRect(QRectF(xOf(end) - handleWidth / 2, 0, handleWidth, height()), Palette::blue(0.8));
    }
    if (progress >= 0) {
        painter.fillRect(QRectF(0, height() - progressHeight, width(), progressHeight), Palette::gray(0.2));
        painter.fillRect(QRectF(0, height() - progressHeight, width() * std::min(progress, 1.0), progressHeight),
                         Palette::blue(0.7));
    }
    // Cut to the frame last, smoothly: a clip path is not antialiased, and
    // the shading and the loop would meet its round corners in steps.
    QPainterPath outside;
    outside.addRect(all);
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setCompositionMode(QPainter::CompositionMode_Clear);
    painter.fillPath(outside.subtracted(frame), Qt::black);
    m_paintedEnvelope = envelope;
    m_paintedLoop = loop;
    m_paintedWindowStart = m_windowStart;
    m_paintedProgress = progress;
}

void WaveformStrip::paintEvent(QPaintEvent* event)
{
    const std::shared_ptr<const Envelope> envelope = m_envelope ? m_envelope() : nullptr;
    const std::optional<Span> loop = m_loop ? m_loop() : std::nullopt;
    const double progress = m_progress ? m_progress() : -1;
    if (envelope != m_paintedEnvelope || loop != m_paintedLoop || m_windowStart != m_paintedWindowStart
        || std::abs(progress - m_paintedProgress) >= 0.01 || m_background.size() != size() * devicePixelRatioF()) {
        renderBackground();
        // Changed since only the play head's line was asked for (a loop
        // dragged meanwhile): the rest of the strip shows the old picture,
        // and refresh() now finds nothing new. Asked for once this paint is
        // over: an update() from inside it is lost.
        if (!QRegion(rect()).subtracted(event->region()).isEmpty())
            QMetaObject::invokeMethod(this, qOverload<>(&QWidget::update), Qt::QueuedConnection);
    }
    QPainter painter(this);
    painter.setClipRegion(event->region());
    painter.drawPixmap(0, 0, m_background);
    // A sliver of the strip (the bar above overlaps its top edge, and a
    // repaint of the whole bar takes the strip's part along) shows the play
    // head where the rest of the strip shows it: moved there alone, it would
    // stand apart, and the line the rest shows would be left behind, as the
    // next repaint reaches only from where the line counted as painted.
    double playHead = m_playHead ? m_playHead() : 0;
    const QRect lineMoves = playHeadRect(m_paintedPlayHead).united(playHeadRect(playHead)).intersected(rect());
    if (QRegion(lineMoves).subtracted(event->region()).isEmpty())
        m_paintedPlayHead = playHead;
    else
        playHead = m_paintedPlayHead;
    if (envelope) {
        const qreal x = std::round(xOf(playHead) * devicePixelRatioF()) / devicePixelRatioF();
        painter.fillRect(QRectF(x - 0.5, 0, 1, height()), Palette::red());
    }
}

double WaveformStrip::snapped(double seconds, double fromSeconds, double toSeconds) const
{
    const std::shared_ptr<const Envelope> envelope = m_envelope ? m_envelope() : nullptr;
    if (!envelope)
        return seconds;
    double best = seconds;
    qreal bestDistance = snapReach;
    // Where stepping would put the loop's ends: a handle dragged back there
    // clicks into place, and one dragged onto another phrase keeps the soft
    // onset and trailing breath that its detected edges leave out.
    const auto& targets = envelope->phraseLoops.empty() ? envelope->phrases : envelope->phraseLoops;
    for (const auto& [from, to] : targets) {
        for (const double edge : {from, to}) {
            if (edge < fromSeconds || edge > toSeconds)
                continue;
            const qreal distance = std::abs(xOf(edge) - xOf(seconds));
            if (distance <= bestDistance) {
                bestDistance = distance;
                best = edge;
            }
        }
    }
    return best;
}

void WaveformStrip::mousePressEvent(QMouseEvent* event)
{
    if (event->button() != Qt::LeftButton || !(m_envelope && m_envelope())) {
        event->ignore();
        return;
    }
    m_pressed = true;
    m_pressedEnvelope = m_envelope();
    m_grip = Grip::None;
    if (const std::optional<Span> loop = m_loop ? m_loop() : std::nullopt) {
        const qreal x = event->position().x();
        const qreal toStart = std::abs(x - xOf(loop->first));
        const qreal toEnd = std::abs(x - xOf(loop->second));
        if (std::min(toStart, toEnd) <= handleReach) {
            if (xOf(loop->second) - xOf(loop->first) < handleReach)
                m_grip = Grip::EitherEnd;
            else
                m_grip = toStart <= toEnd ? Grip::LoopStart : Grip::LoopEnd;
            m_grippedLoop = *loop;
            m_pressX = x;
            m_handleMoving = false;
        }
    }
    if (m_grip == Grip::None && m_onSeek)
        m_onSeek(std::clamp(timeAt(event->position().x()), 0.0, m_envelope()->durationSeconds));
}

void WaveformStrip::mouseMoveEvent(QMouseEvent* event)
{
    // The release went elsewhere (a compositor or a popup took the pointer):
    // without the button the pointer only hovers, and never seeks.
    if (m_pressed && !event->buttons().testFlag(Qt::LeftButton))
        endDrag();
    if (!m_pressed) {
        // Over a handle the pointer says it can be dragged sideways.
        const std::optional<Span> loop = m_loop ? m_loop() : std::nullopt;
        const qreal x = event->position().x();
        const bool overHandle = loop
            && std::min(std::abs(x - xOf(loop->first)), std::abs(x - xOf(loop->second))) <= handleReach;
        setCursor(overHandle ? Qt::SizeHorCursor : Qt::ArrowCursor);
        return;
    }
    dragTo(event->position(), event->modifiers());
}

void WaveformStrip::mouseReleaseEvent(QMouseEvent* event)
{
    if (event->button() == Qt::LeftButton)
        endDrag();
}

void WaveformStrip::endDrag()
{
    m_pressed = false;
    m_grip = Grip::None;
    m_pressedEnvelope.reset();
    refresh();  // the page held under the drag catches up
}

// Whether the loop is still the one whose handle was taken (the other end
// where it was): the drill may move it on under the hand.
bool WaveformStrip::holdsGrippedLoop(const std::optional<Span>& loop) const
{
    if (!loop)
        return false;
    switch (m_grip) {
    case Grip::LoopStart:
        return loop->second == m_grippedLoop.second;
    case Grip::LoopEnd:
        return loop->first == m_grippedLoop.first;
    case Grip::EitherEnd:
        return *loop == m_grippedLoop;
    case Grip::None:
        break;
    }
    return false;
}

// A handle moves only once the pointer has strayed past a hand's jitter
// from where it was pressed, and then keeps the distance it was taken at: a
// click beside a handle moves nothing (nor snaps it to a pause nearby). Two
// handles that look like one are told apart by that first move's way.
bool WaveformStrip::takesHandleMove(qreal x)
{
    if (m_handleMoving)
        return true;
    if (std::abs(x - m_pressX) < handleJitter)
        return false;
    if (m_grip == Grip::EitherEnd)
        m_grip = x > m_pressX ? Grip::LoopEnd : Grip::LoopStart;
    m_handleOffset = xOf(m_grip == Grip::LoopStart ? m_grippedLoop.first : m_grippedLoop.second) - m_pressX;
    m_handleMoving = true;
    return true;
}

void WaveformStrip::dragTo(const QPointF& position, Qt::KeyboardModifiers modifiers)
{
    // The map went or was made anew under the hand (the next track loaded,
    // the file read again): the times the drag points at were another
    // track's, or are no time at all. The drag ends there.
    const std::shared_ptr<const Envelope> envelope = m_envelope ? m_envelope() : nullptr;
    if (!envelope || envelope != m_pressedEnvelope) {
        endDrag();
        return;
    }
    if (m_grip != Grip::None) {
        // The loop changed under the hand (the drill moved on to the next
        // phrase, or let go): the handle held is gone, and the drag with it.
        if (!holdsGrippedLoop(m_loop ? m_loop() : std::nullopt)) {
            endDrag();
            return;
        }
        if (!takesHandleMove(position.x()))
            return;
    }
    const double duration = envelope->durationSeconds;
    const double pageEnd = std::min(m_windowStart + m_windowLength, duration);
    const qreal x = m_grip == Grip::None ? position.x() : position.x() + m_handleOffset;
    const double pageStart = std::min(m_windowStart, pageEnd);
    double seconds = std::clamp(timeAt(x), pageStart, pageEnd);
    // Snapped to an edge on the page only: one just past it would take the
    // handle off the page held under the hand.
    if (m_grip != Grip::None && !modifiers.testFlag(Qt::ShiftModifier))
        seconds = snapped(seconds, pageStart, pageEnd);
    switch (m_grip) {
    case Grip::LoopStart:
        if (m_onMoveLoopStart)
            m_onMoveLoopStart(seconds);
        break;
    case Grip::LoopEnd:
        if (m_onMoveLoopEnd)
            m_onMoveLoopEnd(seconds);
        break;
    case Grip::None:
        if (m_onSeek)
            m_onSeek(seconds);
        break;
    case Grip::EitherEnd:
        break;  // decided by takesHandleMove
    }
}
