#include "TarnSynthEngine.h"

#include <cstring>

namespace Tarn
{

TarnSynthEngine::TarnSynthEngine(const TW::ParameterElement&, DisplayBlock&) noexcept {}

void TarnSynthEngine::SetSampleRate(double) noexcept {}

double TarnSynthEngine::GetSampleRate() const noexcept
{
    return 44100.0;
}

void TarnSynthEngine::Reset() noexcept {}

int TarnSynthEngine::HandleStartNote(int, float) noexcept
{
    return 0;
}

int TarnSynthEngine::HandleStopNote(int) noexcept
{
    return 0;
}

void TarnSynthEngine::DoAllNotesOff() noexcept {}

void TarnSynthEngine::DoSustain(bool) noexcept {}

void TarnSynthEngine::AllSoundOff() noexcept {}

void TarnSynthEngine::SetPitchBend(float) noexcept {}

bool TarnSynthEngine::RenderPlayback(float** out, unsigned frames) noexcept
{
    std::memset(out[0], 0, frames * sizeof(float));
    std::memset(out[1], 0, frames * sizeof(float));
    return true;
}

int TarnSynthEngine::GetNumNotes() const noexcept
{
    return 0;
}

} // namespace Tarn
