#pragma once

#include "engine/BlockRing.h"
#include "engine/HeardClock.h"

#include <atomic>
#include <cstdint>

// One stream as the output sees it: the queue the decoder thread fills, the
// requests the main thread makes (generation, play, gain), and the clock the
// audio thread reports back.
class PlaybackSource {
public:
    static constexpr int ringBlocks = 64;

    explicit PlaybackSource(int sampleRate);

    int sampleRate() const { return m_sampleRate; }
    BlockRing& ring() { return m_ring; }

    // Main thread: every seek moves to a new generation; blocks of older
    // generations are dropped unheard.
    void setRequestedGeneration(std::uint64_t generation) { m_requestedGeneration.store(generation, std::memory_order_release); }
    std::uint64_t requestedGeneration() const { return m_requestedGeneration.load(std::memory_order_acquire); }
    // Main thread. Only while the output is not rendering may it become
    // false, so that the heard position is final when the call returns.
    void setPlayRequested(bool play) { m_playRequested.store(play, std::memory_order_release); }
    void setGain(float gain) { m_gain.store(gain, std::memory_order_relaxed); }

    // Decoder thread: the generation the audio thread has caught up with.
    std::uint64_t consumedGeneration() const { return m_consumedGeneration.load(std::memory_order_acquire); }

    // Any thread.
    HeardClock clock() const { return m_published.load(); }

    // Audio thread: adds this stream's next frames, scaled by the gain, into
    // out (interleaved stereo). The first of them will be heard latencyNs
    // after nowNs. Returns how many frames it supplied. Never blocks.
    int mixInto(float* out, int frames, std::int64_t nowNs, std::int64_t latencyNs);

private:
    const int m_sampleRate;
    BlockRing m_ring;
    std::atomic<std::uint64_t> m_requestedGeneration{0};  // atomic, written by the main thread
    std::atomic<bool> m_playRequested{false};             // atomic, written by the main thread
    std::atomic<float> m_gain{1.0f};                      // atomic, written by the main thread
    std::atomic<std::uint64_t> m_consumedGeneration{0};   // atomic, written by the audio thread
    SeqlockValue<HeardClock> m_published;                 // written by the audio thread

    HeardClock m_clock;     // audio thread only
    int m_blockOffset = 0;  // audio thread only: frames of the front block already played
};
