#pragma once
// Audio and MIDI through JACK: client "velmorloom" with a MIDI input port "midi_in" and
// the audio outputs "out_1" and "out_2". The server's sample rate and period are the
// program's rate and block. MIDI events reach the event lists with their frame position
// in the period, and the period is rendered in the same process cycle, so every note
// sounds at the frame the server stamped it with. The ports get the instrument's float
// samples.
#include <atomic>
#include <memory>
#include <string>
#include <vector>

#include <jack/jack.h>

#include "standalone/StandaloneApp.h"

namespace vl::linuxapp {

class JackOutput : public AudioOutput {
public:
    // Connects to the running server (never starts one). Null with a message when no
    // server runs or the ports cannot be made.
    static std::unique_ptr<JackOutput> open(const std::string& clientName, std::string& error);
    ~JackOutput() override;

    // Activates the client; connects the outputs to the first two physical playback ports
    // unless told not to, and the MIDI source when one was named.
    bool start() override;
    void stop() override;
    int sampleRate() const override;
    int blockFrames() const override;

    void setAutoConnect(bool connect) { autoConnect = connect; }
    void setMidiSource(const std::string& port) { midiSource = port; }
    // Called on the server's shutdown (from a JACK thread): must be async-signal-safe.
    void setShutdownHook(void (*hook)()) { shutdownHook = hook; }

    // Warnings from start() (a connection that could not be made).
    std::vector<std::string> takeWarnings() { return std::move(warnings); }

private:
    JackOutput() = default;
    static int process(jack_nframes_t frames, void* self);
    void processCycle(jack_nframes_t frames);
    static int bufferSizeChanged(jack_nframes_t frames, void* self);
    static void shutdown(void* self);

    jack_client_t* client = nullptr;
    jack_port_t* midiIn = nullptr;
    jack_port_t* out[2] = {nullptr, nullptr};
    bool active = false;
    bool autoConnect = true;
    std::string midiSource;
    void (*shutdownHook)() = nullptr;
    std::vector<std::string> warnings;
};

} // namespace vl::linuxapp
