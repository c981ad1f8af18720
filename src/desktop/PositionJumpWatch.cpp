#include "desktop/PositionJumpWatch.h"

#include <algorithm>

bool PositionJumpWatch::observe(double positionSeconds, bool isPlaying, double speed, quint64 trackSerial, qint64 nowMilliseconds)
{
    bool jumped = false;
    if (m_hasObserved && trackSerial == m_trackSerial) {
        const double elapsedSeconds = double(nowMilliseconds - m_atMilliseconds) / 1000.0 * speed;
        double earliest = m_positionSeconds;
        double latest = m_positionSeconds;
        double tolerance = restingToleranceSeconds;
        if (m_wasPlaying && isPlaying) {
            // Playing on: the play head moved with the clock.
            earliest += elapsedSeconds;
            latest += elapsedSeconds;
            tolerance = playingToleranceSeconds;
        } else if (m_wasPlaying || isPlaying) {
            // Started or stopped in between: it moved for part of the time,
            // next to the observation on the playing side.
            latest += std::min(elapsedSeconds, longestUnobservedPlaySeconds * speed);
            tolerance = playingToleranceSeconds;
        } else if (m_settlingSinceMilliseconds
                   && double(nowMilliseconds - *m_settlingSinceMilliseconds) / 1000.0 <= longestUnobservedPlaySeconds) {
            latest += longestUnobservedPlaySeconds * speed;  // settling after the stop
        }
        jumped = positionSeconds < earliest - tolerance || positionSeconds > latest + tolerance;
    }
    const bool stopped = m_hasObserved && m_wasPlaying && !isPlaying;
    m_settlingSinceMilliseconds = stopped ? std::optional<qint64>(nowMilliseconds) : std::nullopt;
    m_hasObserved = true;
    m_positionSeconds = positionSeconds;
    m_wasPlaying = isPlaying;
    m_trackSerial = trackSerial;
    m_atMilliseconds = nowMilliseconds;
    return jumped;
}
