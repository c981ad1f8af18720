#include "engine/LoopPlan.h"

#include <cmath>

std::int64_t PassPause::framesFor(const LoopRegion& region, int sampleRate) const
{
    switch (kind) {
    case Kind::Off:
        return 0;
    case Kind::Fixed:
        return seconds > 0 ? std::llround(seconds * sampleRate) : 0;
    case Kind::LoopLength:
        return region.lengthFrames() > 0 ? region.lengthFrames() : 0;
    }
    return 0;
}
