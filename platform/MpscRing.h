// A bounded ring of N slots for any number of writers and one reader at a time, without locks:
// each slot carries a sequence number that says whether it is free for the writer of a given
// turn or full for the reader. Writers claim a slot, fill it and publish it; the reader takes
// slots in the order they were claimed. Writers never wait for each other beyond a retried
// compare-and-swap, and never for the reader: a full ring makes the claim fail.
#pragma once

#include <atomic>
#include <cstdint>

namespace TW
{

template <class T, std::uint32_t N> class MpscRing
{
    // Positions are 32-bit and wrap: the slot of a position stays the same across the wrap only
    // when N divides 2^32.
    static_assert(N > 0 && (N & (N - 1)) == 0, "the slot count must be a power of two");

public:
    MpscRing() noexcept
    {
        for (std::uint32_t i = 0; i < N; ++i)
            m_slots[i].sequence.store(i, std::memory_order_relaxed);
    }

    // Any thread, real-time safe. The slot of the next position, which the caller fills and then
    // hands to Publish with the same pos; null when the ring is full.
    T* Claim(std::uint32_t& pos) noexcept
    {
        pos = m_writePos.load(std::memory_order_relaxed);
        for (;;)
        {
            Slot& slot = m_slots[pos % N];
            const std::uint32_t sequence = slot.sequence.load(std::memory_order_acquire);
            const auto lag = static_cast<std::int32_t>(sequence - pos);
            if (lag == 0)
            {
                // Free for this turn: claim it, or retry with the position another writer left.
                if (m_writePos.compare_exchange_weak(pos, pos + 1, std::memory_order_relaxed))
                    return &slot.value;
            }
            else if (lag < 0)
                return nullptr; // the reader has not taken what was written here a ring ago
            else
                pos = m_writePos.load(std::memory_order_relaxed);
        }
    }

    // The writer that claimed pos: its slot is now the reader's.
    void Publish(std::uint32_t pos) noexcept
    {
        m_slots[pos % N].sequence.store(pos + 1, std::memory_order_release);
    }

    // One reader at a time. The oldest published slot, or null when there is none.
    T* Front() noexcept
    {
        Slot& slot = m_slots[m_readPos % N];
        if (slot.sequence.load(std::memory_order_acquire) != m_readPos + 1)
            return nullptr;
        return &slot.value;
    }

    // The reader, after Front gave a slot: frees it for the writer one ring later.
    void Pop() noexcept
    {
        m_slots[m_readPos % N].sequence.store(m_readPos + N, std::memory_order_release);
        ++m_readPos;
    }

private:
    struct Slot
    {
        // Equal to the position p (p mod N is this slot) when free for the writer of p, p + 1
        // when that writer has filled it for the reader.
        std::atomic<std::uint32_t> sequence{0};
        T value{};
    };

    Slot m_slots[N];
    alignas(64) std::atomic<std::uint32_t> m_writePos{0}; // next position a writer claims
    alignas(64) std::uint32_t m_readPos = 0;              // reader only
};

} // namespace TW
