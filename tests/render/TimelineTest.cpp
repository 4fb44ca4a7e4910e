#include <gtest/gtest.h>

#include "tests/render/MidiBytes.h"
#include "tools/render/DemoPhrase.h"
#include "tools/render/Timeline.h"

namespace vl::render {
namespace {

using namespace test;

Timeline timelineOf(const Bytes& data, uint32_t rate) {
    Song song;
    std::string error;
    EXPECT_TRUE(parseMidi(data.data(), data.size(), song, error)) << error;
    Timeline t;
    EXPECT_TRUE(buildTimeline(song, rate, t, error)) << error;
    return t;
}

std::vector<int64_t> framesOf(const Timeline& t) {
    std::vector<int64_t> out;
    for (const auto& e : t.events) out.push_back(e.frame);
    return out;
}

TEST(Timeline, DefaultTempoIs120BeatsPerMinute) {
    Bytes body;
    event(body, 480, {0x90, 60, 100}); // one beat: 0.5 s
    event(body, 480, {0x80, 60, 0}); // 1.0 s
    endOfTrack(body);
    const Bytes data = file(header(0, 1, 480), {track(body)});
    EXPECT_EQ(framesOf(timelineOf(data, 44100)), (std::vector<int64_t>{22050, 44100}));
    EXPECT_EQ(framesOf(timelineOf(data, 48000)), (std::vector<int64_t>{24000, 48000}));
}

TEST(Timeline, TempoChangesMidFileAreExact) {
    // 96 ticks per quarter. Tempo 500000 us until tick 192 (1.0 s), then 400000 us.
    Bytes t0;
    tempo(t0, 0, 500000);
    tempo(t0, 192, 400000);
    tempo(t0, 96, 333333); // from tick 288 (1.4 s)
    endOfTrack(t0);
    Bytes t1;
    event(t1, 1, {0x90, 60, 100}); // tick 1: 5208.33.. us
    event(t1, 190, {0x90, 61, 100}); // tick 191: 0.994791.. s
    event(t1, 1, {0x90, 62, 100}); // tick 192: 1.0 s exactly
    event(t1, 1, {0x90, 63, 100}); // tick 193: 1.0041666.. s
    event(t1, 95, {0x90, 64, 100}); // tick 288: 1.4 s
    event(t1, 3, {0x90, 65, 100}); // tick 291: 1.4 + 3 x 333333 / 96 us = 1.410416656.. s
    endOfTrack(t1, 9); // tick 300
    const Bytes data = file(header(1, 2, 96), {track(t0), track(t1)});
    // 44100: 229.6875 -> 229; 43870.3125 -> 43870; 44100; 44283.75 -> 44283; 61740; 62199.37.. -> 62199
    EXPECT_EQ(framesOf(timelineOf(data, 44100)), (std::vector<int64_t>{229, 43870, 44100, 44283, 61740, 62199}));
    // 48000: 250 exactly (one tick of 0.5 s / 96), 47750 exactly, 48000, 48200 exactly,
    // 67200, 67699.99.. -> 67699 (just below a frame: not rounded up)
    EXPECT_EQ(framesOf(timelineOf(data, 48000)), (std::vector<int64_t>{250, 47750, 48000, 48200, 67200, 67699}));
    // The end-of-track marker at tick 300: 1.4 + 12 x 333333/96 us = 1.441666625 s.
    EXPECT_EQ(timelineOf(data, 44100).endFrame, 63577);
    EXPECT_EQ(timelineOf(data, 48000).endFrame, 69199);
}

TEST(Timeline, KeepsMergedOrderAndBytes) {
    Bytes t0, t1;
    event(t0, 10, {0xB0, 64, 127});
    endOfTrack(t0);
    event(t1, 10, {0x90, 60, 0}); // velocity 0 stays a note-on
    event(t1, 0, {0xC0, 5});
    endOfTrack(t1);
    const Timeline t = timelineOf(file(header(1, 2, 480), {track(t0), track(t1)}), 44100);
    ASSERT_EQ(t.events.size(), 3u);
    EXPECT_EQ(t.events[0].bytes[0], 0xB0);
    EXPECT_EQ(t.events[1].bytes[0], 0x90);
    EXPECT_EQ(t.events[1].bytes[2], 0);
    EXPECT_EQ(t.events[2].bytes[0], 0xC0);
    EXPECT_EQ(t.events[2].bytes[1], 5);
    EXPECT_EQ(t.events[2].bytes[2], 0);
    for (const auto& e : t.events) EXPECT_EQ(e.frame, 459); // 10/480 x 0.5 s x 44100 = 459.375
}

TEST(Timeline, ExactArithmeticAtTheLimits) {
    int64_t frame = 0;
    // One hour at 120 bpm with 960 ticks: 7200 beats, 6912000 ticks x 500000 us.
    ASSERT_TRUE(frameAt(6912000ull * 500000ull, 960, 192000, frame));
    EXPECT_EQ(frame, 3600ll * 192000);
    // 1 us short of that hour lands one frame early at most, never on the frame.
    ASSERT_TRUE(frameAt(6912000ull * 500000ull - 1, 960, 192000, frame));
    EXPECT_EQ(frame, 3600ll * 192000 - 1);
    EXPECT_FALSE(frameAt(~0ull, 1, 4000000000u, frame));
}

TEST(Timeline, DemoPhraseLengthAndContent) {
    const Song song = demoPhrase();
    Timeline t;
    std::string error;
    ASSERT_TRUE(buildTimeline(song, 44100, t, error));
    const double seconds = double(t.endFrame + 3 * 44100) / 44100.0;
    EXPECT_GE(seconds, 8.0);
    EXPECT_LE(seconds, 15.0);
    int sounding = 0, maxSounding = 0, ons = 0, offs = 0, bends = 0;
    bool pedalDown = false, pedalUp = false;
    for (const auto& e : t.events) {
        const int status = e.bytes[0] & 0xF0;
        if (status == 0x90 && e.bytes[2] > 0) ++ons, maxSounding = std::max(maxSounding, ++sounding);
        if (status == 0x80) ++offs, --sounding;
        if (status == 0xE0 && e.bytes[2] != 64) ++bends;
        if (status == 0xB0 && e.bytes[1] == 64) (e.bytes[2] ? pedalDown : pedalUp) = true;
    }
    EXPECT_EQ(ons, offs);
    EXPECT_GE(maxSounding, 5); // chords under a melody
    EXPECT_GT(bends, 4);
    EXPECT_TRUE(pedalDown);
    EXPECT_TRUE(pedalUp);
}

} // namespace
} // namespace vl::render
