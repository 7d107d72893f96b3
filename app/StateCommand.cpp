// velluna state save FILE [--preset N|NAME] [--state FILE] [--set ID|NAME=VALUE]...:
// writes an instance's saved state as a property-list file.
#include "Commands.h"
#include "InstanceOptions.h"
#include "core/OutputFile.h"

#include "core/PlistFile.h"
#include "core/TarnAdditiveSynth.h"
#include "platform/ComponentFactory.h"

#include <cstdio>
#include <cstring>

namespace
{

int Save(int argc, char** argv)
{
    std::string file;
    InstanceOptions options;
    for (int i = 0; i < argc; ++i)
    {
        bool consumed = false;
        std::string error;
        if (!ParseInstanceOption(argc, argv, i, options, consumed, error))
        {
            std::fprintf(stderr, "velluna state save: %s\n", error.c_str());
            return 2;
        }
        if (consumed)
            continue;
        if (argv[i][0] == '-' || !file.empty())
        {
            std::fprintf(stderr, "velluna state save: unexpected argument \"%s\"\n", argv[i]);
            return 2;
        }
        file = argv[i];
    }
    if (file.empty())
    {
        std::fprintf(stderr, "velluna state save: needs the FILE to write\n");
        return 2;
    }

    if (!options.stateFile.empty() && TW::SameExistingFile(options.stateFile, file))
    {
        std::fprintf(stderr,
                     "velluna state save: \"%s\" is also the --state input: it is not "
                     "overwritten\n",
                     file.c_str());
        return 2;
    }

    std::unique_ptr<TarnAdditiveSynth> synth;
    if (TW::Status status = TW::OpenComponent(synth); status != TW::kNoErr)
    {
        std::fprintf(stderr, "velluna state save: cannot open an instance (status %d)\n", status);
        return 1;
    }
    std::string error;
    int result = 0;
    TW::ClassInfoDictionary state;
    if (!ApplyInstanceOptions(*synth, options, error))
    {
        std::fprintf(stderr, "velluna state save: %s\n", error.c_str());
        result = 2;
    }
    else if (TW::Status status = synth->SaveState(state); status != TW::kNoErr)
    {
        std::fprintf(stderr, "velluna state save: cannot save the state (status %d)\n", status);
        result = 1;
    }
    else if (!Tarn::WritePlistFile(file, state, error))
    {
        std::fprintf(stderr, "velluna state save: %s\n", error.c_str());
        result = 1;
    }
    TW::CloseComponent(synth);
    return result;
}

} // namespace

int RunStateCommand(int argc, char** argv)
{
    if (argc >= 1 && !std::strcmp(argv[0], "save"))
        return Save(argc - 1, argv + 1);
    std::fprintf(stderr, "velluna state: expected \"save FILE [--preset N|NAME] [--state FILE] "
                         "[--set ID|NAME=VALUE]...\"\n");
    return 2;
}
