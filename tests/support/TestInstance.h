// A host stand-in for tests: opens an instance, initializes it and renders blocks into buffers.
#pragma once

#include "core/TarnAdditiveSynth.h"

#include <memory>
#include <vector>

namespace TarnTest
{

class TestInstance
{
public:
    explicit TestInstance(double sampleRate = 48000.0, bool initialize = true);
    ~TestInstance();

    TarnAdditiveSynth& operator*() { return *m_synth; }
    TarnAdditiveSynth* operator->() { return m_synth.get(); }
    TarnAdditiveSynth* get() { return m_synth.get(); }

    // Renders one block through the host entry; returns the status. The block's audio is
    // appended to Left()/Right(). silent receives the output-is-silence flag.
    TW::Status Render(std::uint32_t frames, bool* silent = nullptr);
    // Renders frames in blocks of blockSize.
    void RenderFrames(std::uint64_t frames, std::uint32_t blockSize = 256);

    // Sets a parameter through the notifying parameter call.
    TW::Status Set(std::uint32_t id, float value);

    const std::vector<float>& Left() const { return m_left; }
    const std::vector<float>& Right() const { return m_right; }
    void ClearAudio();

private:
    std::unique_ptr<TarnAdditiveSynth> m_synth;
    std::vector<float> m_left, m_right;
    std::vector<float> m_blockL, m_blockR;
    double m_sampleTime = 0.0;
};

} // namespace TarnTest
