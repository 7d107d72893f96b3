#include "SharedLibraryBinding.h"

#include <dlfcn.h>

std::string TW::ForeignDefinition(const char* library, const char* symbol)
{
    void* own = ::dlopen(library, RTLD_LAZY | RTLD_NOLOAD);
    if (!own)
        return {};
    void* theirs = ::dlsym(own, symbol);
    // The lookup this binary's own references go through: the global scope, then its own.
    void* bound = ::dlsym(RTLD_DEFAULT, symbol);
    ::dlclose(own);
    if (!theirs || !bound || theirs == bound)
        return {};
    Dl_info info{};
    if (::dladdr(bound, &info) == 0 || !info.dli_fname || !*info.dli_fname)
        return "the host program";
    return info.dli_fname;
}
