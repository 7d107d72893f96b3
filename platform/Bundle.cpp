#include "Bundle.h"

#include <dlfcn.h>
#include <sys/stat.h>

#include <cstdlib>

namespace TW
{
namespace
{

bool IsDirectory(const std::string& path)
{
    struct stat st;
    return !path.empty() && ::stat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

bool HasResources(const std::string& dir)
{
    struct stat st;
    return ::stat((dir + "/midi.lua").c_str(), &st) == 0 && S_ISREG(st.st_mode);
}

std::string DirName(const std::string& path)
{
    const auto slash = path.find_last_of('/');
    return slash == std::string::npos ? std::string(".") : path.substr(0, slash);
}

std::string Locate()
{
    // An explicit folder wins; it must exist.
    if (const char* env = std::getenv("VELLUNA_BUNDLE"))
        return IsDirectory(env) ? std::string(env) : std::string();

    // The folder our code was loaded from: a plug-in's bundle holds its resources beside the
    // library; a program's are in ../share/velluna, or in the source tree for a build.
    Dl_info info{};
    if (::dladdr(reinterpret_cast<void*>(&FindPluginBundle), &info) && info.dli_fname)
    {
        const std::string dir = DirName(info.dli_fname);
        for (const std::string& candidate :
             {dir, dir + "/resources", dir + "/../share/velluna", dir + "/../Resources"})
            if (HasResources(candidate))
                return candidate;
    }
#ifdef VELLUNA_SOURCE_RESOURCES
    if (HasResources(VELLUNA_SOURCE_RESOURCES))
        return VELLUNA_SOURCE_RESOURCES;
#endif
    return {};
}

} // namespace

const std::string& FindPluginBundle()
{
    static const std::string bundle = Locate();
    return bundle;
}

} // namespace TW
