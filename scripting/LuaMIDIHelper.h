// The MIDI scripting host of one instance: queues MIDI on the host's thread and dispatches it on
// the render thread to the user's script handlers and then to the instrument's own handling.
#pragma once

#include "core/MessageQueue.h"

#include <cstdint>
#include <mutex>

namespace TW
{

class MusicDeviceBase;
class OSCHelper;

class LuaMIDIHelper
{
public:
    // Main thread.
    LuaMIDIHelper(MusicDeviceBase* instance, MessageQueue& queue, OSCHelper* osc);
    virtual ~LuaMIDIHelper();

    LuaMIDIHelper(const LuaMIDIHelper&) = delete;
    LuaMIDIHelper& operator=(const LuaMIDIHelper&) = delete;

    // Render thread: the script handlers of each message type. Subclasses add the instrument's
    // own handling after calling these.
    virtual void HandleNoteOn(int channel, unsigned char note, unsigned char velocity);
    virtual void HandleNoteOff(int channel, unsigned char note, unsigned char velocity);
    virtual void HandleControlChange(int channel, unsigned char controller, unsigned char value);
    virtual void HandlePitchWheel(int channel, unsigned char lsb, unsigned char msb);
    // Render thread: dispatches one queued item by its status.
    virtual void HandleMessageQueueItem(const MessageQueueItem* item);
    virtual bool isParameterUsed(int id);
    virtual void setGUIBoolValue(int id, int value) = 0;
    virtual int getGUIBoolValue(int id) const = 0;
    virtual void RegisterFunctions() {}

    void HandleProgramChange(int channel, unsigned char program);
    void HandleChannelPressure(int channel, unsigned char pressure);
    void HandlePolyPressure(int channel, unsigned char note, unsigned char pressure);

    // Main thread, from the instance's Initialize: reads the parameter count and table.
    void Initialize();

    // The host's MIDI thread: queue for the render thread. False when the queue is full.
    bool HandleMidiEvent(std::uint8_t status, std::uint8_t channel, std::uint8_t data1,
                         std::uint8_t data2, std::uint32_t frame) noexcept;
    bool HandleSysEx(const std::uint8_t* bytes, std::uint32_t length);

    void SetOSCHelper(OSCHelper* osc) noexcept { m_osc = osc; }
    MusicDeviceBase* GetInstance() const noexcept { return m_instance; }
    int GetParameterCount() const noexcept { return m_paramCount; }

protected:
    MusicDeviceBase* m_instance;
    MessageQueue& m_queue;
    OSCHelper* m_osc;
    int m_paramCount = 0;
    const void* m_paramInfos = nullptr;
    // The NRPN being assembled; one for all channels.
    int m_nrpnLSB = 0;
    int m_nrpnMSB = 0;
    int m_dataLSB = 0;
    int m_dataMSB = 0;
};

} // namespace TW
