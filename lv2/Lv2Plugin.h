#pragma once
// One LV2 instance of the instrument. It drives the Instrument exactly as a VST 2 host
// drives the plug-in: MIDI through processEvents at the events' frame offsets, audio
// through processReplacing, control ports through setParameter at the start of a block,
// state through the bank chunk. It owns nothing of the engine.
#include <atomic>
#include <cstddef>
#include <cstdint>
#include <memory>

#include <lv2/atom/atom.h>
#include <lv2/core/lv2.h>
#include <lv2/urid/urid.h>

#include "lv2/HostBridge.h"
#include "lv2/Lv2Ports.h"
#include "vst/VstAbi.h"

namespace vl {
class Instrument;
}

namespace vl::lv2 {

class PluginInstance : public HostBridge {
public:
    // Events handed to the instrument in one render call; a block holding more is
    // rendered in several calls, as the renderer does.
    static constexpr int kMaxEventsPerCall = 4096;

    // Null when the instrument could not be made or the host lacks the URID map.
    static PluginInstance* create(double sampleRate, const LV2_Feature* const* features);
    ~PluginInstance() override;

    void connect(std::uint32_t port, void* data);
    void activate();
    void deactivate();
    void run(std::uint32_t frames);

    // The whole bank (the VST 2 bank chunk) as state.
    bool save(const void*& data, std::size_t& size);
    bool restore(const void* data, std::size_t size, std::uint32_t type);
    std::uint32_t chunkType() const { return atomChunk; }
    std::uint32_t bankKey() const { return bankUrid; }

    Instrument& instrument() { return *synth; }

    // The panel of an attached UI: knob moves and gestures go there (user-interface thread).
    // One UI at a time shows the instance's own panel: false when another one does.
    bool attachUi(HostBridge* ui) {
        HostBridge* none = nullptr;
        return uiBridge.compare_exchange_strong(none, ui);
    }
    void detachUi(HostBridge* ui) { uiBridge.compare_exchange_strong(ui, nullptr); }
    // True once after the instrument's programs or names changed.
    bool takeDisplayChange() { return displayDirty.exchange(false); }

    // Recognises an instance of this library behind an instance-access handle.
    static PluginInstance* fromHandle(void* handle);

    void automate(int index, float value) override;
    void touch(int index, bool grabbed) override;
    void displayChanged() override;

private:
    PluginInstance() = default;
    void applyControls();
    void renderEvents(std::uint32_t frames);

    static constexpr std::uint32_t kMagic = 0x564c4c32; // "VLL2"
    std::uint32_t magic = kMagic;
    Instrument* synth = nullptr; // deleted through the frame's virtual destructor
    LV2_URID midiEvent = 0;
    LV2_URID atomChunk = 0;
    LV2_URID bankUrid = 0;

    const float* controls[kNumParameters] = {};
    float lastControl[kNumParameters] = {};
    const LV2_Atom_Sequence* midiIn = nullptr;
    float* outputs[2] = {nullptr, nullptr};

    // Event list in the VST 2 layout, sized once.
    struct EventList {
        VstInt32 numEvents;
        VstIntPtr reserved;
        VstEvent* events[kMaxEventsPerCall];
    };
    std::unique_ptr<EventList> list;
    std::unique_ptr<VstMidiEvent[]> records;

    std::atomic<HostBridge*> uiBridge{nullptr};
    std::atomic<bool> displayDirty{false};
};

} // namespace vl::lv2
