#include "OSCHelper.h"

namespace TW
{

OSCHelper::OSCHelper(MusicDeviceBase* instance, LuaMIDIHelper* lua)
    : m_instance(instance), m_lua(lua)
{
}

OSCHelper::~OSCHelper()
{
    StopTask();
}

void OSCHelper::Initialize() {}

void OSCHelper::StartTask()
{
    m_taskRunning = true;
}

void OSCHelper::StopTask()
{
    m_taskRunning = false;
}

void OSCHelper::SetPort(int port)
{
    m_port.store(port, std::memory_order_relaxed);
}

void OSCHelper::Disable()
{
    m_port.store(0, std::memory_order_relaxed);
}

void OSCHelper::NotifySetParam(int, float) noexcept
{
    m_notifyCount.fetch_add(1, std::memory_order_relaxed);
}

} // namespace TW
