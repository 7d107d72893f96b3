// The CLAP entry point and plug-in factory of the library: one plug-in, Velluna.
#include "VellunaClapPlugin.h"

#include <clap/plugin-factory.h>

#include <cstring>
#include <new>

namespace
{

const clap_plugin_factory_t kFactory = {
    [](const clap_plugin_factory_t*) -> std::uint32_t { return 1; },
    [](const clap_plugin_factory_t*, std::uint32_t index) -> const clap_plugin_descriptor_t*
    { return index == 0 ? TW::VellunaClapPlugin::Descriptor() : nullptr; },
    [](const clap_plugin_factory_t*, const clap_host_t* host,
       const char* pluginId) -> const clap_plugin_t*
    {
        if (!host || !pluginId || !clap_version_is_compatible(host->clap_version) ||
            std::strcmp(pluginId, TW::VellunaClapPlugin::Descriptor()->id) != 0)
            return nullptr;
        auto* plugin = new (std::nothrow) TW::VellunaClapPlugin(host);
        return plugin ? plugin->Plugin() : nullptr;
    }};

} // namespace

extern "C" CLAP_EXPORT const clap_plugin_entry_t clap_entry = {
    CLAP_VERSION_INIT, [](const char*) { return true; }, [] {},
    [](const char* factoryId) -> const void*
    { return factoryId && !std::strcmp(factoryId, CLAP_PLUGIN_FACTORY_ID) ? &kFactory : nullptr; }};
