// The voice loop over a group of notes, one note per vector lane, written once for any vector
// traits S (lane count S::kWidth, vector type S::V and its operations). Each instruction-set file
// includes it inside its own anonymous namespace, so every copy is compiled for its own
// instruction set and none is shared between files.
//
// Per sample the order is that of the scalar loop, except for three things that change float
// rounding and nothing else: the partial sum is grouped by envelope choice (sum of A(k) b(k) s(k)
// per group, b(k) the note's band-limit gain, times G[group]); the notes' outputs are summed
// across lanes before being added to the output; and the harmonics of the bent phase come from
// four polynomial sines (sin t, cos t, cos 2t, cos 4t) and the angle-addition (Chebyshev)
// recurrence sin((k + 4) t) = 2 cos 4t sin(k t) - sin((k - 4) t), in four interleaved chains of
// at most four steps. Started from accurate cosines of 2t and 4t and kept that short, the
// recurrence stays within 1e-5 of sin(k t) for every k up to 16 and every t (measured over two
// million phases), against 3e-6 for one polynomial per harmonic; it is reseeded every sample,
// so nothing accumulates over a long note.

template <class S> struct VoiceGroupLoop
{
    using V = typename S::V;
    using M = typename S::M;
    static constexpr int W = S::kWidth;

    // Lane v of the result is f(note v); lanes without a note are 0.
    template <class F> static V Gather(Note* const* notes, int count, F f) noexcept
    {
        alignas(64) float lanes[W];
        for (int v = 0; v < W; ++v)
            lanes[v] = v < count ? f(*notes[v], v) : 0.0f;
        return S::Load(lanes);
    }

    template <class F> static void Scatter(V x, Note* const* notes, int count, F f) noexcept
    {
        alignas(64) float lanes[W];
        S::Store(lanes, x);
        for (int v = 0; v < count; ++v)
            f(*notes[v], v, lanes[v]);
    }

    // sin(2 pi x) by the polynomial sine: the cycle folded around the nearest integer to u = -r
    // (r the scalar sine's folded phase), and the polynomial in u with negated coefficients.
    static V Sine(V x) noexcept
    {
        const V u = S::Fold(x);
        const V u2 = S::Mul(u, u);
        V q = S::MulAdd(u2, S::Set1(-kPolySineC9), S::Set1(-kPolySineC7));
        q = S::MulAdd(u2, q, S::Set1(-kPolySineC5));
        q = S::MulAdd(u2, q, S::Set1(-kPolySineC3));
        q = S::MulAdd(u2, q, S::Set1(-kPolySineC1));
        return S::Mul(u, q);
    }

    static float& Level(Note& n, int e) noexcept
    {
        switch (e)
        {
        case 0:
            return n.m_ampEnv.m_level;
        case 4:
            return n.m_pwEnv.m_level;
        case 5:
            return n.m_filterEnv.m_level;
        default:
            return n.m_partialEnv[e - 1].m_level;
        }
    }

    static void Render(Note* const* notes, int count, const VoiceSliceConstants& c,
                       Note::Stage* const (*stages)[kNumVoiceEnvelopes], float* out,
                       unsigned frames) noexcept
    {
        V level[kNumVoiceEnvelopes], slope[kNumVoiceEnvelopes], curve[kNumVoiceEnvelopes];
        for (int e = 0; e < kNumVoiceEnvelopes; ++e)
        {
            level[e] = Gather(notes, count, [e](Note& n, int) { return Level(n, e); });
            slope[e] = Gather(notes, count, [&](Note&, int v) { return stages[v][e]->m_slope; });
            curve[e] = Gather(notes, count, [&](Note&, int v) { return stages[v][e]->m_curve; });
        }
        // LFO n (lane order of the note's bank: LFO 4, 1, 2, 3) as one vector across notes.
        V lfoSin[4], lfoCos[4], lfoCoeff[4], lfoOffset[4], lfoAmount[4];
        for (int j = 0; j < 4; ++j)
        {
            lfoSin[j] = Gather(notes, count, [j](Note& n, int) { return n.m_lfoSin[j]; });
            lfoCos[j] = Gather(notes, count, [j](Note& n, int) { return n.m_lfoCos[j]; });
            lfoCoeff[j] = Gather(notes, count, [j](Note& n, int) { return n.m_lfoCoeff[j]; });
            lfoOffset[j] = S::Set1(c.lfoOffset[j]);
            lfoAmount[j] = S::Set1(c.lfoAmount[j]);
        }
        V phase = Gather(notes, count, [](Note& n, int) { return n.m_phase; });
        const float pitchFactor = c.pitchFactor;
        const V inc = Gather(notes, count,
                             [pitchFactor](Note& n, int) { return n.m_phaseInc * pitchFactor; });
        V pwSin = Gather(notes, count, [](Note& n, int) { return n.m_pwLfoSin; });
        V pwCos = Gather(notes, count, [](Note& n, int) { return n.m_pwLfoCos; });
        V low = Gather(notes, count, [](Note& n, int) { return n.m_filterLow; });
        V high = Gather(notes, count, [](Note& n, int) { return n.m_filterHigh; });
        V band = Gather(notes, count, [](Note& n, int) { return n.m_filterBand; });
        const V pwConst = Gather(notes, count, [](Note& n, int) { return n.m_pwConst; });
        const V filterF = Gather(notes, count, [](Note& n, int) { return n.m_filterF; });
        const V filterRange = Gather(notes, count, [](Note& n, int) { return n.m_filterFRange; });
        const V damping = Gather(notes, count, [](Note& n, int) { return n.m_filterDamping; });

        const V pwLfoAmount = S::Set1(c.pwLfoAmount), pwEnvAmount = S::Set1(c.pwEnvAmount);
        const V pwLfoCoeff = S::Set1(c.pwLfoCoeff);
        const V aThru = S::Set1(c.aThru), aLow = S::Set1(c.aLow), aBand = S::Set1(c.aBand),
                aHigh = S::Set1(c.aHigh);
        const V zero = S::Set1(0.0f), half = S::Set1(0.5f), one = S::Set1(1.0f);

        // The sounding partials, grouped by envelope choice: harmonic number and the weight
        // A(k) b(k) per lane. Partials at level 0 or above every note's band limit are left out,
        // and the recurrence runs only up to the highest harmonic that remains.
        int top = 0;
        for (int v = 0; v < count; ++v)
            top = notes[v]->m_bandTop > top ? notes[v]->m_bandTop : top;
        // s[k] holds sin(k t) during a sample; source[p] points at the harmonic of term p.
        V s[17];
        const V* source[16];
        int groupEnd[4], harmonics = 0;
        V weight[16];
        for (int n = 0, p = 0; n < 4; ++n)
        {
            for (int j = 0; j < c.groupSize[n]; ++j)
            {
                const int k = c.groupPartials[n][j];
                if (k >= top)
                    continue;
                source[p] = &s[k + 1];
                harmonics = k + 1 > harmonics ? k + 1 : harmonics;
                const float a = c.partialGain[k];
                weight[p++] =
                    Gather(notes, count, [k, a](Note& n, int) { return a * n.m_bandGain[k]; });
            }
            groupEnd[n] = p;
        }
        const V two = S::Set1(2.0f), quarter = S::Set1(0.25f);

        for (unsigned i = 0; i < frames; ++i)
        {
            for (int e = 0; e < kNumVoiceEnvelopes; ++e)
                level[e] = S::Add(level[e], slope[e]);

            const V w =
                S::Add(S::Add(pwConst, S::Mul(pwLfoAmount, pwSin)), S::Mul(pwEnvAmount, level[4]));
            // Before w (or w = 0): 0.5 + 0.5 (phi - w) / (1 - w); else 0.5 phi / w. The
            // operands are selected first, so the unselected division is never computed.
            const M upper = S::Or(S::CmpLt(w, phase), S::CmpEq(w, zero));
            const V num = S::Mul(half, S::Select(upper, S::Sub(phase, w), phase));
            const V den = S::Select(upper, S::Sub(one, w), w);
            const V q = S::Div(num, den);
            const V bent = S::Select(upper, S::Add(half, q), q);

            phase = S::Add(phase, inc);
            phase = S::Sub(phase, S::Trunc(phase));

            // G[0] = LFO 4; G[n] = LFO n x partial envelope n.
            V g[4];
            g[0] = S::MulAdd(lfoAmount[0], lfoSin[0], lfoOffset[0]);
            for (int n = 1; n < 4; ++n)
                g[n] = S::Mul(S::MulAdd(lfoAmount[n], lfoSin[n], lfoOffset[n]), level[n]);

            // sin(k t), t = 2 pi bent, for k = 1 .. harmonics (see the top of this file).
            if (harmonics > 0)
            {
                s[1] = Sine(bent);
                if (harmonics > 1)
                    s[2] = S::Mul(S::Add(s[1], s[1]), Sine(S::Add(bent, quarter)));
                if (harmonics > 2)
                {
                    const V c2 = Sine(S::Add(S::Add(bent, bent), quarter));
                    s[3] = S::MulAdd(S::Add(c2, c2), s[1], s[1]);
                    s[4] = S::Mul(S::Add(s[2], s[2]), c2);
                }
                if (harmonics > 4)
                {
                    const V bent4 = S::Mul(S::Set1(4.0f), bent);
                    const V t = S::Mul(two, Sine(S::Add(bent4, quarter)));
                    s[5] = S::MulAdd(t, s[1], s[3]);
                    s[6] = S::MulAdd(t, s[2], s[2]);
                    s[7] = S::MulAdd(t, s[3], s[1]);
                    s[8] = S::Mul(t, s[4]);
                    for (int k = 9; k <= harmonics; ++k)
                        s[k] = S::MulSub(t, s[k - 4], s[k - 8]);
                }
            }

            V x = zero;
            for (int n = 0, p = 0; n < 4; ++n)
            {
                const int end = groupEnd[n];
                if (p == end)
                    continue;
                V sum = S::Mul(weight[p], *source[p]);
                for (++p; p < end; ++p)
                    sum = S::MulAdd(weight[p], *source[p], sum);
                x = S::MulAdd(sum, g[n], x);
            }

            const V f = S::MulAdd(filterRange, level[5], filterF);
            low = S::MulAdd(f, band, low);
            high = S::Sub(S::Sub(x, low), S::Mul(damping, band));
            band = S::MulAdd(f, high, band);
            const V y = S::MulAdd(aHigh, high,
                                  S::MulAdd(aBand, band, S::MulAdd(aLow, low, S::Mul(aThru, x))));

            for (int e = 0; e < kNumVoiceEnvelopes; ++e)
                slope[e] = S::Add(slope[e], curve[e]);

            for (int j = 0; j < 4; ++j)
            {
                lfoSin[j] = S::MulAdd(lfoCoeff[j], lfoCos[j], lfoSin[j]);
                lfoCos[j] = S::Sub(lfoCos[j], S::Mul(lfoCoeff[j], lfoSin[j]));
            }
            pwSin = S::MulAdd(pwLfoCoeff, pwCos, pwSin);
            pwCos = S::Sub(pwCos, S::Mul(pwLfoCoeff, pwSin));

            out[i] += S::Sum(S::Mul(y, level[0]));
        }

        for (int e = 0; e < kNumVoiceEnvelopes; ++e)
        {
            Scatter(level[e], notes, count, [e](Note& n, int, float x) { Level(n, e) = x; });
            Scatter(slope[e], notes, count,
                    [&](Note&, int v, float x) { stages[v][e]->m_slope = x; });
        }
        for (int j = 0; j < 4; ++j)
        {
            Scatter(lfoSin[j], notes, count, [j](Note& n, int, float x) { n.m_lfoSin[j] = x; });
            Scatter(lfoCos[j], notes, count, [j](Note& n, int, float x) { n.m_lfoCos[j] = x; });
        }
        Scatter(phase, notes, count, [](Note& n, int, float x) { n.m_phase = x; });
        Scatter(pwSin, notes, count, [](Note& n, int, float x) { n.m_pwLfoSin = x; });
        Scatter(pwCos, notes, count, [](Note& n, int, float x) { n.m_pwLfoCos = x; });
        Scatter(low, notes, count, [](Note& n, int, float x) { n.m_filterLow = x; });
        Scatter(high, notes, count, [](Note& n, int, float x) { n.m_filterHigh = x; });
        Scatter(band, notes, count, [](Note& n, int, float x) { n.m_filterBand = x; });
    }
};
