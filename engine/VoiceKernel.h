// The per-sample voice loop, in one scalar reference version and instruction-set versions that
// are chosen once at run time. A kernel renders one segment of a group of notes: a run of
// samples in which no envelope of any of them changes stage. The scalar kernel takes one note
// at a time; the vector kernels put one note in each vector lane (4 with SSE2, 8 with AVX2), so
// the per-note recurrences (envelopes, phase, bend, LFOs, filter) run side by side and each
// partial's sine is one vector evaluation for the whole group (16 with AVX-512).
#pragma once

#include "Note.h"

namespace Tarn
{

// Envelope order inside kernels: main, partial 1, 2, 3, pulse width, filter.
constexpr int kNumVoiceEnvelopes = 6;
constexpr int kMaxGroupNotes = 16;

// Values that are constant for a whole render slice, shared by every note.
struct VoiceSliceConstants
{
    alignas(32) float partialGain[16]; // A(k) = level(k) x Volume^3, partial k+1 at index k
    alignas(32) int envChoice[16];     // 0 none, 1..3 partial envelope
    // Partials with a non-zero gain, by envelope choice: groupPartials[n][0..groupSize[n])
    int groupSize[4];
    int groupPartials[4][16];
    alignas(16) float lfoOffset[4]; // lanes LFO 4, LFO 1, LFO 2, LFO 3
    alignas(16) float lfoAmount[4];
    float pitchFactor; // tuning factor x pitch-wheel factor
    float pwLfoAmount;
    float pwEnvAmount;
    float pwLfoCoeff;                // 2 sin(pi f / R) of the pulse-width LFO
    float aThru, aLow, aBand, aHigh; // filter-type weights
};

// Renders `frames` samples of notes[0..count), adding the sum of y x main level into
// out[0..frames). Envelope e of note v steps with the slope and curve of stages[v][e] (the
// stage noted at the segment start, even if the envelope has already moved on); the advanced
// slope is stored back into stages[v][e] and the level into the envelope. Render thread.
using VoiceKernel = void (*)(Note* const* notes, int count, const VoiceSliceConstants& c,
                             Note::Stage* const (*stages)[kNumVoiceEnvelopes], float* out,
                             unsigned frames) noexcept;

void RenderVoicesScalar(Note* const* notes, int count, const VoiceSliceConstants& c,
                        Note::Stage* const (*stages)[kNumVoiceEnvelopes], float* out,
                        unsigned frames) noexcept;
void RenderVoicesSse2(Note* const* notes, int count, const VoiceSliceConstants& c,
                      Note::Stage* const (*stages)[kNumVoiceEnvelopes], float* out,
                      unsigned frames) noexcept;
void RenderVoicesAvx2(Note* const* notes, int count, const VoiceSliceConstants& c,
                      Note::Stage* const (*stages)[kNumVoiceEnvelopes], float* out,
                      unsigned frames) noexcept;
void RenderVoicesAvx512(Note* const* notes, int count, const VoiceSliceConstants& c,
                        Note::Stage* const (*stages)[kNumVoiceEnvelopes], float* out,
                        unsigned frames) noexcept;

} // namespace Tarn
