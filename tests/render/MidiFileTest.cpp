#include <gtest/gtest.h>

#include "tests/render/MidiBytes.h"
#include "tools/render/MidiFile.h"

namespace vl::render {
namespace {

using namespace test;

struct Parsed {
    bool ok;
    Song song;
    std::string error;
};

Parsed parse(const Bytes& data) {
    Parsed p;
    p.ok = parseMidi(data.data(), data.size(), p.song, p.error);
    return p;
}

std::vector<SongEvent> channelEvents(const Song& s) {
    std::vector<SongEvent> out;
    for (const SongEvent& e : s.events)
        if (e.kind == SongEvent::Kind::Channel) out.push_back(e);
    return out;
}

TEST(MidiReader, Format0WithRunningStatus) {
    Bytes body;
    event(body, 0, {0x91, 60, 100});
    event(body, 10, {62, 90}); // running status: note on, channel 2
    event(body, 5, {0xC1, 3}); // program change: one data byte
    event(body, 0, {4}); // running program change
    event(body, 7, {0x81, 60, 64});
    event(body, 0, {62, 0});
    endOfTrack(body, 20);
    const Parsed p = parse(file(header(0, 1, 96), {track(body)}));
    ASSERT_TRUE(p.ok) << p.error;
    EXPECT_EQ(p.song.format, 0);
    EXPECT_EQ(p.song.division, 96u);
    const auto ev = channelEvents(p.song);
    ASSERT_EQ(ev.size(), 6u);
    const uint64_t ticks[] = {0, 10, 15, 15, 22, 22};
    const uint8_t expected[6][3] = {{0x91, 60, 100}, {0x91, 62, 90}, {0xC1, 3, 0},
                                    {0xC1, 4, 0},    {0x81, 60, 64}, {0x81, 62, 0}};
    for (std::size_t i = 0; i < ev.size(); ++i) {
        EXPECT_EQ(ev[i].tick, ticks[i]) << i;
        EXPECT_EQ(ev[i].bytes[0], expected[i][0]) << i;
        EXPECT_EQ(ev[i].bytes[1], expected[i][1]) << i;
        EXPECT_EQ(ev[i].bytes[2], expected[i][2]) << i;
        EXPECT_EQ(ev[i].size, expected[i][0] == 0xC1 ? 2 : 3) << i;
    }
    // The end-of-track marker keeps its time (it sets the song's length).
    EXPECT_EQ(p.song.events.back().tick, 42u);
}

TEST(MidiReader, Format1MergesTracksStablyAtEqualTimes) {
    Bytes t0, t1, t2;
    tempo(t0, 0, 400000);
    event(t0, 100, {0x90, 1, 1});
    event(t0, 0, {0x90, 2, 1});
    endOfTrack(t0);
    event(t1, 50, {0x90, 10, 1});
    event(t1, 50, {0x90, 11, 1}); // tick 100, after track 0's two events
    event(t1, 0, {0x90, 12, 1});
    endOfTrack(t1);
    event(t2, 0, {0x90, 20, 1}); // tick 0
    event(t2, 100, {0x90, 21, 1}); // tick 100, last of all at that tick
    endOfTrack(t2);
    const Parsed p = parse(file(header(1, 3, 480), {track(t0), track(t1), track(t2)}));
    ASSERT_TRUE(p.ok) << p.error;
    const auto ev = channelEvents(p.song);
    std::vector<int> keys;
    for (const auto& e : ev) keys.push_back(e.bytes[1]);
    EXPECT_EQ(keys, (std::vector<int>{20, 10, 1, 2, 11, 12, 21}));
    EXPECT_EQ(p.song.events.front().kind, SongEvent::Kind::Tempo);
    EXPECT_EQ(p.song.events.front().tempo, 400000u);
}

TEST(MidiReader, SkipsMetaSysexAndUnknownChunks) {
    Bytes body;
    event(body, 0, {0xFF, 0x03, 5, 'S', 't', 'r', 'n', 'g'}); // track name
    event(body, 0, {0xF0, 4, 0x7E, 0x7F, 0x09, 0xF7}); // system exclusive
    event(body, 3, {0x90, 64, 80});
    event(body, 0, {0xF7, 2, 0x80, 0x90}); // escape: raw bytes >= 0x80
    event(body, 0, {0xFF, 0x7F, 0x81, 0x00}); // 128-byte sequencer meta
    for (int i = 0; i < 128; ++i) body.push_back(uint8_t(0x90 | (i & 0x0F)));
    event(body, 4, {0xE0, 0x00, 0x60});
    endOfTrack(body);
    body.insert(body.end(), {0x00, 0x90, 1, 2}); // after end of track: ignored
    Bytes alien = {'X', 'f', 'o', 'o', 0, 0, 0, 3, 1, 2, 3};
    Bytes data = header(0, 1, 480);
    data.insert(data.end(), alien.begin(), alien.end());
    const Bytes t = track(body);
    data.insert(data.end(), t.begin(), t.end());
    const Parsed p = parse(data);
    ASSERT_TRUE(p.ok) << p.error;
    const auto ev = channelEvents(p.song);
    ASSERT_EQ(ev.size(), 2u);
    EXPECT_EQ(ev[0].tick, 3u);
    EXPECT_EQ(ev[0].bytes[1], 64);
    EXPECT_EQ(ev[1].tick, 7u);
    EXPECT_EQ(ev[1].bytes[0], 0xE0);
    EXPECT_EQ(ev[1].bytes[2], 0x60);
}

TEST(MidiReader, LongerHeaderAndFourByteDeltas) {
    Bytes head = {'M', 'T', 'h', 'd', 0, 0, 0, 8, 0, 0, 0, 1, 0x01, 0xE0, 0xAA, 0xBB};
    Bytes body;
    event(body, 0x0FFFFFFF, {0x90, 60, 1}); // largest 4-byte quantity
    const Parsed p = parse(file(head, {track(body)}));
    ASSERT_TRUE(p.ok) << p.error;
    ASSERT_EQ(channelEvents(p.song).size(), 1u);
    EXPECT_EQ(channelEvents(p.song)[0].tick, 0x0FFFFFFFu);
}

struct BadCase {
    const char* name;
    Bytes data;
    const char* messagePart;
};

TEST(MidiReader, RefusesBrokenFiles) {
    Bytes good;
    event(good, 0, {0x90, 60, 100});
    endOfTrack(good);

    Bytes longVarLen = {0x81, 0x80, 0x80, 0x80, 0x00, 0x90, 60, 100};
    Bytes noStatus;
    event(noStatus, 0, {60, 100});
    Bytes highData;
    event(highData, 0, {0x90, 0x80, 100});
    Bytes highSecond;
    event(highSecond, 0, {0xB0, 7, 0xFF});
    Bytes cutMessage = {0x00, 0x90, 60};
    Bytes cutDelta = {0x00, 0x90, 60, 1, 0x81};
    Bytes badTempo;
    event(badTempo, 0, {0xFF, 0x51, 0x02, 0x07, 0xA1});
    Bytes longMeta;
    event(longMeta, 0, {0xFF, 0x01, 0x20, 'x'});
    Bytes longSysex;
    event(longSysex, 0, {0xF0, 0x10, 1, 2});
    Bytes songPosition;
    event(songPosition, 0, {0xF2, 0, 0});

    Bytes smpte = header(0, 1, 0xE250);
    const BadCase cases[] = {
        {"empty", {}, "no MThd"},
        {"riff", {'R', 'I', 'F', 'F', 0, 0, 0, 4, 'W', 'A', 'V', 'E'}, "no MThd"},
        {"short header", {'M', 'T', 'h', 'd', 0, 0, 0, 6, 0, 0}, "truncated"},
        {"format 2", file(header(2, 1, 96), {track(good)}), "format 2"},
        {"smpte", file(smpte, {track(good)}), "SMPTE"},
        {"division 0", file(header(0, 1, 0), {track(good)}), "division"},
        {"format 0 two tracks", file(header(0, 2, 96), {track(good), track(good)}), "format 0"},
        {"missing track", file(header(1, 2, 96), {track(good)}), "1 of 2 tracks"},
        {"chunk past end", file(header(0, 1, 96), {track(good, int64_t(good.size()) + 1)}), "past the end"},
        {"var len over 4 bytes", file(header(0, 1, 96), {track(longVarLen)}), "longer than 4 bytes"},
        {"running status without status", file(header(0, 1, 96), {track(noStatus)}), "running status"},
        {"data byte >= 0x80", file(header(0, 1, 96), {track(highData)}), "0x80"},
        {"second data byte >= 0x80", file(header(0, 1, 96), {track(highSecond)}), "0xFF"},
        {"cut message", file(header(0, 1, 96), {track(cutMessage)}), "cut off"},
        {"cut delta", file(header(0, 1, 96), {track(cutDelta)}), "cut off"},
        {"tempo length", file(header(0, 1, 96), {track(badTempo)}), "tempo"},
        {"meta past track", file(header(0, 1, 96), {track(longMeta)}), "meta event"},
        {"sysex past track", file(header(0, 1, 96), {track(longSysex)}), "system exclusive"},
        {"system common", file(header(0, 1, 96), {track(songPosition)}), "0xF2"},
    };
    for (const BadCase& c : cases) {
        const Parsed p = parse(c.data);
        EXPECT_FALSE(p.ok) << c.name;
        EXPECT_NE(p.error.find(c.messagePart), std::string::npos) << c.name << ": " << p.error;
        EXPECT_EQ(p.error.find('\n'), std::string::npos) << c.name;
    }
}

TEST(MidiReader, RunningStatusDoesNotCrossTracks) {
    Bytes t0, t1;
    event(t0, 0, {0x90, 60, 100});
    endOfTrack(t0);
    event(t1, 0, {61, 100});
    endOfTrack(t1);
    const Parsed p = parse(file(header(1, 2, 96), {track(t0), track(t1)}));
    EXPECT_FALSE(p.ok);
    EXPECT_NE(p.error.find("track 1"), std::string::npos) << p.error;
}

TEST(MidiReader, EveryTruncationIsRefusedAndCorruptionsStayInBounds) {
    Bytes t0, t1;
    tempo(t0, 0, 450000);
    event(t0, 0, {0xFF, 0x03, 4, 'n', 'a', 'm', 'e'});
    event(t0, 96, {0xF0, 3, 1, 2, 0xF7});
    endOfTrack(t0);
    event(t1, 0, {0x90, 60, 100});
    event(t1, 200, {62, 90});
    event(t1, 0x3FFF, {0xE0, 0, 80});
    event(t1, 1, {0xC0, 1});
    endOfTrack(t1);
    const Bytes whole = file(header(1, 2, 96), {track(t0), track(t1)});
    ASSERT_TRUE(parse(whole).ok);
    for (std::size_t n = 0; n < whole.size(); ++n) {
        const Parsed p = parse(Bytes(whole.begin(), whole.begin() + std::ptrdiff_t(n)));
        EXPECT_FALSE(p.ok) << "prefix of " << n << " bytes";
        EXPECT_FALSE(p.error.empty());
    }
    // Single-byte corruptions: the reader either accepts the file or explains why not;
    // it never reads outside the buffer (checked by the sanitizer builds).
    uint32_t seed = 12345;
    auto next = [&seed] { return seed = seed * 1664525u + 1013904223u; };
    int refused = 0;
    for (int i = 0; i < 4000; ++i) {
        Bytes broken = whole;
        broken[next() % broken.size()] = uint8_t(next() >> 24);
        const Parsed p = parse(broken);
        if (!p.ok) {
            ++refused;
            EXPECT_FALSE(p.error.empty());
        }
    }
    EXPECT_GT(refused, 0);
}

} // namespace
} // namespace vl::render
