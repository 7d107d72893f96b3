// The per-user preferences shared by every instance and every process of the user.
//
// They live in $XDG_CONFIG_HOME/Tarnwick/Velluna.conf (default ~/.config/Tarnwick/Velluna.conf),
// one "key=value" per line: the value is a decimal integer or a "quoted string"; in keys and
// strings a backslash escapes '\', '"', '=' and writes newline, carriage return and tab as
// \n, \r, \t. Lines starting with '#' are comments. Every read goes to the file, so a change
// made by another process is seen at once. A file that cannot be read or parsed gives the
// defaults, is reported once per process on stderr, and is left as it is until a key is set.
#pragma once

#include <string>

namespace Tarn
{

// The five keys, with their defaults.
constexpr const char* kPrefEnableEyeCandy = "Enable eye candy";               // 0/1, default 1
constexpr const char* kPrefEnableConstantRedraw = "Enable constant redraw";   // 0/1, default 1
constexpr const char* kPrefEnableFloatingTooltip = "Enable floating tooltip"; // 0/1, default 0
constexpr const char* kPrefSkin = "Skin";                                     // string, empty
constexpr const char* kPrefOSCBasePort = "OSC Base Port";                     // default 7000
constexpr int kDefaultEnableEyeCandy = 1;
constexpr int kDefaultEnableConstantRedraw = 1;
constexpr int kDefaultEnableFloatingTooltip = 0;

// The file's path; empty when neither $XDG_CONFIG_HOME nor a home folder is known. Any thread.
std::string GetPreferencesPath();

// The stored integer under key, or def when the key is absent, holds a string or a number
// outside 32 bits. Main thread.
int GetPrefInt(const char* key, int def);

// Fills out when key holds a string, cut to at most 1023 bytes (never inside a UTF-8
// character); otherwise leaves it unchanged. Main thread.
void GetPrefString(const char* key, std::string& out);

// Store a value and write the file at once: under an exclusive lock on "Velluna.conf.lock",
// the file is read again, the key changed, and the whole written to a temporary file that is
// then renamed over it, so concurrent writers never lose each other's keys and readers never
// see half a file. A corrupt file is kept as "Velluna.conf.corrupt" and replaced by one with
// only this key. False, with a message on stderr, when the file cannot be written.
// Main thread.
bool SetPrefInt(const char* key, int value);
bool SetPrefString(const char* key, const std::string& value);

} // namespace Tarn
