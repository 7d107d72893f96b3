// The editor's gesture begins and ends on their way to the host: written on the main thread by
// the editor, read by whichever thread reports the plug-in's output events (the audio thread in
// process, the main thread in params.flush; never both at once, as the host guarantees). One
// writer, one reader, a fixed ring: neither side ever waits or allocates.
//
// A begin is queued only while the ring keeps room for its own end and for the end of every
// gesture still open, so an end never finds the ring full. A begin refused for lack of room
// takes its end with it: the host always sees whole pairs. The values edited in a gesture do not
// travel here; they reach the host through the instance's change list, once each.
#pragma once

#include "core/InstrumentConstants.h"

#include <array>
#include <atomic>
#include <cstdint>

namespace TW
{

class ClapGestureQueue
{
public:
    struct Gesture
    {
        std::uint32_t id = 0; // the parameter's identifier
        bool begin = false;
    };

    // Gestures the ring holds.
    static constexpr std::uint32_t kCapacity = 64;

    // Main thread. Queues the begin of a gesture on id, unless one on id is open already (the
    // host sees one gesture) or the ring lacks the room described above (dropped with its end).
    // False when the begin was dropped or id is out of range.
    bool Begin(std::uint32_t id) noexcept;
    // Main thread. Queues the end of the gesture on id whose begin was queued; drops the end of
    // one whose begin was dropped, and an end with no begin at all.
    void End(std::uint32_t id) noexcept;

    // Reader. Calls f(gesture) for every gesture queued so far, in order.
    template <class F> void Drain(F&& f) noexcept
    {
        const std::uint32_t write = m_write.load(std::memory_order_acquire);
        std::uint32_t read = m_read.load(std::memory_order_relaxed);
        for (; read != write; ++read)
            f(m_ring[read % kCapacity]);
        m_read.store(read, std::memory_order_release);
    }
    // Any thread: whether gestures wait for the reader.
    bool HasGestures() const noexcept
    {
        return m_write.load(std::memory_order_acquire) != m_read.load(std::memory_order_acquire);
    }

private:
    enum class State : std::uint8_t
    {
        Closed,
        Queued,  // its begin is in the ring, its end is not yet
        Dropped, // its begin was refused: so will its end be
    };
    void Push(std::uint32_t id, bool begin) noexcept;

    std::array<Gesture, kCapacity> m_ring{};
    // Counters of gestures written and read; their difference is the ring's fill.
    std::atomic<std::uint32_t> m_write{0};
    std::atomic<std::uint32_t> m_read{0};
    // Main thread only.
    std::array<State, Tarn::kNumParams> m_state{};
    std::uint32_t m_open = 0; // gestures in State::Queued
};

} // namespace TW
