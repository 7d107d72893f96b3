// The small record an instance shares by pointer with its editor and the tracker.
#pragma once

#include "InstrumentConstants.h"

#include <atomic>
#include <cstdint>

namespace Tarn
{

// Written by the render thread (activity) and scripts (switches); read by the editor's drawing
// thread without a lock. Each field is a single relaxed atomic, so no read is ever torn.
struct DisplayBlock
{
    std::atomic<float> reserved0{0.0f};
    std::atomic<float> reserved1{0.0f};
    std::atomic<float> activity{0.0f}; // summed main-envelope level of the sounding voices
    std::atomic<std::uint8_t> guiSwitches[kNumGUISwitches] = {};

    void Clear() noexcept
    {
        reserved0.store(0.0f, std::memory_order_relaxed);
        reserved1.store(0.0f, std::memory_order_relaxed);
        activity.store(0.0f, std::memory_order_relaxed);
        for (auto& s : guiSwitches)
            s.store(0, std::memory_order_relaxed);
    }
};

} // namespace Tarn
