#pragma once
// Our own declarations of the CLAP plug-in interface (version 1.2): the records, function
// tables, identifiers and constants that this plug-in and its test host use, under their
// published names. Written from the interface's public documentation; the layouts are the
// C layouts of the published records (plain C structs, natural alignment), checked below
// for the 64-bit targets we build.
//
// Only what the instrument needs is declared: the entry, the plug-in factory, the plug-in
// and host records, events, and the extensions audio-ports, note-ports, params, state,
// gui, timer-support, thread-check, latency, render, preset-load and the preset-discovery
// factory.

#include <cstddef>
#include <cstdint>

// Calling convention of every function that crosses the interface: the platform's C
// convention (CLAP fixes no other).
#define CLAP_ABI

extern "C" {

// ---- Versions, identifiers, text sizes ------------------------------------------------

struct clap_version {
    std::uint32_t major;
    std::uint32_t minor;
    std::uint32_t revision;
};
typedef clap_version clap_version_t;

constexpr clap_version_t kClapVersion{1, 2, 2};

typedef std::uint32_t clap_id;
constexpr clap_id CLAP_INVALID_ID = UINT32_MAX;

constexpr std::size_t CLAP_NAME_SIZE = 256;
constexpr std::size_t CLAP_PATH_SIZE = 1024;

// ---- Events ---------------------------------------------------------------------------

struct clap_event_header {
    std::uint32_t size; // bytes of the whole event, header included
    std::uint32_t time; // sample offset inside the block
    std::uint16_t space_id;
    std::uint16_t type;
    std::uint32_t flags;
};
typedef clap_event_header clap_event_header_t;

constexpr std::uint16_t CLAP_CORE_EVENT_SPACE_ID = 0;

enum : std::uint32_t {
    CLAP_EVENT_IS_LIVE = 1u << 0,
    CLAP_EVENT_DONT_RECORD = 1u << 1,
};

enum : std::uint16_t {
    CLAP_EVENT_NOTE_ON = 0,
    CLAP_EVENT_NOTE_OFF = 1,
    CLAP_EVENT_NOTE_CHOKE = 2,
    CLAP_EVENT_NOTE_END = 3,
    CLAP_EVENT_NOTE_EXPRESSION = 4,
    CLAP_EVENT_PARAM_VALUE = 5,
    CLAP_EVENT_PARAM_MOD = 6,
    CLAP_EVENT_PARAM_GESTURE_BEGIN = 7,
    CLAP_EVENT_PARAM_GESTURE_END = 8,
    CLAP_EVENT_TRANSPORT = 9,
    CLAP_EVENT_MIDI = 10,
    CLAP_EVENT_MIDI_SYSEX = 11,
    CLAP_EVENT_MIDI2 = 12,
};

// Note on, off, choke and end. -1 in note_id, port_index, channel or key is a wildcard.
struct clap_event_note {
    clap_event_header_t header;
    std::int32_t note_id;
    std::int16_t port_index;
    std::int16_t channel; // 0..15
    std::int16_t key; // 0..127
    double velocity; // 0..1
};
typedef clap_event_note clap_event_note_t;

struct clap_event_param_value {
    clap_event_header_t header;
    clap_id param_id;
    void* cookie;
    std::int32_t note_id;
    std::int16_t port_index;
    std::int16_t channel;
    std::int16_t key;
    double value;
};
typedef clap_event_param_value clap_event_param_value_t;

struct clap_event_param_gesture {
    clap_event_header_t header;
    clap_id param_id;
};
typedef clap_event_param_gesture clap_event_param_gesture_t;

struct clap_event_midi {
    clap_event_header_t header;
    std::uint16_t port_index;
    std::uint8_t data[3];
};
typedef clap_event_midi clap_event_midi_t;

// The host's list of incoming events, sorted by time.
struct clap_input_events {
    void* ctx;
    std::uint32_t(CLAP_ABI* size)(const clap_input_events* list);
    const clap_event_header_t*(CLAP_ABI* get)(const clap_input_events* list, std::uint32_t index);
};
typedef clap_input_events clap_input_events_t;

// The host's queue of outgoing events; try_push copies the event.
struct clap_output_events {
    void* ctx;
    bool(CLAP_ABI* try_push)(const clap_output_events* list, const clap_event_header_t* event);
};
typedef clap_output_events clap_output_events_t;

// ---- Audio buffers and the process call ----------------------------------------------

struct clap_audio_buffer {
    float** data32;
    double** data64;
    std::uint32_t channel_count;
    std::uint32_t latency;
    std::uint64_t constant_mask;
};
typedef clap_audio_buffer clap_audio_buffer_t;

struct clap_event_transport;

struct clap_process {
    std::int64_t steady_time;
    std::uint32_t frames_count;
    const clap_event_transport* transport;
    const clap_audio_buffer_t* audio_inputs;
    clap_audio_buffer_t* audio_outputs;
    std::uint32_t audio_inputs_count;
    std::uint32_t audio_outputs_count;
    const clap_input_events_t* in_events;
    const clap_output_events_t* out_events;
};
typedef clap_process clap_process_t;

typedef std::int32_t clap_process_status;
enum : clap_process_status {
    CLAP_PROCESS_ERROR = 0,
    CLAP_PROCESS_CONTINUE = 1,
    CLAP_PROCESS_CONTINUE_IF_NOT_QUIET = 2,
    CLAP_PROCESS_TAIL = 3,
    CLAP_PROCESS_SLEEP = 4,
};

// ---- Host and plug-in ------------------------------------------------------------------

struct clap_host {
    clap_version_t clap_version;
    void* host_data;
    const char* name;
    const char* vendor;
    const char* url;
    const char* version;
    const void*(CLAP_ABI* get_extension)(const clap_host* host, const char* extension_id);
    void(CLAP_ABI* request_restart)(const clap_host* host);
    void(CLAP_ABI* request_process)(const clap_host* host);
    void(CLAP_ABI* request_callback)(const clap_host* host);
};
typedef clap_host clap_host_t;

struct clap_plugin_descriptor {
    clap_version_t clap_version;
    const char* id;
    const char* name;
    const char* vendor;
    const char* url;
    const char* manual_url;
    const char* support_url;
    const char* version;
    const char* description;
    const char* const* features; // null-terminated list
};
typedef clap_plugin_descriptor clap_plugin_descriptor_t;

struct clap_plugin {
    const clap_plugin_descriptor_t* desc;
    void* plugin_data;
    bool(CLAP_ABI* init)(const clap_plugin* plugin);
    void(CLAP_ABI* destroy)(const clap_plugin* plugin);
    bool(CLAP_ABI* activate)(const clap_plugin* plugin, double sample_rate, std::uint32_t min_frames_count,
                             std::uint32_t max_frames_count);
    void(CLAP_ABI* deactivate)(const clap_plugin* plugin);
    bool(CLAP_ABI* start_processing)(const clap_plugin* plugin);
    void(CLAP_ABI* stop_processing)(const clap_plugin* plugin);
    void(CLAP_ABI* reset)(const clap_plugin* plugin);
    clap_process_status(CLAP_ABI* process)(const clap_plugin* plugin, const clap_process_t* process);
    const void*(CLAP_ABI* get_extension)(const clap_plugin* plugin, const char* id);
    void(CLAP_ABI* on_main_thread)(const clap_plugin* plugin);
};
typedef clap_plugin clap_plugin_t;

// ---- Entry and factories -----------------------------------------------------------------

// The one symbol a CLAP binary exports, named "clap_entry".
struct clap_plugin_entry {
    clap_version_t clap_version;
    bool(CLAP_ABI* init)(const char* plugin_path);
    void(CLAP_ABI* deinit)();
    const void*(CLAP_ABI* get_factory)(const char* factory_id);
};
typedef clap_plugin_entry clap_plugin_entry_t;

inline constexpr char CLAP_PLUGIN_FACTORY_ID[] = "clap.plugin-factory";

struct clap_plugin_factory {
    std::uint32_t(CLAP_ABI* get_plugin_count)(const clap_plugin_factory* factory);
    const clap_plugin_descriptor_t*(CLAP_ABI* get_plugin_descriptor)(const clap_plugin_factory* factory,
                                                                     std::uint32_t index);
    const clap_plugin_t*(CLAP_ABI* create_plugin)(const clap_plugin_factory* factory, const clap_host_t* host,
                                                  const char* plugin_id);
};
typedef clap_plugin_factory clap_plugin_factory_t;

// Preset discovery: an indexer (the host) creates a provider, which declares where its
// presets are and describes each of them to a metadata receiver.
inline constexpr char CLAP_PRESET_DISCOVERY_FACTORY_ID[] = "clap.preset-discovery-factory/2";
inline constexpr char CLAP_PRESET_DISCOVERY_FACTORY_ID_COMPAT[] = "clap.preset-discovery-factory/draft-2";

enum : std::uint32_t {
    CLAP_PRESET_DISCOVERY_LOCATION_FILE = 0,
    CLAP_PRESET_DISCOVERY_LOCATION_PLUGIN = 1,
};
enum : std::uint32_t {
    CLAP_PRESET_DISCOVERY_IS_FACTORY_CONTENT = 1u << 0,
    CLAP_PRESET_DISCOVERY_IS_USER_CONTENT = 1u << 1,
    CLAP_PRESET_DISCOVERY_IS_DEMO_CONTENT = 1u << 2,
    CLAP_PRESET_DISCOVERY_IS_FAVORITE = 1u << 3,
};

typedef std::uint64_t clap_timestamp;

struct clap_universal_plugin_id {
    const char* abi; // "clap"
    const char* id;
};
typedef clap_universal_plugin_id clap_universal_plugin_id_t;

struct clap_preset_discovery_metadata_receiver {
    void* receiver_data;
    void(CLAP_ABI* on_error)(const clap_preset_discovery_metadata_receiver* receiver, std::int32_t os_error,
                             const char* error_message);
    bool(CLAP_ABI* begin_preset)(const clap_preset_discovery_metadata_receiver* receiver, const char* name,
                                 const char* load_key);
    void(CLAP_ABI* add_plugin_id)(const clap_preset_discovery_metadata_receiver* receiver,
                                  const clap_universal_plugin_id_t* plugin_id);
    void(CLAP_ABI* set_soundpack_id)(const clap_preset_discovery_metadata_receiver* receiver, const char* soundpack_id);
    void(CLAP_ABI* set_flags)(const clap_preset_discovery_metadata_receiver* receiver, std::uint32_t flags);
    void(CLAP_ABI* add_creator)(const clap_preset_discovery_metadata_receiver* receiver, const char* creator);
    void(CLAP_ABI* set_description)(const clap_preset_discovery_metadata_receiver* receiver, const char* description);
    void(CLAP_ABI* set_timestamps)(const clap_preset_discovery_metadata_receiver* receiver,
                                   clap_timestamp creation_time, clap_timestamp modification_time);
    void(CLAP_ABI* add_feature)(const clap_preset_discovery_metadata_receiver* receiver, const char* feature);
    void(CLAP_ABI* add_extra_info)(const clap_preset_discovery_metadata_receiver* receiver, const char* key,
                                   const char* value);
};
typedef clap_preset_discovery_metadata_receiver clap_preset_discovery_metadata_receiver_t;

struct clap_preset_discovery_filetype {
    const char* name;
    const char* description;
    const char* file_extension;
};
typedef clap_preset_discovery_filetype clap_preset_discovery_filetype_t;

struct clap_preset_discovery_location {
    std::uint32_t flags;
    const char* name;
    std::uint32_t kind;
    const char* location; // null for presets held by the plug-in
};
typedef clap_preset_discovery_location clap_preset_discovery_location_t;

struct clap_preset_discovery_soundpack;

struct clap_preset_discovery_provider_descriptor {
    clap_version_t clap_version;
    const char* id;
    const char* name;
    const char* vendor;
};
typedef clap_preset_discovery_provider_descriptor clap_preset_discovery_provider_descriptor_t;

struct clap_preset_discovery_provider {
    const clap_preset_discovery_provider_descriptor_t* desc;
    void* provider_data;
    bool(CLAP_ABI* init)(const clap_preset_discovery_provider* provider);
    void(CLAP_ABI* destroy)(const clap_preset_discovery_provider* provider);
    bool(CLAP_ABI* get_metadata)(const clap_preset_discovery_provider* provider, std::uint32_t location_kind,
                                 const char* location,
                                 const clap_preset_discovery_metadata_receiver_t* metadata_receiver);
    const void*(CLAP_ABI* get_extension)(const clap_preset_discovery_provider* provider, const char* extension_id);
};
typedef clap_preset_discovery_provider clap_preset_discovery_provider_t;

struct clap_preset_discovery_indexer {
    clap_version_t clap_version;
    const char* name;
    const char* vendor;
    const char* url;
    const char* version;
    void* indexer_data;
    bool(CLAP_ABI* declare_filetype)(const clap_preset_discovery_indexer* indexer,
                                     const clap_preset_discovery_filetype_t* filetype);
    bool(CLAP_ABI* declare_location)(const clap_preset_discovery_indexer* indexer,
                                     const clap_preset_discovery_location_t* location);
    bool(CLAP_ABI* declare_soundpack)(const clap_preset_discovery_indexer* indexer,
                                      const clap_preset_discovery_soundpack* soundpack);
    const void*(CLAP_ABI* get_extension)(const clap_preset_discovery_indexer* indexer, const char* extension_id);
};
typedef clap_preset_discovery_indexer clap_preset_discovery_indexer_t;

struct clap_preset_discovery_factory {
    std::uint32_t(CLAP_ABI* count)(const clap_preset_discovery_factory* factory);
    const clap_preset_discovery_provider_descriptor_t*(CLAP_ABI* get_descriptor)(
        const clap_preset_discovery_factory* factory, std::uint32_t index);
    const clap_preset_discovery_provider_t*(CLAP_ABI* create)(const clap_preset_discovery_factory* factory,
                                                              const clap_preset_discovery_indexer_t* indexer,
                                                              const char* provider_id);
};
typedef clap_preset_discovery_factory clap_preset_discovery_factory_t;

// ---- Extensions ------------------------------------------------------------------------

// audio-ports
inline constexpr char CLAP_EXT_AUDIO_PORTS[] = "clap.audio-ports";
inline constexpr char CLAP_PORT_STEREO[] = "stereo";
enum : std::uint32_t {
    CLAP_AUDIO_PORT_IS_MAIN = 1u << 0,
    CLAP_AUDIO_PORT_SUPPORTS_64BITS = 1u << 1,
    CLAP_AUDIO_PORT_PREFERS_64BITS = 1u << 2,
    CLAP_AUDIO_PORT_REQUIRES_COMMON_SAMPLE_SIZE = 1u << 3,
};
struct clap_audio_port_info {
    clap_id id;
    char name[CLAP_NAME_SIZE];
    std::uint32_t flags;
    std::uint32_t channel_count;
    const char* port_type;
    clap_id in_place_pair;
};
typedef clap_audio_port_info clap_audio_port_info_t;
struct clap_plugin_audio_ports {
    std::uint32_t(CLAP_ABI* count)(const clap_plugin_t* plugin, bool is_input);
    bool(CLAP_ABI* get)(const clap_plugin_t* plugin, std::uint32_t index, bool is_input, clap_audio_port_info_t* info);
};
typedef clap_plugin_audio_ports clap_plugin_audio_ports_t;

// note-ports
inline constexpr char CLAP_EXT_NOTE_PORTS[] = "clap.note-ports";
enum : std::uint32_t {
    CLAP_NOTE_DIALECT_CLAP = 1u << 0,
    CLAP_NOTE_DIALECT_MIDI = 1u << 1,
    CLAP_NOTE_DIALECT_MIDI_MPE = 1u << 2,
    CLAP_NOTE_DIALECT_MIDI2 = 1u << 3,
};
struct clap_note_port_info {
    clap_id id;
    std::uint32_t supported_dialects;
    std::uint32_t preferred_dialect;
    char name[CLAP_NAME_SIZE];
};
typedef clap_note_port_info clap_note_port_info_t;
struct clap_plugin_note_ports {
    std::uint32_t(CLAP_ABI* count)(const clap_plugin_t* plugin, bool is_input);
    bool(CLAP_ABI* get)(const clap_plugin_t* plugin, std::uint32_t index, bool is_input, clap_note_port_info_t* info);
};
typedef clap_plugin_note_ports clap_plugin_note_ports_t;

// params
inline constexpr char CLAP_EXT_PARAMS[] = "clap.params";
enum : std::uint32_t {
    CLAP_PARAM_IS_STEPPED = 1u << 0,
    CLAP_PARAM_IS_PERIODIC = 1u << 1,
    CLAP_PARAM_IS_HIDDEN = 1u << 2,
    CLAP_PARAM_IS_READONLY = 1u << 3,
    CLAP_PARAM_IS_BYPASS = 1u << 4,
    CLAP_PARAM_IS_AUTOMATABLE = 1u << 5,
    CLAP_PARAM_IS_MODULATABLE = 1u << 10,
    CLAP_PARAM_REQUIRES_PROCESS = 1u << 15,
    CLAP_PARAM_IS_ENUM = 1u << 16,
};
struct clap_param_info {
    clap_id id;
    std::uint32_t flags;
    void* cookie;
    char name[CLAP_NAME_SIZE];
    char module[CLAP_PATH_SIZE];
    double min_value;
    double max_value;
    double default_value;
};
typedef clap_param_info clap_param_info_t;
struct clap_plugin_params {
    std::uint32_t(CLAP_ABI* count)(const clap_plugin_t* plugin);
    bool(CLAP_ABI* get_info)(const clap_plugin_t* plugin, std::uint32_t param_index, clap_param_info_t* param_info);
    bool(CLAP_ABI* get_value)(const clap_plugin_t* plugin, clap_id param_id, double* out_value);
    bool(CLAP_ABI* value_to_text)(const clap_plugin_t* plugin, clap_id param_id, double value, char* out_buffer,
                                  std::uint32_t out_buffer_capacity);
    bool(CLAP_ABI* text_to_value)(const clap_plugin_t* plugin, clap_id param_id, const char* param_value_text,
                                  double* out_value);
    void(CLAP_ABI* flush)(const clap_plugin_t* plugin, const clap_input_events_t* in, const clap_output_events_t* out);
};
typedef clap_plugin_params clap_plugin_params_t;
enum : std::uint32_t {
    CLAP_PARAM_RESCAN_VALUES = 1u << 0,
    CLAP_PARAM_RESCAN_TEXT = 1u << 1,
    CLAP_PARAM_RESCAN_INFO = 1u << 2,
    CLAP_PARAM_RESCAN_ALL = 1u << 3,
};
struct clap_host_params {
    void(CLAP_ABI* rescan)(const clap_host_t* host, std::uint32_t flags);
    void(CLAP_ABI* clear)(const clap_host_t* host, clap_id param_id, std::uint32_t flags);
    void(CLAP_ABI* request_flush)(const clap_host_t* host);
};
typedef clap_host_params clap_host_params_t;

// state
inline constexpr char CLAP_EXT_STATE[] = "clap.state";
struct clap_istream {
    void* ctx;
    // Bytes read, 0 at the end of the stream, -1 on error.
    std::int64_t(CLAP_ABI* read)(const clap_istream* stream, void* buffer, std::uint64_t size);
};
typedef clap_istream clap_istream_t;
struct clap_ostream {
    void* ctx;
    // Bytes written, -1 on error.
    std::int64_t(CLAP_ABI* write)(const clap_ostream* stream, const void* buffer, std::uint64_t size);
};
typedef clap_ostream clap_ostream_t;
struct clap_plugin_state {
    bool(CLAP_ABI* save)(const clap_plugin_t* plugin, const clap_ostream_t* stream);
    bool(CLAP_ABI* load)(const clap_plugin_t* plugin, const clap_istream_t* stream);
};
typedef clap_plugin_state clap_plugin_state_t;
struct clap_host_state {
    void(CLAP_ABI* mark_dirty)(const clap_host_t* host);
};
typedef clap_host_state clap_host_state_t;

// latency
inline constexpr char CLAP_EXT_LATENCY[] = "clap.latency";
struct clap_plugin_latency {
    std::uint32_t(CLAP_ABI* get)(const clap_plugin_t* plugin);
};
typedef clap_plugin_latency clap_plugin_latency_t;

// render
inline constexpr char CLAP_EXT_RENDER[] = "clap.render";
typedef std::int32_t clap_plugin_render_mode;
enum : clap_plugin_render_mode {
    CLAP_RENDER_REALTIME = 0,
    CLAP_RENDER_OFFLINE = 1,
};
struct clap_plugin_render {
    bool(CLAP_ABI* has_hard_realtime_requirement)(const clap_plugin_t* plugin);
    bool(CLAP_ABI* set)(const clap_plugin_t* plugin, clap_plugin_render_mode mode);
};
typedef clap_plugin_render clap_plugin_render_t;

// gui
inline constexpr char CLAP_EXT_GUI[] = "clap.gui";
inline constexpr char CLAP_WINDOW_API_WIN32[] = "win32";
inline constexpr char CLAP_WINDOW_API_X11[] = "x11";
struct clap_window {
    const char* api;
    union {
        void* cocoa;
        unsigned long x11; // an X11 Window
        void* win32; // an HWND
        void* ptr;
    };
};
typedef clap_window clap_window_t;
struct clap_gui_resize_hints {
    bool can_resize_horizontally;
    bool can_resize_vertically;
    bool preserve_aspect_ratio;
    std::uint32_t aspect_ratio_width;
    std::uint32_t aspect_ratio_height;
};
typedef clap_gui_resize_hints clap_gui_resize_hints_t;
struct clap_plugin_gui {
    bool(CLAP_ABI* is_api_supported)(const clap_plugin_t* plugin, const char* api, bool is_floating);
    bool(CLAP_ABI* get_preferred_api)(const clap_plugin_t* plugin, const char** api, bool* is_floating);
    bool(CLAP_ABI* create)(const clap_plugin_t* plugin, const char* api, bool is_floating);
    void(CLAP_ABI* destroy)(const clap_plugin_t* plugin);
    bool(CLAP_ABI* set_scale)(const clap_plugin_t* plugin, double scale);
    bool(CLAP_ABI* get_size)(const clap_plugin_t* plugin, std::uint32_t* width, std::uint32_t* height);
    bool(CLAP_ABI* can_resize)(const clap_plugin_t* plugin);
    bool(CLAP_ABI* get_resize_hints)(const clap_plugin_t* plugin, clap_gui_resize_hints_t* hints);
    bool(CLAP_ABI* adjust_size)(const clap_plugin_t* plugin, std::uint32_t* width, std::uint32_t* height);
    bool(CLAP_ABI* set_size)(const clap_plugin_t* plugin, std::uint32_t width, std::uint32_t height);
    bool(CLAP_ABI* set_parent)(const clap_plugin_t* plugin, const clap_window_t* window);
    bool(CLAP_ABI* set_transient)(const clap_plugin_t* plugin, const clap_window_t* window);
    void(CLAP_ABI* suggest_title)(const clap_plugin_t* plugin, const char* title);
    bool(CLAP_ABI* show)(const clap_plugin_t* plugin);
    bool(CLAP_ABI* hide)(const clap_plugin_t* plugin);
};
typedef clap_plugin_gui clap_plugin_gui_t;
struct clap_host_gui {
    void(CLAP_ABI* resize_hints_changed)(const clap_host_t* host);
    bool(CLAP_ABI* request_resize)(const clap_host_t* host, std::uint32_t width, std::uint32_t height);
    bool(CLAP_ABI* request_show)(const clap_host_t* host);
    bool(CLAP_ABI* request_hide)(const clap_host_t* host);
    void(CLAP_ABI* closed)(const clap_host_t* host, bool was_destroyed);
};
typedef clap_host_gui clap_host_gui_t;

// timer-support
inline constexpr char CLAP_EXT_TIMER_SUPPORT[] = "clap.timer-support";
struct clap_plugin_timer_support {
    void(CLAP_ABI* on_timer)(const clap_plugin_t* plugin, clap_id timer_id);
};
typedef clap_plugin_timer_support clap_plugin_timer_support_t;
struct clap_host_timer_support {
    bool(CLAP_ABI* register_timer)(const clap_host_t* host, std::uint32_t period_ms, clap_id* timer_id);
    bool(CLAP_ABI* unregister_timer)(const clap_host_t* host, clap_id timer_id);
};
typedef clap_host_timer_support clap_host_timer_support_t;

// thread-check
inline constexpr char CLAP_EXT_THREAD_CHECK[] = "clap.thread-check";
struct clap_host_thread_check {
    bool(CLAP_ABI* is_main_thread)(const clap_host_t* host);
    bool(CLAP_ABI* is_audio_thread)(const clap_host_t* host);
};
typedef clap_host_thread_check clap_host_thread_check_t;

// preset-load
inline constexpr char CLAP_EXT_PRESET_LOAD[] = "clap.preset-load/2";
inline constexpr char CLAP_EXT_PRESET_LOAD_COMPAT[] = "clap.preset-load.draft/2";
struct clap_plugin_preset_load {
    bool(CLAP_ABI* from_location)(const clap_plugin_t* plugin, std::uint32_t location_kind, const char* location,
                                  const char* load_key);
};
typedef clap_plugin_preset_load clap_plugin_preset_load_t;
struct clap_host_preset_load {
    void(CLAP_ABI* on_error)(const clap_host_t* host, std::uint32_t location_kind, const char* location,
                             const char* load_key, std::int32_t os_error, const char* msg);
    void(CLAP_ABI* loaded)(const clap_host_t* host, std::uint32_t location_kind, const char* location,
                           const char* load_key);
};
typedef clap_host_preset_load clap_host_preset_load_t;

} // extern "C"

