#pragma once

#include "engine/LoopControl.h"
#include "input/KeyCommands.h"

class ContentState;
class QEvent;
class QKeyEvent;
class QObject;

// What the window-wide monitor does with an event it has seen.
enum class MonitorVerdict { LetThrough, Swallow };

// The keyboard and wheel commands of the main window. They act on the
// window's state: its engine, the loop-setting flag and the seek interval,
// read afresh at every event. Holds no state of its own; copy it freely.
class CommandHandlers {
public:
    explicit CommandHandlers(ContentState& state);

    // Moves the position by deltaSeconds from the published position, clamped
    // to the track, and publishes the new position at once. False (and nothing
    // happens) when no track with a positive duration is loaded.
    bool seekBy(double deltaSeconds);

    // The capture view's route: logs the key, then applies the key table, with
    // the loop's own log lines.
    void handleKeyPress(const QKeyEvent* event);
    // The capture view's route for the wheel; zero or NaN does nothing.
    void handleWheel(double deltaY);

    // The window-wide route: runs the command of a key press or wheel event
    // silently and swallows exactly the events it acted on. Arrows and the
    // wheel are acted on only when there is a track to seek in; Space and the
    // loop keys always, even when nothing changes. While keys go to a text
    // entry, every key event is left to it.
    MonitorVerdict handleMonitoredEvent(QObject* receiver, QEvent* event);

private:
    bool hasSeekableTrack() const;
    // Runs the command; false when there was none or a seek found no track.
    // A held key's repeats say nothing of a refusal: the first press said it,
    // and a line at every repeat would bury the log.
    bool performKeyCommand(const KeyAction& action, LoopLogging logging, bool repeat);
    // Whether the monitor will act on this key when it arrives as a key press.
    bool monitorClaims(KeyCommand command) const;
    void performWheelCommand(WheelCommand command);

    ContentState& m_state;
};
