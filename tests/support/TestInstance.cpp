#include "TestInstance.h"

#include "platform/ComponentFactory.h"

#include <gtest/gtest.h>

namespace TarnTest
{

TestInstance::TestInstance(double sampleRate, bool initialize)
{
    const TW::Status status = TW::OpenComponent(m_synth);
    if (status != TW::kNoErr || !m_synth)
        throw std::runtime_error("cannot open an instance");
    m_synth->SetSampleRate(sampleRate);
    if (initialize && m_synth->DoInitialize() != TW::kNoErr)
        throw std::runtime_error("cannot initialize an instance");
}

TestInstance::~TestInstance()
{
    TW::CloseComponent(m_synth);
}

TW::Status TestInstance::Render(std::uint32_t frames, bool* silent)
{
    m_blockL.assign(frames, 0.0f);
    m_blockR.assign(frames, 0.0f);
    TW::AudioBufferList buffers;
    buffers.numberBuffers = 2;
    buffers.buffers[0] = {1, static_cast<std::uint32_t>(frames * sizeof(float)), m_blockL.data()};
    buffers.buffers[1] = {1, static_cast<std::uint32_t>(frames * sizeof(float)), m_blockR.data()};
    std::uint32_t flags = 0;
    TW::AudioTimeStamp time;
    time.sampleTime = m_sampleTime;
    const TW::Status status = m_synth->DoRender(flags, time, frames, buffers);
    if (silent)
        *silent = (flags & TW::kRenderOutputIsSilence) != 0;
    if (status == TW::kNoErr)
    {
        m_left.insert(m_left.end(), m_blockL.begin(), m_blockL.end());
        m_right.insert(m_right.end(), m_blockR.begin(), m_blockR.end());
        m_sampleTime += frames;
    }
    return status;
}

void TestInstance::RenderFrames(std::uint64_t frames, std::uint32_t blockSize)
{
    while (frames > 0)
    {
        const auto n = static_cast<std::uint32_t>(std::min<std::uint64_t>(frames, blockSize));
        ASSERT_EQ(Render(n), TW::kNoErr);
        frames -= n;
    }
}

TW::Status TestInstance::Set(std::uint32_t id, float value)
{
    return TW::AUParameterSet(nullptr, nullptr, {m_synth.get(), id, TW::Scope::Global, 0}, value,
                              0);
}

void TestInstance::ClearAudio()
{
    m_left.clear();
    m_right.clear();
}

} // namespace TarnTest
