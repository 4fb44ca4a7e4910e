#pragma once
// A small CLAP host for the tests, written from the public interface (our declarations in
// clap/ClapAbi.h): it loads the built velmorloom.clap as a host does (the clap_entry symbol,
// init, the plug-in factory, create_plugin), offers the host extensions params, state,
// timer-support, thread-check and preset-load, and records every call the plug-in makes
// into the host with the thread it came from.
#if defined(_WIN32)
#include <windows.h>
#else
#include <dlfcn.h>
#endif

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "clap/ClapAbi.h"

namespace claptest {

// The plug-in binary, loaded and initialised as a host does.
class ClapLibrary {
public:
    explicit ClapLibrary(std::string path = VL_CLAP_PATH) : path(std::move(path)) {
#if defined(_WIN32)
        std::string native = this->path;
        if (!native.empty() && native[0] == '/') native = "Z:" + native;
        for (char& c : native)
            if (c == '/') c = '\\';
        handle = LoadLibraryA(native.c_str());
        if (!handle) return;
        entry = reinterpret_cast<const clap_plugin_entry_t*>(
            reinterpret_cast<void*>(GetProcAddress(handle, "clap_entry")));
#else
        handle = dlopen(this->path.c_str(), RTLD_NOW | RTLD_LOCAL);
        if (!handle) return;
        entry = static_cast<const clap_plugin_entry_t*>(dlsym(handle, "clap_entry"));
#endif
        if (entry && entry->init && entry->init(this->path.c_str())) {
            initialised = true;
            factory = static_cast<const clap_plugin_factory_t*>(entry->get_factory(CLAP_PLUGIN_FACTORY_ID));
        }
    }
    ~ClapLibrary() {
        if (initialised) entry->deinit();
#if defined(_WIN32)
        if (handle) FreeLibrary(handle);
#else
        if (handle) dlclose(handle);
#endif
    }
    ClapLibrary(const ClapLibrary&) = delete;
    ClapLibrary& operator=(const ClapLibrary&) = delete;

    std::string path;
#if defined(_WIN32)
    HMODULE handle = nullptr;
#else
    void* handle = nullptr;
#endif
    const clap_plugin_entry_t* entry = nullptr;
    const clap_plugin_factory_t* factory = nullptr;
    bool initialised = false;
};

// One call of the plug-in into the host.
struct HostCall {
    std::string name;
    bool onMainThread;
    bool onAudioThread;
};

// The host side of one plug-in instance. The thread that constructs it is the main
// thread; the audio thread is whichever thread the test marks as such.
class TestHost {
public:
    TestHost() : mainThread(std::this_thread::get_id()) {
        host.clap_version = kClapVersion;
        host.host_data = this;
        host.name = "velmorloom test host";
        host.vendor = "Tarlowe";
        host.url = "";
        host.version = "1";
        host.get_extension = [](const clap_host_t* h, const char* id) -> const void* {
            TestHost* self = of(h);
            self->record(std::string("get_extension ") + id);
            if (std::strcmp(id, CLAP_EXT_PARAMS) == 0) return &paramsTable;
            if (std::strcmp(id, CLAP_EXT_STATE) == 0) return &stateTable;
            if (std::strcmp(id, CLAP_EXT_THREAD_CHECK) == 0) return &threadCheckTable;
            if (std::strcmp(id, CLAP_EXT_TIMER_SUPPORT) == 0) return self->offerTimer ? &timerTable : nullptr;
            if (std::strcmp(id, CLAP_EXT_PRESET_LOAD) == 0) return &presetLoadTable;
            return nullptr;
        };
        host.request_restart = [](const clap_host_t* h) { of(h)->record("request_restart"); };
        host.request_process = [](const clap_host_t* h) { of(h)->record("request_process"); };
        host.request_callback = [](const clap_host_t* h) {
            TestHost* self = of(h);
            self->record("request_callback");
            std::lock_guard<std::mutex> lock(self->mutex);
            self->callbackRequested = true;
        };
    }
    TestHost(const TestHost&) = delete;
    TestHost& operator=(const TestHost&) = delete;

    // Creates and initialises the instrument; null when either step fails.
    const clap_plugin_t* create(const ClapLibrary& library) {
        if (!library.factory) return nullptr;
        const clap_plugin_t* p = library.factory->create_plugin(library.factory, &host, "com.tarlowe.velmorloom");
        if (!p) return nullptr;
        if (!p->init(p)) {
            p->destroy(p);
            return nullptr;
        }
        return p;
    }

