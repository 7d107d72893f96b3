#include "SetParamQueue.h"

#include "platform/LogRing.h"

namespace TW
{

bool SetParamQueue::Write(int id, float value) noexcept
{
    std::uint32_t pos = 0;
    Change* change = m_ring.Claim(pos);
    if (!change)
    {
        LogRing::Get().Write("OSCHelper::SetParamQueue::Write() overflow\n");
        return false;
    }
    *change = Change{id, value};
    m_ring.Publish(pos);
    return true;
}

bool SetParamQueue::Read(int& id, float& value) noexcept
{
    const Change* change = m_ring.Front();
    if (!change)
        return false;
    id = change->id;
    value = change->value;
    m_ring.Pop();
    return true;
}

} // namespace TW
