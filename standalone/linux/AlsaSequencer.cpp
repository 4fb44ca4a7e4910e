#include "standalone/linux/AlsaSequencer.h"

#include <alsa/asoundlib.h>
#include <fcntl.h>
#include <poll.h>
#include <unistd.h>
#include <vector>

namespace vl::linuxapp {
namespace {

// alsa-lib reports its failures on stderr itself; the program says what failed in one line.
void quiet(const char*, int, const char*, int, const char*, ...) {}

std::uint32_t pack(unsigned status, unsigned data1, unsigned data2) {
    return (status & 0xFFu) | (data1 & 0x7Fu) << 8 | (data2 & 0x7Fu) << 16;
}

} // namespace

bool decodeSequencerEvent(const snd_seq_event_t& e, std::uint32_t& message) {
    switch (e.type) {
    case SND_SEQ_EVENT_NOTEON:
        message = pack(0x90u | (e.data.note.channel & 0x0Fu), e.data.note.note, e.data.note.velocity);
        return true;
    case SND_SEQ_EVENT_NOTEOFF:
        message = pack(0x80u | (e.data.note.channel & 0x0Fu), e.data.note.note, e.data.note.velocity);
        return true;
    case SND_SEQ_EVENT_KEYPRESS:
        message = pack(0xA0u | (e.data.note.channel & 0x0Fu), e.data.note.note, e.data.note.velocity);
        return true;
    case SND_SEQ_EVENT_CONTROLLER:
        message = pack(0xB0u | (e.data.control.channel & 0x0Fu), unsigned(e.data.control.param),
                       unsigned(e.data.control.value));
        return true;
    case SND_SEQ_EVENT_PGMCHANGE:
        message = pack(0xC0u | (e.data.control.channel & 0x0Fu), unsigned(e.data.control.value), 0);
        return true;
    case SND_SEQ_EVENT_CHANPRESS:
        message = pack(0xD0u | (e.data.control.channel & 0x0Fu), unsigned(e.data.control.value), 0);
        return true;
    case SND_SEQ_EVENT_PITCHBEND: {
        int v = e.data.control.value + 8192;
        v = v < 0 ? 0 : v > 16383 ? 16383 : v;
        message = pack(0xE0u | (e.data.control.channel & 0x0Fu), unsigned(v) & 0x7Fu, unsigned(v) >> 7);
        return true;
    }
    default:
        return false;
    }
}

std::unique_ptr<AlsaSequencerInput> AlsaSequencerInput::open(MidiPorts& ports, const std::string& source,
                                                             std::string& error, std::string& warning) {
    std::unique_ptr<AlsaSequencerInput> self(new AlsaSequencerInput(ports));
    snd_lib_error_set_handler(&quiet);
    int rc = snd_seq_open(&self->seq, "default", SND_SEQ_OPEN_INPUT, SND_SEQ_NONBLOCK);
    if (rc < 0) {
        self->seq = nullptr;
        error = std::string("no ALSA sequencer (") + snd_strerror(rc) + ")";
        return nullptr;
    }
    snd_seq_set_client_name(self->seq, "velmorloom");
    self->port = snd_seq_create_simple_port(self->seq, "midi_in", SND_SEQ_PORT_CAP_WRITE | SND_SEQ_PORT_CAP_SUBS_WRITE,
                                            SND_SEQ_PORT_TYPE_MIDI_GENERIC | SND_SEQ_PORT_TYPE_APPLICATION);
    if (self->port < 0) {
        error = std::string("cannot create the sequencer port: ") + snd_strerror(self->port);
        return nullptr;
    }
    if (!source.empty()) {
        snd_seq_addr_t from{};
        if (snd_seq_parse_address(self->seq, &from, source.c_str()) < 0 ||
            snd_seq_connect_from(self->seq, self->port, from.client, from.port) < 0)
            warning = "cannot connect the MIDI source '" + source + "'";
    }
    if (::pipe2(self->stopPipe, O_CLOEXEC | O_NONBLOCK) != 0) {
        error = "cannot create a pipe";
        return nullptr;
    }
    self->openedAt = millisecondClock();
    ports.inputOpened(self->openedAt);
    try {
        self->thread = std::thread([p = self.get()] { p->run(); });
    } catch (...) {
        error = "cannot start the MIDI thread";
        return nullptr;
    }
    return self;
}

AlsaSequencerInput::~AlsaSequencerInput() {
    if (thread.joinable()) {
        const char byte = 'q';
        if (::write(stopPipe[1], &byte, 1) < 0) {
            // The pipe is ours and empty: a write cannot fail here in practice.
        }
        thread.join();
    }
    for (int fd : stopPipe)
        if (fd >= 0) ::close(fd);
    if (seq) snd_seq_close(seq);
}

void AlsaSequencerInput::run() {
    const int count = snd_seq_poll_descriptors_count(seq, POLLIN);
    std::vector<pollfd> fds(std::size_t(count > 0 ? count : 0) + 1);
    fds[0] = {stopPipe[0], POLLIN, 0};
    snd_seq_poll_descriptors(seq, fds.data() + 1, static_cast<unsigned>(count), POLLIN);
    for (;;) {
        if (::poll(fds.data(), fds.size(), -1) < 0 && errno != EINTR) return;
        if (fds[0].revents) return;
        snd_seq_event_t* event = nullptr;
        while (snd_seq_event_input(seq, &event) >= 0 && event) {
            std::uint32_t message = 0;
            if (decodeSequencerEvent(*event, message)) ports.receive(message, millisecondClock() - openedAt);
            event = nullptr;
        }
    }
}

} // namespace vl::linuxapp
