// ALSA sequencer events to short messages. The machines the tests run on have no
// /dev/snd/seq, so the decoding is tested on its own.
#include <gtest/gtest.h>

#include <alsa/asoundlib.h>

#include "standalone/MidiPorts.h"
#include "standalone/linux/AlsaSequencer.h"

namespace vl::linuxapp {
namespace {

snd_seq_event_t note(snd_seq_event_type_t type, int channel, int key, int velocity) {
    snd_seq_event_t e{};
    e.type = type;
    e.data.note.channel = static_cast<unsigned char>(channel);
    e.data.note.note = static_cast<unsigned char>(key);
    e.data.note.velocity = static_cast<unsigned char>(velocity);
    return e;
}

snd_seq_event_t control(snd_seq_event_type_t type, int channel, unsigned param, int value) {
    snd_seq_event_t e{};
    e.type = type;
    e.data.control.channel = static_cast<unsigned char>(channel);
    e.data.control.param = param;
    e.data.control.value = value;
    return e;
}

TEST(SequencerDecode, EventsToShortMessages) {
    struct Row {
        snd_seq_event_t event;
        std::uint32_t message;
        bool played; // passes the all-channel filter of the event lists
    };
    const Row rows[] = {
        {note(SND_SEQ_EVENT_NOTEON, 0, 69, 100), 0x644590, true},
        {note(SND_SEQ_EVENT_NOTEON, 15, 60, 0), 0x003C9F, true},
        {note(SND_SEQ_EVENT_NOTEOFF, 2, 69, 64), 0x404582, true},
        {note(SND_SEQ_EVENT_KEYPRESS, 1, 69, 30), 0x1E45A1, false},
        {control(SND_SEQ_EVENT_CONTROLLER, 3, 7, 100), 0x6407B3, true},
        {control(SND_SEQ_EVENT_CONTROLLER, 0, 64, 127), 0x7F40B0, true},
        {control(SND_SEQ_EVENT_PGMCHANGE, 4, 0, 5), 0x0005C4, true},
        {control(SND_SEQ_EVENT_CHANPRESS, 0, 0, 77), 0x004DD0, false},
        {control(SND_SEQ_EVENT_PITCHBEND, 0, 0, 0), 0x4000E0, true}, // centre: 8192
        {control(SND_SEQ_EVENT_PITCHBEND, 1, 0, -8192), 0x0000E1, true}, // lowest
        {control(SND_SEQ_EVENT_PITCHBEND, 1, 0, 8191), 0x7F7FE1, true}, // highest
        {control(SND_SEQ_EVENT_PITCHBEND, 1, 0, 99999), 0x7F7FE1, true}, // clamped
    };
    // With the first channel selected, only played events of channel 1 reach the lists.
    MidiPorts firstChannel(0, -1, 44100, 256);
    int expectedOnFirst = 0;
    for (const Row& r : rows) {
        std::uint32_t message = 0;
        ASSERT_TRUE(decodeSequencerEvent(r.event, message)) << int(r.event.type);
        EXPECT_EQ(message, r.message) << std::hex << message;
        EXPECT_EQ(MidiPorts::accepts(message, -1), r.played);
        firstChannel.receive(message, 0);
        if (r.played && (r.message & 0x0Fu) == 0) ++expectedOnFirst;
    }
    VstEvents* queued = firstChannel.exchangeLists(0);
    EXPECT_EQ(queued->numEvents, expectedOnFirst);
    for (int i = 0; i < queued->numEvents; ++i)
        EXPECT_EQ(reinterpret_cast<VstMidiEvent*>(queued->events[i])->midiData[0] & 0x0F, 0) << i;
    for (snd_seq_event_type_t type : {SND_SEQ_EVENT_CLOCK, SND_SEQ_EVENT_SYSEX, SND_SEQ_EVENT_PORT_SUBSCRIBED,
                                      SND_SEQ_EVENT_SENSING, SND_SEQ_EVENT_CONTROL14, SND_SEQ_EVENT_START}) {
        std::uint32_t message = 0;
        EXPECT_FALSE(decodeSequencerEvent(control(type, 0, 1, 2), message)) << int(type);
    }
}

} // namespace
} // namespace vl::linuxapp
