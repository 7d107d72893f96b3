#include "VeLuLuaMIDIHelper.h"

#include "core/ParameterTable.h"

#include <cmath>

using namespace TW;

TarnAdditiveSynth::VeLuLuaMIDIHelper::VeLuLuaMIDIHelper(TarnAdditiveSynth* instance,
                                                        MessageQueue& queue, OSCHelper* osc)
    : LuaMIDIHelper(instance, queue, osc), m_synth(instance)
{
}

void TarnAdditiveSynth::VeLuLuaMIDIHelper::PlayNoteOn(unsigned char note,
                                                      unsigned char velocity) noexcept
{
    m_synth->Engine().HandleStartNote(note, static_cast<float>(velocity) * 0.007874016f);
}

void TarnAdditiveSynth::VeLuLuaMIDIHelper::PlayNoteOff(unsigned char note) noexcept
{
    m_synth->Engine().HandleStopNote(note);
}

bool TarnAdditiveSynth::VeLuLuaMIDIHelper::PlayControlChange(unsigned char controller,
                                                             unsigned char value) noexcept
{
    switch (controller)
    {
    case 123: // all notes off
        m_synth->Engine().DoAllNotesOff();
        return true;
    case 120: // all sound off
        m_synth->Engine().AllSoundOff();
        return true;
    case 64: // sustain pedal
        m_synth->Engine().DoSustain(value > 63);
        return true;
    default:
        return false;
    }
}

float TarnAdditiveSynth::VeLuLuaMIDIHelper::PitchBendFactor(int wheel,
                                                            float rangeSemitones) noexcept
{
    // The product in single precision, the power in double, as the factor has always been made.
    const float semitones = rangeSemitones * 0.00012207031f * static_cast<float>(wheel - 8192);
    return static_cast<float>(std::pow(2.0, static_cast<double>(semitones) * (1.0 / 12.0)));
}

void TarnAdditiveSynth::VeLuLuaMIDIHelper::PlayPitchWheel(unsigned char lsb,
                                                          unsigned char msb) noexcept
{
    const int wheel = msb * 128 + lsb;
    const float range = m_synth->Globals().Value(Tarn::kParamPitchWheelRange);
    m_synth->Engine().SetPitchBend(PitchBendFactor(wheel, range));
}

void TarnAdditiveSynth::VeLuLuaMIDIHelper::HandleNoteOn(int channel, unsigned char note,
                                                        unsigned char velocity)
{
    LuaMIDIHelper::HandleNoteOn(channel, note, velocity);
    PlayNoteOn(note, velocity);
}

void TarnAdditiveSynth::VeLuLuaMIDIHelper::HandleNoteOff(int channel, unsigned char note,
                                                         unsigned char velocity)
{
    LuaMIDIHelper::HandleNoteOff(channel, note, velocity);
    PlayNoteOff(note);
}

void TarnAdditiveSynth::VeLuLuaMIDIHelper::HandleControlChange(int channel,
                                                               unsigned char controller,
                                                               unsigned char value)
{
    // The pedal, all notes off and all sound off never reach the scripts.
    if (!PlayControlChange(controller, value))
        LuaMIDIHelper::HandleControlChange(channel, controller, value);
}

void TarnAdditiveSynth::VeLuLuaMIDIHelper::HandlePitchWheel(int channel, unsigned char lsb,
                                                            unsigned char msb)
{
    LuaMIDIHelper::HandlePitchWheel(channel, lsb, msb);
    PlayPitchWheel(lsb, msb);
}

void TarnAdditiveSynth::VeLuLuaMIDIHelper::HandleMessageQueueItemWithoutScripts(
    const MessageQueueItem* item)
{
    if (!item || item->m_kind != MessageQueueItem::kShortMessage)
        return;
    switch (item->m_status)
    {
    case 0x90:
        if (item->m_data2 != 0)
            PlayNoteOn(item->m_data1, item->m_data2);
        else
            PlayNoteOff(item->m_data1);
        break;
    case 0x80:
        PlayNoteOff(item->m_data1);
        break;
    case 0xB0:
        PlayControlChange(item->m_data1, item->m_data2);
        break;
    case 0xE0:
        PlayPitchWheel(item->m_data1, item->m_data2);
        break;
    default:
        break; // pressure and program change reach only the scripts
    }
}

void TarnAdditiveSynth::VeLuLuaMIDIHelper::setGUIBoolValue(int id, int value)
{
    if (id < 0 || id >= static_cast<int>(Tarn::kNumGUISwitches))
        return;
    m_synth->GetDisplayBlock().guiSwitches[id].store(value != 0 ? 1 : 0, std::memory_order_relaxed);
}

int TarnAdditiveSynth::VeLuLuaMIDIHelper::getGUIBoolValue(int id) const
{
    if (id < 0 || id >= static_cast<int>(Tarn::kNumGUISwitches))
        return 0;
    return m_synth->GetDisplayBlock().guiSwitches[id].load(std::memory_order_relaxed);
}