// The published layouts on the 64-bit targets (LP64 Linux, LLP64 Windows): sizes of the
// records whose fields mix widths, where a wrong field would move everything after it.
#if UINTPTR_MAX == 0xFFFFFFFFFFFFFFFFu
static_assert(sizeof(clap_event_header_t) == 16);
static_assert(sizeof(clap_event_note_t) == 40 && offsetof(clap_event_note_t, velocity) == 32);
static_assert(sizeof(clap_event_param_value_t) == 56 && offsetof(clap_event_param_value_t, cookie) == 24 &&
              offsetof(clap_event_param_value_t, value) == 48);
static_assert(sizeof(clap_event_param_gesture_t) == 20);
static_assert(sizeof(clap_event_midi_t) == 24 && offsetof(clap_event_midi_t, data) == 18);
static_assert(sizeof(clap_audio_buffer_t) == 32);
static_assert(sizeof(clap_process_t) == 64 && offsetof(clap_process_t, in_events) == 48);
static_assert(sizeof(clap_host_t) == 88);
static_assert(sizeof(clap_plugin_descriptor_t) == 88);
static_assert(sizeof(clap_plugin_t) == 96);
static_assert(sizeof(clap_plugin_entry_t) == 40);
static_assert(sizeof(clap_audio_port_info_t) == 288 && offsetof(clap_audio_port_info_t, port_type) == 272);
static_assert(sizeof(clap_note_port_info_t) == 268);
static_assert(sizeof(clap_param_info_t) == 1320 && offsetof(clap_param_info_t, min_value) == 1296);
static_assert(sizeof(clap_window_t) == 16);
static_assert(sizeof(clap_gui_resize_hints_t) == 12);
static_assert(sizeof(clap_preset_discovery_location_t) == 32);
static_assert(sizeof(clap_preset_discovery_indexer_t) == 88);
#endif
