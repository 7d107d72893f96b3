// The voice loop on eight-lane AVX2 vectors with fused multiply-add: eight notes side by side.
// This file alone is built with -mavx2 -mfma and is only called when the processor has both. It
// calls no inline function shared with other files (its vector helpers are compiled into this
// file alone; PolySine.h gives only constants), so no AVX instruction can leak into the baseline
// paths via the linker.
#include "PolySine.h"
#include "VoiceKernel.h"

#include <immintrin.h>

namespace Tarn
{

namespace
{

#include "VoiceLanesAvx.h"

#include "VoiceGroupLoop.h"

} // namespace

void RenderVoicesAvx2(Note* const* notes, int count, const VoiceSliceConstants& c,
                      Note::Stage* const (*stages)[kNumVoiceEnvelopes], float* out,
                      unsigned frames) noexcept
{
    if (count <= 4)
        VoiceGroupLoop<Avx128>::Render(notes, count, c, stages, out, frames);
    else
        VoiceGroupLoop<Avx256>::Render(notes, count, c, stages, out, frames);
}

} // namespace Tarn
