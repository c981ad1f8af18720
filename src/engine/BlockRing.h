#pragma once

#include "engine/AudioBlock.h"

#include <atomic>
#include <cstdint>
#include <memory>

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
    // gives it back. peek(n) is the n-th published block after the oldest.
    AudioBlock* readableBlock() { return peek(0); }
    AudioBlock* peek(int index);
    void release();

private:
    const int m_capacity;
    std::unique_ptr<AudioBlock[]> m_blocks;
    alignas(64) std::atomic<std::uint64_t> m_written{0};  // atomic, written by the producer only
    alignas(64) std::atomic<std::uint64_t> m_read{0};     // atomic, written by the consumer only
};
