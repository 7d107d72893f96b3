#include "Alert.h"

#include <cstdio>

namespace TW
{

void ShowAlert(const char* title, const char* text) noexcept
{
    std::fprintf(stderr, "%s: %s\n", title, text);
}

} // namespace TW
