// The per-product folders under the Application Support folders of the user and the machine,
// and the user's MIDI script files in them.
//
// On Linux the user domain is $XDG_DATA_HOME (default ~/.local/share) and the local domain is
// /usr/local/share; $VELLUNA_LOCAL_DATA_DIR replaces the local domain (for tests and for
// installations under another prefix). A product P keeps its scripts in
// <domain>/Tarnwick/P/Scripts and its skins in <domain>/Tarnwick/P/Skins.
#pragma once

#include <string>
#include <vector>

namespace Tarn
{

enum class Domain
{
    User,
    Local,
};

// The domain's Application Support folder without a trailing "/"; empty when there is none.
// Main thread.
std::string GetApplicationSupportFolder(Domain domain);

// <domain>/Tarnwick/<productFolder>/<subfolder>, or empty when the domain has no folder.
std::string GetProductFolder(Domain domain, const std::string& productFolder,
                             const std::string& subfolder);

// Appends the full paths of the readable regular files (not directories, FIFOs or devices) whose
// names have at least five characters and end in ".lua", in directory order. A folder that cannot
// be opened adds nothing. Main thread.
void GetScriptsInDomain(std::vector<std::string>& list, Domain domain,
                        const std::string& productFolder);

// The user's scripts first, then the machine's. Main thread.
void GetScripts(std::vector<std::string>& list, const std::string& productFolder);

} // namespace Tarn
