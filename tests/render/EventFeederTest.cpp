#include <gtest/gtest.h>

#include "tools/render/EventFeeder.h"

namespace vl::render {
namespace {

TimedEvent at(int64_t frame, uint8_t status, uint8_t d1, uint8_t d2) {
    TimedEvent e;
    e.frame = frame;
    e.bytes[0] = status;
    e.bytes[1] = d1;
    e.bytes[2] = d2;
    return e;
}

const VstMidiEvent& midi(VstEvents* list, int i) {
    // The pointer array runs past the declared two entries, as in every host.
    VstEvent** pointers = reinterpret_cast<VstEvent**>(reinterpret_cast<char*>(list) + offsetof(VstEvents, events));
    return *reinterpret_cast<const VstMidiEvent*>(pointers[i]);
}

TEST(EventFeeder, OffsetsInsideEachBlock) {
    const std::vector<TimedEvent> events = {at(0, 0x90, 60, 100), at(5, 0x90, 64, 0), at(511, 0xE0, 0, 64),
                                            at(512, 0xB0, 64, 127), at(1023, 0xC0, 2, 0)};
    EventFeeder feeder(events);
    ASSERT_EQ(feeder.prepare(0, 512), 512);
    VstEvents* list = feeder.list();
    ASSERT_NE(list, nullptr);
    ASSERT_EQ(list->numEvents, 3);
    const int32_t deltas[] = {0, 5, 511};
    for (int i = 0; i < 3; ++i) {
        const VstMidiEvent& m = midi(list, i);
        EXPECT_EQ(m.type, kVstMidiType);
        EXPECT_EQ(m.byteSize, int32_t(sizeof(VstMidiEvent)));
        EXPECT_EQ(m.deltaFrames, deltas[i]);
        EXPECT_EQ(m.flags, 0);
        EXPECT_EQ(uint8_t(m.midiData[0]), events[std::size_t(i)].bytes[0]);
        EXPECT_EQ(uint8_t(m.midiData[1]), events[std::size_t(i)].bytes[1]);
        EXPECT_EQ(uint8_t(m.midiData[2]), events[std::size_t(i)].bytes[2]);
        EXPECT_EQ(m.midiData[3], 0);
    }
    EXPECT_EQ(uint8_t(midi(list, 1).midiData[2]), 0); // velocity 0 is passed on as it is

    ASSERT_EQ(feeder.prepare(512, 512), 512);
    list = feeder.list();
    ASSERT_NE(list, nullptr);
    ASSERT_EQ(list->numEvents, 2);
    EXPECT_EQ(midi(list, 0).deltaFrames, 0);
    EXPECT_EQ(midi(list, 1).deltaFrames, 511);
    EXPECT_EQ(uint8_t(midi(list, 1).midiData[0]), 0xC0);

    EXPECT_EQ(feeder.prepare(1024, 100), 100);
    EXPECT_EQ(feeder.list(), nullptr);
    EXPECT_EQ(feeder.remaining(), 0u);
}

TEST(EventFeeder, BlockOfOneFrame) {
    const std::vector<TimedEvent> events = {at(3, 0x90, 60, 1), at(3, 0x80, 60, 0)};
    EventFeeder feeder(events);
    for (int64_t f = 0; f < 3; ++f) {
        EXPECT_EQ(feeder.prepare(f, 1), 1);
        EXPECT_EQ(feeder.list(), nullptr);
    }
    EXPECT_EQ(feeder.prepare(3, 1), 1);
    ASSERT_NE(feeder.list(), nullptr);
    EXPECT_EQ(feeder.list()->numEvents, 2);
    EXPECT_EQ(uint8_t(midi(feeder.list(), 0).midiData[0]), 0x90); // file order kept
    EXPECT_EQ(midi(feeder.list(), 1).deltaFrames, 0);
}

TEST(EventFeeder, CrowdedBlockIsShortenedAtAnEventFrame) {
    std::vector<TimedEvent> events;
    for (int i = 0; i < 5000; ++i) events.push_back(at(i / 2, 0xB0, 1, uint8_t(i & 0x7F)));
    EventFeeder feeder(events);
    // Event 4096 sits at frame 2048: the first call stops right before it.
    ASSERT_EQ(feeder.prepare(0, 8192), 2048);
    EXPECT_EQ(feeder.list()->numEvents, 4096);
    ASSERT_EQ(feeder.prepare(2048, 8192), 8192);
    EXPECT_EQ(feeder.list()->numEvents, 904);
    EXPECT_EQ(midi(feeder.list(), 0).deltaFrames, 0);
    EXPECT_EQ(midi(feeder.list(), 903).deltaFrames, 451); // event 4999 at frame 2499

    std::vector<TimedEvent> same(EventFeeder::kMaxEventsPerCall + 1, at(10, 0xB0, 1, 1));
    EventFeeder jammed(same);
    EXPECT_EQ(jammed.prepare(0, 512), 10); // up to the crowded frame
    EXPECT_EQ(jammed.prepare(10, 512), 0); // cannot be delivered in one list
}

} // namespace
} // namespace vl::render
