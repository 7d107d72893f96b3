// The instrument's own MIDI handling on top of the scripting host: notes, sustain pedal, all
// notes off, all sound off and the pitch wheel, played into the synthesis engine.
#pragma once

#include "LuaMIDIHelper.h"

#include "core/TarnAdditiveSynth.h"

class TarnAdditiveSynth::VeLuLuaMIDIHelper : public TW::LuaMIDIHelper
{
public:
    VeLuLuaMIDIHelper(TarnAdditiveSynth* instance, TW::MessageQueue& queue, TW::OSCHelper* osc);

    // Render thread.
    void HandleNoteOn(int channel, unsigned char note, unsigned char velocity) override;
    void HandleNoteOff(int channel, unsigned char note, unsigned char velocity) override;
    void HandleControlChange(int channel, unsigned char controller, unsigned char value) override;
    void HandlePitchWheel(int channel, unsigned char lsb, unsigned char msb) override;
    void HandleMessageQueueItemWithoutScripts(const TW::MessageQueueItem* item) override;

    // Any thread: GUI switch bytes 0..7 of the display block.
    void setGUIBoolValue(int id, int value) override;
    int getGUIBoolValue(int id) const override;

    // The pitch-bend factor for a 14-bit wheel value and a range in semitones.
    static float PitchBendFactor(int wheel, float rangeSemitones) noexcept;

private:
    // The instrument's own handling, after the scripts' (render thread).
    void PlayNoteOn(unsigned char note, unsigned char velocity) noexcept;
    void PlayNoteOff(unsigned char note) noexcept;
    // False for controllers that the instrument leaves to the scripts.
    bool PlayControlChange(unsigned char controller, unsigned char value) noexcept;
    void PlayPitchWheel(unsigned char lsb, unsigned char msb) noexcept;

    TarnAdditiveSynth* m_synth;
};
