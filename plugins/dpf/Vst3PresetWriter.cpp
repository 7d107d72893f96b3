// Writes the factory presets as VST3 preset files ("<name>.vstpreset"), one per program, at build
// time. Hosts list the program parameter only once an instance exists; their preset browsers and
// plug-in lists read preset files from the standard folders (~/.vst3/presets/Tarnwick/Velluna,
// /usr/share/vst3/presets/..., /usr/local/share/vst3/presets/...), where the install puts these.
//
// A file holds the header ("VST3", version 1, the component's class id as 32 hex digits, where the
// chunk list starts), the component state chunk and the chunk list. The state is the framework's
// key/value stream naming the program and nothing else: loading it loads that factory preset and
// leaves the instance's other state (script, skin) as it is.
// Usage: vst3_preset_writer /path/to/Velluna.so OUTPUT_FOLDER
#include "core/FactoryPresets.h"

#include "travesty/factory.h"

#include <dlfcn.h>

#include <cstdint>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <string>

namespace
{

void PutLE(std::string& out, std::uint64_t value, int bytes)
{
    for (int i = 0; i < bytes; ++i)
        out.push_back(static_cast<char>((value >> (8 * i)) & 0xff));
}

// The class id of the component ("Audio Module Class") as the preset header spells it. The
// module is left open (module receives it): close it with CloseModule, as hosts do.
bool ComponentClassId(const char* library, std::string& hex, void*& module)
{
    module = ::dlopen(library, RTLD_NOW | RTLD_LOCAL);
    if (!module)
    {
        std::fprintf(stderr, "vst3_preset_writer: %s\n", ::dlerror());
        return false;
    }
    using ModuleEntry = bool (*)(void*);
    using GetFactory = v3_plugin_factory_cpp** (*)();
    if (auto entry = reinterpret_cast<ModuleEntry>(::dlsym(module, "ModuleEntry")))
        entry(module);
    auto get = reinterpret_cast<GetFactory>(::dlsym(module, "GetPluginFactory"));
    v3_plugin_factory_cpp** factory = get ? get() : nullptr;
    if (!factory)
    {
        std::fprintf(stderr, "vst3_preset_writer: %s has no plug-in factory\n", library);
        return false;
    }
    v3_plugin_factory& v1 = (*factory)->v1;
    for (int32_t i = 0, n = v1.num_classes(factory); i < n; ++i)
    {
        v3_class_info info{};
        if (v1.get_class_info(factory, i, &info) != V3_OK ||
            std::strncmp(info.category, "Audio Module Class", sizeof info.category) != 0)
            continue;
        static const char kDigits[] = "0123456789ABCDEF";
        for (std::size_t b = 0; b < sizeof info.class_id; ++b)
        {
            const auto byte = static_cast<unsigned char>(info.class_id[b]);
            hex.push_back(kDigits[byte >> 4]);
            hex.push_back(kDigits[byte & 15]);
        }
        return true;
    }
    std::fprintf(stderr, "vst3_preset_writer: %s has no audio module class\n", library);
    return false;
}

void CloseModule(void* module)
{
    if (!module)
        return;
    if (auto exit = reinterpret_cast<bool (*)()>(::dlsym(module, "ModuleExit")))
        exit();
    ::dlclose(module);
}

std::string PresetFile(const std::string& classId, std::size_t program)
{
    std::string state = "__dpf_program__";
    state.push_back('\0');
    state += std::to_string(program);
    state.push_back('\0');
    state += "\xfe";
    state.push_back('\0');

    constexpr std::uint64_t kHeaderSize = 4 + 4 + 32 + 8;
    std::string file = "VST3";
    PutLE(file, 1, 4);
    file += classId;
    PutLE(file, kHeaderSize + state.size(), 8);
    file += state;
    file += "List";
    PutLE(file, 1, 4);
    file += "Comp";
    PutLE(file, kHeaderSize, 8);
    PutLE(file, state.size(), 8);
    return file;
}

} // namespace

int main(int argc, char** argv)
{
    if (argc != 3)
    {
        std::fprintf(stderr, "usage: vst3_preset_writer PLUGIN.so OUTPUT_FOLDER\n");
        return 2;
    }
    std::string classId;
    void* module = nullptr;
    const bool found = ComponentClassId(argv[1], classId, module);
    CloseModule(module);
    if (!found)
        return 1;
    const std::filesystem::path folder = argv[2];
    std::error_code error;
    std::filesystem::remove_all(folder, error);
    if (!std::filesystem::create_directories(folder, error))
    {
        std::fprintf(stderr, "vst3_preset_writer: cannot make %s\n", folder.c_str());
        return 1;
    }
    const auto& presets = Tarn::GetFactoryPresetList();
    for (std::size_t i = 0; i < presets.size(); ++i)
    {
        const std::filesystem::path path = folder / (presets[i].name + ".vstpreset");
        std::ofstream out(path, std::ios::binary);
        out << PresetFile(classId, i);
        if (!out.flush())
        {
            std::fprintf(stderr, "vst3_preset_writer: cannot write %s\n", path.c_str());
            return 1;
        }
    }
    return 0;
}
