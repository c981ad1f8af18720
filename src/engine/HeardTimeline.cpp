#include "engine/HeardTimeline.h"

#include <algorithm>

void HeardTimeline::append(const HeardSegment& segment)
{
    if (segment.frames <= 0)
        return;
    if (segmentCount > 0) {
        HeardSegment& last = segments[(segmentCount - 1) % segmentCapacity];
        const bool continues = last.deviceEnd() == segment.deviceFrame && last.held == segment.held
            && last.generation == segment.generation && last.marks == segment.marks && last.speed == segment.speed
            && (segment.held ? last.streamFrame == segment.streamFrame : last.streamEnd() == segment.streamFrame);
        if (continues) {
            last.frames += segment.frames;
            last.pauseAfter = segment.pauseAfter;
            return;
        }
    }
    segments[segmentCount % segmentCapacity] = segment;
    ++segmentCount;
}

std::int64_t HeardTimeline::deviceFrameAt(std::int64_t nowNs, int sampleRate) const
{
    // Exact in integers; the span is capped so that nanoseconds times rate
    // cannot overflow (the answer is capped by what was handed over anyway).
    const std::int64_t sinceNs = std::clamp<std::int64_t>(nowNs - anchorTimeNs, -1'000'000'000'000, 1'000'000'000'000);
    const std::int64_t advanced = sinceNs * sampleRate / 1'000'000'000;
    return anchorDeviceFrame + advanced;
}

HeardTimeline::Heard HeardTimeline::heardAt(std::int64_t deviceFrame, std::uint64_t firstGeneration) const
{
    Heard heard;
    const std::int64_t oldestKept = std::max<std::int64_t>(0, segmentCount - segmentCapacity);
    const HeardSegment* found = nullptr;
    // Newest first: the last segment that has begun by deviceFrame.
    for (std::int64_t n = segmentCount - 1; n >= oldestKept; --n) {
        const HeardSegment& segment = segments[n % segmentCapacity];
        if (segment.generation < firstGeneration)
            break;  // audio from before the seek: what came after is not heard yet
        if (segment.deviceFrame <= deviceFrame) {
            found = &segment;
            break;
        }
        // So many pieces went by that the one heard now is no longer kept
        // (a loop far shorter than a buffer): the oldest kept is nearest.
        if (n == oldestKept && oldestKept > 0)
            found = &segment;
    }
    heard.reachedEnd = endOfStreamDeviceFrame >= 0 && endOfStreamGeneration >= firstGeneration
        && deviceFrame >= endOfStreamDeviceFrame;
    // Nothing heard since the seek can still be the end: playing from the
    // very end of the track plays nothing and ends.
    if (!found)
        return heard;
    // Within the segment, or past its end when nothing was supplied since.
    const std::int64_t into = std::clamp<std::int64_t>(deviceFrame - found->deviceFrame, 0, found->frames);
    heard.any = true;
    heard.generation = found->generation;
    heard.marks = heard.reachedEnd && endOfStreamGeneration == found->generation ? endOfStreamMarks : found->marks;
    heard.frame = found->streamAt(into);
    heard.pauseFramesLeft = found->held ? found->frames - into + found->pauseAfter : 0;
    return heard;
}
