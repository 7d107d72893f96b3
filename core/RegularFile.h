// Reading the files the instrument is given by name (preferences, scripts, skins, state) without
// ever blocking: a FIFO, a device or a folder in their place is refused, not opened for reading.
#pragma once

#include <cstddef>
#include <string>

namespace TW
{

// Reads the whole of path into data when it is a regular file of at most maxBytes. Otherwise
// returns false with a one-line reason in error ("cannot open \"PATH\": ...", "\"PATH\" is not a
// regular file", ...), and data is left empty. The file is opened without blocking and checked
// on the open descriptor, so nothing can be swapped in between the check and the read. Any
// thread but the render thread.
bool ReadRegularFile(const std::string& path, std::size_t maxBytes, std::string& data,
                     std::string& error);

} // namespace TW
