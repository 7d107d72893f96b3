// A standard alert to the user. Without a window it is written to standard error.
#pragma once

namespace TW
{

// Main thread.
void ShowAlert(const char* title, const char* text) noexcept;

} // namespace TW
