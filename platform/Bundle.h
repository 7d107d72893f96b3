// The plug-in's own bundle: the folder that holds its resources ("midi.lua", "gui.lua", ...).
#pragma once

#include <string>

namespace TW
{

// The bundle folder without a trailing "/", or empty text when it cannot be found. The result is
// computed once and lives for the process. Any thread.
const std::string& FindPluginBundle();

} // namespace TW