    // The main thread's part of the host's loop: the plug-in's on_main_thread when it
    // asked for it.
    void runMainThreadCallbacks(const clap_plugin_t* p) {
        bool due;
        {
            std::lock_guard<std::mutex> lock(mutex);
            due = callbackRequested;
            callbackRequested = false;
        }
        if (due) p->on_main_thread(p);
    }

    std::vector<HostCall> takeCalls() {
        std::lock_guard<std::mutex> lock(mutex);
        std::vector<HostCall> out;
        out.swap(calls);
        return out;
    }
    int count(const std::string& name) {
        std::lock_guard<std::mutex> lock(mutex);
        return static_cast<int>(
            std::count_if(calls.begin(), calls.end(), [&](const HostCall& c) { return c.name == name; }));
    }

    void setAudioThread(std::thread::id id) {
        std::lock_guard<std::mutex> lock(mutex);
        audioThread = id;
    }

    clap_host_t host{};
    std::thread::id mainThread;
    bool offerTimer = true;
    std::vector<std::pair<clap_id, std::uint32_t>> timers; // id, period
    std::vector<std::string> presetsLoaded;

private:
    static TestHost* of(const clap_host_t* h) { return static_cast<TestHost*>(h->host_data); }

    std::mutex mutex;
    std::vector<HostCall> calls;
    std::thread::id audioThread;
    bool callbackRequested = false;

    void record(const std::string& name) {
        std::lock_guard<std::mutex> lock(mutex);
        const std::thread::id me = std::this_thread::get_id();
        calls.push_back({name, me == mainThread, me == audioThread});
    }

    static inline const clap_host_params_t paramsTable = {
        [](const clap_host_t* h, std::uint32_t flags) { of(h)->record("params.rescan " + std::to_string(flags)); },
        [](const clap_host_t* h, clap_id, std::uint32_t) { of(h)->record("params.clear"); },
        [](const clap_host_t* h) { of(h)->record("params.request_flush"); },
    };
    static inline const clap_host_state_t stateTable = {
        [](const clap_host_t* h) { of(h)->record("state.mark_dirty"); },
    };
    static inline const clap_host_thread_check_t threadCheckTable = {
        [](const clap_host_t* h) -> bool {
            of(h)->record("thread_check.is_main_thread");
            return std::this_thread::get_id() == of(h)->mainThread;
        },
        [](const clap_host_t* h) -> bool {
            of(h)->record("thread_check.is_audio_thread");
            std::lock_guard<std::mutex> lock(of(h)->mutex);
            return std::this_thread::get_id() == of(h)->audioThread;
        },
    };
    static inline const clap_host_timer_support_t timerTable = {
        [](const clap_host_t* h, std::uint32_t period, clap_id* id) -> bool {
            TestHost* self = of(h);
            self->record("timer.register");
            *id = static_cast<clap_id>(100 + self->timers.size());
            self->timers.push_back({*id, period});
            return true;
        },
        [](const clap_host_t* h, clap_id id) -> bool {
            TestHost* self = of(h);
            self->record("timer.unregister");
            auto it = std::find_if(self->timers.begin(), self->timers.end(), [&](auto& t) { return t.first == id; });
            if (it == self->timers.end()) return false;
            self->timers.erase(it);
            return true;
        },
    };
    static inline const clap_host_preset_load_t presetLoadTable = {
        [](const clap_host_t* h, std::uint32_t, const char*, const char* key, std::int32_t, const char*) {
            of(h)->record(std::string("preset_load.on_error ") + (key ? key : "(null)"));
        },
        [](const clap_host_t* h, std::uint32_t, const char*, const char* key) {
            of(h)->record(std::string("preset_load.loaded ") + (key ? key : "(null)"));
        },
    };
};

// Incoming events of one block, kept sorted by time (a stable insertion keeps the order
// of events given for the same time).
class InputEvents {
public:
    InputEvents() {
        list.ctx = this;
        list.size = [](const clap_input_events_t* l) -> std::uint32_t {
            return static_cast<std::uint32_t>(static_cast<const InputEvents*>(l->ctx)->events.size());
        };
        list.get = [](const clap_input_events_t* l, std::uint32_t i) -> const clap_event_header_t* {
            const auto* self = static_cast<const InputEvents*>(l->ctx);
            if (i >= self->events.size()) return nullptr;
            return reinterpret_cast<const clap_event_header_t*>(self->events[i].bytes);
        };
    }
    InputEvents(const InputEvents&) = delete;
    InputEvents& operator=(const InputEvents&) = delete;

