// Saved states as XML property-list files: a <plist version="1.0"> holding one <dict> of
// <key> followed by <integer>, <real>, <string> or <data> (base64). Four-character codes are
// integers, as the class-info dictionary holds them.
#pragma once

#include "platform/ClassInfoDictionary.h"

#include <cstddef>
#include <string>

namespace Tarn
{

// Largest property-list file we read, in bytes; a saved state is a few kilobytes.
constexpr std::size_t kMaxPlistFileBytes = 4u << 20;

// The whole document. Any thread.
std::string WritePlist(const TW::ClassInfoDictionary& dictionary);

// Parses a whole document. False, with a one-line reason in error, for text that is not XML,
// not a property list, or whose top-level value is not a dictionary, and for a dictionary with
// a repeated key, a value without a key or a malformed value. Nested arrays and dictionaries
// are skipped: a saved state has none that we use. out is filled only on success. Any thread.
bool ParsePlist(const char* text, std::size_t size, TW::ClassInfoDictionary& out,
                std::string& error);

// Reads and parses a file. Main thread.
bool ReadPlistFile(const std::string& path, TW::ClassInfoDictionary& out, std::string& error);

// Writes the file whole: a temporary file beside it, then a rename, so a reader never sees half
// of it. Main thread.
bool WritePlistFile(const std::string& path, const TW::ClassInfoDictionary& dictionary,
                    std::string& error);

} // namespace Tarn
