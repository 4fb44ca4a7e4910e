// MIDI event lists: offsets from time stamps and frames, the channel filter, list
// switching and overflow, driven with synthetic messages.
#include <gtest/gtest.h>

#include <memory>
#include <vector>

#include "standalone/MidiPorts.h"

namespace vl {
namespace {

std::uint32_t msg(int status, int d1 = 60, int d2 = 100) { return std::uint32_t(status | d1 << 8 | d2 << 16); }

const VstMidiEvent& eventAt(VstEvents* list, int i) { return *reinterpret_cast<const VstMidiEvent*>(list->events[i]); }

TEST(MidiPorts, OffsetsFromTimeStamps) {
    struct Row {
        std::uint32_t time, listStart;
        int rate, block, expected;
    };
    // clang-format off
    const Row rows[] = {
        {10, 0, 44100, 2205, 440},      // 44 samples per millisecond
        {1010, 1000, 44100, 2205, 440},
        {0, 0, 44100, 2205, 1},         // at the list's start: 1, not 0
        {1000, 1000, 48000, 1024, 1},
        {50, 0, 44100, 2205, 2200},     // still inside the block
        {51, 0, 44100, 2205, 2204},     // 2244 is past it: the last frame
        {5000, 0, 44100, 2205, 2204},
        {999, 1000, 44100, 2205, 2204}, // older than the list: wraps, the last frame
        {3, 0, 96000, 256, 255},
        {2, 0, 96000, 256, 192},
    };
    // clang-format on
    for (const Row& r : rows) {
        SCOPED_TRACE(testing::Message() << r.time << " ms in a list from " << r.listStart << " ms, " << r.rate
                                        << " Hz, block " << r.block);
        EXPECT_EQ(MidiPorts::offsetFor(r.time, r.listStart, r.rate / 1000, r.block), r.expected);

        // The same through the lists: the input opened at 7000 ms, the list starts at
        // listStart ms after that.
        auto ports = std::make_unique<MidiPorts>(-1, -1, r.rate, r.block);
        ports->inputOpened(7000);
        ports->exchangeLists(7000 + r.listStart);
        ASSERT_TRUE(ports->receive(msg(0x90), r.time));
        VstEvents* list = ports->exchangeLists(9000);
        ASSERT_EQ(list->numEvents, 1);
        EXPECT_EQ(eventAt(list, 0).deltaFrames, r.expected);
        EXPECT_EQ(std::uint32_t(list->reserved), r.listStart);
    }
}

TEST(MidiPorts, ChannelFilterAndMessageKinds) {
    struct Row {
        int channel;
        std::uint32_t status;
        bool queued;
    };
    const Row rows[] = {
        {2, 0x92, true},
        {2, 0x91, false},
        {2, 0x82, true},
        {2, 0xB2, true},
        {2, 0xC2, true},
        {2, 0xE2, true},
        {2, 0xE3, false},
        {-1, 0x91, true},
        {-1, 0x9F, true},
        {-1, 0x80, true},
        {-1, 0xA0, false},
        {-1, 0xD0, false},
        {-1, 0xF0, false},
        {-1, 0xF8, false},
        {-1, 0xFE, false},
        {0, 0xA0, false},
        {0, 0xD0, false},
        {0, 0xF0, false},
        {15, 0x9F, true},
        {15, 0x90, false},
        // the first channel (0) filters like any other: nothing from channels 2 to 16
        {0, 0x90, true},
        {0, 0x91, false},
        {0, 0x81, false},
        {0, 0xB2, false},
        {0, 0xCF, false},
        {0, 0xE1, false},
    };
    for (const Row& r : rows) {
        SCOPED_TRACE(testing::Message() << "channel " << r.channel << ", status " << std::hex << r.status);
        auto ports = std::make_unique<MidiPorts>(r.channel, -1, 44100, 512);
        EXPECT_EQ(MidiPorts::accepts(msg(int(r.status)), r.channel), r.queued);
        EXPECT_EQ(ports->receive(msg(int(r.status), 64, 90), 0), r.queued);
        EXPECT_EQ(ports->receiveAtFrame(msg(int(r.status), 64, 90), 5), r.queued);
        VstEvents* list = ports->exchangeLists(0);
        ASSERT_EQ(list->numEvents, r.queued ? 2 : 0);
        if (r.queued) {
            const VstMidiEvent& e = eventAt(list, 1);
            EXPECT_EQ(e.type, kVstMidiType);
            EXPECT_EQ(e.byteSize, 24);
            EXPECT_EQ(e.deltaFrames, 5);
            EXPECT_EQ((unsigned char)e.midiData[0], r.status);
            EXPECT_EQ(e.midiData[1], 64);
            EXPECT_EQ(e.midiData[2], 90);
            EXPECT_EQ(e.midiData[3], 0);
            EXPECT_EQ(e.flags | e.noteLength | e.noteOffset | e.detune | e.noteOffVelocity, 0);
        }
    }
}

TEST(MidiPorts, FramePositionsStayInsideTheBlock) {
    auto ports = std::make_unique<MidiPorts>(-1, -1, 44100, 256);
    const int frames[] = {0, 1, 255, 256, 9999, -3};
    for (int f : frames) ports->receiveAtFrame(msg(0x90), f);
    VstEvents* list = ports->exchangeLists(0);
    ASSERT_EQ(list->numEvents, 6);
    const int expected[] = {0, 1, 255, 255, 255, 0};
    for (int i = 0; i < 6; ++i) EXPECT_EQ(eventAt(list, i).deltaFrames, expected[i]) << i;
    ports->setBlockFrames(1024);
    EXPECT_EQ(ports->blockFrames(), 1024);
    ports->receiveAtFrame(msg(0x90), 700);
    EXPECT_EQ(eventAt(ports->exchangeLists(0), 0).deltaFrames, 700);
}

TEST(MidiPorts, ListsSwitchAtEveryExchange) {
    auto ports = std::make_unique<MidiPorts>(-1, -1, 44100, 2205);
    ports->inputOpened(100);
    ports->receive(msg(0x90, 60), 0);
    ports->receive(msg(0x90, 64), 0);
    VstEvents* first = ports->exchangeLists(150); // the next list starts 50 ms after opening
    ASSERT_EQ(first->numEvents, 2);
    EXPECT_EQ(eventAt(first, 0).midiData[1], 60);
    EXPECT_EQ(eventAt(first, 1).midiData[1], 64);

    ports->receive(msg(0x80, 60), 60); // 10 ms into the new list
    VstEvents* second = ports->exchangeLists(200);
    EXPECT_NE(second, first);
    EXPECT_EQ(std::uint32_t(second->reserved), 50u);
    ASSERT_EQ(second->numEvents, 1);
    EXPECT_EQ(eventAt(second, 0).deltaFrames, 440);
    // The first list is active again: empty, starting 100 ms after opening.
    EXPECT_EQ(first->numEvents, 0);
    EXPECT_EQ(std::uint32_t(first->reserved), 100u);
    VstEvents* third = ports->exchangeLists(250);
    EXPECT_EQ(third, first);
    EXPECT_EQ(third->numEvents, 0);
}

TEST(MidiPorts, Overflow) {
    auto ports = std::make_unique<MidiPorts>(-1, -1, 44100, 512);
    // More than 4096 events in one block: the count wraps and the earliest are overwritten.
    for (int i = 0; i < MidiPorts::kListCapacity + 3; ++i) ports->receive(msg(0x90, i % 128, i / 128 + 1), 0);
    VstEvents* list = ports->exchangeLists(0);
    ASSERT_EQ(list->numEvents, 3);
    for (int i = 0; i < 3; ++i) {
        const int n = MidiPorts::kListCapacity + i;
        EXPECT_EQ(eventAt(list, i).midiData[1], n % 128);
        EXPECT_EQ(eventAt(list, i).midiData[2], n / 128 + 1);
    }
    // The pool of 8192 records is reused in ring order.
    std::vector<const VstEvent*> seen;
    for (int block = 0; block < 3; ++block) {
        for (int i = 0; i < 4000; ++i) ports->receive(msg(0x90), 0);
        VstEvents* l = ports->exchangeLists(0);
        ASSERT_EQ(l->numEvents, 4000);
        seen.push_back(l->events[0]);
    }
    // 4099 records used before, then 4000 per block: the third block starts at record
    // (4099 + 8000) mod 8192 = 3907, which is 192 records before the first block's start.
    EXPECT_EQ(seen[1] - seen[0], 4000);
    EXPECT_EQ(seen[0] - seen[2], 192);
}

class RecordingPorts : public MidiPorts {
public:
    using MidiPorts::MidiPorts;
    std::vector<std::uint32_t> sent;

protected:
    void sendShortMessage(std::uint32_t message) override { sent.push_back(message); }
};

TEST(MidiPorts, ControlChangeOnTheOutputChannel) {
    auto on5 = std::make_unique<RecordingPorts>(-1, 5, 44100, 512);
    on5->sendControlChange(7, 100);
    ASSERT_EQ(on5->sent.size(), 1u);
    EXPECT_EQ(on5->sent[0], 0xB5u | 7u << 8 | 100u << 16);
    auto none = std::make_unique<RecordingPorts>(-1, -1, 44100, 512);
    none->sendControlChange(7, 100);
    EXPECT_TRUE(none->sent.empty());
}

} // namespace
} // namespace vl
