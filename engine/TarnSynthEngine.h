// The synthesis engine of one instance: the voice pool of 32 notes, their envelopes, modulation
// and filters, voice rendering and the modulation effect. It reads parameters from the
// instance's global parameter store and knows nothing of hosts, MIDI or threads.
#pragma once

#include "EnginePath.h"
#include "Note.h"
#include "TarnModulationEffect.h"
#include "VoiceKernel.h"

#include "core/DisplayBlock.h"
#include "core/InstrumentConstants.h"
#include "platform/ParameterElement.h"

#include <cstdint>

namespace Tarn
{

class TarnSynthEngine
{
public:
    using Note = Tarn::Note;

    // The instance is heap-allocated; the engine holds its delay ring (768 KB) inline.
    TarnSynthEngine(const TW::ParameterElement& params, DisplayBlock& display) noexcept;

    // Output sample rate in Hz. Main thread, while not rendering, and the render thread at the
    // top of each render call.
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

    // One slice of out[0], out[1]; true when silent (no voice and the effect off). Render
    // thread.
    bool RenderPlayback(float** out, unsigned frames) noexcept;

    // Runs the modulation effect over a slice: left is the input; both are overwritten.
    // Render thread.
    void RenderModulation(float* left, float* right, unsigned frames) noexcept;

    // The instruction set used for voices. Main thread, while not rendering.
    void SetPath(EnginePath path) noexcept;
    EnginePath GetPath() const noexcept { return m_path; }

    // Read-only views for tests and displays. Render thread or while not rendering.
    int GetNumNotes() const noexcept { return m_numNotes; }
    const Note& GetNote(int index) const noexcept { return m_notes[index]; }
    int GetNumHeldKeys() const noexcept { return m_numHeldKeys; }
    const std::int8_t* GetHeldKeys() const noexcept { return m_heldKeys; }
    bool GetSustainPedal() const noexcept { return m_sustainPedal; }
    float GetFilterLfoPhase() const noexcept { return m_filterLfoPhase; }
    float GetPitchBend() const noexcept { return m_pitchBend; }
    const TarnModulationEffect& GetModulationEffect() const noexcept { return m_effect; }

private:
    // A parameter as the engine uses it: clamped to its table range, whatever was stored
    // (a non-finite value reads as the default).
    float P(std::uint32_t id) const noexcept;
    static float VelocityFactor(float amount, float velocity) noexcept;
    void ReleaseNote(Note& note) noexcept;
    bool IsHeld(int key) const noexcept;
    void PrepareSlice(VoiceSliceConstants& c, unsigned frames) noexcept;
    void PrepareNote(Note& note, double semitones, float pitchFactor) noexcept;
    void RenderGroup(Note* const* notes, int count, const VoiceSliceConstants& c, float* out,
                     unsigned frames) noexcept;
    void AdvanceFilterLfo(unsigned frames) noexcept;
    // Silences every note whose state is no longer finite; true when there was one.
    bool SilenceBrokenNotes() noexcept;

    const TW::ParameterElement& m_params;
    DisplayBlock& m_display;
    float m_sampleRate = 44100.0f;
    EnginePath m_path;
    VoiceKernelInfo m_kernel;

    Note m_notes[kNumVoices];
    std::int32_t m_numNotes = 0;
    float m_filterLfoPhase = 0.0f; // radians, [0, 2 pi)
    float m_pitchBend = 1.0f;      // pitch-wheel frequency factor
    std::int8_t m_heldKeys[128] = {};
    std::int32_t m_numHeldKeys = 0;
    bool m_sustainPedal = false;

    // Per-slice values of the filter shared by all notes.
    double m_filterW0 = 0.0; // radians per sample
    double m_filterQ0 = 0.0; // base damping

    TarnModulationEffect m_effect;
};

} // namespace Tarn
