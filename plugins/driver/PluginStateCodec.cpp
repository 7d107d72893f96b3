#include "PluginStateCodec.h"

#include "core/PlistFile.h"

namespace TW
{

// The same XML property list as the instrument's state files, so a state saved by a host can be
// written to a file and loaded by the command-line program, and the other way round.
std::string EncodePluginState(const ClassInfoDictionary& state)
{
    return Tarn::WritePlist(state);
}

bool DecodePluginState(const std::string& text, ClassInfoDictionary& out, std::string& error)
{
    if (text.size() > Tarn::kMaxPlistFileBytes)
    {
        error = "saved state is too large";
        return false;
    }
    // Hosts may keep a terminating NUL with the text.
    std::size_t size = text.size();
    while (size > 0 && text[size - 1] == '\0')
        --size;
    if (size == 0)
    {
        error = "saved state is empty";
        return false;
    }
    return Tarn::ParsePlist(text.data(), size, out, error);
}

} // namespace TW
