#pragma once

#include "engine/AudioBlock.h"

#include <cmath>
#include <cstdint>

// What the audio thread last told about one stream: which stream frames went
// to the device at which of its frames, and when the device will play them.
// From that, the main thread tells what is heard at any instant, across the
// jumps a loop makes inside one buffer.
//
// The output counts its frames from the day it opened ("device frames"); each
// piece the stream supplied is a segment mapping a run of device frames onto
// stream frames, linearly, or onto one held frame for a pause between passes.
struct HeardSegment {
    std::int64_t deviceFrame = 0;  // first device frame of the piece
    std::int64_t streamFrame = 0;  // stream frame heard then
    std::int64_t frames = 0;       // length of the piece
    std::int64_t held = 0;         // 1: a pause, the position held at streamFrame
    std::int64_t pauseAfter = 0;   // in a pause: its frames still to come after this piece
    double speed = 1.0;            // stream frames per device frame (stretched audio)
    std::uint64_t generation = 0;
    LoopMarks marks;

    std::int64_t deviceEnd() const { return deviceFrame + frames; }
    std::int64_t streamAt(std::int64_t into) const
    {
        return held ? streamFrame : streamFrame + (speed == 1.0 ? into : std::int64_t(std::llround(into * speed)));
    }
    std::int64_t streamEnd() const { return streamAt(frames); }
};

struct HeardTimeline {
    static constexpr int segmentCapacity = 12;

    std::int64_t anchorDeviceFrame = 0;  // first device frame of the latest render...
    std::int64_t anchorTimeNs = 0;       // ...and when the device plays it (steady clock)
    std::int64_t segmentCount = 0;       // segments ever written; the newest capacity are kept
    std::int64_t endOfStreamDeviceFrame = -1;  // where the last frame of the stream was handed
    std::uint64_t endOfStreamGeneration = 0;
    LoopMarks endOfStreamMarks;                // the loop's marks as the stream ended
    HeardSegment segments[segmentCapacity];

    // Audio thread: records the next piece, merging it into the newest
    // segment when it simply continues it.
    void append(const HeardSegment& segment);
    const HeardSegment& newest() const { return segments[(segmentCount - 1) % segmentCapacity]; }

    // The device frame being heard at nowNs (it keeps counting while
    // nothing is supplied).
    std::int64_t deviceFrameAt(std::int64_t nowNs, int sampleRate) const;

    struct Heard {
        bool any = false;              // some audio of a wanted generation has been heard
        std::int64_t frame = 0;        // the stream frame heard
        LoopMarks marks;
        std::uint64_t generation = 0;
        std::int64_t pauseFramesLeft = 0;  // in a pause between passes: silence still to come
        bool reachedEnd = false;       // the stream's last frame has been heard
    };
    // What is heard at deviceFrame, counting only audio of generation
    // firstGeneration or later (earlier audio belongs to before a seek).
    Heard heardAt(std::int64_t deviceFrame, std::uint64_t firstGeneration) const;
};
