// Installed skins: a skin named N is the folder <domain>/Tarnwick/<product>/Skins/N, or N.bundle
// beside it, in the user domain or the local domain (core/UserFolders.h), holding the skin's
// "gui.lua", its textures and its extra script.
#pragma once

#include "core/UserFolders.h"

#include <string>

namespace TW
{

// The skin's folder in one domain: N when it is a readable folder, else N.bundle when that is;
// empty when neither is, or when the name is empty, "." or "..", or holds a "/" (a skin name
// never reaches outside the Skins folder). Main thread.
std::string LocateSkinBundle(const std::string& skin, Tarn::Domain domain,
                             const std::string& productFolder);

// The user domain's skin, else the local domain's; empty when neither has it. Main thread.
std::string LocateSkinBundle(const std::string& skin, const std::string& productFolder);

} // namespace TW
