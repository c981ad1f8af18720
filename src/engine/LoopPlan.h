#pragma once

#include <cstdint>
#include <optional>

// A stretch of the stream to drill, in output frames: [startFrame, endFrame).
// The serial names one loop as the learner set it: changing its bounds keeps
// the serial (and the count of passes), setting a new loop gives a new one.
struct LoopRegion {
    std::int64_t startFrame = 0;
    std::int64_t endFrame = 0;
    std::uint32_t serial = 0;

    std::int64_t lengthFrames() const { return endFrame - startFrame; }
    bool operator==(const LoopRegion&) const = default;
};

// The silence left between passes (and before a hands-free drill moves on),
// for the learner to repeat aloud.
struct PassPause {
    enum class Kind { Off, Fixed, LoopLength };
    Kind kind = Kind::Off;
    double seconds = 0;  // for Fixed

    std::int64_t framesFor(const LoopRegion& region, int sampleRate) const;
    bool operator==(const PassPause&) const = default;
};

// How the decoder plays a loop: the region, how many passes (0: endless), the
// pause between passes, and what follows the last pass: the next region to
// drill (drilling hands-free, after a pause), or else play on past the end.
struct LoopPlan {
    LoopRegion region;
    int passes = 0;
    PassPause pause;
    std::optional<LoopRegion> next;

    bool operator==(const LoopPlan&) const = default;
};
