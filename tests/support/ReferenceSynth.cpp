#include "ReferenceSynth.h"

#include "core/ParameterTable.h"

#include <algorithm>
#include <cmath>
#include <stdexcept>

namespace TarnTest
{

namespace
{

constexpr double kPi = 3.14159265358979323846;

// The value as the instrument stores it.
double F(double x)
{
    return static_cast<double>(static_cast<float>(x));
}

std::string Nth(const char* prefix, int n, const char* suffix)
{
    return std::string(prefix) + std::to_string(n) + suffix;
}

} // namespace

ReferenceSynth::ReferenceSynth(const TW::ParameterElement& params, double sampleRate)
    : m_params(params), m_rate(static_cast<float>(sampleRate)), m_ring(48016 * 4, 0.0f)
{
}

double ReferenceSynth::P(const std::string& name) const
{
    auto it = m_ids.find(name);
    if (it == m_ids.end())
    {
        const int id = Tarn::FindParamByName(name.c_str());
        if (id < 0)
            throw std::runtime_error("no parameter " + name);
        it = m_ids.emplace(name, id).first;
    }
    // Read as the engine reads it: within the table's range, a non-finite value as the default.
    const Tarn::ParamInfo& row = Tarn::astParamInfos[it->second];
    const double v = m_params.Value(static_cast<std::uint32_t>(it->second));
    if (std::isnan(v))
        return row.defaultValue;
    return std::clamp(v, double(row.minValue), double(row.maxValue));
}

ReferenceSynth::Segment ReferenceSynth::Curve(double seconds, double shape, double from,
                                              double to) const
{
    // The length is a float sample count: its truncation decides the exact sample of the end.
    const float n = std::max(static_cast<float>(seconds) * static_cast<float>(m_rate), 1.0f);
    const double N = n;
    const double d = to - from;
    const double a = d >= 0 ? shape * d : (2 - shape) * d;
    const double c = d >= 0 ? (1 - shape) * d : (shape - 1) * d;
    Segment s;
    s.slope = F(a / N + c / (N * N));
    s.curve = F(2 * c / (N * N));
    s.count = static_cast<std::uint32_t>(n);
    s.hold = false;
    return s;
}

ReferenceSynth::Segment ReferenceSynth::Line(double total, double seconds) const
{
    const float n = std::max(static_cast<float>(seconds) * static_cast<float>(m_rate), 1.0f);
    Segment s;
    s.slope = F(total / n);
    s.curve = 0;
    s.count = static_cast<std::uint32_t>(n);
    s.hold = false;
    return s;
}

void ReferenceSynth::StartNote(int key, float velocity)
{
    const int sounding = NumNotes();
    for (int i = 0; i < sounding; ++i)
        if (m_voices[i].key == key)
            StopNote(key);
    if (std::find(m_held.begin(), m_held.end(), key) == m_held.end())
        m_held.push_back(key);

    std::size_t index = m_voices.size();
    if (m_voices.size() < 32)
        m_voices.emplace_back();
    else
    {
        double lowest = 1e6;
        for (std::size_t i = 0; i < m_voices.size(); ++i)
            if (m_voices[i].env[0].level < lowest)
            {
                lowest = m_voices[i].env[0].level;
                index = i;
            }
    }
    Voice& v = m_voices[index];
    v = Voice{};
    v.key = key;
    v.velocity = velocity;
    auto factor = [&](const char* amount)
    {
        const double a = P(amount);
        return F(1 - std::max(a, 0.0) + a * velocity);
    };

    const double g = factor("Velocity Env Amount");
    v.env[0].stage = 4;
    v.env[0].sustainStage = 2;
    v.env[0].sustainScale = g;
    v.env[0].seg[4] = Curve(P("Attack"), P("Attack Shape"), 0, g);
    v.env[0].seg[3] = Curve(P("Decay"), P("Decay Shape"), g, F(P("Sustain") * g));

    for (int n = 1; n <= 3; ++n)
    {
        Env& e = v.env[n];
        e.stage = 6;
        e.sustainStage = 3;
        const double a1 = P(Nth("Env ", n, " Level A1")), a2 = P(Nth("Env ", n, " Level A2"));
        e.seg[6] = Curve(P(Nth("Env ", n, " Time A1")), P(Nth("Env ", n, " Shape A1")), 0, a1);
        e.seg[5] = Curve(P(Nth("Env ", n, " Time A2")), P(Nth("Env ", n, " Shape A2")), a1, a2);
        e.seg[4] = Curve(P(Nth("Env ", n, " Time A3")), P(Nth("Env ", n, " Shape A3")), a2,
                         P(Nth("Env ", n, " Sustain")));
    }

    auto straight =
        [&](Env& e, double scale, const char* attack, const char* decay, const char* sustain)
    {
        e.stage = 4;
        e.sustainStage = 2;
        e.sustainScale = scale;
        e.seg[4] = Line(scale, P(attack));
        e.seg[3] = Line(F(P(sustain) * scale) - scale, P(decay));
    };
    straight(v.env[4], factor("Velocity PW Env Amount"), "PW Env Attack", "PW Env Decay",
             "PW Env Sustain");
    straight(v.env[5], factor("Velocity Filter Env Amount"), "Filter Env Attack",
             "Filter Env Decay", "Filter Env Sustain");

    v.phaseInc = F(440.0 * std::pow(2.0, (key - 69) / 12.0) / m_rate);
    for (int j = 0; j < 4; ++j)
        v.lfoCos[j] = 1;
}

void ReferenceSynth::Release(Voice& v)
{
    v.env[0].stage = 1;
    v.env[0].seg[1] = Curve(P("Release"), P("Release Shape"), v.env[0].level, 0);
    for (int n = 1; n <= 3; ++n)
    {
        Env& e = v.env[n];
        e.stage = 2;
        const double sustain = P(Nth("Env ", n, " Sustain"));
        const double r1 = P(Nth("Env ", n, " Level R1"));
        const double j = (sustain > 0.001 && sustain > e.level) ? F(e.level / sustain) : 1.0;
        e.seg[2] = Curve(P(Nth("Env ", n, " Time R1")), P(Nth("Env ", n, " Shape R1")),
                         F(sustain * j), F(r1 * j));
        if (P(Nth("Env ", n, " Time R2")) == 5.0)
            e.seg[1] = Segment{};
        else
            e.seg[1] =
                Curve(P(Nth("Env ", n, " Time R2")), P(Nth("Env ", n, " Shape R2")), F(r1 * j), 0);
    }
    auto straight = [&](Env& e, const char* release)
    {
        e.stage = 1;
        e.seg[1] = P(release) == 5.0 ? Segment{} : Line(-e.level, P(release));
    };
    straight(v.env[4], "PW Env Release");
    straight(v.env[5], "Filter Env Release");
}

void ReferenceSynth::StopNote(int key)
{
    auto held = std::find(m_held.begin(), m_held.end(), key);
    if (held != m_held.end())
    {
        *held = m_held.back();
        m_held.pop_back();
    }
    if (m_pedal)
        return;
    for (Voice& v : m_voices)
        if (v.key == key && v.env[0].stage >= 2)
        {
            Release(v);
            return;
        }
}

void ReferenceSynth::AllNotesOff()
{
    for (std::size_t i = 0; i < m_voices.size(); ++i)
        StopNote(m_voices[i].key);
}

void ReferenceSynth::Sustain(bool down)
{
    if (down == m_pedal)
        return;
    m_pedal = down;
    if (down)
        return;
    for (std::size_t i = 0; i < m_voices.size(); ++i)
        if (std::find(m_held.begin(), m_held.end(), m_voices[i].key) == m_held.end())
            StopNote(m_voices[i].key);
}

void ReferenceSynth::AllSoundOff()
{
    m_voices.clear();
    m_held.clear();
    m_pedal = false;
}

void ReferenceSynth::SetPitchBend(float factor)
{
    m_pitchBend = factor;
}

bool ReferenceSynth::Render(float* left, float* right, unsigned frames)
{
    std::fill(left, left + frames, 0.0f);
    std::fill(right, right + frames, 0.0f);
    const bool effect = P("Modulation On/Off") != 0;
    if (m_voices.empty() && !effect)
    {
        m_activity = 0; // nothing sounds
        return true;
    }
    const double R = m_rate;

    // Slice constants.
    const double semitones = P("Coarse Tune") + P("Fine Tune") * 0.01;
    const double pitch = F(F(std::pow(2.0, semitones / 12)) * m_pitchBend);
    const double volume = P("Volume");
    double amp[17];
    int choice[17];
    for (int k = 1; k <= 16; ++k)
    {
        amp[k] = P(Nth("Level ", k, "")) * volume * volume * volume;
        choice[k] = static_cast<int>(P(Nth("Env Select ", k, "")));
    }
    const double pwLfoCoeff = F(2 * std::sin(kPi * P("PW LFO Speed") / R));
    m_filterLfoPhase = static_cast<float>(
        m_filterLfoPhase + static_cast<float>(frames * 2 * kPi * P("Filter LFO Speed") / R));
    while (m_filterLfoPhase >= static_cast<float>(2 * kPi))
        m_filterLfoPhase -= static_cast<float>(2 * kPi);
    const double l = std::sin(m_filterLfoPhase);
    const double t = P("Filter Type") + l * P("Filter LFO Type Amount");
    double thru = 0, lowW = 0, bandW = 0, highW = 0;
    if (t < 1)
        thru = 1 - t, lowW = t;
    else if (t < 2)
        lowW = 2 - t, bandW = t - 1;
    else if (t < 3)
        bandW = 3 - t, highW = t - 2;
    else
        thru = t - 3, highW = 4 - t;
    const double gLfo =
        std::pow(2.0, P("Filter LFO Amount") * l + std::log2(1 + 0.016 * P("Filter Cutoff")));
    const double w0 = kPi * std::max(62.5 * (gLfo - 1), 0.0) / R;
    const double q0 = std::min(2.0, 2 * (1 - std::pow(P("Filter Q"), 0.25)));

    for (Voice& v : m_voices)
    {
        v.octaves = ((v.key - 60) + semitones) / 12;
        const char* sustainName[6] = {"Sustain",       "Env 1 Sustain",  "Env 2 Sustain",
                                      "Env 3 Sustain", "PW Env Sustain", "Filter Env Sustain"};
        for (int e = 0; e < 6; ++e)
            if (v.env[e].stage == v.env[e].sustainStage)
                v.env[e].level = F(P(sustainName[e]) * v.env[e].sustainScale);
        for (int n = 1; n <= 4; ++n)
        {
            double m = P(Nth("LFO ", n, " Multiplier")), mult = 1;
            while (m > 0)
                mult *= 10, m -= 1;
            const double rate = P(Nth("LFO ", n, " Speed")) * mult *
                                std::pow(2.0, P(Nth("LFO ", n, " KB Track")) * v.octaves);
            v.lfoCoeff[n - 1] = F(2 * std::sin(2 * kPi * std::min(rate * 0.5 / R, 0.125)));
        }
        const double k =
            P("Filter KB Track") * v.octaves + P("Velocity Filter Amount") * v.velocity;
        const double f1 = 2 * std::sin(std::min(std::pow(2.0, k) * w0, kPi / 4));
        const double f2 =
            2 * std::sin(std::min(std::pow(2.0, k + P("Filter Env Amount")) * w0, kPi / 4));
        v.filterF = F(f1);
        v.filterRange = F(f2 - f1);
        double d = q0;
        if (f1 > 0)
            d = std::min(d, 2 / f1 - f1 / 2);
        if (f2 > 0)
            d = std::min(d, 2 / f2 - f2 / 2);
        v.damping = F(d);
    }

    const double pwConstBase = P("Pulse Width"), pwVel = P("Velocity PW Amount");
    const double pwLfoAmount = P("PW LFO Amount"), pwEnvAmount = P("PW Env Amount");
    double offset[5], amount[5];
    for (int n = 1; n <= 4; ++n)
    {
        offset[n] = P(Nth("LFO ", n, " Offset"));
        amount[n] = P(Nth("LFO ", n, " Amount"));
    }

    for (Voice& v : m_voices)
    {
        const double inc = F(v.phaseInc * pitch);
        // Partial k at or above half the sample rate is silent, with a linear fade over the
        // top tenth below it.
        double band[17];
        for (int k = 1; k <= 16; ++k)
            band[k] = std::clamp((0.5 - k * inc) / 0.05, 0.0, 1.0);
        for (unsigned i = 0; i < frames; ++i)
        {
            // Each envelope steps with its current stage; a stage that runs out hands over to
            // the next one from the following sample.
            Segment* seg[6];
            for (int e = 0; e < 6; ++e)
            {
                seg[e] = &v.env[e].seg[v.env[e].stage];
                v.env[e].level = F(v.env[e].level + seg[e]->slope);
            }
            const double w = pwConstBase + pwVel * v.velocity + pwLfoAmount * v.pwSin +
                             pwEnvAmount * v.env[4].level;
            const double phi = v.phase;
            const double bent =
                (w < phi || w == 0) ? 0.5 + 0.5 * (phi - w) / (1 - w) : 0.5 * phi / w;
            double s[17];
            for (int k = 1; k <= 16; ++k)
                s[k] = std::sin(2 * kPi * k * bent);
            v.phase = F(v.phase + inc);
            v.phase -= std::floor(v.phase);
            double G[4];
            G[0] = offset[4] + amount[4] * v.lfoSin[3];
            for (int n = 1; n <= 3; ++n)
                G[n] = (offset[n] + amount[n] * v.lfoSin[n - 1]) * v.env[n].level;
            double x = 0;
            for (int k = 1; k <= 16; ++k)
                x += s[k] * amp[k] * band[k] * G[choice[k]];
            const double f = v.filterF + v.filterRange * v.env[5].level;
            v.low = F(v.low + f * v.band);
            v.high = F(x - v.low - v.damping * v.band);
            v.band = F(v.band + f * v.high);
            const double y = thru * x + lowW * v.low + bandW * v.band + highW * v.high;
            for (int e = 0; e < 6; ++e)
            {
                seg[e]->slope = F(seg[e]->slope + seg[e]->curve);
                if (!seg[e]->hold && --seg[e]->count == 0)
                    v.env[e].stage = std::max(v.env[e].stage - 1, 0);
            }
            for (int n = 0; n < 4; ++n)
            {
                v.lfoSin[n] = F(v.lfoSin[n] + v.lfoCoeff[n] * v.lfoCos[n]);
                v.lfoCos[n] = F(v.lfoCos[n] - v.lfoCoeff[n] * v.lfoSin[n]);
            }
            v.pwSin = F(v.pwSin + pwLfoCoeff * v.pwCos);
            v.pwCos = F(v.pwCos - pwLfoCoeff * v.pwSin);
            left[i] = static_cast<float>(left[i] + y * v.env[0].level);
        }
    }
    std::copy(left, left + frames, right);
    if (effect)
        Effect(left, right, frames);

    for (std::size_t i = 0; i < m_voices.size();)
    {
        if (m_voices[i].env[0].stage == 0)
        {
            m_voices[i] = m_voices.back();
            m_voices.pop_back();
        }
        else
            ++i;
    }
    m_activity = 0;
    for (const Voice& v : m_voices)
        m_activity += v.env[0].level;
    return false;
}

void ReferenceSynth::Effect(float* left, float* right, unsigned frames)
{
    const double R = m_rate;
    const double wet = P("Modulation Wet/Dry") * 0.01;
    const double feedback = P("Modulation Feedback") * 0.0099;
    const double D = std::max(P("Modulation Delay") * 0.001 * R, 2.0);
    const double C = std::min(D + P("Modulation Sweep") * 0.001 * R * 0.5, 48000.0);
    // The longest delay C + H stays within the 48000-frame cap, so the ring never overflows.
    const double H = std::min(C - std::min(D, 48000.0), 48000.0 - C);
    const int L = static_cast<int>(C + H) + 8;
    const double inc = P("Modulation Rate") / R;
    const double k = 2 * std::sin(kPi * P("Modulation Rate") / R);
    const double shapeGain = P("Modulation Shape") * 10 + 1;
    const double spread = P("Modulation Spread");
    const int voices = static_cast<int>(P("Modulation Voices"));

    m_modPhase -= std::floor(m_modPhase);
    m_modWrite %= L;
    for (unsigned start = 0; start < frames; start += 128)
    {
        const unsigned n = std::min(128u, frames - start);
        m_modPhase = static_cast<float>(m_modPhase + n * inc);
        double s[4], c[4];
        for (int j = 0; j < 4; ++j)
        {
            const double p = m_modPhase + spread * 0.5 * j;
            s[j] = std::sin(2 * kPi * p);
            c[j] = std::cos(2 * kPi * p);
        }
        for (unsigned i = start; i < start + n; ++i)
        {
            double tap[4];
            for (int j = 0; j < 4; ++j)
            {
                const double value = std::clamp(shapeGain * s[j], -1.0, 1.0);
                double r = m_modWrite - (C + value * H);
                if (r < 0)
                    r += L;
                const int i0 = static_cast<int>(r) % L;
                const int i1 = (i0 + 1) % L;
                const double frac = r - std::floor(r);
                tap[j] = (1 - frac) * m_ring[4 * i0 + j] + frac * m_ring[4 * i1 + j];
            }
            const double in = left[i];
            double l, rr;
            switch (voices)
            {
            case 2:
                l = (1 - wet) * in + wet * tap[0];
                rr = (1 - wet) * in + wet * tap[1];
                break;
            case 3:
                l = (1 - wet) * in + wet / 2 * tap[0] + wet / 2 * tap[2];
                rr = (1 - wet) * in + wet / 2 * tap[1] + wet / 2 * tap[2];
                break;
            case 4:
                l = (1 - wet) * in + wet / 2 * tap[0] + wet / 2 * tap[2];
                rr = (1 - wet) * in + wet / 2 * tap[1] + wet / 2 * tap[3];
                break;
            default:
                l = rr = (1 - wet) * in + wet * tap[0];
                break;
            }
            left[i] = static_cast<float>(l);
            right[i] = static_cast<float>(rr);
            for (int j = 0; j < 4; ++j)
                m_ring[4 * m_modWrite + j] = static_cast<float>(in + feedback * tap[j]);
            m_modWrite = (m_modWrite + 1) % L;
            for (int j = 0; j < 4; ++j)
            {
                s[j] += k * c[j];
                c[j] -= k * s[j];
            }
        }
    }
}

} // namespace TarnTest
