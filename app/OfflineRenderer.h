// Drives one initialized instance the way a host does, without a clock: the score's MIDI goes
// through the shared driver at its offset inside the block, parameter changes through
// the notifying parameter call and factory presets through the preset call between blocks, and
// the audio is pulled with DoRender. Blocks are cut where the queue would overflow, where a
// parameter changes or a preset loads, and where a system-exclusive block is due (those carry
// no frame offset), so the events land on their exact frames whatever the block size. Main
// thread (it is also the render thread here).
#pragma once

#include "RenderScore.h"

#include "platform/HostStatus.h"
#include "plugins/driver/PluginInstance.h"

#include <array>
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

class OfflineRenderer
{
public:
    // Receives each rendered stretch of audio (left, right, frames). Returning false stops the
    // render.
    using Sink = std::function<bool(const float* left, const float* right, std::uint32_t frames)>;

    // blockFrames: the longest block handed to the instance (at least 1).
    OfflineRenderer(TW::PluginInstance& instance, std::uint32_t blockFrames);

    // Renders frames 0 to totalFrames − 1. Events at or after totalFrames are not delivered.
    // False with a message in error when the instance refuses something or the sink stops.
    bool Render(const RenderScore& score, std::uint64_t totalFrames, const Sink& sink,
                std::string& error);

    // Blocks handed to the instance by the last Render.
    std::uint64_t BlocksRendered() const noexcept { return m_blocks; }

private:
    // Hands the block's messages and frames to the driver.
    bool RenderBlock(std::uint32_t frames, std::string& error);

    TW::PluginInstance& m_instance;
    std::uint32_t m_blockFrames;
    std::vector<float> m_left, m_right;
    // The block's messages; short ones point into m_bytes.
    std::vector<TW::PluginMidiMessage> m_messages;
    std::vector<std::array<std::uint8_t, 3>> m_bytes;
    std::uint64_t m_blocks = 0;
};
