// Writes the LV2 bundle's metadata (manifest.ttl, the plug-in's .ttl, presets.ttl) at build time,
// in place of the framework's generator program and under the target name its build step runs:
// loads the built plug-in, calls its lv2_generate_ttl as that program does, then
//  - keeps the output honest: the framework's writer of presets.ttl looks up state by preset
//    number, and for every preset past the first prints one line
//      assertion failure: "fData != nullptr && index < fData->stateCount" in file ...
//    although the file it writes is complete (every preset, every value). Exactly that line is
//    dropped; anything else on standard error is passed on.
//  - gives semitone and cent controls the standard LV2 units (unit:semitone12TET, unit:cent),
//    which the framework's writer does not know and would describe as custom units.
// Usage: lv2_ttl_generator /path/to/plugin.so (run in the bundle folder).
#include <dlfcn.h>
#include <unistd.h>

#include <cstdio>
#include <cstring>
#include <fstream>
#include <regex>
#include <sstream>
#include <string>

namespace
{

constexpr char kKnownAssertion[] =
    "assertion failure: \"fData != nullptr && index < fData->stateCount\" in file ";
constexpr char kRed[] = "\x1b[31m";

// Runs generate(basename) with standard error captured; passes on every line but the known one.
// Returns how many lines were dropped.
int GenerateQuietly(void (*generate)(const char*), const char* basename)
{
    std::fflush(stderr);
    std::FILE* capture = std::tmpfile();
    const int saved = ::dup(STDERR_FILENO);
    if (!capture || saved < 0 || ::dup2(::fileno(capture), STDERR_FILENO) < 0)
    {
        generate(basename); // cannot capture: print everything rather than lose anything
        return 0;
    }
    generate(basename);
    std::fflush(stderr);
    ::dup2(saved, STDERR_FILENO);
    ::close(saved);
    std::rewind(capture);
    int dropped = 0;
    char line[4096];
    while (std::fgets(line, sizeof line, capture))
    {
        // The framework colours its error lines red on terminals: skip that escape sequence.
        const char* text =
            std::strncmp(line, kRed, sizeof kRed - 1) == 0 ? line + sizeof kRed - 1 : line;
        if (std::strncmp(text, kKnownAssertion, sizeof kKnownAssertion - 1) == 0)
            ++dropped;
        else
            std::fputs(line, stderr);
    }
    std::fclose(capture);
    return dropped;
}

// Replaces the custom unit blocks for "st" and "ct" in file by the standard units.
bool UseStandardUnits(const std::string& file)
{
    std::ifstream in(file);
    if (!in)
        return false;
    std::stringstream text;
    text << in.rdbuf();
    std::string ttl = text.str();
    const struct
    {
        const char* symbol;
        const char* unit;
    } units[] = {{"st", "unit:semitone12TET"}, {"ct", "unit:cent"}};
    for (const auto& u : units)
    {
        const std::regex custom(std::string(R"(unit:unit \[\s*a unit:Unit ;\s*rdfs:label\s+")") +
                                u.symbol + R"(" ;\s*unit:symbol ")" + u.symbol +
                                R"(" ;\s*unit:render "[^"]*" ;\s*\] ;)");
        ttl = std::regex_replace(ttl, custom, std::string("unit:unit ") + u.unit + " ;");
    }
    std::ofstream out(file, std::ios::trunc);
    out << ttl;
    return static_cast<bool>(out);
}

} // namespace

int main(int argc, char* argv[])
{
    if (argc != 2)
    {
        std::printf("usage: %s /path/to/plugin.so\n", argv[0]);
        return 1;
    }
    void* handle = ::dlopen(argv[1], RTLD_LAZY | RTLD_LOCAL);
    if (!handle)
    {
        std::printf("Failed to open the plug-in: %s\n", ::dlerror());
        return 2;
    }
    auto generate = reinterpret_cast<void (*)(const char*)>(::dlsym(handle, "lv2_generate_ttl"));
    if (!generate)
    {
        std::printf("The plug-in has no lv2_generate_ttl\n");
        return 3;
    }
    std::string basename = argv[1];
    if (const auto slash = basename.rfind('/'); slash != std::string::npos)
        basename.erase(0, slash + 1);
    if (const auto dot = basename.rfind('.'); dot != std::string::npos)
        basename.erase(dot);
    std::printf("Writing the LV2 metadata of %s\n", basename.c_str());
    std::fflush(stdout);
    GenerateQuietly(generate, basename.c_str());
    if (!UseStandardUnits(basename + ".ttl"))
    {
        std::fprintf(stderr, "Cannot rewrite the units in %s.ttl\n", basename.c_str());
        return 4;
    }
    return 0;
}
