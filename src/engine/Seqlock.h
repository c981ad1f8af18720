#pragma once

#include <array>
#include <atomic>
#include <cstdint>
#include <cstring>
#include <type_traits>

// Hands a small trivially copyable value from one writer thread to readers
// without locks: readers retry while a write is in progress.
template <typename Value>
class SeqlockValue {
    static_assert(std::is_trivially_copyable_v<Value> && sizeof(Value) % 8 == 0);
    static constexpr std::size_t words = sizeof(Value) / 8;

public:
    void store(const Value& value)  // one writer thread only
    {
        std::uint64_t raw[words];
        std::memcpy(raw, &value, sizeof raw);
        // Odd while writing. Each word is stored with release, so a reader
        // that sees a new word also sees the odd count that came before it.
        // (No fences: ThreadSanitizer cannot follow them, and on x86 these
        // orderings cost nothing.)
        m_sequence.fetch_add(1, std::memory_order_relaxed);
        for (std::size_t i = 0; i < words; ++i)
            m_words[i].store(raw[i], std::memory_order_release);
        m_sequence.fetch_add(1, std::memory_order_release);
    }

    Value load() const
    {
        std::uint64_t raw[words];
        for (;;) {
            const std::uint64_t before = m_sequence.load(std::memory_order_acquire);
            if (before & 1)
                continue;
            // Acquire on each word keeps the second count read after them.
            for (std::size_t i = 0; i < words; ++i)
                raw[i] = m_words[i].load(std::memory_order_acquire);
            if (m_sequence.load(std::memory_order_relaxed) == before)
                break;
        }
        Value value;
        std::memcpy(&value, raw, sizeof raw);
        return value;
    }

private:
    std::atomic<std::uint64_t> m_sequence{0};
    std::array<std::atomic<std::uint64_t>, words> m_words{};
};
