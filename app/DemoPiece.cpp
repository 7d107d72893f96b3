#include "DemoPiece.h"

#include "RenderScore.h"

#include "core/FactoryPresets.h"
#include "core/ParameterTable.h"

#include <algorithm>
#include <cmath>
#include <initializer_list>
#include <numbers>
#include <utility>
#include <vector>

using namespace Tarn;

namespace
{

constexpr double kBeat = 0.6; // seconds: 100 beats per minute
constexpr double kBar = 4 * kBeat;

struct Setting
{
    const char* name;
    float value;
};

// A section of the piece: from its start it plays a factory preset, with a few settings on top.
struct Section
{
    double start; // seconds
    const char* preset;
    float gain; // output level relative to the preset's, to even out the sections
    std::vector<Setting> settings;
};

std::vector<Section> Sections()
{
    // The wheel moves below are written for a range of a whole tone.
    return {
        // 1. Organ chords under the sustain pedal, a short melody on top.
        {0.0, "KV SpaceOrgan", 0.5f, {{"Pitch Wheel Range", 2.0f}}},
        // 2. Chimes: a pentatonic melody over a low fifth, the last note bent by the wheel.
        {3 * kBar, "KV Chimes 1", 1.4f, {{"Pitch Wheel Range", 2.0f}}},
        // 3. A sixteenth-note arpeggio whose accents open the filter, then a long note with
        //    wheel vibrato.
        {6 * kBar, "Velocity Filter", 1.6f, {{"Pitch Wheel Range", 2.0f}}},
        // 4. A string pad swelling over the pedal, with a slow wheel sweep.
        {9 * kBar, "KV Strings1", 0.55f, {{"Pitch Wheel Range", 2.0f}}},
    };
}

class Writer
{
public:
    Writer(RenderScore& score, double rate) : m_score(score), m_rate(rate) {}

    std::uint64_t Frame(double seconds) const { return RenderScore::FrameAt(seconds, m_rate); }

    void Note(double start, double length, int key, int velocity)
    {
        m_score.AddMidi(Frame(start), 0x90, static_cast<std::uint8_t>(key),
                        static_cast<std::uint8_t>(velocity));
        m_score.AddMidi(Frame(start + length), 0x80, static_cast<std::uint8_t>(key), 64);
    }
    void Chord(double start, double length, std::initializer_list<int> keys, int velocity)
    {
        for (int key : keys)
            Note(start, length, key, velocity);
    }
    void Pedal(double at, bool down) { m_score.AddMidi(Frame(at), 0xB0, 64, down ? 127 : 0); }
    // value −1..1 of the wheel's range.
    void Bend(double at, double value)
    {
        const int v = std::lround(8192.0 + std::fmax(-1.0, std::fmin(1.0, value)) * 8191.0);
        m_score.AddMidi(Frame(at), 0xE0, static_cast<std::uint8_t>(v & 0x7F),
                        static_cast<std::uint8_t>(v >> 7));
    }
    // A smooth wheel movement from a to b (−1..1) over the given time, 100 steps per second.
    void BendRamp(double start, double length, double a, double b)
    {
        const int steps = std::max(1, static_cast<int>(length * 100.0));
        for (int i = 0; i <= steps; ++i)
            Bend(start + length * i / steps, a + (b - a) * i / steps);
    }
    // Vibrato on the wheel: depth (−1..1 units) rising in over the first third.
    void Vibrato(double start, double length, double hz, double depth)
    {
        const int steps = static_cast<int>(length * 100.0);
        for (int i = 0; i <= steps; ++i)
        {
            const double t = length * i / steps;
            const double fade = std::fmin(1.0, 3.0 * t / length);
            Bend(start + t, depth * fade * std::sin(2.0 * std::numbers::pi * hz * t));
        }
        Bend(start + length, 0.0);
    }

private:
    RenderScore& m_score;
    double m_rate;
};

} // namespace