    void note(std::uint16_t type, std::uint32_t time, int channel, int key, double velocity) {
        clap_event_note_t e{};
        e.header = {sizeof e, time, CLAP_CORE_EVENT_SPACE_ID, type, 0};
        e.note_id = -1;
        e.port_index = 0;
        e.channel = static_cast<std::int16_t>(channel);
        e.key = static_cast<std::int16_t>(key);
        e.velocity = velocity;
        add(&e.header);
    }
    void midi(std::uint32_t time, std::uint8_t status, std::uint8_t data1, std::uint8_t data2) {
        clap_event_midi_t e{};
        e.header = {sizeof e, time, CLAP_CORE_EVENT_SPACE_ID, CLAP_EVENT_MIDI, 0};
        e.port_index = 0;
        e.data[0] = status;
        e.data[1] = data1;
        e.data[2] = data2;
        add(&e.header);
    }
    void param(std::uint32_t time, clap_id id, double value) {
        // Any note, port, channel and key (-1): the parameter itself.
        const clap_event_param_value_t e{{sizeof(clap_event_param_value_t), time, CLAP_CORE_EVENT_SPACE_ID,
                                          CLAP_EVENT_PARAM_VALUE, 0},
                                         id,
                                         nullptr,
                                         -1,
                                         -1,
                                         -1,
                                         -1,
                                         value};
        add(&e.header);
    }
    void clear() { events.clear(); }
    const clap_input_events_t* get() const { return &list; }

private:
    struct Stored {
        alignas(8) unsigned char bytes[64];
    };
    void add(const clap_event_header_t* header) {
        Stored s{};
        std::memcpy(s.bytes, header, header->size);
        auto at = std::upper_bound(events.begin(), events.end(), header->time, [](std::uint32_t t, const Stored& e) {
            return t < reinterpret_cast<const clap_event_header_t*>(e.bytes)->time;
        });
        events.insert(at, s);
    }
    clap_input_events_t list{};
    std::vector<Stored> events;
};

// Outgoing events, copied as the plug-in pushes them.
class OutputEvents {
public:
    struct Event {
        std::uint16_t type;
        std::uint32_t time;
        clap_id param;
        double value;
    };
    OutputEvents() {
        list.ctx = this;
        list.try_push = [](const clap_output_events_t* l, const clap_event_header_t* h) -> bool {
            auto* self = static_cast<OutputEvents*>(l->ctx);
            Event e{h->type, h->time, CLAP_INVALID_ID, 0.0};
            if (h->type == CLAP_EVENT_PARAM_VALUE && h->size >= sizeof(clap_event_param_value_t)) {
                const auto* p = reinterpret_cast<const clap_event_param_value_t*>(h);
                e.param = p->param_id;
                e.value = p->value;
            } else if ((h->type == CLAP_EVENT_PARAM_GESTURE_BEGIN || h->type == CLAP_EVENT_PARAM_GESTURE_END) &&
                       h->size >= sizeof(clap_event_param_gesture_t)) {
                e.param = reinterpret_cast<const clap_event_param_gesture_t*>(h)->param_id;
            }
            self->events.push_back(e);
            return true;
        };
    }
    OutputEvents(const OutputEvents&) = delete;
    OutputEvents& operator=(const OutputEvents&) = delete;
    const clap_output_events_t* get() const { return &list; }

    std::vector<Event> events;

private:
    clap_output_events_t list{};
};

// Renders one block of frames into left and right.
inline clap_process_status processBlock(const clap_plugin_t* p, float* left, float* right, std::uint32_t frames,
                                        const InputEvents& in, OutputEvents& out) {
    float* channels[2] = {left, right};
    clap_audio_buffer_t output{};
    output.data32 = channels;
    output.channel_count = 2;
    clap_process_t block{};
    block.steady_time = -1;
    block.frames_count = frames;
    block.audio_outputs = &output;
    block.audio_outputs_count = 1;
    block.in_events = in.get();
    block.out_events = out.get();
    return p->process(p, &block);
}

template <typename T>
const T* extension(const clap_plugin_t* p, const char* id) {
    return static_cast<const T*>(p->get_extension(p, id));
}

} // namespace claptest
