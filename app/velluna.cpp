// velluna: the instrument without a host.
#include "Commands.h"

#include <cstdio>
#include <cstring>

namespace
{

struct Command
{
    const char* name;
    int (*run)(int argc, char** argv);
    const char* usage;
};

const Command kCommands[] = {
    {"params", RunParamsCommand,
     "params [--preset N|NAME] [--state FILE] [--set ID|NAME=VALUE]...  list the parameters"},
    {"render", RunRenderCommand,
     "render IN.mid|--demo OUT.wav [options]  render MIDI to a WAV file (render --help)"},
    {"play", RunPlayCommand,
     "play [--audio jack|null] [--record FILE.wav] [--seconds N] [instance options]  play in "
     "real time (play --help)"},
    {"presets", RunPresetsCommand, "presets  list the factory presets: number, tab, name"},
    {"state", RunStateCommand,
     "state save FILE [--preset N|NAME] [--state FILE] [--set ID|NAME=VALUE]...  write a state "
     "file"},
    {"smoke", RunSmokeCommand, "smoke  play one note for a second and report"},
    {"snapshot", RunSnapshotCommand,
     "snapshot OUT.png [--preset N|NAME] [--state FILE] [--set ID|NAME=VALUE]... [--skin NAME] "
     "[--scale 1|2] [--frames N] [--hover X,Y] [--note KEY]  draw the editor into a PNG"},
};

void PrintUsage(std::FILE* to)
{
    std::fprintf(to, "usage: velluna COMMAND [options]\ncommands:\n");
    for (const Command& c : kCommands)
        std::fprintf(to, "  velluna %s\n", c.usage);
}

} // namespace

int main(int argc, char** argv)
{
    if (argc < 2)
        return RunSmokeCommand(0, nullptr);
    if (!std::strcmp(argv[1], "--help") || !std::strcmp(argv[1], "-h") ||
        !std::strcmp(argv[1], "help"))
    {
        PrintUsage(stdout);
        return 0;
    }
    for (const Command& c : kCommands)
        if (!std::strcmp(argv[1], c.name))
            return c.run(argc - 2, argv + 2);
    std::fprintf(stderr, "velluna: unknown command \"%s\"\n", argv[1]);
    PrintUsage(stderr);
    return 2;
}
