#include "DemoPiece.h"

#include "RenderScore.h"

#include "core/ParameterTable.h"

#include <algorithm>
#include <cmath>
#include <initializer_list>
#include <numbers>
#include <set>
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

struct Section
{
    double start; // seconds
    std::vector<Setting> settings;
};

// Settings of "Level k" (k 1-based) for the listed partials.
std::vector<Setting> Levels(std::initializer_list<std::pair<int, float>> levels)
{
    static const char* const kNames[16] = {"Level 1",  "Level 2",  "Level 3",  "Level 4",
                                           "Level 5",  "Level 6",  "Level 7",  "Level 8",
                                           "Level 9",  "Level 10", "Level 11", "Level 12",
                                           "Level 13", "Level 14", "Level 15", "Level 16"};
    std::vector<Setting> out;
    for (const auto& [k, v] : levels)
        out.push_back({kNames[k - 1], v});
    return out;
}

std::vector<Setting> Join(std::vector<Setting> a, const std::vector<Setting>& b)
{
    a.insert(a.end(), b.begin(), b.end());
    return a;
}

std::vector<Section> Sections()
{
    std::vector<Section> s;
    // 1. A bright chorused organ: a soft sawtooth series through a gentle low-pass, the
    //    modulation effect spreading it to stereo.
    s.push_back({0.0, Join(Levels({{1, 0.8f},
                                   {2, 0.4f},
                                   {3, 0.27f},
                                   {4, 0.2f},
                                   {5, 0.16f},
                                   {6, 0.13f},
                                   {7, 0.11f},
                                   {8, 0.1f}}),
                           {{"Volume", 0.58f},
                            {"Attack", 0.03f},
                            {"Decay", 0.6f},
                            {"Sustain", 0.75f},
                            {"Release", 0.5f},
                            {"Filter Type", 1.0f},
                            {"Filter Cutoff", 3500.0f},
                            {"Filter Q", 0.2f},
                            {"Filter KB Track", 0.5f},
                            {"Modulation On/Off", 1.0f},
                            {"Modulation Wet/Dry", 45.0f},
                            {"Modulation Delay", 14.0f},
                            {"Modulation Sweep", 3.0f},
                            {"Modulation Rate", 0.45f},
                            {"Modulation Voices", 3.0f},
                            {"Modulation Spread", 0.9f}})});
    // 2. A bell: odd partials that die away on their own envelopes faster than the
    //    fundamental, which rings on the main envelope.
    s.push_back({3 * kBar, Join(Levels({{1, 0.7f},
                                        {2, 0.35f},
                                        {3, 0.3f},
                                        {5, 0.25f},
                                        {7, 0.2f},
                                        {9, 0.16f},
                                        {11, 0.12f},
                                        {13, 0.08f}}),
                                {{"Volume", 0.7f},
                                 {"Attack", 0.003f},
                                 {"Decay", 2.5f},
                                 {"Sustain", 0.0f},
                                 {"Release", 1.2f},
                                 {"Env Select 3", 1.0f},
                                 {"Env Select 5", 1.0f},
                                 {"Env Select 7", 2.0f},
                                 {"Env Select 9", 2.0f},
                                 {"Env Select 11", 2.0f},
                                 {"Env Select 13", 2.0f},
                                 {"Env 1 Time A1", 0.002f},
                                 {"Env 1 Level A1", 1.0f},
                                 {"Env 1 Time A2", 0.4f},
                                 {"Env 1 Level A2", 0.4f},
                                 {"Env 1 Time A3", 1.2f},
                                 {"Env 1 Sustain", 0.0f},
                                 {"Env 2 Time A1", 0.001f},
                                 {"Env 2 Level A1", 1.0f},
                                 {"Env 2 Time A2", 0.15f},
                                 {"Env 2 Level A2", 0.2f},
                                 {"Env 2 Time A3", 0.5f},
                                 {"Env 2 Sustain", 0.0f},
                                 {"Modulation On/Off", 1.0f},
                                 {"Modulation Wet/Dry", 30.0f},
                                 {"Modulation Delay", 180.0f},
                                 {"Modulation Sweep", 1.0f},
                                 {"Modulation Feedback", 35.0f},
                                 {"Modulation Voices", 2.0f},
                                 {"Pitch Wheel Range", 2.0f}})});
    // 3. A pulse lead: every partial at 1/k, the phase bent towards a narrow pulse that an LFO
    //    and an envelope move, through a resonant low-pass opened by its envelope and velocity.
    s.push_back({6 * kBar, Join(Levels({{1, 1.0f},
                                        {2, 0.5f},
                                        {3, 0.33f},
                                        {4, 0.25f},
                                        {5, 0.2f},
                                        {6, 0.17f},
                                        {7, 0.14f},
                                        {8, 0.125f},
                                        {9, 0.11f},
                                        {10, 0.1f},
                                        {11, 0.09f},
                                        {12, 0.083f},
                                        {13, 0.077f},
                                        {14, 0.071f},
                                        {15, 0.067f},
                                        {16, 0.0625f}}),
                                {{"Volume", 0.68f},
                                 {"Attack", 0.005f},
                                 {"Decay", 0.3f},
                                 {"Sustain", 0.6f},
                                 {"Release", 0.25f},
                                 {"Pulse Width", 0.3f},
                                 {"PW LFO Speed", 0.35f},
                                 {"PW LFO Amount", 0.15f},
                                 {"PW Env Amount", 0.2f},
                                 {"PW Env Attack", 0.01f},
                                 {"PW Env Decay", 0.5f},
                                 {"PW Env Sustain", 0.2f},
                                 {"Filter Type", 1.0f},
                                 {"Filter Cutoff", 500.0f},
                                 {"Filter Q", 0.55f},
                                 {"Filter Env Amount", 2.5f},
                                 {"Filter Env Attack", 0.005f},
                                 {"Filter Env Decay", 0.35f},
                                 {"Filter Env Sustain", 0.25f},
                                 {"Filter Env Release", 0.3f},
                                 {"Velocity Filter Amount", 1.5f},
                                 {"Filter KB Track", 0.7f},
                                 {"Modulation On/Off", 1.0f},
                                 {"Modulation Wet/Dry", 25.0f},
                                 {"Modulation Delay", 250.0f},
                                 {"Modulation Sweep", 0.5f},
                                 {"Modulation Feedback", 30.0f},
                                 {"Modulation Voices", 2.0f},
                                 {"Pitch Wheel Range", 2.0f}})});
    // 4. An ensemble pad: odd and even partials on two slow tremolos at different rates, a
    //    band-pass that the filter LFO sweeps, and the effect at four voices with feedback.
    s.push_back({9 * kBar, Join(Levels({{1, 0.8f},
                                        {2, 0.3f},
                                        {3, 0.35f},
                                        {4, 0.15f},
                                        {5, 0.2f},
                                        {6, 0.1f},
                                        {7, 0.12f},
                                        {8, 0.06f}}),
                                {{"Volume", 0.5f},
                                 {"Attack", 0.9f},
                                 {"Decay", 1.0f},
                                 {"Sustain", 0.85f},
                                 {"Release", 1.6f},
                                 {"Env Select 2", 1.0f},
                                 {"Env Select 4", 1.0f},
                                 {"Env Select 6", 1.0f},
                                 {"Env Select 8", 1.0f},
                                 {"Env 1 Time A1", 1.5f},
                                 {"Env 1 Level A1", 1.0f},
                                 {"LFO 1 Speed", 4.5f},
                                 {"LFO 1 Offset", 0.7f},
                                 {"LFO 1 Amount", 0.3f},
                                 {"LFO 4 Speed", 3.1f},
                                 {"LFO 4 Offset", 0.8f},
                                 {"LFO 4 Amount", 0.2f},
                                 {"Filter Type", 0.6f},
                                 {"Filter Cutoff", 1800.0f},
                                 {"Filter Q", 0.3f},
                                 {"Filter LFO Speed", 0.25f},
                                 {"Filter LFO Amount", 1.2f},
                                 {"Modulation On/Off", 1.0f},
                                 {"Modulation Wet/Dry", 55.0f},
                                 {"Modulation Delay", 22.0f},
                                 {"Modulation Sweep", 6.0f},
                                 {"Modulation Rate", 0.3f},
                                 {"Modulation Feedback", 40.0f},
                                 {"Modulation Voices", 4.0f},
                                 {"Modulation Spread", 1.0f},
                                 {"Pitch Wheel Range", 2.0f}})});
    return s;
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
    // Each section sets every parameter that any section uses: its own value, or the default.
    const std::vector<Section> sections = Sections();
    std::set<std::uint32_t> used;
    for (const Section& section : sections)
        for (const Setting& s : section.settings)
        {
            const int id = FindParamByName(s.name);
            if (id < 0)
            {
                error = std::string("the demo uses an unknown parameter \"") + s.name + "\"";
                return false;
            }
            used.insert(static_cast<std::uint32_t>(id));
        }
    for (const Section& section : sections)
    {
        const std::uint64_t frame = RenderScore::FrameAt(section.start, rate);
        for (std::uint32_t id : used)
        {
            float value = astParamInfos[id].defaultValue;
            for (const Setting& s : section.settings)
                if (FindParamByName(s.name) == static_cast<int>(id))
                    value = s.value;
            score.AddParameter(frame, id, value);
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

    // 2. Bells (bars 3-5): a low fifth held by the pedal, a pentatonic melody, the last note
    //    bent up a whole tone by the wheel and back.
    const double s2 = 3 * kBar;
    w.Pedal(s2, true);
    w.Chord(s2, 0.5 * b, {36, 43}, 80);
    const int bellMelody[] = {72, 76, 79, 84, 81, 79, 76, 79, 72, 74, 76, 79};
    for (int i = 0; i < 12; ++i)
        w.Note(s2 + (i * 0.75) * b, 0.6 * b, bellMelody[i], 100 - 3 * (i % 4));
    w.Chord(s2 + 2 * kBar - 2 * b, 0.5 * b, {41, 48}, 75);
    w.Note(s2 + 2 * kBar + 0.5 * b, 2.5 * b, 84, 105);
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
