#pragma once
// The instrument as a CLAP plug-in: one ClapPlugin per instance the host creates. It drives
// the Instrument through its AEffect record exactly as a VST 2 host does (effOpen, sample
// rate, block size, effMainsChanged, effProcessEvents and processReplacing, setParameter,
// chunks, effEditOpen/Idle/Close) and answers the instrument's host callbacks itself,
// turning automation and edit gestures of the panel into CLAP parameter events.

#include <atomic>
#include <cstdint>

#include "clap/ClapAbi.h"
#include "vst/VstAbi.h"

namespace vl {
class Instrument;
}

namespace vl::clap {

inline constexpr char kPluginId[] = "com.tarlowe.velmorloom";
inline constexpr std::uint32_t kPanelWidth = 727;
inline constexpr std::uint32_t kPanelHeight = 301;
inline constexpr int kParameterCount = 13;

// The descriptor of the one plug-in in the factory.
const clap_plugin_descriptor_t* pluginDescriptor();

class ClapPlugin {
public:
    // Creates the plug-in record for host; nothing of the instrument exists before init.
    explicit ClapPlugin(const clap_host_t* host);
    ClapPlugin(const ClapPlugin&) = delete;
    ClapPlugin& operator=(const ClapPlugin&) = delete;

    const clap_plugin_t* record() const { return &plugin; }

private:
    // One parameter event of the panel on its way to the host.
    struct PanelEvent {
        std::uint16_t type; // CLAP_EVENT_PARAM_VALUE, _GESTURE_BEGIN or _GESTURE_END
        std::uint16_t index;
        float value;
    };
    // A note or MIDI message waiting for its render segment, at its time in the block.
    struct PendingMidi {
        std::uint32_t time;
        std::uint8_t bytes[3];
    };
    // VstEvents with room for every pending message of one segment.
    static constexpr int kMaxSegmentEvents = 2048;
    struct EventList {
        VstInt32 numEvents;
        VstIntPtr reserved;
        VstEvent* events[kMaxSegmentEvents];
    };
    static constexpr std::uint32_t kRingSize = 4096; // power of two

    static ClapPlugin* self(const clap_plugin_t* plugin);
    static VstIntPtr VSTCALLBACK hostCallback(AEffect* effect, VstInt32 opcode, VstInt32 index, VstIntPtr value,
                                              void* ptr, float opt);
    VstIntPtr answerInstrument(VstInt32 opcode, VstInt32 index, float opt);
    VstIntPtr dispatch(VstInt32 opcode, VstInt32 index = 0, VstIntPtr value = 0, void* ptr = nullptr, float opt = 0.0f);

    // clap_plugin
    bool init();
    void destroy();
    bool activate(double sampleRate, std::uint32_t maxFrames);
    void deactivate();
    void reset();
    clap_process_status process(const clap_process_t* block);
    const void* extension(const char* id) const;
    void onMainThread();

    // Events in and out.
    void queueNote(std::uint32_t time, std::uint8_t status, std::uint8_t data1, std::uint8_t data2);
    void readEvent(const clap_event_header_t* header, std::uint32_t time, bool rendering);
    void renderSegment(std::uint32_t end);
    void applyParameter(clap_id id, double value);
    void pushPanelEvent(std::uint16_t type, int index, float value);
    static void pushValue(const clap_output_events_t* out, std::uint32_t time, int index, float value);
    void sendOutgoing(const clap_output_events_t* out, std::uint32_t time);
    void flush(const clap_input_events_t* in, const clap_output_events_t* out);

    // params
    bool parameterInfo(std::uint32_t index, clap_param_info_t* info) const;
    bool valueToText(clap_id id, double value, char* text, std::uint32_t capacity) const;
    bool textToValue(clap_id id, const char* text, double* value) const;

    // state
    bool saveState(const clap_ostream_t* stream);
    bool loadState(const clap_istream_t* stream);

    // gui
    bool guiCreate(const char* api, bool floating);
    void guiDestroy();
    bool guiSetParent(const clap_window_t* window);
    bool guiShow();
    bool guiHide();
    void onTimer(clap_id id);

    bool presetLoad(std::uint32_t kind, const char* location, const char* key);

    // The function tables handed to the host.
    static const clap_plugin_audio_ports_t audioPortsExtension;
    static const clap_plugin_note_ports_t notePortsExtension;
    static const clap_plugin_params_t paramsExtension;
    static const clap_plugin_state_t stateExtension;
    static const clap_plugin_gui_t guiExtension;
    static const clap_plugin_timer_support_t timerExtension;
    static const clap_plugin_latency_t latencyExtension;
    static const clap_plugin_render_t renderExtension;
    static const clap_plugin_preset_load_t presetLoadExtension;

    clap_plugin_t plugin;
    const clap_host_t* host;
    const clap_host_params_t* hostParams = nullptr;
    const clap_host_state_t* hostState = nullptr;
    const clap_host_timer_support_t* hostTimer = nullptr;
    const clap_host_preset_load_t* hostPresetLoad = nullptr;

    // The instrument and its record; the instrument deletes itself on effClose.
    Instrument* instrument = nullptr;
    AEffect* effect = nullptr;
    bool active = false;

    // Panel window.
    bool guiCreated = false;
    bool panelOpen = false;
    void* parentWindow = nullptr;
    clap_id timerId = CLAP_INVALID_ID;

    // Panel events: written on the main thread, read by process or flush (never both at
    // once), without a lock.
    PanelEvent ring[kRingSize];
    std::atomic<std::uint32_t> ringWrite{0};
    std::atomic<std::uint32_t> ringRead{0};

    // Work that the main thread does for the instrument's callbacks from other threads.
    std::atomic<bool> valuesChanged{false};
    std::atomic<bool> stateChanged{false};

    // Parameter values the host was last told of (process and flush only).
    float reported[kParameterCount] = {};

    // The block being rendered (process only).
    float* left = nullptr;
    float* right = nullptr;
    std::uint32_t segmentStart = 0;
    int pendingCount = 0;
    PendingMidi pending[kMaxSegmentEvents];
    VstMidiEvent midiEvents[kMaxSegmentEvents];
    EventList eventList;
};

} // namespace vl::clap
