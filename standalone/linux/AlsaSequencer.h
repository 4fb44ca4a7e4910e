#pragma once
// MIDI input from the ALSA sequencer: a port "velmorloom:midi_in" that any source can
// connect to. A thread of its own reads the events, turns them into short messages and
// stamps them with the program's millisecond clock relative to the moment the port
// opened, as the Windows MIDI input does; the event lists turn the stamps into offsets.
#include <cstdint>
#include <memory>
#include <string>
#include <thread>

#include "standalone/StandaloneApp.h"

typedef struct _snd_seq snd_seq_t;
typedef struct snd_seq_event snd_seq_event_t;

namespace vl::linuxapp {

// The short message (status, data 1 << 8, data 2 << 16) of a sequencer event: note on
// and off, key pressure, controller, program change, channel pressure, pitch bend.
// False for every other event.
bool decodeSequencerEvent(const snd_seq_event_t& event, std::uint32_t& message);

class AlsaSequencerInput : public MidiInput {
public:
    // Opens the sequencer, creates the port and starts feeding ports. source, when not
    // empty, is connected at once ("client:port" or a client name). Null with a message
    // when there is no sequencer; a source that cannot be connected gives a warning.
    static std::unique_ptr<AlsaSequencerInput> open(MidiPorts& ports, const std::string& source, std::string& error,
                                                    std::string& warning);
    ~AlsaSequencerInput() override;

private:
    AlsaSequencerInput(MidiPorts& p) : ports(p) {}
    void run();

    MidiPorts& ports;
    snd_seq_t* seq = nullptr;
    int port = -1;
    int stopPipe[2] = {-1, -1};
    std::uint32_t openedAt = 0;
    std::thread thread;
};

} // namespace vl::linuxapp
