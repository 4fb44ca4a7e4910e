#include "Lv2TestHost.h"

#include <cstring>

#include <lv2/buf-size/buf-size.h>
#include <lv2/midi/midi.h>
#include <lv2/options/options.h>
#include <lv2/presets/presets.h>

namespace lv2test {

namespace {

UridMap* asMap(LV2_URID_Map_Handle h) { return static_cast<UridMap*>(h); }

LV2_URID mapUri(LV2_URID_Map_Handle h, const char* uri) { return asMap(h)->map(uri); }
const char* unmapUri(LV2_URID_Unmap_Handle h, LV2_URID urid) { return static_cast<UridMap*>(h)->unmap(urid); }

struct ChunkSource {
    LV2_URID key;
    LV2_URID type;
    const std::vector<uint8_t>* bytes;
};

const void* retrieveChunk(LV2_State_Handle handle, uint32_t key, size_t* size, uint32_t* type, uint32_t* flags) {
    auto* source = static_cast<ChunkSource*>(handle);
    if (key != source->key) return nullptr;
    *size = source->bytes->size();
    *type = source->type;
    *flags = LV2_STATE_IS_POD | LV2_STATE_IS_PORTABLE;
    return source->bytes->data();
}

struct ChunkSink {
    LV2_URID key = 0;
    LV2_URID type = 0;
    std::vector<uint8_t> bytes;
};

LV2_State_Status storeChunk(LV2_State_Handle handle, uint32_t key, const void* value, size_t size, uint32_t type,
                            uint32_t) {
    auto* sink = static_cast<ChunkSink*>(handle);
    if (key != sink->key) return LV2_STATE_ERR_NO_PROPERTY;
    const auto* bytes = static_cast<const uint8_t*>(value);
    sink->bytes.assign(bytes, bytes + size);
    sink->type = type;
    return LV2_STATE_SUCCESS;
}

const void* portValue(const char* symbol, void* user, uint32_t* size, uint32_t* type) {
    auto* self = static_cast<Instance*>(user);
    LilvNode* node = lilv_new_string(self->world.world, symbol);
    const LilvPort* port = lilv_plugin_get_port_by_symbol(self->world.plugin, node);
    lilv_node_free(node);
    if (!port) return nullptr;
    const uint32_t index = lilv_port_get_index(self->world.plugin, port);
    if (index >= uint32_t(Instance::kParameters)) return nullptr;
    *size = sizeof(float);
    *type = self->world.urids.map(LV2_ATOM__Float);
    return &self->controls[index];
}

void setPortValue(const char* symbol, void* user, const void* value, uint32_t size, uint32_t type) {
    auto* self = static_cast<Instance*>(user);
    LilvNode* node = lilv_new_string(self->world.world, symbol);
    const LilvPort* port = lilv_plugin_get_port_by_symbol(self->world.plugin, node);
    lilv_node_free(node);
    if (!port || size != sizeof(float) || type != self->world.urids.map(LV2_ATOM__Float)) return;
    const uint32_t index = lilv_port_get_index(self->world.plugin, port);
    if (index < uint32_t(Instance::kParameters)) std::memcpy(&self->controls[index], value, sizeof(float));
}

} // namespace

UridMap::UridMap() {
    mapData = {this, mapUri};
    unmapData = {this, unmapUri};
}

LV2_URID UridMap::map(const char* uri) {
    for (std::size_t i = 0; i < uris.size(); ++i)
        if (uris[i] == uri) return LV2_URID(i + 1);
    uris.emplace_back(uri);
    return LV2_URID(uris.size());
}

const char* UridMap::unmap(LV2_URID urid) const {
    return urid >= 1 && urid <= uris.size() ? uris[urid - 1].c_str() : nullptr;
}

World::World() {
    world = lilv_world_new();
    LilvNode* bundle = lilv_new_file_uri(world, nullptr, VL_LV2_BUNDLE "/");
    lilv_world_load_bundle(world, bundle);
    lilv_node_free(bundle);
    LilvNode* uri = lilv_new_uri(world, "urn:tarlowe:velmorloom");
    plugin = lilv_plugins_get_by_uri(lilv_world_get_all_plugins(world), uri);
    lilv_node_free(uri);
}

World::~World() { lilv_world_free(world); }

std::vector<std::pair<std::string, std::string>> World::presets() {
    std::vector<std::pair<std::string, std::string>> out;
    LilvNode* presetClass = lilv_new_uri(world, LV2_PRESETS__Preset);
    LilvNode* label = lilv_new_uri(world, LILV_NS_RDFS "label");
    LilvNodes* related = lilv_plugin_get_related(plugin, presetClass);
    LILV_FOREACH(nodes, i, related) {
        const LilvNode* preset = lilv_nodes_get(related, i);
        lilv_world_load_resource(world, preset);
        LilvNodes* labels = lilv_world_find_nodes(world, preset, label, nullptr);
        std::string text = labels && lilv_nodes_size(labels) ? lilv_node_as_string(lilv_nodes_get_first(labels)) : "";
        out.emplace_back(lilv_node_as_uri(preset), text);
        lilv_nodes_free(labels);
    }
    lilv_nodes_free(related);
    lilv_node_free(label);
    lilv_node_free(presetClass);
    return out;
}

Instance::Instance(World& w, double rate, uint32_t maxBlock) : world(w) {
    if (!world.plugin) return;
    left.assign(maxBlock ? maxBlock : 8192, 0.0f);
    right.assign(left.size(), 0.0f);
    sequence.assign(8192, 0);
    static int32_t blockLength;
    blockLength = int32_t(maxBlock);
    UridMap& u = world.urids;
    LV2_Options_Option options[] = {{LV2_OPTIONS_INSTANCE, 0, u.map(LV2_BUF_SIZE__maxBlockLength), sizeof(int32_t),
                                     u.map(LV2_ATOM__Int), &blockLength},
                                    {LV2_OPTIONS_INSTANCE, 0, 0, 0, 0, nullptr}};
    LV2_Feature optionsFeature{LV2_OPTIONS__options, options};
    const LV2_Feature* features[] = {&u.mapFeature, &u.unmapFeature, maxBlock ? &optionsFeature : nullptr, nullptr};
    instance = lilv_plugin_instantiate(world.plugin, rate, features);
    if (!instance) return;
    // Control ports start at their defaults, as a host starts them.
    std::vector<float> defaults(lilv_plugin_get_num_ports(world.plugin));
    lilv_plugin_get_port_ranges_float(world.plugin, nullptr, nullptr, defaults.data());
    for (int i = 0; i < kParameters; ++i) {
        controls[i] = defaults[std::size_t(i)];
        lilv_instance_connect_port(instance, uint32_t(i), &controls[i]);
    }
    lilv_instance_connect_port(instance, kMidiPort, sequence.data());
    lilv_instance_connect_port(instance, kLeftPort, left.data());
    lilv_instance_connect_port(instance, kRightPort, right.data());
    lilv_instance_activate(instance);
}

Instance::~Instance() {
    if (!instance) return;
    lilv_instance_deactivate(instance);
    lilv_instance_free(instance);
}

void Instance::run(uint32_t frames, const std::vector<MidiAt>& events) {
    UridMap& u = world.urids;
    auto* seq = reinterpret_cast<LV2_Atom_Sequence*>(sequence.data());
    seq->atom.type = u.map(LV2_ATOM__Sequence);
    seq->body.unit = 0;
    seq->body.pad = 0;
    auto* bytes = reinterpret_cast<uint8_t*>(sequence.data());
    std::size_t used = sizeof(LV2_Atom_Sequence);
    const LV2_URID midiType = u.map(LV2_MIDI__MidiEvent);
    for (const MidiAt& e : events) {
        auto* ev = reinterpret_cast<LV2_Atom_Event*>(bytes + used);
        ev->time.frames = e.frame;
        ev->body.size = e.size;
        ev->body.type = midiType;
        std::memcpy(ev + 1, e.bytes, e.size);
        used += (sizeof(LV2_Atom_Event) + e.size + 7) & ~std::size_t(7);
    }
    seq->atom.size = uint32_t(used - sizeof(LV2_Atom));
    lilv_instance_run(instance, frames);
}

std::vector<uint8_t> Instance::savedChunk(LV2_URID* type) {
    const auto* iface = static_cast<const LV2_State_Interface*>(
        lilv_instance_get_extension_data(instance, LV2_STATE__interface));
    ChunkSink sink;
    sink.key = world.urids.map("urn:tarlowe:velmorloom#bank");
    if (!iface || iface->save(handle(), storeChunk, &sink, LV2_STATE_IS_POD | LV2_STATE_IS_PORTABLE, nullptr) !=
                      LV2_STATE_SUCCESS)
        return {};
    if (type) *type = sink.type;
    return sink.bytes;
}

LV2_State_Status Instance::restoreChunk(const std::vector<uint8_t>& bytes, LV2_URID type) {
    const auto* iface = static_cast<const LV2_State_Interface*>(
        lilv_instance_get_extension_data(instance, LV2_STATE__interface));
    ChunkSource source{world.urids.map("urn:tarlowe:velmorloom#bank"), type, &bytes};
    return iface->restore(handle(), retrieveChunk, &source, 0, nullptr);
}

LilvState* Instance::stateFromInstance() {
    const LV2_Feature* features[] = {&world.urids.mapFeature, &world.urids.unmapFeature, nullptr};
    return lilv_state_new_from_instance(world.plugin, instance, world.urids.mapHandle(), nullptr, nullptr, nullptr,
                                        nullptr, portValue, this, LV2_STATE_IS_POD | LV2_STATE_IS_PORTABLE, features);
}

void Instance::restore(const LilvState* state) {
    const LV2_Feature* features[] = {&world.urids.mapFeature, &world.urids.unmapFeature, nullptr};
    lilv_state_restore(state, instance, setPortValue, this, 0, features);
}

} // namespace lv2test
