#include "SkinBundle.h"

#include <sys/stat.h>
#include <unistd.h>

namespace TW
{

namespace
{

bool IsReadableFolder(const std::string& path)
{
    struct stat st;
    return ::stat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode) &&
           ::access(path.c_str(), R_OK | X_OK) == 0;
}

} // namespace

std::string LocateSkinBundle(const std::string& skin, Tarn::Domain domain,
                             const std::string& productFolder)
{
    if (skin.empty() || skin == "." || skin == ".." || skin.find('/') != std::string::npos ||
        productFolder.find('/') != std::string::npos)
        return {};
    const std::string skins = Tarn::GetProductFolder(domain, productFolder, "Skins");
    if (skins.empty())
        return {};
    std::string path = skins + "/" + skin;
    if (!IsReadableFolder(path))
        path += ".bundle";
    return IsReadableFolder(path) ? path : std::string();
}

std::string LocateSkinBundle(const std::string& skin, const std::string& productFolder)
{
    for (Tarn::Domain domain : {Tarn::Domain::User, Tarn::Domain::Local})
    {
        std::string path = LocateSkinBundle(skin, domain, productFolder);
        if (!path.empty())
            return path;
    }
    return {};
}

} // namespace TW
