#pragma once

#include <atomic>
#include <cstdint>
#include <memory>

// A block of decoded audio on its way to the output: interleaved stereo
// frames, stamped with the seek generation they belong to and the stream
// position of their first frame.
struct AudioBlock {
    static constexpr int capacityFrames = 512;
    static constexpr int channels = 2;

    std::uint64_t generation = 0;
    std::int64_t startFrame = 0;
    int frames = 0;
    bool endOfStream = false;  // nothing follows in this generation
    float samples[capacityFrames * channels] = {};
};

// A bounded lock-free queue of blocks between exactly one producer thread
// (the decoder) and one consumer thread (the audio callback). Neither side
// ever waits on the other or allocates.
class BlockRing {
public:
    explicit BlockRing(int capacityBlocks);
    BlockRing(const BlockRing&) = delete;
    BlockRing& operator=(const BlockRing&) = delete;

    int capacity() const { return m_capacity; }
    // Blocks published and not yet released; exact on either side's thread
    // for its own counter, possibly stale by a few blocks for the other.
    int usedBlocks() const;

    // Producer: the next free block to fill, or null when the ring is full;
    // publish() hands it over.
    AudioBlock* writableBlock();
    void publish();

    // Consumer: the oldest published block, or null when empty; release()
    // gives it back.
    AudioBlock* readableBlock();
    void release();

private:
    const int m_capacity;
    std::unique_ptr<AudioBlock[]> m_blocks;
    alignas(64) std::atomic<std::uint64_t> m_written{0};  // atomic, written by the producer only
    alignas(64) std::atomic<std::uint64_t> m_read{0};     // atomic, written by the consumer only
};
