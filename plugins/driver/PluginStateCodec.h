// The text form in which plug-in hosts keep an instance's saved state: the class-info dictionary
// of SaveState/RestoreState as an XML property list. Adapters call only these two functions.
#pragma once

#include "platform/ClassInfoDictionary.h"

#include <string>

namespace TW
{

// The dictionary as text. Main thread.
std::string EncodePluginState(const ClassInfoDictionary& state);

// Parses text written by EncodePluginState (or a state file). On failure returns false, leaves out
// untouched and puts a one-line reason into error. Main thread.
bool DecodePluginState(const std::string& text, ClassInfoDictionary& out, std::string& error);

} // namespace TW
