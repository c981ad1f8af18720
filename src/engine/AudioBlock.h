#pragma once

#include <cstdint>

// What the decoder stamps on the audio it makes about the loop being drilled.
// The counts only grow within a generation, so the main thread can tell what
// happened between two looks at the heard audio.
struct LoopMarks {
    std::uint32_t wraps = 0;     // jumps to a loop start: a pass ended, or play was pulled back
    std::uint32_t finishes = 0;  // loops whose last pass ended, play going on past their end
    std::uint32_t advances = 0;  // loops that moved on to the next region after their last pass
    std::uint32_t pass = 0;      // pass in progress, from 1; 0 outside a loop
    std::uint32_t region = 0;    // serial of the loop region the audio belongs to; 0 outside a loop
    std::uint32_t wrapsBeforeAdvance = 0;  // of the wraps, those made before the latest advance
    std::uint32_t jumpsAtBegin = 0;        // of the wraps, the one the audio began with (past the end): no pass

    bool operator==(const LoopMarks&) const = default;
};

// A block of audio on its way to the output: interleaved stereo frames,
// stamped with the seek generation they belong to and the stream position of
// their first frame. A pause block holds no samples: it stands for
// pauseFrames of silence, during which the position shows startFrame.
struct AudioBlock {
    static constexpr int capacityFrames = 512;
    static constexpr int channels = 2;

    std::uint64_t generation = 0;
    std::int64_t startFrame = 0;
    int frames = 0;
    std::int64_t pauseFrames = 0;
    // Stream frames per frame of this block: 1, or the speed it was
    // stretched to (then startFrame is where the first frame came from).
    double speed = 1.0;
    bool endOfStream = false;  // nothing follows in this generation
    // The first block after the loop changed while the position stayed: the
    // output may join it at whichever of its frames it has reached.
    bool joinsInPlace = false;
    // Faded or crossfaded (a turn's joint, a fade into or out of a pause):
    // not the stream's own samples, so no change is joined midway into it.
    bool shaped = false;
    // A pause's rest carried over a change: the device frame its length was
    // counted to. What the output plays past it before taking the block up
    // (the old pause, or silence while the change was made) is of the pause.
    std::int64_t pauseCountedTo = -1;
    // Audio that goes on from where the output was (joinsInPlace): the
    // device frame that place was counted to. What the output plays past it
    // before taking the block up is of the same sound, played already.
    std::int64_t positionCountedTo = -1;
    LoopMarks marks;
    float samples[capacityFrames * channels] = {};

    bool isPause() const { return pauseFrames > 0; }
};
