#pragma once

#include "base/Throttle.h"

#include <QElapsedTimer>

#include <functional>
#include <memory>

class QWidget;

// Runs a piece of display work at most once per frame, however often it is
// asked for: the first request after a quiet spell runs at the next turn of
// the event loop, later ones wait for the next frame.
//
// Two frame rates. What follows the hand (a key, a click, a drag, the wheel,
// and the half second after) is shown at the rate of the screen the widget is
// on (60 Hz when it says none). What only follows playback, a bar filling and
// a play head moving on their own, is shown at up to 30 frames a second: steps
// of a few pixels at most, where every screen frame would double the drawing
// for motion the eye reads just as well.
class FramePacer {
public:
    static constexpr int motionFramesPerSecond = 30;
    static constexpr int handHeldMilliseconds = 500;

    FramePacer(QWidget* widget, std::function<void()> work);
    ~FramePacer();

    void request();
    // Called for each input event; the application's own events come through
    // an event filter the pacer installs.
    void noteInteraction();
    // Puts that filter before every one installed since: a key monitor that
    // takes the keys it acts on would otherwise hide them from the pacer.
    void watchInputFirst();

    int screenFrameMilliseconds() const;
    int frameIntervalMilliseconds() const;  // the interval in force now

private:
    class InputWatch;

    QWidget* m_widget;
    Throttle m_throttle;
    QElapsedTimer m_sinceInteraction;
    std::unique_ptr<InputWatch> m_inputWatch;
};
