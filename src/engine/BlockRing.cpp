#include "engine/BlockRing.h"

BlockRing::BlockRing(int capacityBlocks)
    : m_capacity(capacityBlocks)
    , m_blocks(std::make_unique<AudioBlock[]>(std::size_t(capacityBlocks)))
{
}

int BlockRing::usedBlocks() const
{
    const std::uint64_t read = m_read.load(std::memory_order_acquire);
    const std::uint64_t written = m_written.load(std::memory_order_acquire);
    return int(written - read);
}

AudioBlock* BlockRing::writableBlock()
{
    const std::uint64_t written = m_written.load(std::memory_order_relaxed);
    if (written - m_read.load(std::memory_order_acquire) >= std::uint64_t(m_capacity))
        return nullptr;
    return &m_blocks[written % std::uint64_t(m_capacity)];
}

void BlockRing::publish()
{
    m_written.fetch_add(1, std::memory_order_release);
}

AudioBlock* BlockRing::peek(int index)
{
    const std::uint64_t read = m_read.load(std::memory_order_relaxed);
    const std::uint64_t at = read + std::uint64_t(index);
    if (at >= m_written.load(std::memory_order_acquire))
        return nullptr;
    return &m_blocks[at % std::uint64_t(m_capacity)];
}

void BlockRing::release()
{
    m_read.fetch_add(1, std::memory_order_release);
}
