#include "VeLuLuaMIDIHelper.h"

#include <cmath>

using namespace TW;

TarnAdditiveSynth::VeLuLuaMIDIHelper::VeLuLuaMIDIHelper(TarnAdditiveSynth* instance,
                                                        MessageQueue& queue, OSCHelper* osc)
    : LuaMIDIHelper(instance, queue, osc), m_synth(instance)
{
}

void TarnAdditiveSynth::VeLuLuaMIDIHelper::HandleNoteOn(int channel, unsigned char note,
                                                        unsigned char velocity)
{
    LuaMIDIHelper::HandleNoteOn(channel, note, velocity);
    m_synth->Engine().HandleStartNote(note, static_cast<float>(velocity) * 0.007874016f);
}

void TarnAdditiveSynth::VeLuLuaMIDIHelper::HandleNoteOff(int channel, unsigned char note,
                                                         unsigned char velocity)
{
    LuaMIDIHelper::HandleNoteOff(channel, note, velocity);
    m_synth->Engine().HandleStopNote(note);
}

void TarnAdditiveSynth::VeLuLuaMIDIHelper::HandleControlChange(int channel,
                                                               unsigned char controller,
                                                               unsigned char value)
{
    switch (controller)
    {
    case 123: // all notes off
        m_synth->Engine().DoAllNotesOff();
        break;
    case 120: // all sound off
        m_synth->Engine().AllSoundOff();
        break;
    case 64: // sustain pedal
        m_synth->Engine().DoSustain(value > 63);
        break;
    default:
        LuaMIDIHelper::HandleControlChange(channel, controller, value);
        break;
    }
}

float TarnAdditiveSynth::VeLuLuaMIDIHelper::PitchBendFactor(int wheel,
                                                            float rangeSemitones) noexcept
{
    // The product in single precision, the power in double, as the factor has always been made.
    const float semitones = rangeSemitones * 0.00012207031f * static_cast<float>(wheel - 8192);
    return static_cast<float>(std::pow(2.0, static_cast<double>(semitones) * (1.0 / 12.0)));
}

void TarnAdditiveSynth::VeLuLuaMIDIHelper::HandlePitchWheel(int channel, unsigned char lsb,
                                                            unsigned char msb)
{
    LuaMIDIHelper::HandlePitchWheel(channel, lsb, msb);
    const int wheel = msb * 128 + lsb;
    const float range = m_synth->Globals().Value(Tarn::kParamPitchWheelRange);
    m_synth->Engine().SetPitchBend(PitchBendFactor(wheel, range));
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
