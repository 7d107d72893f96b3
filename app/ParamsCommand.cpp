// velluna params: the parameter table with the current values of an instance.
#include "Commands.h"
#include "InstanceOptions.h"

#include "core/ParameterTable.h"
#include "core/TarnAdditiveSynth.h"
#include "platform/ComponentFactory.h"

#include <cstdio>

using namespace Tarn;

namespace
{

const char* KindName(ParamKind kind)
{
    switch (kind)
    {
    case ParamKind::Live:
        return "live";
    case ParamKind::Reserved:
        return "reserved";
    default:
        return "invalid";
    }
}

} // namespace

int RunParamsCommand(int argc, char** argv)
{
    InstanceOptions options;
    for (int i = 0; i < argc; ++i)
    {
        bool consumed = false;
        std::string error;
        if (!ParseInstanceOption(argc, argv, i, options, consumed, error))
        {
            std::fprintf(stderr, "velluna params: %s\n", error.c_str());
            return 2;
        }
        if (!consumed)
        {
            std::fprintf(stderr, "velluna params: unknown option \"%s\"\n", argv[i]);
            return 2;
        }
    }

    std::unique_ptr<TarnAdditiveSynth> synth;
    if (TW::Status status = TW::OpenComponent(synth); status != TW::kNoErr)
    {
        std::fprintf(stderr, "velluna params: cannot open an instance (status %d)\n", status);
        return 1;
    }
    std::string error;
    if (!ApplyInstanceOptions(*synth, options, error))
    {
        std::fprintf(stderr, "velluna params: %s\n", error.c_str());
        TW::CloseComponent(synth);
        return 2;
    }
    for (std::uint32_t id = 0; id < kNumParams; ++id)
    {
        const ParamInfo& row = astParamInfos[id];
        std::printf("%u\t%s\t%u\t%.9g\t%.9g\t%.9g\t%s\t", id, row.name, row.unit,
                    static_cast<double>(row.minValue), static_cast<double>(row.maxValue),
                    static_cast<double>(row.defaultValue), KindName(GetParamKind(id)));
        float value = 0.0f;
        if (synth->Globals().GetValue(id, value) == TW::kNoErr)
            std::printf("%.9g", static_cast<double>(value));
        std::printf("\n");
    }
    TW::CloseComponent(synth);
    return std::fflush(stdout) == 0 ? 0 : 1;
}
