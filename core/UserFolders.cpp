#include "UserFolders.h"

#include <dirent.h>
#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>

namespace Tarn
{
namespace
{

std::string StripTrailingSlashes(std::string path)
{
    while (path.size() > 1 && path.back() == '/')
        path.pop_back();
    return path;
}

std::string HomeFolder()
{
    if (const char* home = std::getenv("HOME"); home && *home == '/')
        return home;
    if (const passwd* pw = ::getpwuid(::getuid()); pw && pw->pw_dir && *pw->pw_dir == '/')
        return pw->pw_dir;
    return {};
}

} // namespace

std::string GetApplicationSupportFolder(Domain domain)
{
    if (domain == Domain::Local)
    {
        if (const char* local = std::getenv("VELLUNA_LOCAL_DATA_DIR"); local && *local == '/')
            return StripTrailingSlashes(local);
        return "/usr/local/share";
    }
    // Relative values of the variable are to be ignored, as the base directory rules say.
    if (const char* data = std::getenv("XDG_DATA_HOME"); data && *data == '/')
        return StripTrailingSlashes(data);
    const std::string home = HomeFolder();
    if (home.empty())
        return {};
    return StripTrailingSlashes(home) + "/.local/share";
}

std::string GetProductFolder(Domain domain, const std::string& productFolder,
                             const std::string& subfolder)
{
    const std::string base = GetApplicationSupportFolder(domain);
    if (base.empty())
        return {};
    return base + "/Tarnwick/" + productFolder + "/" + subfolder;
}

void GetScriptsInDomain(std::vector<std::string>& list, Domain domain,
                        const std::string& productFolder)
{
    const std::string folder = GetProductFolder(domain, productFolder, "Scripts");
    if (folder.empty())
        return;
    DIR* dir = ::opendir(folder.c_str());
    if (!dir)
        return;
    while (const dirent* entry = ::readdir(dir))
    {
        const std::string name = entry->d_name;
        if (name.size() < 5 || name.compare(name.size() - 4, 4, ".lua") != 0)
            continue;
        const std::string path = folder + "/" + name;
        struct stat st;
        // stat follows links: a link to a script counts as the script. Only regular files: a
        // directory is no script, and reading a FIFO or a device would block the loader.
        if (::stat(path.c_str(), &st) != 0 || !S_ISREG(st.st_mode))
            continue;
        if (::access(path.c_str(), R_OK) == 0)
            list.push_back(path);
    }
    ::closedir(dir);
}

void GetScripts(std::vector<std::string>& list, const std::string& productFolder)
{
    GetScriptsInDomain(list, Domain::User, productFolder);
    GetScriptsInDomain(list, Domain::Local, productFolder);
}

} // namespace Tarn
