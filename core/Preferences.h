// The per-user preferences shared by every instance and process of the user.
#pragma once

#include <string>

namespace Tarn
{

// The stored integer under key, or def when absent or not a number. Main thread.
int GetPrefInt(const char* key, int def);
// Stores an integer and writes the preferences out at once. Main thread.
void SetPrefInt(const char* key, int value);
// Fills out when key holds a string (at most 1023 bytes); otherwise leaves it unchanged.
void GetPrefString(const char* key, std::string& out);

} // namespace Tarn
