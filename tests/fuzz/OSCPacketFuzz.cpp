// Fuzzes the OSC server's packet handler with arbitrary UDP payloads up to the largest UDP
// datagram, against an instance whose MIDI scripts are loaded (the bundled ones and a user script
// of this fuzzer's), so "/exec" and "/call" reach script functions: no crash, no hang, no
// parameter made non-finite, and a packet that oscpack cannot read changes no parameter. Replies
// stay on this machine: every reply URL resolves to a local port that nobody reads.
#include "core/TarnAdditiveSynth.h"
#include "osc/OSCHelper.h"
#include "osc/OSCReply.h"
#include "scripting/VeLuLuaMIDIHelper.h"

#include <oscpack/osc/OscReceivedElements.h>

#include <array>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <unistd.h>
#include <memory>

namespace
{

class LocalOnlyOSCHelper : public TW::OSCHelper
{
public:
    using TW::OSCHelper::OSCHelper;
    IpEndpointName ResolveReplyURL(const char* url) override
    {
        char text[1024];
        std::strncpy(text, url, sizeof text - 1);
        text[sizeof text - 1] = '\0';
        int port = -1;
        ParseAddress(text, port);
        if (port <= 0 || port > 65535)
            throw TW::OSCError("no valid port");
        return IpEndpointName(0x7F000001UL, 9); // the discard port on loopback
    }
};

// Whether oscpack itself can read every element of the packet.
bool Readable(const char* data, int size, int depth = 0)
{
    try
    {
        osc::ReceivedPacket packet(data, size);
        if (!packet.IsBundle())
        {
            osc::ReceivedMessage message(packet);
            return true;
        }
        osc::ReceivedBundle bundle(packet);
        for (auto i = bundle.ElementsBegin(); i != bundle.ElementsEnd(); ++i)
        {
            if (i->IsBundle())
            {
                if (depth > 64 || !Readable(i->Contents(), i->Size(), depth + 1))
                    return false;
            }
            else
                osc::ReceivedMessage message(*i);
        }
        return true;
    }
    catch (const osc::Exception&)
    {
        return false;
    }
}

struct Fixture
{
    std::unique_ptr<TarnAdditiveSynth> synth = std::make_unique<TarnAdditiveSynth>();
    std::unique_ptr<LocalOnlyOSCHelper> osc;
    Fixture()
    {
        // The server's error lines would drown the fuzzer's own output.
        if (!std::freopen("/dev/null", "w", stdout))
            std::abort();
        // The user's scripts: functions for "/exec" and "/call" to reach.
        const std::string root = std::filesystem::temp_directory_path() /
                                 ("velluna-osc-fuzz-" + std::to_string(::getpid()));
        const std::string folder = root + "/Tarnwick/Velluna/Scripts";
        std::filesystem::create_directories(folder);
        ::setenv("XDG_DATA_HOME", root.c_str(), 1);
        ::setenv("VELLUNA_LOCAL_DATA_DIR", (root + "/none").c_str(), 1);
        std::ofstream(folder + "/fuzz.lua")
            << "function echo(...) return ... end\n"
               "function setcut(v) setParameter(139, v) end\n"
               "function sum(n) local s = 0 for i = 1, (tonumber(n) or 0) % 100000 do s = s + i "
               "end return s end\n"
               "function grow(s, n) return string.rep(tostring(s), (tonumber(n) or 0) % 1000) "
               "end\n";
        osc = std::make_unique<LocalOnlyOSCHelper>(synth.get(), &synth->LuaHelper());
        osc->Initialize();
        osc->AddParameterPath("/cut", {{139, 50.0f, 11950.0f}});
        osc->AddParameterPath("/pair", {{1, 0.0f, 1.0f}, {2, -1.0f, 2.0f}});
    }
};

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    static Fixture fixture;
    if (size > 65507) // the largest UDP payload
        return 0;
    const char* bytes = reinterpret_cast<const char*>(data);
    const int length = static_cast<int>(size);
    std::array<float, Tarn::kNumParams> before{};
    for (std::uint32_t id = 0; id < Tarn::kNumParams; ++id)
        fixture.synth->DispatchGetParameter(id, TW::Scope::Global, 0, before[id]);
    const IpEndpointName remote(0x7F000001UL, 9);
    fixture.osc->HandlePacket(bytes, length, remote);
    for (std::uint32_t id = 0; id < Tarn::kNumParams; ++id)
    {
        float after = 0.0f;
        fixture.synth->DispatchGetParameter(id, TW::Scope::Global, 0, after);
        if (!std::isfinite(after) && std::isfinite(before[id]))
        {
            std::fprintf(stderr, "parameter %u became %f\n", id, static_cast<double>(after));
            std::abort();
        }
        if (after != before[id] && !(after != after && before[id] != before[id]) &&
            !Readable(bytes, length))
        {
            std::fprintf(stderr, "malformed packet changed parameter %u\n", id);
            std::abort();
        }
    }
    return 0;
}
