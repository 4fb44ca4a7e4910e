// The vectorised render paths (AVX2 voice lanes where the processor has them, SSE2 lanes
// otherwise, forced here on any processor) against the plain per-sample, per-voice loop,
// sample for sample, through the whole instrument as a host drives it: songs with
// stealing, retriggered keys, the sustain pedal, pitch bend, controller and program
// changes, Voices changes and sample-rate changes, rendered in blocks of 1, 32, 64 and
// 512 frames and in uneven block sizes.
#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>
#include <random>
#include <vector>

#include "TestSupport.h"

namespace {

using vltest::EventList;

struct NullClient final : vl::EngineClient {
    void midiControlChange(int, int) override {}
    void midiProgramChange(int) override {}
};

enum Path { kFastest = 0, kNarrowLanes = 1, kPlain = 2 };

struct SongResult {
    std::vector<float> samples; // left and right of every block, one after the other
    double energy = 0.0;
};

// One song, generated from `seed` the same way for every path. `dense` keeps about forty
// keys sounding against a limit of 32 voices with every effect on; otherwise the song
// also turns effects off and on, changes the polyphony and the sample rate.
SongResult renderSong(Path path, const std::vector<int>& blocks, int totalFrames, uint32_t seed, bool dense) {
    vl::testhooks::renderPath = path;
    vl::testhooks::setNoiseSeed(1000);
    SongResult result;
    {
        vl::Instrument instrument(vltest::quietHost);
        instrument.setSampleRate(44100.0f);
        instrument.setProgram(0);
        instrument.setParameter(12, 1.0f); // 32 voices
        instrument.setParameter(1, 0.01f); // a short attack, so that short songs sound
        instrument.resume();
        std::mt19937 rng(seed);
        EventList<48> list;
        std::vector<float> left, right;
        const float rates[] = {48000.0f, 22050.0f, 96000.0f, 44100.0f};
        const int controllers[] = {7, 40, 41, 18, 42, 43, 44, 45, 46, 47, 48, 49};
        int done = 0;
        int rateChanges = 0, voicesChanges = 0;
        for (int b = 0; done < totalFrames; ++b) {
            const int n = blocks[static_cast<std::size_t>(b) % blocks.size()];
            // Between blocks, as hosts do: a new sample rate about every 20000 frames and
            // a new polyphony about every 9000.
            if (!dense && done >= 20000 * (rateChanges + 1)) instrument.setSampleRate(rates[rateChanges++ % 4]);
            if (!dense && done >= 9000 * (voicesChanges + 1)) {
                instrument.setParameter(12, static_cast<float>(rng() % 32) / 31.0f);
                ++voicesChanges;
            }
            list.clear();
            // Events at random offsets, some past the end of the block (they stay pending
            // until the next list replaces them); about two per 64 frames.
            const int count = n >= 16 ? static_cast<int>(rng() % static_cast<unsigned>(n / 16 + 3))
                                      : static_cast<int>(rng() % 32 < 2);
            for (int e = 0; e < count && e < 48; ++e) {
                const int at = rng() % 10 != 0 ? static_cast<int>(rng() % static_cast<unsigned>(n))
                                               : n + static_cast<int>(rng() % 4);
                const unsigned kind = rng() % 100;
                // A narrow range of keys, so that keys are often struck again while sounding.
                const int key = 40 + static_cast<int>(rng() % (dense ? 40u : 20u));
                if (kind < 45) {
                    list.add(at, 0x90 | (kind & 3), key, 1 + static_cast<int>(rng() % 127));
                } else if (kind < (dense ? 60u : 75u)) {
                    list.add(at, (kind & 1) ? 0x80 : 0x90, key, 0);
                } else if (kind < 82) {
                    list.add(at, 0xB0, 64, (rng() % 2) * 127); // sustain pedal
                } else if (kind < 88) {
                    list.add(at, 0xE0, static_cast<int>(rng() % 128), static_cast<int>(rng() % 128));
                } else if (kind < 97) {
                    // A parameter by its controller; effect amounts sometimes go to 0,
                    // which takes the stage out of the chain.
                    const int c = controllers[rng() % 12];
                    int value = static_cast<int>(rng() % 128);
                    if (dense && (c == 43 || c == 46 || c == 49)) value = 1 + value % 127;
                    else if (rng() % 4 == 0) value = 0;
                    list.add(at, 0xB0, c, value);
                } else if (!dense) {
                    list.add(at, 0xC0, static_cast<int>(rng() % 9), 0); // 8 is ignored
                } else {
                    list.add(at, 0xB0, 123, 0); // all notes off
                }
            }
            instrument.processEvents(list.get());
            vltest::render(instrument, n, left, right);
            result.samples.insert(result.samples.end(), left.begin(), left.end());
            result.samples.insert(result.samples.end(), right.begin(), right.end());
            done += n;
        }
    }
    vl::testhooks::renderPath = kFastest;
    result.energy = vltest::energy(result.samples);
    return result;
}

// Index of the first sample whose bits differ, or -1.
long firstDifference(const std::vector<float>& a, const std::vector<float>& b) {
    if (a.size() != b.size()) return 0;
    for (std::size_t i = 0; i < a.size(); ++i)
        if (std::memcmp(&a[i], &b[i], sizeof(float)) != 0) return static_cast<long>(i);
    return -1;
}

struct BlockPattern {
    const char* name;
    std::vector<int> blocks;
    int frames;
};

const std::vector<BlockPattern>& patterns() {
    static const std::vector<BlockPattern> all = {
        {"1", {1}, 45000},
        {"32", {32}, 150000},
        {"64", {64}, 150000},
        {"512", {512}, 250000},
        {"uneven", {7, 300, 1023, 63, 65, 129, 5, 2, 511, 33}, 250000},
    };
    return all;
}

TEST(RenderPaths, FastAndNarrowLanesMatchThePlainLoopOverVariedSongs) {
    for (const BlockPattern& p : patterns()) {
        for (bool dense : {false, true}) {
            const uint32_t seed = dense ? 777u : 4242u;
            const SongResult plain = renderSong(kPlain, p.blocks, p.frames, seed, dense);
            ASSERT_GT(plain.energy, 0.1) << p.name; // the song really sounds
            for (Path path : {kFastest, kNarrowLanes}) {
                const SongResult fast = renderSong(path, p.blocks, p.frames, seed, dense);
                EXPECT_EQ(firstDifference(plain.samples, fast.samples), -1)
                    << "blocks " << p.name << (dense ? ", dense" : ", varied") << ", path " << path;
            }
        }
    }
}

TEST(RenderPaths, WideLanesFollowTheProcessorAndCanBeForbidden) {
    ASSERT_TRUE(vl::acquireSharedTables());
    {
        NullClient client;
        vl::Engine engine(&client);
        EXPECT_EQ(engine.wideLanesInUse(), vl::Engine::processorHasWideLanes());
        engine.setWideLanesAllowed(false);
        EXPECT_FALSE(engine.wideLanesInUse());
        engine.setWideLanesAllowed(true);
        EXPECT_EQ(engine.wideLanesInUse(), vl::Engine::processorHasWideLanes());
        vl::testhooks::renderPath = kNarrowLanes;
        vl::Engine narrow(&client);
        EXPECT_FALSE(narrow.wideLanesInUse());
        vl::testhooks::renderPath = kFastest;
    }
    vl::releaseSharedTables();
    RecordProperty("wide_lanes", vl::Engine::processorHasWideLanes() ? "AVX2" : "none");
}

} // namespace
