#pragma once

#include <QtGlobal>

#include <optional>

// Tells when the play head jumped: moved otherwise than playback moves it
// (a seek from any control, a loop going back to its start). The desktop is
// told of such jumps only; between them it runs its own clock.
class PositionJumpWatch {
public:
    // While playing, the reported position follows the audio heard, which
    // runs with the wall clock within a device buffer or two; this is well
    // beyond that and well below any seek a learner makes.
    static constexpr double playingToleranceSeconds = 0.3;
    // At rest the position does not move at all.
    static constexpr double restingToleranceSeconds = 0.001;
    // A start or a stop is itself a change, observed within this much of the
    // clock: a pause of any length before it moved the play head no further.
    // Just after a stop the position settles forward once, by as much at
    // most (to the last of the sound heard, as the output's fade-out
    // drains), which is no jump either.
    static constexpr double longestUnobservedPlaySeconds = 0.25;

    // Notes the position as published at nowMilliseconds (a steady clock),
    // playing at speed (track seconds per second); true when it jumped since
    // the last observation of the same track.
    bool observe(double positionSeconds, bool isPlaying, double speed, quint64 trackSerial, qint64 nowMilliseconds);

private:
    bool m_hasObserved = false;
    double m_positionSeconds = 0;
    bool m_wasPlaying = false;
    quint64 m_trackSerial = 0;
    qint64 m_atMilliseconds = 0;
    std::optional<qint64> m_settlingSinceMilliseconds;  // stopped, and not yet seen at rest since
};
