// velluna presets: the factory presets, one "number<TAB>name" line each.
#include "Commands.h"

#include "core/FactoryPresets.h"

#include <cstdio>

int RunPresetsCommand(int argc, char** argv)
{
    if (argc > 0)
    {
        std::fprintf(stderr, "velluna presets: unexpected argument \"%s\"\n", argv[0]);
        return 2;
    }
    for (const TW::Preset& preset : Tarn::GetFactoryPresetList())
        std::printf("%d\t%s\n", preset.number, preset.name.c_str());
    return std::fflush(stdout) == 0 ? 0 : 1;
}
