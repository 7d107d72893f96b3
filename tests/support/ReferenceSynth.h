// A slow, independent model of the voice engine for tests: notes, envelopes, LFOs, pulse-width
// bend, partials, filter and the modulation effect, one sample at a time in double precision.
// Quantities that the instrument stores as 32-bit floats (envelope levels and slopes, phases,
// LFO and filter states, the delay ring, per-slice coefficients) are rounded to float where
// they are stored, because those recurrences would otherwise drift apart from any float
// implementation over thousands of samples; everything computed from them is double.
#pragma once

#include "platform/ParameterElement.h"

#include <cstdint>
#include <string>
#include <unordered_map>
#include <vector>

namespace TarnTest
{

class ReferenceSynth
{
public:
    ReferenceSynth(const TW::ParameterElement& params, double sampleRate);

    void StartNote(int key, float velocity);
    void StopNote(int key);
    void AllNotesOff();
    void Sustain(bool down);
    void AllSoundOff();
    void SetPitchBend(float factor);

    // One slice; true when silent.
    bool Render(float* left, float* right, unsigned frames);

    int NumNotes() const { return static_cast<int>(m_voices.size()); }
    int KeyOf(int index) const { return m_voices[index].key; }
    double MainLevel(int index) const { return m_voices[index].env[0].level; }
    int MainStage(int index) const { return m_voices[index].env[0].stage; }
    double Activity() const { return m_activity; }

private:
    struct Segment
    {
        double slope = 0, curve = 0;
        std::uint32_t count = 0;
        bool hold = true;
    };
    struct Env
    {
        int stage = 0, sustainStage = 0;
        double level = 0, sustainScale = 1;
        Segment seg[7];
    };
    // env[0] main, env[1..3] partial envelopes, env[4] pulse width, env[5] filter.
    struct Voice
    {
        int key = 0;
        double velocity = 0, octaves = 0;
        Env env[6];
        double phase = 0, phaseInc = 0;
        double lfoSin[4] = {}, lfoCos[4] = {}, lfoCoeff[4] = {}; // LFO 1..4
        double pwSin = 0, pwCos = 1;
        double low = 0, high = 0, band = 0;
        double filterF = 0, filterRange = 0, damping = 0;
    };

    double P(const std::string& name) const;
    Segment Curve(double seconds, double shape, double from, double to) const;
    Segment Line(double perSampleDelta, double samples) const;
    void Release(Voice& v);
    void Effect(float* left, float* right, unsigned frames);

    const TW::ParameterElement& m_params;
    mutable std::unordered_map<std::string, int> m_ids;
    double m_rate;
    std::vector<Voice> m_voices; // sounding voices in pool order
    std::vector<int> m_held;
    bool m_pedal = false;
    float m_pitchBend = 1.0f;
    float m_filterLfoPhase = 0.0f;
    double m_activity = 0.0;

    std::vector<float> m_ring; // frames x 4 lines
    float m_modPhase = 0.0f;
    int m_modWrite = 0;
};

} // namespace TarnTest
