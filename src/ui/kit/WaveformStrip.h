#pragma once

#include <QPixmap>
#include <QWidget>

#include <functional>
#include <memory>
#include <optional>
#include <utility>
#include <vector>

// A strip of a track's loudness around the play head: the envelope as
// columns, the phrases shaded, the loop region with a handle at each end, and
// the play head. About windowSeconds of the track show at a time; the window
// turns a page when the play head nears its edge (or to keep a loop in view),
// so that between pages only the play head moves and the strip repaints no
// more than its thin line.
//
// It knows nothing of the player: it reads what it shows through functions
// when refresh() is called, and reports through callbacks. A click seeks;
// dragging a loop handle moves that end, snapping to the edge of a pause
// within a few pixels unless Shift is held.
class WaveformStrip : public QWidget {
    Q_OBJECT

public:
    static constexpr double windowSeconds = 10;
    static constexpr int preferredHeight = 30;
    static constexpr qreal cornerRadius = 5;
    static constexpr qreal handleReach = 5;   // points either side of a handle that grab it
    static constexpr qreal handleJitter = 3;  // points a held handle's pointer may stray before it moves it
    static constexpr qreal snapReach = 6;     // points within which a handle snaps to a phrase's loop end
    static constexpr float floorDecibels = -60;

    struct Envelope {
        std::vector<float> levelsDecibels;  // one per hop
        double hopSeconds = 0.01;
        double durationSeconds = 0;
        std::vector<std::pair<double, double>> phrases;  // [start, end) of each, in order
        // Each phrase's loop as stepping makes it (its sound and a little of
        // the pauses around it): where a dragged handle snaps. None: the
        // phrases' own edges.
        std::vector<std::pair<double, double>> phraseLoops;
    };
    using Span = std::pair<double, double>;

    explicit WaveformStrip(QWidget* parent = nullptr);

    // None while there is no envelope (nothing loaded, or still being made).
    void setEnvelope(std::function<std::shared_ptr<const Envelope>()> envelope);
    void setPlayHead(std::function<double()> seconds);
    void setLoop(std::function<std::optional<Span>()> loop);
    // The share of the envelope made so far (0...1) while it is being made;
    // negative otherwise. Shown as a thin line along the foot.
    void setProgress(std::function<double()> fraction);

    void setOnSeek(std::function<void(double)> onSeek);
    void setOnMoveLoopStart(std::function<void(double)> onMove);
    void setOnMoveLoopEnd(std::function<void(double)> onMove);

    // Re-reads everything; repaints what changed (the play head's line alone
    // when only it moved).
    void refresh();

    // The window shown, in seconds: [first, second).
    Span window() const { return {m_windowStart, m_windowStart + m_windowLength}; }
    qreal xOf(double seconds) const;
    double timeAt(qreal x) const;

    QSize sizeHint() const override;
    QSize minimumSizeHint() const override;

protected:
    void paintEvent(QPaintEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;

private:
    // EitherEnd: a loop too short for its two handles to be told apart
    // (they look like one); the first move's way picks one.
    enum class Grip { None, LoopStart, LoopEnd, EitherEnd };

    void followWindow(double playHead, const std::optional<Span>& loop);
    void renderBackground();
    QRect playHeadRect(double seconds) const;
    void dragTo(const QPointF& position, Qt::KeyboardModifiers modifiers);
    bool takesHandleMove(qreal x);
    bool holdsGrippedLoop(const std::optional<Span>& loop) const;
    void endDrag();
    double snapped(double seconds, double fromSeconds, double toSeconds) const;

    std::function<std::shared_ptr<const Envelope>()> m_envelope;
    std::function<double()> m_playHead;
    std::function<std::optional<Span>()> m_loop;
    std::function<double()> m_progress;
    std::function<void(double)> m_onSeek;
    std::function<void(double)> m_onMoveLoopStart;
    std::function<void(double)> m_onMoveLoopEnd;

    double m_windowStart = 0;
    double m_windowLength = windowSeconds;
    Grip m_grip = Grip::None;
    Span m_grippedLoop;  // the loop as its handle was taken
    qreal m_pressX = 0;
    bool m_handleMoving = false;  // the pointer strayed past the jitter: the handle follows it
    qreal m_handleOffset = 0;     // from the pointer to the handle taken, kept as it moves
    bool m_pressed = false;
    // The map the press was made on: a drag goes on only over the same one.
    std::shared_ptr<const Envelope> m_pressedEnvelope;

    // What the background pixmap shows, to tell when it must be made again.
    QPixmap m_background;
    std::shared_ptr<const Envelope> m_paintedEnvelope;  // held, so a new one never shares its address
    std::optional<Span> m_paintedLoop;
    double m_paintedWindowStart = -1;
    double m_paintedProgress = -2;
    double m_paintedPlayHead = -1;
};
