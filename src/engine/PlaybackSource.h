#pragma once

#include "engine/BlockRing.h"
#include "engine/HeardTimeline.h"
#include "engine/Seqlock.h"

#include <atomic>
#include <cstdint>
#include <functional>
#include <optional>
#include <vector>

// One stream as the output sees it: the queue the decoder thread fills, the
// requests the main thread makes (generation, play, gain), and the timeline
// the audio thread reports back.
//
// Every change of what is heard is joined without a click: a seek while
// playing crossfades from the old position into the new one, a pause lets the
// sound die away over a few milliseconds, a resume brings it in, a new volume
// glides in. Sound starts, or moves to new audio, only once a device
// buffer's worth of it is queued; until then the old audio plays on (a
// jump's for a little while, the same sound's while it lasts) and is then
// crossfaded into it, or, run out, dies away. A block that
// joins in place (the loop changed, the position did not) is taken up at the
// very frame the output has reached, so nothing changes to the ear.
class PlaybackSource {
public:
    static constexpr int ringBlocks = 64;
    // How long the old position may play on after a jump while the new
    // audio is made (a stretcher started afresh takes up to a few device
    // buffers of the usual size, more on a busy machine).
    static constexpr int playOnAfterJumpMilliseconds = 100;

    explicit PlaybackSource(int sampleRate);

    int sampleRate() const { return m_sampleRate; }
    int fadeFrames() const { return m_fadeFrames; }
    BlockRing& ring() { return m_ring; }
    const BlockRing& ring() const { return m_ring; }

    // Main thread: every seek moves to a new generation; blocks of older
    // generations are dropped unheard (after a crossfade out of them).
    // A request that keeps the position (the loop or the speed changed) says
    // so: until its audio is here, the output plays on in what it has, the
    // same sound up to where the new loop turns.
    void setRequestedGeneration(std::uint64_t generation, bool keepsPosition = false)
    {
        if (keepsPosition)
            m_keepsPositionGeneration.store(generation, std::memory_order_relaxed);
        m_requestedGeneration.store(generation, std::memory_order_release);
    }
    std::uint64_t requestedGeneration() const { return m_requestedGeneration.load(std::memory_order_acquire); }
    // Whether the newest request keeps the position (the output may take
    // up audio of an overtaken one meanwhile).
    bool requestedKeepsPosition() const
    {
        const std::uint64_t requested = requestedGeneration();
        return keepsPosition(requested);
    }
    void setPlayRequested(bool play) { m_playRequested.store(play, std::memory_order_release); }
    bool playRequested() const { return m_playRequested.load(std::memory_order_acquire); }
    // Any thread: whether sound went out when the last render ended (a
    // pause asked for has not faded out yet).
    bool audible() const { return m_audible.load(std::memory_order_acquire); }
    void setGain(float gain) { m_gain.store(gain, std::memory_order_relaxed); }

    // Decoder thread: the generation the audio thread has caught up with.
    std::uint64_t consumedGeneration() const { return m_consumedGeneration.load(std::memory_order_acquire); }
    // Where the output goes on: the next stream frame it will hand over, in
    // the generation it serves.
    // The loop's pass and region, and the frames of a pause between passes
    // still to come, are those of the audio at that point.
    struct OutputPosition {
        std::uint64_t generation = 0;
        std::int64_t nextFrame = 0;
        std::int64_t known = 0;  // 1 once the output has served anything
        std::int64_t pauseFramesLeft = 0;
        std::int64_t renderEnd = 0;  // the device frame all this is counted to
        std::uint32_t pass = 0;  // of the audio the output plays next
        std::uint32_t region = 0;
        // Of the audio it played last: before a turn's first frame, still
        // the pass before it.
        std::uint32_t heardPass = 0;
    };
    OutputPosition outputPosition() const { return m_outputPosition.load(); }

    // Any thread: the frames the device asked for last time.
    int lastRenderFrames() const { return m_lastRenderFrames.load(std::memory_order_relaxed); }

    // Any thread.
    HeardTimeline timeline() const { return m_published.load(); }

    // A consumer that pulls faster than a device (tests, benches) wakes the
    // producer after a render instead of waiting for its next round; a
    // device's audio thread never does.
    void setProducerWake(std::function<void()> wake) { m_producerWake = std::move(wake); }
    void wakeProducer() const
    {
        if (m_producerWake)
            m_producerWake();
    }

