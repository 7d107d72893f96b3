// velluna snapshot OUT.png [--preset N|NAME] [--state FILE] [--set ID|NAME=VALUE]...
//   [--skin NAME] [--scale 1|2] [--frames N] [--hover X,Y] [--note KEY]:
// renders the editor of a real instance off-screen, after N frames of its drawing loop, and
// writes the last frame as a PNG.
#include "Commands.h"
#include "InstanceOptions.h"

#include "core/TarnAdditiveSynth.h"
#include "editor/ALmanager.h"
#include "editor/PluginLuaGui.h"
#include "editor/SkinBundle.h"
#include "platform/ComponentFactory.h"
#include "platform/offscreen/OffscreenBridge.h"
#include "plugins/driver/PluginInstance.h"

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

namespace
{

constexpr double kSampleRate = 48000.0;
constexpr int kFramesPerSecond = 30; // the drawing loop's rate: audio rendered per frame
constexpr int kFrameTimeoutMs = 20000;
constexpr int kMaxFrames = 3000;

bool ParseInt(const char* text, long low, long high, long& value)
{
    errno = 0;
    char* end = nullptr;
    value = std::strtol(text, &end, 10);
    return errno == 0 && end != text && *end == '\0' && value >= low && value <= high;
}

bool ParsePoint(const char* text, float& x, float& y)
{
    char* end = nullptr;
    x = std::strtof(text, &end);
    if (end == text || *end != ',')
        return false;
    const char* second = end + 1;
    y = std::strtof(second, &end);
    return end != second && *end == '\0';
}

struct SnapshotOptions
{
    std::string out;
    InstanceOptions instance;
    std::string skin;
    long scale = 1;
    long frames = 30;
    bool hover = false;
    float hoverX = 0.0f, hoverY = 0.0f;
    long note = -1;
};

// False with the message in error for bad usage.
bool Parse(int argc, char** argv, SnapshotOptions& o, std::string& error)
{
    for (int i = 0; i < argc; ++i)
    {
        bool consumed = false;
        if (!ParseInstanceOption(argc, argv, i, o.instance, consumed, error))
            return false;
        if (consumed)
            continue;
        const std::string arg = argv[i];
        const bool hasValue = i + 1 < argc;
        if (arg == "--skin" || arg == "--scale" || arg == "--frames" || arg == "--hover" ||
            arg == "--note")
        {
            if (!hasValue)
            {
                error = arg + " needs a value";
                return false;
            }
            const char* value = argv[++i];
            if (arg == "--skin")
                o.skin = value;
            else if (arg == "--scale" && !ParseInt(value, 1, 2, o.scale))
                error = "--scale must be 1 or 2, got \"" + std::string(value) + "\"";
            else if (arg == "--frames" && !ParseInt(value, 1, kMaxFrames, o.frames))
                error = "--frames must be a whole number from 1 to " + std::to_string(kMaxFrames) +
                        ", got \"" + value + "\"";
            else if (arg == "--hover" && !(o.hover = ParsePoint(value, o.hoverX, o.hoverY)))
                error = "--hover needs X,Y in design pixels, got \"" + std::string(value) + "\"";
            else if (arg == "--note" && !ParseInt(value, 0, 127, o.note))
                error = "--note must be a key from 0 to 127, got \"" + std::string(value) + "\"";
            if (!error.empty())
                return false;
            continue;
        }
        if (arg[0] == '-' || !o.out.empty())
        {
            error = "unexpected argument \"" + arg + "\"";
            return false;
        }
        o.out = arg;
    }
    if (o.out.empty())
    {
        error = "needs the OUT.png file to write";
        return false;
    }
    return true;
}

// Renders about one frame's worth of audio, so that the activity the editor shows moves on; a
// pending message goes with the first block.
void RenderAudio(TW::PluginInstance& instance, const TW::PluginMidiMessage* pending)
{
    constexpr std::uint32_t kBlock = 256;
    std::vector<float> left(kBlock), right(kBlock);
    for (double done = 0.0; done < kSampleRate / kFramesPerSecond; done += kBlock)
    {
        instance.Process(pending, pending ? 1 : 0, left.data(), right.data(), kBlock);
        pending = nullptr;
    }
}

int Snapshot(const SnapshotOptions& o, TW::PluginInstance& instance)
{
    TarnAdditiveSynth& synth = instance.Synth();
    std::string error;
    if (!ApplyInstanceOptions(synth, o.instance, error))
    {
        std::fprintf(stderr, "velluna snapshot: %s\n", error.c_str());
        return 2;
    }
    std::string skinBundle;
    if (!o.skin.empty())
    {
        const char* folder = nullptr;
        std::uint32_t size = sizeof folder;
        if (synth.DispatchGetProperty(kPropertyPrimaryAppSupportName, TW::Scope::Global, 0, &folder,
                                      &size) != TW::kNoErr ||
            !folder)
            folder = "";
        skinBundle = TW::LocateSkinBundle(o.skin, folder);
        if (skinBundle.empty())
        {
            std::fprintf(stderr, "velluna snapshot: no skin named \"%s\" is installed\n",
                         o.skin.c_str());
            return 2;
        }
    }

    // One frame per nudge: the picture depends on the frame count, not on the machine's speed.
    TW::Manager::ms_enableConstantRedraw = false;
    TW::OffscreenBridge bridge(1, 1);
    bridge.SetDevicePixelScale(static_cast<int>(o.scale));
    int result = 0;
    {
        ALmanager manager(&synth, &bridge);
        TW::PluginLuaGui gui(&synth, skinBundle, nullptr, nullptr);
        gui.CreateUI(&manager);
        const int width = manager.GetViewWidth(), height = manager.GetViewHeight();
        if (width < 1 || height < 1)
        {
            std::fprintf(stderr, "velluna snapshot: the skin gives no window size\n");
            return 2;
        }
        bridge.SetFrameSize(width, height);
        manager.CreateControl(0, 0);
        manager.CreateRenderTask();
        if (!bridge.WaitForFrames(1, kFrameTimeoutMs))
        {
            std::fprintf(stderr, "velluna snapshot: no frame was drawn (no GL off-screen?)\n");
            manager.DestroyRenderTask();
            return 1;
        }
        const std::uint8_t noteOn[3] = {0x90, static_cast<std::uint8_t>(o.note), 100};
        const TW::PluginMidiMessage note{0, sizeof noteOn, noteOn};
        const TW::PluginMidiMessage* pending = o.note >= 0 ? &note : nullptr;
        if (o.hover)
            manager.HandleMouseMove(TW::Point{o.hoverX, o.hoverY});
        for (long frame = 1; frame < o.frames && result == 0; ++frame)
        {
            RenderAudio(instance, pending);
            pending = nullptr;
            const unsigned shown = bridge.GetFrameCount();
            manager.NudgeGUI();
            if (!bridge.WaitForFrames(shown + 1, kFrameTimeoutMs))
            {
                std::fprintf(stderr, "velluna snapshot: the drawing stopped after %ld frames\n",
                             frame);
                result = 1;
            }
        }
        manager.DestroyRenderTask();
        gui.LuaShutdown();
        if (result == 0 && !bridge.WriteLastFramePng(o.out, &error))
        {
            std::fprintf(stderr, "velluna snapshot: %s\n", error.c_str());
            result = 1;
        }
    }
    return result;
}

} // namespace

int RunSnapshotCommand(int argc, char** argv)
{
    SnapshotOptions options;
    std::string error;
    if (!Parse(argc, argv, options, error))
    {
        std::fprintf(stderr, "velluna snapshot: %s\n", error.c_str());
        return 2;
    }
    std::unique_ptr<TarnAdditiveSynth> synth;
    if (TW::Status status = TW::OpenComponent(synth); status != TW::kNoErr)
    {
        std::fprintf(stderr, "velluna snapshot: cannot open an instance (status %d)\n", status);
        return 1;
    }
    synth->SetSampleRate(kSampleRate);
    if (TW::Status status = synth->DoInitialize(); status != TW::kNoErr)
    {
        std::fprintf(stderr, "velluna snapshot: cannot initialize the instance (status %d)\n",
                     status);
        TW::CloseComponent(synth);
        return 1;
    }
    TW::PluginInstance instance(std::move(synth));
    return Snapshot(options, instance);
}
