#include "lv2/Lv2Plugin.h"

#include <cmath>
#include <cstring>
#include <new>

#include <lv2/atom/util.h>
#include <lv2/buf-size/buf-size.h>
#include <lv2/midi/midi.h>
#include <lv2/options/options.h>
#include <lv2/state/state.h>

#include "instrument/Instrument.h"
#include "instrument/Program.h"

namespace vl::lv2 {

namespace {

// The host's maximum block length from its options, 0 when not given.
int maxBlockLength(const LV2_Feature* const* features, LV2_URID_Map* map) {
    const auto* options = static_cast<const LV2_Options_Option*>(findFeature(features, LV2_OPTIONS__options));
    if (!options) return 0;
    const LV2_URID maxKey = map->map(map->handle, LV2_BUF_SIZE__maxBlockLength);
    const LV2_URID intType = map->map(map->handle, LV2_ATOM__Int);
    for (const LV2_Options_Option* o = options; o->key != 0; ++o)
        if (o->key == maxKey && o->type == intType && o->size == sizeof(int32_t) && o->value)
            return *static_cast<const int32_t*>(o->value);
    return 0;
}

} // namespace

PluginInstance* PluginInstance::create(double sampleRate, const LV2_Feature* const* features) {
    auto* map = static_cast<LV2_URID_Map*>(const_cast<void*>(findFeature(features, LV2_URID__map)));
    if (!map) return nullptr;
    std::unique_ptr<PluginInstance> self(new (std::nothrow) PluginInstance);
    if (!self) return nullptr;
    self->list.reset(new (std::nothrow) EventList);
    self->records.reset(new (std::nothrow) VstMidiEvent[kMaxEventsPerCall]);
    if (!self->list || !self->records) return nullptr;
    std::memset(self->records.get(), 0, sizeof(VstMidiEvent) * kMaxEventsPerCall);
    for (int i = 0; i < kMaxEventsPerCall; ++i) {
        self->records[i].type = kVstMidiType;
        self->records[i].byteSize = sizeof(VstMidiEvent);
        self->list->events[i] = reinterpret_cast<VstEvent*>(&self->records[i]);
    }
    self->list->numEvents = 0;
    self->list->reserved = 0;

    self->midiEvent = map->map(map->handle, LV2_MIDI__MidiEvent);
    self->atomChunk = map->map(map->handle, LV2_ATOM__Chunk);
    self->bankUrid = map->map(map->handle, kBankStateUri);

    // Built as a VST 2 host builds the plug-in: constructed (program 0 at 44100 Hz), then
    // told the rate and the block size.
    try {
        self->synth = new (std::nothrow) Instrument(&bridgeCallback);
    } catch (...) {
        self->synth = nullptr;
    }
    if (!self->synth) return nullptr;
    if (!self->synth->editorReady || !self->synth->engineReady()) return nullptr;
    const float rate = static_cast<float>(sampleRate);
    self->synth->setSampleRate(rate);
    if (self->synth->getSampleRate() != rate) return nullptr; // a rate the engine refuses
    if (const int block = maxBlockLength(features, map); block > 0) self->synth->setBlockSize(block);
    for (int i = 0; i < kNumParameters; ++i) self->lastControl[i] = self->synth->getParameter(i);
    attachBridge(*self->synth, self.get());
    return self.release();
}

PluginInstance::~PluginInstance() {
    magic = 0;
    if (synth) {
        attachBridge(*synth, nullptr);
        EffectFrame* frame = synth;
        delete frame;
    }
}

PluginInstance* PluginInstance::fromHandle(void* handle) {
    auto* p = static_cast<PluginInstance*>(handle);
    return p && p->magic == kMagic ? p : nullptr;
}

void PluginInstance::connect(std::uint32_t port, void* data) {
    if (port < kNumParameters) controls[port] = static_cast<const float*>(data);
    else if (port == kMidiInPort) midiIn = static_cast<const LV2_Atom_Sequence*>(data);
    else if (port == kLeftOutPort) outputs[0] = static_cast<float*>(data);
    else if (port == kRightOutPort) outputs[1] = static_cast<float*>(data);
}

void PluginInstance::activate() { synth->resume(); }

void PluginInstance::deactivate() { synth->suspend(); }

// A control port that moved since the last block is applied now, before any sample of
// this block, as a VST 2 host's setParameter before processReplacing. A port that only
// caught up with the instrument (the panel's own change coming back from the host) is
// not applied a second time.
void PluginInstance::applyControls() {
    for (int i = 0; i < kNumParameters; ++i) {
        if (!controls[i]) continue;
        const float value = *controls[i];
        if (value == lastControl[i] || std::isnan(value)) continue;
        lastControl[i] = value;
        if (value != synth->getParameter(i)) synth->setParameter(i, value);
    }
}

void PluginInstance::run(std::uint32_t frames) {
    applyControls();
    if (!outputs[0] || !outputs[1]) return;
    renderEvents(frames);
}

void PluginInstance::renderEvents(std::uint32_t frames) {
    const LV2_Atom_Event* event = nullptr;
    if (midiIn && frames > 0) event = lv2_atom_sequence_begin(&midiIn->body);
    auto atEnd = [&] { return !event || lv2_atom_sequence_is_end(&midiIn->body, midiIn->atom.size, event); };
    std::uint32_t start = 0;
    for (;;) {
        std::uint32_t end = frames;
        int count = 0;
        for (; !atEnd(); event = lv2_atom_sequence_next(event)) {
            if (event->body.type != midiEvent || event->body.size == 0) continue;
            std::int64_t frame = event->time.frames;
            if (frame >= static_cast<std::int64_t>(frames)) frame = frames - 1;
            if (count == kMaxEventsPerCall) {
                if (frame > static_cast<std::int64_t>(start)) {
                    end = static_cast<std::uint32_t>(frame); // the rest goes into the next call
                    break;
                }
                continue; // more events at one instant than a call carries
            }
            VstMidiEvent& record = records[count++];
            record.deltaFrames = frame > static_cast<std::int64_t>(start) ? VstInt32(frame - start) : 0;
            const auto* bytes = reinterpret_cast<const std::uint8_t*>(event + 1);
            for (std::uint32_t b = 0; b < 3; ++b) record.midiData[b] = b < event->body.size ? char(bytes[b]) : 0;
        }
        if (count > 0) {
            list->numEvents = count;
            synth->processEvents(reinterpret_cast<VstEvents*>(list.get()));
        }
        float* out[2] = {outputs[0] + start, outputs[1] + start};
        synth->processReplacing(nullptr, out, static_cast<VstInt32>(end - start));
        if (end >= frames) break;
        start = end;
    }
}

bool PluginInstance::save(const void*& data, std::size_t& size) {
    void* chunk = nullptr;
    const VstInt32 bytes = synth->getChunk(&chunk, false);
    if (bytes <= 0 || !chunk) return false;
    data = chunk;
    size = static_cast<std::size_t>(bytes);
    return true;
}

bool PluginInstance::restore(const void* data, std::size_t size, std::uint32_t type) {
    // Anything but a bank chunk of the right size is refused here, without a notice.
    if (!data || type != atomChunk || size != sizeof(BankChunk)) return false;
    BankChunk copy;
    std::memcpy(&copy, data, sizeof copy);
    if (copy.id != kChunkId) return false;
    if (synth->setChunk(&copy, sizeof copy, false) != 1) return false;
    // The restored bank is what the musician had: control ports still holding older
    // values do not override it until the host moves them.
    for (int i = 0; i < kNumParameters; ++i)
        if (controls[i]) lastControl[i] = *controls[i];
    return true;
}

void PluginInstance::automate(int index, float value) {
    if (HostBridge* ui = uiBridge.load()) ui->automate(index, value);
}

void PluginInstance::touch(int index, bool grabbed) {
    if (HostBridge* ui = uiBridge.load()) ui->touch(index, grabbed);
}

void PluginInstance::displayChanged() { displayDirty.store(true); }

// ---- The LV2 entry points ---------------------------------------------------------------

namespace {

PluginInstance* self(LV2_Handle handle) { return static_cast<PluginInstance*>(handle); }

LV2_Handle instantiate(const LV2_Descriptor*, double rate, const char*, const LV2_Feature* const* features) {
    try {
        return PluginInstance::create(rate, features);
    } catch (...) {
        return nullptr;
    }
}

void connectPort(LV2_Handle handle, uint32_t port, void* data) { self(handle)->connect(port, data); }

void activate(LV2_Handle handle) {
    try {
        self(handle)->activate();
    } catch (...) {
    }
}

void run(LV2_Handle handle, uint32_t frames) {
    try {
        self(handle)->run(frames);
    } catch (...) {
    }
}

void deactivate(LV2_Handle handle) {
    try {
        self(handle)->deactivate();
    } catch (...) {
    }
}

void cleanup(LV2_Handle handle) {
    try {
        delete self(handle);
    } catch (...) {
    }
}

LV2_State_Status saveState(LV2_Handle handle, LV2_State_Store_Function store, LV2_State_Handle storeHandle, uint32_t,
                           const LV2_Feature* const*) {
    try {
        const void* data = nullptr;
        std::size_t size = 0;
        if (!self(handle)->save(data, size)) return LV2_STATE_ERR_UNKNOWN;
        return store(storeHandle, self(handle)->bankKey(), data, size, self(handle)->chunkType(),
                     LV2_STATE_IS_POD | LV2_STATE_IS_PORTABLE);
    } catch (...) {
        return LV2_STATE_ERR_UNKNOWN;
    }
}

LV2_State_Status restoreState(LV2_Handle handle, LV2_State_Retrieve_Function retrieve, LV2_State_Handle retrieveHandle,
                              uint32_t, const LV2_Feature* const*) {
    try {
        std::size_t size = 0;
        uint32_t type = 0;
        uint32_t flags = 0;
        const void* data = retrieve(retrieveHandle, self(handle)->bankKey(), &size, &type, &flags);
        if (!data) return LV2_STATE_ERR_NO_PROPERTY;
        return self(handle)->restore(data, size, type) ? LV2_STATE_SUCCESS : LV2_STATE_ERR_BAD_TYPE;
    } catch (...) {
        return LV2_STATE_ERR_UNKNOWN;
    }
}

const LV2_State_Interface stateInterface = {saveState, restoreState};

const void* extensionData(const char* uri) {
    if (uri && std::strcmp(uri, LV2_STATE__interface) == 0) return &stateInterface;
    return nullptr;
}

const LV2_Descriptor descriptor = {kPluginUri, instantiate, connectPort, activate,
                                   run,        deactivate,  cleanup,     extensionData};

} // namespace

} // namespace vl::lv2

extern "C" LV2_SYMBOL_EXPORT const LV2_Descriptor* lv2_descriptor(uint32_t index) {
    return index == 0 ? &vl::lv2::descriptor : nullptr;
}