    // Audio thread: adds this stream's next frames, scaled by the gain, into
    // out (interleaved stereo, which holds silence or other streams). Its
    // first frame is the output's deviceFrame-th and will be heard latencyNs
    // after nowNs. Returns how many frames it supplied. Never blocks.
    int mixInto(float* out, int frames, std::int64_t deviceFrame, std::int64_t nowNs, std::int64_t latencyNs);

private:
    // Whether the request of that generation keeps the position (the loop or the speed changed).
    bool keepsPosition(std::uint64_t generation) const
    {
        return m_keepsPositionGeneration.load(std::memory_order_relaxed) == generation;
    }
    bool switchTo(std::uint64_t wanted, bool play, int frames, std::int64_t atDeviceFrame);
    int framesQueued(int fromIndex, std::uint64_t generation, int atMost);
    std::int64_t playedOnPast(int wantedIndex);
    std::int64_t heardPast(int wantedIndex);
    bool queuedThrough(int fromIndex, std::int64_t frames);
    void skipServed(std::int64_t frames);
    bool playsOnUntil(std::uint64_t wanted, int frames);
    bool playsOnAfterJump(std::uint64_t wanted, int frames);
    bool servedHoldsWithoutTurn(int frames);
    bool turnQueuedWithin(int frames);
    bool takesUpOvertaken(std::uint64_t wanted, int frames, std::int64_t atDeviceFrame);
    bool servedFrontShaped();
    float gainAt(int renderFrame) const;
    bool joinInPlace(int wantedIndex);
    std::optional<std::int64_t> reachedInServed(int wantedIndex);
    void dropStale(int count);
    void captureTail();
    void startJunction(bool withTail);
    void dropBlocksBefore(int index);
    int playInto(float* out, int frames, std::int64_t deviceFrame);
    int fadeOutInto(float* out, int frames, std::int64_t deviceFrame, bool toTurn = false);
    int audioFramesQueued(int atMost, bool withinPass = false);
    // From out's renderFrame-th frame (the gain's ramp counts from the render's start).
    int fadeTailInto(float* out, int renderFrame, int frames);
    void noteEndOfStream(std::int64_t deviceFrame, const LoopMarks& marks);
    void record(std::int64_t deviceFrame, const AudioBlock& block, std::int64_t streamFrame, int frames, bool held);
    void releaseFront();
    static std::int64_t streamFrameOf(const AudioBlock& block, std::int64_t offset);
    void publishPosition(std::int64_t renderEnd, bool play);
    void skipPauseElapsed(std::int64_t atDeviceFrame);

    const int m_sampleRate;
    const int m_fadeFrames;
    BlockRing m_ring;
    std::atomic<std::uint64_t> m_requestedGeneration{0};  // atomic, written by the main thread
    std::atomic<std::uint64_t> m_keepsPositionGeneration{0};  // atomic, written by the main thread
    std::atomic<bool> m_playRequested{false};             // atomic, written by the main thread
    std::atomic<bool> m_audible{false};                   // atomic, written by the audio thread
    std::atomic<float> m_gain{1.0f};                      // atomic, written by the main thread
    std::atomic<std::uint64_t> m_consumedGeneration{0};   // atomic, written by the audio thread
    std::atomic<int> m_lastRenderFrames{0};               // atomic, written by the audio thread
    SeqlockValue<HeardTimeline> m_published;              // written by the audio thread
    SeqlockValue<OutputPosition> m_outputPosition;        // written by the audio thread
    std::function<void()> m_producerWake;                 // set before the source is attached

    // Audio thread only.
    HeardTimeline m_timeline;
    std::uint64_t m_serving = 0;       // the generation being played
    std::int64_t m_offset = 0;         // frames of the front block already played
    std::int64_t m_reached = 0;        // where the output had got to when stale audio was dropped...
    bool m_reachedKnown = false;       // ...while nothing has been played since
    bool m_sounding = false;           // sound was going out at full level when the last render ended
    float m_rampFromGain = 1.0f;       // this render's gain goes from here...
    float m_rampToGain = 1.0f;         // ...to here (where it ends), over its first m_rampFrames
    int m_rampFrames = 0;
    std::int64_t m_playedOnAfterJump = 0;  // frames of the served audio played on since a jump was asked for
    bool m_resumeSkipsPause = false;   // paused by the user: a resume skips the rest of a pause between passes
    int m_junctionAt = -1;             // frame of the junction fade in progress; -1: none
    bool m_junctionHasTail = false;    // fading out of sound, not in from silence
    std::vector<float> m_tail;         // the outgoing audio a junction fades out of (zeros: a plain fade-in)
};
