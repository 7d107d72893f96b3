// The OSC server's change queue: parameter changes waiting for the notify task. A bounded ring of
// 64 slots for any number of writers (any thread that sets a parameter, the render thread
// included) and one reader (the notify task). Neither side locks.
#pragma once

#include "platform/MpscRing.h"

#include <cstdint>

namespace TW
{

class SetParamQueue
{
public:
    static constexpr std::int32_t kSlots = 64;

    // Any thread. False when full: the change is not pushed, and the overflow line goes to
    // standard error through the log ring.
    bool Write(int id, float value) noexcept;
    // The notify task only. False when empty.
    bool Read(int& id, float& value) noexcept;

private:
    struct Change
    {
        int id;
        float value;
    };

    MpscRing<Change, kSlots> m_ring;
};

} // namespace TW
