// The binary's one export, clap_entry: the plug-in factory with the one instrument, and
// the preset-discovery factory that lists its eight factory programs.

#include <cstring>
#include <new>

#include "clap/ClapAbi.h"
#include "clap/ClapPlugin.h"
#include "instrument/Program.h"

namespace vl::clap {

namespace {

const char* const kFeatures[] = {"instrument", "synthesizer", "stereo", nullptr};

const clap_plugin_descriptor_t kDescriptor = {
    kClapVersion, kPluginId, "Velmor Loom",
    "Tarlowe",    "",        "",
    "",           "1.0.0",   "Polyphonic string-ensemble synthesizer with ensemble, phaser and reverb",
    kFeatures,
};

// ---- Plug-in factory ----

const clap_plugin_factory_t kPluginFactory = {
    [](const clap_plugin_factory_t*) -> std::uint32_t { return 1; },
    [](const clap_plugin_factory_t*, std::uint32_t index) -> const clap_plugin_descriptor_t* {
        return index == 0 ? &kDescriptor : nullptr;
    },
    [](const clap_plugin_factory_t*, const clap_host_t* host, const char* id) -> const clap_plugin_t* {
        if (!host || !id || std::strcmp(id, kPluginId) != 0) return nullptr;
        ClapPlugin* plugin = new (std::nothrow) ClapPlugin(host);
        return plugin ? plugin->record() : nullptr;
    },
};

// ---- Preset discovery ----
// One provider, one location inside the plug-in, and the eight factory programs with the
// load keys "0" to "7" (the preset-load extension selects that program slot).

const clap_preset_discovery_provider_descriptor_t kProviderDescriptor = {
    kClapVersion,
    "com.tarlowe.velmorloom.programs",
    "Velmor Loom factory programs",
    "Tarlowe",
};

struct Provider {
    clap_preset_discovery_provider_t record;
    const clap_preset_discovery_indexer_t* indexer;
};

Provider* providerOf(const clap_preset_discovery_provider_t* p) {
    return p ? static_cast<Provider*>(p->provider_data) : nullptr;
}

bool providerInit(const clap_preset_discovery_provider_t* p) {
    Provider* provider = providerOf(p);
    if (!provider || !provider->indexer || !provider->indexer->declare_location) return false;
    clap_preset_discovery_location_t location{};
    location.flags = CLAP_PRESET_DISCOVERY_IS_FACTORY_CONTENT;
    location.name = "Velmor Loom";
    location.kind = CLAP_PRESET_DISCOVERY_LOCATION_PLUGIN;
    location.location = nullptr;
    return provider->indexer->declare_location(provider->indexer, &location);
}

bool providerMetadata(const clap_preset_discovery_provider_t*, std::uint32_t kind, const char*,
                      const clap_preset_discovery_metadata_receiver_t* receiver) {
    if (kind != CLAP_PRESET_DISCOVERY_LOCATION_PLUGIN || !receiver || !receiver->begin_preset) return false;
    static const char* const keys[kNumPrograms] = {"0", "1", "2", "3", "4", "5", "6", "7"};
    const clap_universal_plugin_id_t id{"clap", kPluginId};
    for (int i = 0; i < kNumPrograms; ++i) {
        if (!receiver->begin_preset(receiver, factoryPrograms[i].name, keys[i])) break;
        if (receiver->add_plugin_id) receiver->add_plugin_id(receiver, &id);
        if (receiver->set_flags) receiver->set_flags(receiver, CLAP_PRESET_DISCOVERY_IS_FACTORY_CONTENT);
        if (receiver->add_creator) receiver->add_creator(receiver, "Tarlowe");
    }
    return true;
}

const clap_preset_discovery_factory_t kPresetFactory = {
    [](const clap_preset_discovery_factory_t*) -> std::uint32_t { return 1; },
    [](const clap_preset_discovery_factory_t*, std::uint32_t index)
        -> const clap_preset_discovery_provider_descriptor_t* { return index == 0 ? &kProviderDescriptor : nullptr; },
    [](const clap_preset_discovery_factory_t*, const clap_preset_discovery_indexer_t* indexer,
       const char* id) -> const clap_preset_discovery_provider_t* {
        if (!indexer || !id || std::strcmp(id, kProviderDescriptor.id) != 0) return nullptr;
        Provider* provider = new (std::nothrow) Provider{};
        if (!provider) return nullptr;
        provider->indexer = indexer;
        provider->record.desc = &kProviderDescriptor;
        provider->record.provider_data = provider;
        provider->record.init = providerInit;
        provider->record.destroy = [](const clap_preset_discovery_provider_t* p) { delete providerOf(p); };
        provider->record.get_metadata = providerMetadata;
        provider->record.get_extension = [](const clap_preset_discovery_provider_t*, const char*) -> const void* {
            return nullptr;
        };
        return &provider->record;
    },
};

} // namespace

const clap_plugin_descriptor_t* pluginDescriptor() { return &kDescriptor; }

} // namespace vl::clap

#if defined(_WIN32)
#define VL_CLAP_EXPORT // exported by the module definition file
#else
#define VL_CLAP_EXPORT __attribute__((visibility("default")))
#endif

extern "C" VL_CLAP_EXPORT const clap_plugin_entry_t clap_entry = {
    kClapVersion,
    [](const char*) -> bool { return true; },
    []() {},
    [](const char* id) -> const void* {
        if (!id) return nullptr;
        if (std::strcmp(id, CLAP_PLUGIN_FACTORY_ID) == 0) return &vl::clap::kPluginFactory;
        if (std::strcmp(id, CLAP_PRESET_DISCOVERY_FACTORY_ID) == 0 ||
            std::strcmp(id, CLAP_PRESET_DISCOVERY_FACTORY_ID_COMPAT) == 0)
            return &vl::clap::kPresetFactory;
        return nullptr;
    },
};
