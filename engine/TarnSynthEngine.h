// The synthesis engine of one instance: the voice pool of 32 notes, their envelopes, modulation
// and filters, voice rendering and the modulation effect. It reads parameters from the
// instance's global parameter store and knows nothing of hosts, MIDI or threads.
#pragma once

#include "core/DisplayBlock.h"
#include "platform/ParameterElement.h"

namespace Tarn
{

class TarnSynthEngine
{
public:
    TarnSynthEngine(const TW::ParameterElement& params, DisplayBlock& display) noexcept;

    // Output sample rate in Hz. Main thread, while not rendering.
    void SetSampleRate(double hz) noexcept;
    double GetSampleRate() const noexcept;

    // Instance Initialize: filter LFO phase 0, pitch bend 1, modulation ring, phases and write
    // position 0. Voices, held keys and the pedal are kept. Main thread, while not rendering.
    void Reset() noexcept;

    // Note operations. Render thread, between slices.
    int HandleStartNote(int key, float velocity) noexcept; // velocity 0..1
    int HandleStopNote(int key) noexcept;
    void DoAllNotesOff() noexcept;
    void DoSustain(bool down) noexcept;
    void AllSoundOff() noexcept; // voices, held keys and pedal cleared at once
    void SetPitchBend(float factor) noexcept;

    // One slice of out[0], out[1]; true when silent. Render thread.
    bool RenderPlayback(float** out, unsigned frames) noexcept;

    int GetNumNotes() const noexcept;
};

} // namespace Tarn