bool AddDemoPiece(RenderScore& score, double rate, std::string& error)
{
    for (const Section& section : Sections())
    {
        const int preset = FindFactoryPreset(section.preset);
        if (preset < 0)
        {
            error =
                std::string("the demo uses an unknown factory preset \"") + section.preset + "\"";
            return false;
        }
        const std::uint64_t frame = RenderScore::FrameAt(section.start, rate);
        score.AddPreset(frame, static_cast<std::uint32_t>(preset));
        // "Volume" enters the output as its cube.
        const float volume = GetFactoryPresetTable()[preset].values[kParamVolume];
        score.AddParameter(frame, kParamVolume, std::min(1.0f, volume * std::cbrt(section.gain)));
        for (const Setting& s : section.settings)
        {
            const int id = FindParamByName(s.name);
            if (id < 0)
            {
                error = std::string("the demo uses an unknown parameter \"") + s.name + "\"";
                return false;
            }
            score.AddParameter(frame, static_cast<std::uint32_t>(id), s.value);
        }
    }

    Writer w(score, rate);
    const double b = kBeat;

    // 1. Organ (bars 0-2): chords on the half bar, the pedal caught over each pair, a short
    //    melody on top in the third bar.
    const int chords[6][4] = {{48, 55, 64, 71}, {45, 52, 60, 67}, {41, 48, 57, 64},
                              {43, 50, 59, 65}, {45, 52, 60, 64}, {43, 50, 55, 62}};
    for (int i = 0; i < 6; ++i)
    {
        const double t = i * 2 * b;
        if (i % 2 == 0)
        {
            if (i > 0)
                w.Pedal(t - 0.02, false);
            w.Pedal(t + 0.05, true);
        }
        for (int k : chords[i])
            w.Note(t, 1.5 * b, k, 70 + 6 * (i % 3));
    }
    w.Pedal(6 * 2 * b - 0.05, false);
    const int organMelody[] = {76, 74, 72, 71, 72, 74, 79, 76};
    for (int i = 0; i < 8; ++i)
        w.Note(2 * kBar + i * 0.5 * b, 0.45 * b, organMelody[i], 90);

    // 2. Chimes (bars 3-5, sounding an octave up): a low fifth held by the pedal, a pentatonic
    //    melody, the last note bent up a whole tone by the wheel and back.
    const double s2 = 3 * kBar;
    w.Pedal(s2, true);
    w.Chord(s2, 0.5 * b, {36, 43}, 80);
    const int bellMelody[] = {60, 64, 67, 72, 69, 67, 64, 67, 60, 62, 64, 67};
    for (int i = 0; i < 12; ++i)
        w.Note(s2 + (i * 0.75) * b, 0.6 * b, bellMelody[i], 100 - 3 * (i % 4));
    w.Chord(s2 + 2 * kBar - 2 * b, 0.5 * b, {41, 48}, 75);
    w.Note(s2 + 2 * kBar + 0.5 * b, 2.5 * b, 72, 105);
    w.BendRamp(s2 + 2 * kBar + 1.0 * b, 0.5 * b, 0.0, 1.0);
    w.BendRamp(s2 + 2 * kBar + 2.2 * b, 0.4 * b, 1.0, 0.0);
    w.Pedal(s2 + 3 * kBar - 0.1, false);

    // 3. Pulse lead (bars 6-8): a sixteenth-note arpeggio over four harmonies with accents
    //    that open the filter, ending on a long note with vibrato.
    const double s3 = 6 * kBar;
    const int arp[4][4] = {{57, 60, 64, 69}, {53, 57, 60, 65}, {48, 52, 55, 60}, {55, 59, 62, 67}};
    for (int bar = 0; bar < 2; ++bar)
        for (int i = 0; i < 16; ++i)
        {
            const int harmony = bar * 2 + i / 8;
            const int key = arp[harmony][i % 4] + 12 * ((i / 4) % 2);
            w.Note(s3 + bar * kBar + i * 0.25 * b, 0.2 * b, key, i % 4 == 0 ? 120 : 70);
        }
    w.Note(s3 + 2 * kBar, 3.6 * b, 69, 110);
    w.Note(s3 + 2 * kBar, 3.6 * b, 45, 90);
    w.Vibrato(s3 + 2 * kBar + 0.8 * b, 2.8 * b, 5.5, 0.18);

    // 4. Pad (bars 9-10): a wide C major swell with the pedal, a suspension resolving, and a
    //    slow wheel sweep down and back to finish.
    const double s4 = 9 * kBar;
    w.Pedal(s4, true);
    w.Chord(s4, 2 * b, {36, 48, 55, 64, 67, 72}, 85);
    w.Chord(s4 + 2 * b, 2 * b, {36, 53, 57, 65, 72, 77}, 80);
    w.Chord(s4 + 4 * b, 3 * b, {36, 52, 55, 64, 72, 76, 79}, 90);
    w.BendRamp(s4 + 5 * b, 1.0 * b, 0.0, -0.25);
    w.BendRamp(s4 + 6 * b, 1.0 * b, -0.25, 0.0);
    w.Pedal(s4 + 7 * b + 0.2, false);
    return true;
}
