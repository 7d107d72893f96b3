// Which copy of a shared library's function a plug-in's calls reach. The plug-ins link some
// libraries shared (Debian ships no position-independent archive of them); the dynamic linker
// binds every call to them to the first definition in the process's lookup order, and a host
// program that exports its own copy of such a library (linked in statically, with its symbols
// exported) comes first. Calls made with our headers into a copy of another version crash.
#pragma once

#include <string>

namespace TW
{

// Empty when calls to `symbol` from this binary and the libraries it loaded reach `library` (a
// shared library's file name, "libfreetype.so.6"), or when that library is not loaded; else the
// file name of the object whose definition they reach (the host program's when it is the host
// program). Any thread.
std::string ForeignDefinition(const char* library, const char* symbol);

} // namespace TW
