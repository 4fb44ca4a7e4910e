// The winmm input callback feeding the event lists, driven with synthetic messages and
// time stamps (these machines have no MIDI devices).
#include <gtest/gtest.h>

#include <windows.h>
#include <mmsystem.h>

#include <vector>

#include "standalone/StandaloneApp.h"
#include "standalone/win32/WindowsMidiPorts.h"

namespace {

constexpr int kBlockFrames = 2205;

void deliver(vl::MidiPorts& ports, UINT message, std::uint32_t shortMessage = 0, std::uint32_t stamp = 0) {
    vl::WindowsMidiInput::inputHandler(nullptr, message, reinterpret_cast<DWORD_PTR>(&ports), shortMessage, stamp);
}

struct Queued {
    int status;
    int data1;
    int data2;
    int deltaFrames;
};

std::vector<Queued> take(vl::MidiPorts& ports, std::uint32_t nowMs) {
    std::vector<Queued> out;
    VstEvents* list = ports.exchangeLists(nowMs);
    for (int i = 0; i < list->numEvents; ++i) {
        const auto* e = reinterpret_cast<const VstMidiEvent*>(list->events[i]);
        EXPECT_EQ(e->type, kVstMidiType);
        out.push_back({static_cast<unsigned char>(e->midiData[0]), static_cast<unsigned char>(e->midiData[1]),
                       static_cast<unsigned char>(e->midiData[2]), e->deltaFrames});
    }
    return out;
}

// Opens the input at the program's clock and answers the start time of the active list
// in milliseconds since the input opened.
std::uint32_t openAndSettle(vl::MidiPorts& ports, std::uint32_t& nowMs) {
    deliver(ports, MIM_OPEN);
    nowMs = vl::millisecondClock() + 1000;
    ports.exchangeLists(nowMs);
    VstEvents* previous = ports.exchangeLists(nowMs); // its start time is that of the active list
    return static_cast<std::uint32_t>(previous->reserved);
}

TEST(MidiInput, TimeStampsBecomeOffsetsInsideTheBlock) {
    vl::MidiPorts ports(-1, -1, 44100, kBlockFrames);
    std::uint32_t now = 0;
    const std::uint32_t start = openAndSettle(ports, now);
    ASSERT_GE(start, 1000u);
    ASSERT_LT(start, 3000u);

    const struct Case {
        std::uint32_t stamp;
        int delta;
    } cases[] = {
        {start, 1}, // at the list's start
        {start + 10, 440}, // 10 ms at 44 samples per millisecond
        {start + 50, 2200}, // still inside the block of 2205 frames
        {start + 51, kBlockFrames - 1}, // beyond the block
        {start - 1, kBlockFrames - 1}, // older than the list: wraps to the last frame
    };
    for (const Case& c : cases) deliver(ports, MIM_DATA, 0x403C90, c.stamp);
    const std::vector<Queued> got = take(ports, now + 50);
    ASSERT_EQ(got.size(), std::size(cases));
    for (std::size_t i = 0; i < got.size(); ++i) {
        EXPECT_EQ(got[i].deltaFrames, cases[i].delta) << "stamp " << cases[i].stamp - start << " ms";
        EXPECT_EQ(got[i].status, 0x90);
        EXPECT_EQ(got[i].data1, 0x3C);
        EXPECT_EQ(got[i].data2, 0x40);
    }
}

TEST(MidiInput, ChannelFilterAndMessageKinds) {
    vl::MidiPorts ports(2, -1, 48000, kBlockFrames);
    std::uint32_t now = 0;
    const std::uint32_t start = openAndSettle(ports, now);
    struct Case {
        UINT kind;
        std::uint32_t message;
        bool queued;
    } cases[] = {
        {MIM_DATA, 0x403C91, false}, // note on, channel 2 (the second): filtered out
        {MIM_DATA, 0x403C92, true}, // note on, channel 3
        {MIM_MOREDATA, 0x003C82, true}, // note off
        {MIM_DATA, 0x7F07B2, true}, // control change
        {MIM_DATA, 0x0003C2, true}, // program change
        {MIM_DATA, 0x4000E2, true}, // pitch bend
        {MIM_DATA, 0x403CA2, false}, // polyphonic key pressure
        {MIM_DATA, 0x0040D2, false}, // channel pressure
        {MIM_DATA, 0x0000F2, false}, // system message
        {MIM_DATA, 0x0000F8, false}, // clock
        {MIM_LONGDATA, 0x403C92, false}, // not a short message
        {MIM_ERROR, 0x403C92, false},    {MIM_CLOSE, 0, false},
    };
    std::vector<std::uint32_t> expected;
    for (const auto& c : cases) {
        deliver(ports, c.kind, c.message, start + 2);
        if (c.queued) expected.push_back(c.message & 0xFF);
    }
    const std::vector<Queued> got = take(ports, now + 50);
    ASSERT_EQ(got.size(), expected.size());
    for (std::size_t i = 0; i < got.size(); ++i) {
        EXPECT_EQ(static_cast<std::uint32_t>(got[i].status), expected[i]);
        EXPECT_EQ(got[i].deltaFrames, 96); // 2 ms at 48 samples per millisecond
    }
}

// With the first channel selected, a channel-voice message on any other channel is
// refused by the input callback; the same message on the first channel is queued.
TEST(MidiInput, FirstChannelRefusesEveryOtherChannel) {
    vl::MidiPorts ports(0, -1, 48000, kBlockFrames);
    std::uint32_t now = 0;
    const std::uint32_t start = openAndSettle(ports, now);
    for (std::uint32_t channel = 1; channel < 16; ++channel)
        for (std::uint32_t message : {0x403C90u, 0x003C80u, 0x7F07B0u, 0x0003C0u, 0x4000E0u})
            deliver(ports, MIM_DATA, message | channel, start + 2);
    EXPECT_TRUE(take(ports, now + 50).empty()) << "messages on channels 2 to 16 were queued";
    deliver(ports, MIM_DATA, 0x403C90, start + 2);
    const std::vector<Queued> got = take(ports, now + 100);
    ASSERT_EQ(got.size(), 1u);
    EXPECT_EQ(got[0].status, 0x90);
}

TEST(MidiInput, ListsSwitchEveryBlockAndOverflowWraps) {
    vl::MidiPorts ports(-1, -1, 44100, kBlockFrames);
    std::uint32_t now = 0;
    const std::uint32_t start = openAndSettle(ports, now);

    // Each block hands over exactly what arrived since the previous one.
    for (int block = 0; block < 6; ++block) {
        for (int i = 0; i <= block; ++i) deliver(ports, MIM_DATA, 0x400090u | (std::uint32_t(60 + i) << 8), start);
        const std::vector<Queued> got = take(ports, now);
        ASSERT_EQ(got.size(), static_cast<std::size_t>(block + 1));
        for (int i = 0; i <= block; ++i) EXPECT_EQ(got[i].data1, 60 + i);
    }
    EXPECT_TRUE(take(ports, now).empty());

    // More than 4096 events in one block: the count wraps and the first ones are overwritten.
    for (int i = 0; i < 4096 + 3; ++i) deliver(ports, MIM_DATA, 0x400090u | (std::uint32_t(i % 128) << 8), start);
    const std::vector<Queued> got = take(ports, now);
    ASSERT_EQ(got.size(), 3u);
    EXPECT_EQ(got[0].data1, 4096 % 128);
    EXPECT_EQ(got[2].data1, (4096 + 2) % 128);
}

TEST(MidiInput, NoDevicesMeansNoInputAndNoOutput) {
    vl::SettingsValues settings;
    vl::OpenedMidi midi = vl::openMidi(settings, kBlockFrames);
    ASSERT_TRUE(midi.ports);
    ASSERT_TRUE(midi.input);
    if (midiInGetNumDevs() == 0) {
        EXPECT_FALSE(midi.input->isOpen());
        EXPECT_FALSE(midi.ports->outputOpen());
    }
    // Without a device the lists still work for the audio thread.
    EXPECT_EQ(midi.ports->exchangeLists(vl::millisecondClock())->numEvents, 0);
    midi.ports->sendControlChange(7, 100); // nothing to send to, nothing happens
}

} // namespace
