#include "LuaMIDIHelper.h"

#include "TarnInstanceTracker.h"

#include "platform/MusicDeviceBase.h"

#include <cstring>

namespace TW
{

LuaMIDIHelper::LuaMIDIHelper(MusicDeviceBase* instance, MessageQueue& queue, OSCHelper* osc)
    : m_instance(instance), m_queue(queue), m_osc(osc)
{
}

LuaMIDIHelper::~LuaMIDIHelper() = default;

void LuaMIDIHelper::Initialize()
{
    std::uint32_t count = 0;
    std::uint32_t size = sizeof count;
    if (m_instance->DispatchGetProperty(64007, Scope::Global, 0, &count, &size) == kNoErr)
        m_paramCount = static_cast<int>(count);
    const void* table = nullptr;
    size = sizeof table;
    if (m_instance->DispatchGetProperty(64010, Scope::Global, 0, &table, &size) == kNoErr)
        m_paramInfos = table;
}

bool LuaMIDIHelper::HandleMidiEvent(std::uint8_t status, std::uint8_t channel, std::uint8_t data1,
                                    std::uint8_t data2, std::uint32_t frame) noexcept
{
    return m_queue.Write(status, channel, data1, data2, frame);
}

bool LuaMIDIHelper::HandleSysEx(const std::uint8_t* bytes, std::uint32_t length)
{
    return m_queue.WriteSysEx(bytes, length);
}

void LuaMIDIHelper::HandleMessageQueueItem(const MessageQueueItem* item)
{
    if (!item || item->m_kind != MessageQueueItem::kShortMessage)
        return;
    const int channel = item->m_channel;
    switch (item->m_status)
    {
    case 0x90:
        if (item->m_data2 != 0)
            HandleNoteOn(channel, item->m_data1, item->m_data2);
        else
            HandleNoteOff(channel, item->m_data1, item->m_data2);
        break;
    case 0x80:
        HandleNoteOff(channel, item->m_data1, item->m_data2);
        break;
    case 0xA0:
        HandlePolyPressure(channel, item->m_data1, item->m_data2);
        break;
    case 0xB0:
        HandleControlChange(channel, item->m_data1, item->m_data2);
        break;
    case 0xC0:
        HandleProgramChange(channel, item->m_data1);
        break;
    case 0xD0:
        HandleChannelPressure(channel, item->m_data1);
        break;
    case 0xE0:
        HandlePitchWheel(channel, item->m_data1, item->m_data2);
        break;
    default:
        break;
    }
    TarnInstanceTracker::HandleMessageQueueItem(item, m_instance);
}

bool LuaMIDIHelper::isParameterUsed(int)
{
    return true;
}

void LuaMIDIHelper::HandleNoteOn(int, unsigned char, unsigned char) {}

void LuaMIDIHelper::HandleNoteOff(int, unsigned char, unsigned char) {}

void LuaMIDIHelper::HandleControlChange(int, unsigned char controller, unsigned char value)
{
    // NRPN assembly: every data-entry controller yields one NRPN (number, value).
    switch (controller)
    {
    case 99:
        m_nrpnMSB = value;
        break;
    case 98:
        m_nrpnLSB = value;
        break;
    case 6:
        m_dataMSB = value;
        break;
    case 38:
        m_dataLSB = value;
        break;
    default:
        break;
    }
}

void LuaMIDIHelper::HandlePitchWheel(int, unsigned char, unsigned char) {}

void LuaMIDIHelper::HandleProgramChange(int, unsigned char) {}

void LuaMIDIHelper::HandleChannelPressure(int, unsigned char) {}

void LuaMIDIHelper::HandlePolyPressure(int, unsigned char, unsigned char) {}

} // namespace TW
