#include "engine/PlaybackSource.h"

#include <algorithm>

PlaybackSource::PlaybackSource(int sampleRate)
    : m_sampleRate(sampleRate)
    , m_ring(ringBlocks)
{
    m_published.store(m_clock);
}

int PlaybackSource::mixInto(float* out, int frames, std::int64_t nowNs, std::int64_t latencyNs)
{
    const std::uint64_t generation = requestedGeneration();
    // Stale audio from before a seek is dropped whether or not we play, so
    // the decoder has room for the new position at once.
    while (AudioBlock* block = m_ring.readableBlock()) {
        if (block->generation == generation)
            break;
        m_ring.release();
        m_blockOffset = 0;
    }
    if (m_clock.generation != generation) {
        m_clock = HeardClock{};
        m_clock.generation = generation;
        m_consumedGeneration.store(generation, std::memory_order_release);
    }

    if (!m_playRequested.load(std::memory_order_acquire)) {
        if (m_clock.serving) {
            m_clock.serving = 0;
            m_published.store(m_clock);
        }
        return 0;
    }

    const float gain = m_gain.load(std::memory_order_relaxed);
    int written = 0;
    std::int64_t firstFrame = -1;
    while (written < frames) {
        AudioBlock* block = m_ring.readableBlock();
        if (!block || block->generation != generation)
            break;
        if (firstFrame < 0)
            firstFrame = block->startFrame + m_blockOffset;
        const int count = std::min(block->frames - m_blockOffset, frames - written);
        const float* from = block->samples + std::size_t(m_blockOffset) * AudioBlock::channels;
        float* to = out + std::size_t(written) * AudioBlock::channels;
        for (int i = 0; i < count * AudioBlock::channels; ++i)
            to[i] += from[i] * gain;
        m_blockOffset += count;
        written += count;
        if (m_blockOffset >= block->frames) {
            const bool last = block->endOfStream;
            if (last)
                m_clock.endOfStreamFrame = block->startFrame + block->frames;
            m_ring.release();
            m_blockOffset = 0;
            if (last)
                break;
        }
    }

    if (firstFrame >= 0) {
        if (!m_clock.serving || !m_clock.hasFrames)
            m_clock.runStartFrame = firstFrame;  // output (re)starts here
        m_clock.hasFrames = 1;
        m_clock.anchorFrame = firstFrame;
        m_clock.anchorTimeNs = nowNs + latencyNs;
        m_clock.handedEndFrame = firstFrame + written;
        m_clock.serving = 1;
    }
    m_published.store(m_clock);
    return written;
}
