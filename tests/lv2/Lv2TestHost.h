#pragma once
// A small LV2 host for the tests, written with lilv: loads the built bundle as a host
// finds it, maps URIs, instantiates the plug-in with its ports connected to buffers of
// its own, sends MIDI as an atom sequence at frame offsets, and saves and restores state.
#include <cstdint>
#include <string>
#include <vector>

#include <lilv/lilv.h>
#include <lv2/atom/atom.h>
#include <lv2/state/state.h>
#include <lv2/urid/urid.h>

namespace lv2test {

// One MIDI message at a frame of the block.
struct MidiAt {
    uint32_t frame;
    uint8_t bytes[3];
    uint32_t size = 3;
};

class UridMap {
public:
    UridMap();
    LV2_URID map(const char* uri);
    const char* unmap(LV2_URID urid) const;
    LV2_URID_Map* mapHandle() { return &mapData; }
    LV2_URID_Unmap* unmapHandle() { return &unmapData; }
    LV2_Feature mapFeature{LV2_URID__map, &mapData};
    LV2_Feature unmapFeature{LV2_URID__unmap, &unmapData};

private:
    std::vector<std::string> uris;
    LV2_URID_Map mapData;
    LV2_URID_Unmap unmapData;
};

// The world with only the bundle under test loaded (the folder given at build time).
class World {
public:
    World();
    ~World();
    World(const World&) = delete;
    World& operator=(const World&) = delete;
    LilvWorld* world = nullptr;
    const LilvPlugin* plugin = nullptr; // null when the bundle holds no such plug-in
    UridMap urids;
    // Preset URIs in the order the host finds them, with their labels.
    std::vector<std::pair<std::string, std::string>> presets();
};

class Instance {
public:
    static constexpr int kParameters = 13;
    static constexpr uint32_t kMidiPort = 13, kLeftPort = 14, kRightPort = 15;

    // maxBlock: the host's bufsz:maxBlockLength option (0: no options given).
    Instance(World& world, double rate, uint32_t maxBlock = 8192);
    ~Instance();
    Instance(const Instance&) = delete;
    Instance& operator=(const Instance&) = delete;

    bool ok() const { return instance != nullptr; }
    // Renders frames (at most the buffer size given) with the events; output in left/right.
    void run(uint32_t frames, const std::vector<MidiAt>& events = {});
    LV2_Handle handle() const { return lilv_instance_get_handle(instance); }

    // The bank chunk the plug-in saves, read straight from its state interface.
    std::vector<uint8_t> savedChunk(LV2_URID* type = nullptr);
    // Hands bytes to the plug-in's restore as the bank property; its answer.
    LV2_State_Status restoreChunk(const std::vector<uint8_t>& bytes, LV2_URID type);

    // Through lilv, as hosts keep sessions and presets.
    LilvState* stateFromInstance();
    void restore(const LilvState* state);

    float controls[kParameters] = {};
    std::vector<float> left, right;
    World& world;
    LilvInstance* instance = nullptr;

private:
    std::vector<uint64_t> sequence; // 8-byte aligned atom buffer
};

} // namespace lv2test
