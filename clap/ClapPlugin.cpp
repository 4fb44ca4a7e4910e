#include "clap/ClapPlugin.h"

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <new>

#include "instrument/Instrument.h"
#include "instrument/Parameters.h"
#include "instrument/Program.h"

namespace vl::clap {

namespace {

constexpr VstInt32 kBankChunkSize = sizeof(BankChunk);
constexpr std::uint32_t kIdleMilliseconds = 30;

#if defined(_WIN32)
constexpr const char* kWindowApi = CLAP_WINDOW_API_WIN32;
#else
constexpr const char* kWindowApi = CLAP_WINDOW_API_X11;
#endif

// The panel's one size (get_size, and adjust_size: no other size is possible).
bool panelSize(const clap_plugin_t*, std::uint32_t* width, std::uint32_t* height) {
    if (!width || !height) return false;
    *width = kPanelWidth;
    *height = kPanelHeight;
    return true;
}

bool validParameterId(clap_id id) { return id < static_cast<clap_id>(kParameterCount); }

// A MIDI data byte from a CLAP velocity (0..1); note-ons keep at least 1, since 0 would
// turn them into note-offs.
std::uint8_t midiVelocity(double velocity, bool noteOn) {
    if (!(velocity >= 0.0)) velocity = 0.0;
    if (velocity > 1.0) velocity = 1.0;
    int v = static_cast<int>(std::lround(velocity * 127.0));
    if (noteOn && v < 1) v = 1;
    return static_cast<std::uint8_t>(v);
}

// The integer a display text shows: optional blanks, sign, digits, blanks and the
// parameter's unit label. False for anything else.
bool parseDisplayNumber(const char* text, long* number) {
    while (*text == ' ') ++text;
    char* end = nullptr;
    const long n = std::strtol(text, &end, 10);
    if (end == text) return false;
    while (*end == ' ') ++end;
    if (*end == '%') ++end;
    while (*end == ' ') ++end;
    if (*end != '\0') return false;
    *number = n;
    return true;
}

// A value inside 0..1 whose display is the number n: the middle of the interval of values
// that show n, so that the display of the float found shows n again.
float valueForDisplay(int index, long n) {
    switch (index) {
    case kVoices:
        return static_cast<float>(n - 1) / 31.0f;
    case kEnsembleFeedback:
        return clampParameter(static_cast<float>((static_cast<double>(n) + 50.5) / 100.0));
    default:
        return clampParameter(static_cast<float>((static_cast<double>(n) + 0.5) / 100.0));
    }
}

} // namespace

// ---- The instrument's host ---------------------------------------------------------------

ClapPlugin* ClapPlugin::self(const clap_plugin_t* plugin) {
    return plugin ? static_cast<ClapPlugin*>(plugin->plugin_data) : nullptr;
}

// The instrument finds its ClapPlugin through the record's user field, which a VST 2 host
// owns; it is set once the instrument is built (calls during construction find none).
VstIntPtr VSTCALLBACK ClapPlugin::hostCallback(AEffect* effect, VstInt32 opcode, VstInt32 index, VstIntPtr, void*,
                                               float opt) {
    if (opcode == audioMasterVersion) return 2400;
    auto* plugin = effect ? static_cast<ClapPlugin*>(effect->user) : nullptr;
    if (!plugin) return 0;
    return plugin->answerInstrument(opcode, index, opt);
}

VstIntPtr ClapPlugin::answerInstrument(VstInt32 opcode, VstInt32 index, float opt) {
    switch (opcode) {
    case audioMasterAutomate:
        // The panel's knob moved (main thread): the value is applied already; the host
        // learns of it in the next process or flush.
        pushPanelEvent(CLAP_EVENT_PARAM_VALUE, index, opt);
        return 0;
    case audioMasterBeginEdit:
        pushPanelEvent(CLAP_EVENT_PARAM_GESTURE_BEGIN, index, 0.0f);
        return 0;
    case audioMasterEndEdit:
        pushPanelEvent(CLAP_EVENT_PARAM_GESTURE_END, index, 0.0f);
        return 0;
    case audioMasterUpdateDisplay:
        // A program was selected or loaded, from any thread: the main thread tells the
        // host to read the values again.
        valuesChanged.store(true, std::memory_order_release);
        stateChanged.store(true, std::memory_order_release);
        if (host && host->request_callback) host->request_callback(host);
        return 0;
    default:
        return 0;
    }
}

VstIntPtr ClapPlugin::dispatch(VstInt32 opcode, VstInt32 index, VstIntPtr value, void* ptr, float opt) {
    if (!effect) return 0;
    return effect->dispatcher(effect, opcode, index, value, ptr, opt);
}

// ---- Life cycle -------------------------------------------------------------------------

bool ClapPlugin::init() {
    if (effect) return true;
    if (host && host->get_extension) {
        hostParams = static_cast<const clap_host_params_t*>(host->get_extension(host, CLAP_EXT_PARAMS));
        hostState = static_cast<const clap_host_state_t*>(host->get_extension(host, CLAP_EXT_STATE));
        hostTimer = static_cast<const clap_host_timer_support_t*>(host->get_extension(host, CLAP_EXT_TIMER_SUPPORT));
        hostPresetLoad = static_cast<const clap_host_preset_load_t*>(host->get_extension(host, CLAP_EXT_PRESET_LOAD));
        if (!hostPresetLoad)
            hostPresetLoad = static_cast<const clap_host_preset_load_t*>(
                host->get_extension(host, CLAP_EXT_PRESET_LOAD_COMPAT));
    }
    Instrument* made = nullptr;
    try {
        made = new (std::nothrow) Instrument(&ClapPlugin::hostCallback);
    } catch (...) {
        made = nullptr;
    }
    if (!made) return false;
    instrument = made;
    if (!instrument->editorReady) {
        EffectFrame* frame = instrument;
        delete frame;
        instrument = nullptr;
        return false;
    }
    effect = instrument->getAeffect();
    effect->user = this;
    dispatch(effOpen);
    for (int i = 0; i < kParameterCount; ++i) reported[i] = effect->getParameter(effect, i);
    return true;
}

void ClapPlugin::destroy() {
    guiDestroy();
    if (effect) {
        dispatch(effMainsChanged, 0, 0);
        dispatch(effClose); // the instrument deletes itself
        effect = nullptr;
        instrument = nullptr;
    }
}

bool ClapPlugin::activate(double sampleRate, std::uint32_t maxFrames) {
    if (!effect || active) return false;
    const float rate = static_cast<float>(sampleRate);
    dispatch(effSetSampleRate, 0, 0, nullptr, rate);
    if (instrument->getSampleRate() != rate) return false; // outside 1000..768000 Hz
    dispatch(effSetBlockSize, 0, static_cast<VstIntPtr>(maxFrames));
    dispatch(effMainsChanged, 0, 1);
    active = true;
    return true;
}

void ClapPlugin::deactivate() {
    if (!active) return;
    dispatch(effMainsChanged, 0, 0);
    active = false;
}

// Silences the engine as switching the instrument off and on again does.
void ClapPlugin::reset() {
    dispatch(effMainsChanged, 0, 0);
    dispatch(effMainsChanged, 0, 1);
}

void ClapPlugin::onMainThread() {
    if (valuesChanged.exchange(false, std::memory_order_acq_rel) && hostParams && hostParams->rescan)
        hostParams->rescan(host, CLAP_PARAM_RESCAN_VALUES);
    if (stateChanged.exchange(false, std::memory_order_acq_rel) && hostState && hostState->mark_dirty)
        hostState->mark_dirty(host);
}

// ---- Events -----------------------------------------------------------------------------

void ClapPlugin::pushPanelEvent(std::uint16_t type, int index, float value) {
    if (index < 0 || index >= kParameterCount) return; // other panel controls are no parameters
    const std::uint32_t write = ringWrite.load(std::memory_order_relaxed);
    if (write - ringRead.load(std::memory_order_acquire) >= kRingSize) return; // full: dropped
    ring[write & (kRingSize - 1)] = PanelEvent{type, static_cast<std::uint16_t>(index), value};
    ringWrite.store(write + 1, std::memory_order_release);
    stateChanged.store(true, std::memory_order_release);
    if (host && host->request_callback) host->request_callback(host);
    if (hostParams && hostParams->request_flush) hostParams->request_flush(host);
}

void ClapPlugin::pushValue(const clap_output_events_t* out, std::uint32_t time, int index, float value) {
    if (!out || !out->try_push) return;
    clap_event_param_value_t event{};
    event.header = {sizeof event, time, CLAP_CORE_EVENT_SPACE_ID, CLAP_EVENT_PARAM_VALUE, 0};
    event.param_id = static_cast<clap_id>(index);
    event.note_id = -1;
    event.port_index = -1;
    event.channel = -1;
    event.key = -1;
    event.value = value;
    out->try_push(out, &event.header);
}

// The panel's events, then every value that changed otherwise (MIDI controllers and
// program changes, program buttons), all at time.
void ClapPlugin::sendOutgoing(const clap_output_events_t* out, std::uint32_t time) {
    const std::uint32_t write = ringWrite.load(std::memory_order_acquire);
    std::uint32_t read = ringRead.load(std::memory_order_relaxed);
    for (; read != write; ++read) {
        const PanelEvent& e = ring[read & (kRingSize - 1)];
        if (e.type == CLAP_EVENT_PARAM_VALUE) {
            reported[e.index] = e.value;
            pushValue(out, time, e.index, e.value);
        } else {
            clap_event_param_gesture_t event{};
            event.header = {sizeof event, time, CLAP_CORE_EVENT_SPACE_ID, e.type, 0};
            event.param_id = e.index;
            if (out && out->try_push) out->try_push(out, &event.header);
        }
    }
    ringRead.store(read, std::memory_order_release);
    for (int i = 0; i < kParameterCount; ++i) {
        const float value = effect->getParameter(effect, i);
        if (value == reported[i]) continue;
        reported[i] = value;
        pushValue(out, time, i, value);
    }
}

void ClapPlugin::applyParameter(clap_id id, double value) {
    if (!validParameterId(id)) return;
    const auto index = static_cast<VstInt32>(id);
    effect->setParameter(effect, index, static_cast<float>(value));
    reported[index] = effect->getParameter(effect, index);
}

void ClapPlugin::queueNote(std::uint32_t time, std::uint8_t status, std::uint8_t data1, std::uint8_t data2) {
    if (pendingCount >= kMaxSegmentEvents) return;
    pending[pendingCount++] = PendingMidi{time, {status, data1, data2}};
}

// One incoming event. Notes and MIDI wait for their segment; a parameter value inside the
// block first renders everything before it (when rendering), so it takes effect at its
// own sample, as it would from a VST 2 host that splits its block there.
void ClapPlugin::readEvent(const clap_event_header_t* header, std::uint32_t time, bool rendering) {
    if (!header || header->space_id != CLAP_CORE_EVENT_SPACE_ID) return;
    switch (header->type) {
    case CLAP_EVENT_NOTE_ON:
    case CLAP_EVENT_NOTE_OFF:
    case CLAP_EVENT_NOTE_CHOKE: {
        if (!rendering || header->size < sizeof(clap_event_note_t)) return;
        const auto* note = reinterpret_cast<const clap_event_note_t*>(header);
        if (note->port_index > 0) return;
        const std::uint8_t channel = static_cast<std::uint8_t>(note->channel >= 0 && note->channel < 16 ? note->channel
                                                                                                        : 0);
        const bool on = header->type == CLAP_EVENT_NOTE_ON;
        const std::uint8_t velocity = midiVelocity(note->velocity, on);
        if (note->key >= 0 && note->key < 128) {
            queueNote(time, static_cast<std::uint8_t>((on ? 0x90 : 0x80) | channel),
                      static_cast<std::uint8_t>(note->key), velocity);
        } else if (!on && note->key == -1) {
            // Every key of the channel.
            for (int key = 0; key < 128; ++key)
                queueNote(time, static_cast<std::uint8_t>(0x80 | channel), static_cast<std::uint8_t>(key), velocity);
        }
        return;
    }
    case CLAP_EVENT_MIDI: {
        if (!rendering || header->size < sizeof(clap_event_midi_t)) return;
        const auto* midi = reinterpret_cast<const clap_event_midi_t*>(header);
        if (midi->port_index != 0) return;
        queueNote(time, midi->data[0], midi->data[1], midi->data[2]);
        return;
    }
    case CLAP_EVENT_PARAM_VALUE: {
        if (header->size < sizeof(clap_event_param_value_t)) return;
        const auto* param = reinterpret_cast<const clap_event_param_value_t*>(header);
        if (!validParameterId(param->param_id)) return;
        if (rendering && time > segmentStart) renderSegment(time);
        applyParameter(param->param_id, param->value);
        return;
    }
    default:
        return; // modulation, expressions, transport, SysEx and MIDI 2 are not used
    }
}

// Renders from segmentStart up to end: the waiting messages before end go to the
// instrument with offsets inside the segment, the rest wait for the next one.
void ClapPlugin::renderSegment(std::uint32_t end) {
    int given = 0;
    int kept = 0;
    for (int i = 0; i < pendingCount; ++i) {
        const PendingMidi& p = pending[i];
        if (p.time < end) {
            VstMidiEvent& e = midiEvents[given];
            e = VstMidiEvent{};
            e.type = kVstMidiType;
            e.byteSize = sizeof(VstMidiEvent);
            e.deltaFrames = static_cast<VstInt32>(p.time - segmentStart);
            e.midiData[0] = static_cast<char>(p.bytes[0]);
            e.midiData[1] = static_cast<char>(p.bytes[1]);
            e.midiData[2] = static_cast<char>(p.bytes[2]);
            eventList.events[given] = reinterpret_cast<VstEvent*>(&e);
            ++given;
        } else {
            pending[kept++] = p;
        }
    }
    pendingCount = kept;
    eventList.numEvents = given;
    eventList.reserved = 0;
    if (given > 0) dispatch(effProcessEvents, 0, 0, &eventList);
    float* outputs[2] = {left + segmentStart, right + segmentStart};
    effect->processReplacing(effect, nullptr, outputs, static_cast<VstInt32>(end - segmentStart));
    segmentStart = end;
}

clap_process_status ClapPlugin::process(const clap_process_t* block) {
    if (!effect || !block || block->audio_outputs_count < 1 || !block->audio_outputs) return CLAP_PROCESS_ERROR;
    const clap_audio_buffer_t& output = block->audio_outputs[0];
    if (output.channel_count < 2 || !output.data32 || !output.data32[0] || !output.data32[1]) return CLAP_PROCESS_ERROR;
    left = output.data32[0];
    right = output.data32[1];
    const std::uint32_t frames = block->frames_count;
    segmentStart = 0;
    pendingCount = 0;
    const clap_input_events_t* in = block->in_events;
    const std::uint32_t count = in && in->size ? in->size(in) : 0;
    for (std::uint32_t i = 0; i < count; ++i) {
        const clap_event_header_t* header = in->get(in, i);
        if (!header) continue;
        // Times beyond the block (a host fault) count as its last sample.
        const std::uint32_t time = frames == 0 ? 0 : (header->time < frames ? header->time : frames - 1);
        readEvent(header, time < segmentStart ? segmentStart : time, true);
    }
    if (frames > segmentStart) renderSegment(frames);
    sendOutgoing(block->out_events, frames == 0 ? 0 : frames - 1);
    return CLAP_PROCESS_CONTINUE;
}

void ClapPlugin::flush(const clap_input_events_t* in, const clap_output_events_t* out) {
    if (!effect) return;
    const std::uint32_t count = in && in->size ? in->size(in) : 0;
    for (std::uint32_t i = 0; i < count; ++i) readEvent(in->get(in, i), 0, false);
    sendOutgoing(out, 0);
}

// ---- Parameters ---------------------------------------------------------------------------

bool ClapPlugin::parameterInfo(std::uint32_t index, clap_param_info_t* info) const {
    if (!info || index >= static_cast<std::uint32_t>(kParameterCount)) return false;
    const ParameterInfo& p = parameterTable[index];
    *info = clap_param_info_t{};
    info->id = index;
    info->flags = CLAP_PARAM_IS_AUTOMATABLE;
    info->cookie = nullptr;
    std::snprintf(info->name, sizeof info->name, "%s", p.name);
    info->module[0] = '\0';
    info->min_value = p.minValue;
    info->max_value = p.maxValue;
    info->default_value = p.defaultValue;
    return true;
}

// The text the panel and a VST 2 host show for the value (as a float).
bool ClapPlugin::valueToText(clap_id id, double value, char* text, std::uint32_t capacity) const {
    if (!validParameterId(id) || !text || capacity == 0) return false;
    char display[16] = {};
    parameterTable[id].formatValue(clampParameter(static_cast<float>(value)), display);
    std::snprintf(text, capacity, "%s", display);
    return true;
}

// The value for a display text: "OFF", or the number the display shows (the unit label
// may follow). A number no value of the parameter shows is refused.
bool ClapPlugin::textToValue(clap_id id, const char* text, double* value) const {
    if (!validParameterId(id) || !text || !value) return false;
    const int index = static_cast<int>(id);
    const ParameterInfo& p = parameterTable[index];
    float candidate;
    const char* t = text;
    while (*t == ' ') ++t;
    if (index == kPhaserDepth && (std::strncmp(t, "OFF", 3) == 0 || std::strncmp(t, "off", 3) == 0)) {
        candidate = 0.0f;
    } else {
        long n;
        if (!parseDisplayNumber(text, &n) || n < -1000 || n > 1000) return false;
        candidate = valueForDisplay(index, n);
        char shown[16] = {};
        p.formatValue(candidate, shown);
        long back;
        if (std::strcmp(shown, "OFF") == 0) {
            back = 0;
        } else if (!parseDisplayNumber(shown, &back)) {
            return false;
        }
        if (back != n) return false;
    }
    *value = candidate;
    return true;
}

// ---- State ---------------------------------------------------------------------------------

// The whole bank, exactly the VST 2 bank chunk (the edit buffer is stored into its slot
// first, as every chunk request does).
bool ClapPlugin::saveState(const clap_ostream_t* stream) {
    if (!effect || !stream || !stream->write) return false;
    void* data = nullptr;
    const VstIntPtr size = dispatch(effGetChunk, 0, 0, &data);
    if (size != kBankChunkSize || !data) return false;
    const auto* bytes = static_cast<const std::uint8_t*>(data);
    std::uint64_t done = 0;
    while (done < static_cast<std::uint64_t>(size)) {
        const std::int64_t n = stream->write(stream, bytes + done, static_cast<std::uint64_t>(size) - done);
        if (n <= 0) return false;
        done += static_cast<std::uint64_t>(n);
    }
    return true;
}

// A stream of exactly one bank chunk of this instrument, of a version it reads, is loaded
// as the VST 2 chunk is; anything else is refused before the instrument sees it, so that
// nothing changes and no message box appears.
bool ClapPlugin::loadState(const clap_istream_t* stream) {
    if (!effect || !stream || !stream->read) return false;
    std::uint8_t bytes[kBankChunkSize + 1];
    std::uint64_t got = 0;
    while (got < sizeof bytes) {
        const std::int64_t n = stream->read(stream, bytes + got, sizeof bytes - got);
        if (n < 0) return false;
        if (n == 0) break;
        got += static_cast<std::uint64_t>(n);
    }
    if (got != static_cast<std::uint64_t>(kBankChunkSize)) return false;
    const std::uint8_t idBytes[4] = {'R', 'M', 'L', 'V'};
    if (std::memcmp(bytes, idBytes, 4) != 0) return false;
    const std::uint32_t version = bytes[4] | std::uint32_t(bytes[5]) << 8 | std::uint32_t(bytes[6]) << 16 |
                                  std::uint32_t(bytes[7]) << 24;
    if (version > static_cast<std::uint32_t>(kChunkVersion)) return false;
    return dispatch(effSetChunk, 0, kBankChunkSize, bytes) == 1;
}

// ---- Panel ------------------------------------------------------------------------------------

bool ClapPlugin::guiCreate(const char* api, bool floating) {
    if (!effect || floating || !api || std::strcmp(api, kWindowApi) != 0) return false;
    if (!(effect->flags & effFlagsHasEditor)) return false;
    if (guiCreated) return true;
#if !defined(_WIN32)
    // The X11 panel reads its events in its idle call: without the host's timer it would
    // never run.
    if (!hostTimer || !hostTimer->register_timer) return false;
#endif
    if (hostTimer && hostTimer->register_timer) {
        clap_id id = CLAP_INVALID_ID;
        if (hostTimer->register_timer(host, kIdleMilliseconds, &id)) timerId = id;
#if !defined(_WIN32)
        if (timerId == CLAP_INVALID_ID) return false;
#endif
    }
    guiCreated = true;
    return true;
}

void ClapPlugin::guiDestroy() {
    if (!guiCreated) return;
    guiHide();
    if (timerId != CLAP_INVALID_ID && hostTimer && hostTimer->unregister_timer)
        hostTimer->unregister_timer(host, timerId);
    timerId = CLAP_INVALID_ID;
    parentWindow = nullptr;
    guiCreated = false;
}

bool ClapPlugin::guiSetParent(const clap_window_t* window) {
    if (!guiCreated || !window || !window->api || std::strcmp(window->api, kWindowApi) != 0) return false;
#if defined(_WIN32)
    void* parent = window->win32;
#else
    void* parent = reinterpret_cast<void*>(static_cast<std::uintptr_t>(window->x11));
#endif
    if (!parent) return false;
    if (panelOpen && parent != parentWindow) guiHide();
    parentWindow = parent;
    return guiShow();
}

// The panel window exists while shown: show opens it in the parent, hide closes it.
bool ClapPlugin::guiShow() {
    if (!guiCreated || !parentWindow) return false;
    if (panelOpen) return true;
    panelOpen = dispatch(effEditOpen, 0, 0, parentWindow) == 1;
    return panelOpen;
}

bool ClapPlugin::guiHide() {
    if (!panelOpen) return guiCreated;
    dispatch(effEditClose);
    panelOpen = false;
    return true;
}

void ClapPlugin::onTimer(clap_id id) {
    if (panelOpen && id == timerId) dispatch(effEditIdle);
}

// ---- Programs -----------------------------------------------------------------------------------

// The presets the discovery factory lists are the program slots, with load keys "0" to
// "7"; loading one selects the slot, as the panel's program buttons do.
bool ClapPlugin::presetLoad(std::uint32_t kind, const char* location, const char* key) {
    const bool valid = effect && kind == CLAP_PRESET_DISCOVERY_LOCATION_PLUGIN && key && key[0] >= '0' &&
                       key[0] < '0' + kNumPrograms && key[1] == '\0';
    if (!valid) {
        if (hostPresetLoad && hostPresetLoad->on_error)
            hostPresetLoad->on_error(host, kind, location, key, 0, "no such program");
        return false;
    }
    dispatch(effSetProgram, 0, key[0] - '0');
    if (hostPresetLoad && hostPresetLoad->loaded) hostPresetLoad->loaded(host, kind, location, key);
    return true;
}

// ---- Function tables -------------------------------------------------------------------------

const clap_plugin_audio_ports_t ClapPlugin::audioPortsExtension = {
    [](const clap_plugin_t*, bool isInput) -> std::uint32_t { return isInput ? 0 : 1; },
    [](const clap_plugin_t*, std::uint32_t index, bool isInput, clap_audio_port_info_t* info) -> bool {
        if (isInput || index != 0 || !info) return false;
        *info = clap_audio_port_info_t{};
        info->id = 0;
        std::snprintf(info->name, sizeof info->name, "Output");
        info->flags = CLAP_AUDIO_PORT_IS_MAIN;
        info->channel_count = 2;
        info->port_type = CLAP_PORT_STEREO;
        info->in_place_pair = CLAP_INVALID_ID;
        return true;
    },
};

const clap_plugin_note_ports_t ClapPlugin::notePortsExtension = {
    [](const clap_plugin_t*, bool isInput) -> std::uint32_t { return isInput ? 1 : 0; },
    [](const clap_plugin_t*, std::uint32_t index, bool isInput, clap_note_port_info_t* info) -> bool {
        if (!isInput || index != 0 || !info) return false;
        *info = clap_note_port_info_t{};
        info->id = 0;
        info->supported_dialects = CLAP_NOTE_DIALECT_CLAP | CLAP_NOTE_DIALECT_MIDI;
        info->preferred_dialect = CLAP_NOTE_DIALECT_MIDI;
        std::snprintf(info->name, sizeof info->name, "MIDI In");
        return true;
    },
};

const clap_plugin_params_t ClapPlugin::paramsExtension = {
    [](const clap_plugin_t*) -> std::uint32_t { return kParameterCount; },
    [](const clap_plugin_t* p, std::uint32_t index, clap_param_info_t* info) -> bool {
        ClapPlugin* s = self(p);
        return s && s->parameterInfo(index, info);
    },
    [](const clap_plugin_t* p, clap_id id, double* value) -> bool {
        ClapPlugin* s = self(p);
        if (!s || !s->effect || !value || !validParameterId(id)) return false;
        *value = s->effect->getParameter(s->effect, static_cast<VstInt32>(id));
        return true;
    },
    [](const clap_plugin_t* p, clap_id id, double value, char* text, std::uint32_t capacity) -> bool {
        ClapPlugin* s = self(p);
        return s && s->valueToText(id, value, text, capacity);
    },
    [](const clap_plugin_t* p, clap_id id, const char* text, double* value) -> bool {
        ClapPlugin* s = self(p);
        return s && s->textToValue(id, text, value);
    },
    [](const clap_plugin_t* p, const clap_input_events_t* in, const clap_output_events_t* out) {
        if (ClapPlugin* s = self(p)) s->flush(in, out);
    },
};

const clap_plugin_state_t ClapPlugin::stateExtension = {
    [](const clap_plugin_t* p, const clap_ostream_t* stream) -> bool {
        ClapPlugin* s = self(p);
        return s && s->saveState(stream);
    },
    [](const clap_plugin_t* p, const clap_istream_t* stream) -> bool {
        ClapPlugin* s = self(p);
        return s && s->loadState(stream);
    },
};

const clap_plugin_gui_t ClapPlugin::guiExtension = {
    [](const clap_plugin_t*, const char* api, bool floating) -> bool {
        return !floating && api && std::strcmp(api, kWindowApi) == 0;
    },
    [](const clap_plugin_t*, const char** api, bool* floating) -> bool {
        if (!api || !floating) return false;
        *api = kWindowApi;
        *floating = false;
        return true;
    },
    [](const clap_plugin_t* p, const char* api, bool floating) -> bool {
        ClapPlugin* s = self(p);
        return s && s->guiCreate(api, floating);
    },
    [](const clap_plugin_t* p) {
        if (ClapPlugin* s = self(p)) s->guiDestroy();
    },
    [](const clap_plugin_t*, double) -> bool { return false; }, // fixed bitmaps
    panelSize,
    [](const clap_plugin_t*) -> bool { return false; },
    [](const clap_plugin_t*, clap_gui_resize_hints_t*) -> bool { return false; },
    panelSize,
    [](const clap_plugin_t*, std::uint32_t width, std::uint32_t height) -> bool {
        return width == kPanelWidth && height == kPanelHeight;
    },
    [](const clap_plugin_t* p, const clap_window_t* window) -> bool {
        ClapPlugin* s = self(p);
        return s && s->guiSetParent(window);
    },
    [](const clap_plugin_t*, const clap_window_t*) -> bool { return false; }, // embedded only
    [](const clap_plugin_t*, const char*) {},
    [](const clap_plugin_t* p) -> bool {
        ClapPlugin* s = self(p);
        return s && s->guiShow();
    },
    [](const clap_plugin_t* p) -> bool {
        ClapPlugin* s = self(p);
        return s && s->guiHide();
    },
};

const clap_plugin_timer_support_t ClapPlugin::timerExtension = {
    [](const clap_plugin_t* p, clap_id id) {
        if (ClapPlugin* s = self(p)) s->onTimer(id);
    },
};

const clap_plugin_latency_t ClapPlugin::latencyExtension = {
    [](const clap_plugin_t*) -> std::uint32_t { return 0; },
};

// Offline rendering is the same computation as real time.
const clap_plugin_render_t ClapPlugin::renderExtension = {
    [](const clap_plugin_t*) -> bool { return false; },
    [](const clap_plugin_t*, clap_plugin_render_mode mode) -> bool {
        return mode == CLAP_RENDER_REALTIME || mode == CLAP_RENDER_OFFLINE;
    },
};

const clap_plugin_preset_load_t ClapPlugin::presetLoadExtension = {
    [](const clap_plugin_t* p, std::uint32_t kind, const char* location, const char* key) -> bool {
        ClapPlugin* s = self(p);
        return s && s->presetLoad(kind, location, key);
    },
};

const void* ClapPlugin::extension(const char* id) const {
    if (!id) return nullptr;
    struct Entry {
        const char* id;
        const void* table;
    };
    const Entry entries[] = {
        {CLAP_EXT_AUDIO_PORTS, &audioPortsExtension},
        {CLAP_EXT_NOTE_PORTS, &notePortsExtension},
        {CLAP_EXT_PARAMS, &paramsExtension},
        {CLAP_EXT_STATE, &stateExtension},
        {CLAP_EXT_LATENCY, &latencyExtension},
        {CLAP_EXT_RENDER, &renderExtension},
        {CLAP_EXT_PRESET_LOAD, &presetLoadExtension},
        {CLAP_EXT_PRESET_LOAD_COMPAT, &presetLoadExtension},
        {CLAP_EXT_GUI, (effect && (effect->flags & effFlagsHasEditor)) ? &guiExtension : nullptr},
        {CLAP_EXT_TIMER_SUPPORT, &timerExtension},
    };
    for (const Entry& e : entries)
        if (std::strcmp(id, e.id) == 0) return e.table;
    return nullptr;
}

ClapPlugin::ClapPlugin(const clap_host_t* clapHost) : host(clapHost) {
    eventList.numEvents = 0;
    eventList.reserved = 0;
    plugin.desc = pluginDescriptor();
    plugin.plugin_data = this;
    plugin.init = [](const clap_plugin_t* p) -> bool {
        ClapPlugin* s = self(p);
        return s && s->init();
    };
    // The host gives the plug-in up: the instrument is closed and this object deleted.
    plugin.destroy = [](const clap_plugin_t* p) {
        ClapPlugin* s = self(p);
        if (!s) return;
        s->destroy();
        delete s;
    };
    plugin.activate = [](const clap_plugin_t* p, double rate, std::uint32_t, std::uint32_t maxFrames) -> bool {
        ClapPlugin* s = self(p);
        return s && s->activate(rate, maxFrames);
    };
    plugin.deactivate = [](const clap_plugin_t* p) {
        if (ClapPlugin* s = self(p)) s->deactivate();
    };
    plugin.start_processing = [](const clap_plugin_t* p) -> bool {
        ClapPlugin* s = self(p);
        return s && s->active;
    };
    plugin.stop_processing = [](const clap_plugin_t*) {};
    plugin.reset = [](const clap_plugin_t* p) {
        if (ClapPlugin* s = self(p)) s->reset();
    };
    plugin.process = [](const clap_plugin_t* p, const clap_process_t* block) -> clap_process_status {
        ClapPlugin* s = self(p);
        return s ? s->process(block) : CLAP_PROCESS_ERROR;
    };
    plugin.get_extension = [](const clap_plugin_t* p, const char* id) -> const void* {
        ClapPlugin* s = self(p);
        return s ? s->extension(id) : nullptr;
    };
    plugin.on_main_thread = [](const clap_plugin_t* p) {
        if (ClapPlugin* s = self(p)) s->onMainThread();
    };
}

} // namespace vl::clap
