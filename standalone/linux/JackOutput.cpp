#include "standalone/linux/JackOutput.h"

#include <cerrno>
#include <cstring>

#include <jack/midiport.h>

namespace vl::linuxapp {
namespace {

void quiet(const char*) {}

} // namespace

std::unique_ptr<JackOutput> JackOutput::open(const std::string& clientName, std::string& error) {
    // libjack prints its own connection failures; the program reports them in one line.
    jack_set_error_function(&quiet);
    jack_set_info_function(&quiet);
    std::unique_ptr<JackOutput> self(new JackOutput);
    jack_status_t status{};
    self->client = jack_client_open(clientName.c_str(), JackNoStartServer, &status);
    if (!self->client) {
        error = (status & JackServerFailed) || (status & JackFailure) ? "no JACK server is running"
                                                                      : "cannot open a JACK client";
        return nullptr;
    }
    self->midiIn = jack_port_register(self->client, "midi_in", JACK_DEFAULT_MIDI_TYPE, JackPortIsInput, 0);
    self->out[0] = jack_port_register(self->client, "out_1", JACK_DEFAULT_AUDIO_TYPE, JackPortIsOutput, 0);
    self->out[1] = jack_port_register(self->client, "out_2", JACK_DEFAULT_AUDIO_TYPE, JackPortIsOutput, 0);
    if (!self->midiIn || !self->out[0] || !self->out[1]) {
        error = "cannot register the JACK ports";
        return nullptr;
    }
    jack_set_process_callback(self->client, &JackOutput::process, self.get());
    jack_set_buffer_size_callback(self->client, &JackOutput::bufferSizeChanged, self.get());
    jack_on_shutdown(self->client, &JackOutput::shutdown, self.get());
    return self;
}

JackOutput::~JackOutput() {
    stop();
    if (client) jack_client_close(client);
}

bool JackOutput::start() {
    if (!client) return false;
    if (!active) {
        if (jack_activate(client) != 0) return false;
        active = true;
    }
    const std::string me = jack_get_client_name(client);
    if (autoConnect) {
        const char** ports = jack_get_ports(client, nullptr, JACK_DEFAULT_AUDIO_TYPE,
                                            JackPortIsPhysical | JackPortIsInput);
        for (int i = 0; ports && i < 2 && ports[i]; ++i) {
            const std::string from = me + ":out_" + std::to_string(i + 1);
            const int rc = jack_connect(client, from.c_str(), ports[i]);
            if (rc != 0 && rc != EEXIST) warnings.push_back("cannot connect " + from + " to " + ports[i]);
        }
        if (ports) jack_free(ports);
    }
    if (!midiSource.empty()) {
        const std::string to = me + ":midi_in";
        const int rc = jack_connect(client, midiSource.c_str(), to.c_str());
        if (rc != 0 && rc != EEXIST) warnings.push_back("cannot connect the MIDI source '" + midiSource + "'");
    }
    return true;
}

void JackOutput::stop() {
    if (client && active) jack_deactivate(client);
    active = false;
}

int JackOutput::sampleRate() const { return client ? int(jack_get_sample_rate(client)) : 0; }

int JackOutput::blockFrames() const { return client ? int(jack_get_buffer_size(client)) : 0; }

int JackOutput::process(jack_nframes_t frames, void* arg) {
    try {
        static_cast<JackOutput*>(arg)->processCycle(frames);
    } catch (...) {
        // Nothing may leave the server's thread; the cycle stays as it was written.
    }
    return 0;
}

void JackOutput::processCycle(jack_nframes_t frames) {
    auto* left = static_cast<jack_default_audio_sample_t*>(jack_port_get_buffer(out[0], frames));
    auto* right = static_cast<jack_default_audio_sample_t*>(jack_port_get_buffer(out[1], frames));
    StandaloneApp* app = theApp.load(std::memory_order_acquire);
    MidiPorts* ports = app ? app->midiPorts() : nullptr;
    void* midi = jack_port_get_buffer(midiIn, frames);
    const jack_nframes_t count = midi ? jack_midi_get_event_count(midi) : 0;
    for (jack_nframes_t i = 0; i < count && ports; ++i) {
        jack_midi_event_t event;
        if (jack_midi_event_get(&event, midi, i) != 0 || event.size == 0 || event.size > 3) continue;
        std::uint32_t message = event.buffer[0];
        if (event.size > 1) message |= std::uint32_t(event.buffer[1]) << 8;
        if (event.size > 2) message |= std::uint32_t(event.buffer[2]) << 16;
        ports->receiveAtFrame(message, std::int32_t(event.time));
    }
    // The ports take the instrument's float samples as they are.
    renderBlock(left, right, std::int32_t(frames));
}

int JackOutput::bufferSizeChanged(jack_nframes_t frames, void*) {
    StandaloneApp* app = theApp.load(std::memory_order_acquire);
    if (app && app->midiPorts()) app->midiPorts()->setBlockFrames(int(frames));
    return 0;
}

void JackOutput::shutdown(void* arg) {
    auto* self = static_cast<JackOutput*>(arg);
    if (self->shutdownHook) self->shutdownHook();
}

} // namespace vl::linuxapp
