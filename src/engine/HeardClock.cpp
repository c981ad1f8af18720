#include "engine/HeardClock.h"

#include <algorithm>

std::int64_t HeardClock::heardFrame(std::int64_t nowNs, int sampleRate) const
{
    if (!serving)
        return handedEndFrame;
    // Exact in integers; the gap is capped (the result is capped by what was
    // handed over anyway) so that nanoseconds times rate cannot overflow.
    const std::int64_t sinceAnchorNs = std::min<std::int64_t>(nowNs - anchorTimeNs, 1'000'000'000'000);
    const std::int64_t advanced = anchorFrame + sinceAnchorNs * sampleRate / 1'000'000'000;
    return std::clamp(advanced, runStartFrame, std::max(runStartFrame, handedEndFrame));
}
