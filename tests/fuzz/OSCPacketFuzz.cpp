// Fuzzes the OSC server's packet handler with arbitrary UDP payloads: no crash, no hang, and a
// packet that oscpack cannot read changes no parameter. Replies stay on this machine: every reply
// URL resolves to a local port that nobody reads. Script calls are left out (no scripting host):
// they would run whatever global the packet names.
#include "core/TarnAdditiveSynth.h"
#include "osc/OSCHelper.h"
#include "osc/OSCReply.h"

#include <oscpack/osc/OscReceivedElements.h>

#include <array>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
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
    std::unique_ptr<LocalOnlyOSCHelper> osc =
        std::make_unique<LocalOnlyOSCHelper>(synth.get(), nullptr);
    Fixture()
    {
        // The server's error lines would drown the fuzzer's own output.
        if (!std::freopen("/dev/null", "w", stdout))
            std::abort();
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
