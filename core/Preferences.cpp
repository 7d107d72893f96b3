#include "Preferences.h"

namespace Tarn
{

// No persistent store yet: every key reads as its default.
int GetPrefInt(const char*, int def)
{
    return def;
}

void SetPrefInt(const char*, int) {}

void GetPrefString(const char*, std::string&) {}

} // namespace Tarn
