// The per-sample voice loop, in one scalar reference version and instruction-set versions that
// are chosen once at run time. A kernel renders one segment of one note: a run of samples in
// which no envelope changes stage.
#pragma once

#include "Note.h"

namespace Tarn
{

// Envelope order inside kernels: main, partial 1, 2, 3, pulse width, filter.
constexpr int kNumVoiceEnvelopes = 6;

// Values that are constant for a whole render slice, shared by every note.
struct VoiceSliceConstants
{
    alignas(32) float partialGain[16]; // A(k) = level(k) x Volume^3, partial k+1 at index k
    alignas(32) int envChoice[16];     // 0 none, 1..3 partial envelope
    // partialGain split by envelope choice: groupGain[n][k] is A(k) when envChoice[k] == n
    alignas(32) float groupGain[4][16];
    alignas(16) float lfoOffset[4]; // lanes LFO 4, LFO 1, LFO 2, LFO 3
    alignas(16) float lfoAmount[4];
    float pitchFactor; // tuning factor x pitch-wheel factor
    float pwLfoAmount;
    float pwEnvAmount;
    float pwLfoCoeff;                // 2 sin(pi f / R) of the pulse-width LFO
    float aThru, aLow, aBand, aHigh; // filter-type weights
};

// Renders `frames` samples of `note`, adding y x main level into out[0..frames). Each envelope
// e steps with the slope and curve of stages[e] (the stage noted at the segment start, even if
// the envelope has already moved on); the advanced slope is stored back into stages[e] and the
// level into the envelope. Render thread.
using VoiceKernel = void (*)(Note& note, const VoiceSliceConstants& c,
                             Note::Stage* const stages[kNumVoiceEnvelopes], float* out,
                             unsigned frames) noexcept;

void RenderVoiceScalar(Note& note, const VoiceSliceConstants& c,
                       Note::Stage* const stages[kNumVoiceEnvelopes], float* out,
                       unsigned frames) noexcept;
void RenderVoiceSse2(Note& note, const VoiceSliceConstants& c,
                     Note::Stage* const stages[kNumVoiceEnvelopes], float* out,
                     unsigned frames) noexcept;
void RenderVoiceAvx2(Note& note, const VoiceSliceConstants& c,
                     Note::Stage* const stages[kNumVoiceEnvelopes], float* out,
                     unsigned frames) noexcept;

} // namespace Tarn
