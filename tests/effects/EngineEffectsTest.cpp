// The effect stages inside the real render loop.
#include "engine/Engine.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <memory>
#include <vector>

namespace {

struct NullClient final : vl::EngineClient {
    void midiControlChange(int, int) override {}
    void midiProgramChange(int) override {}
};

// The factory programs' 13 values (Level .. Voices).
constexpr float kFactory[8][13] = {
    {1, 0.1f, 0.3f, 0.4f, 0.3f, 0.4f, 0.4f, 0.25f, 0.6f, 0.95f, 0.35f, 0.35f, 0.5f},
    {1, 0, 0, 0.905f, 0.52f, 0.71f, 0.74f, 0, 0.86f, 1, 0.125f, 0.205f, 0.5f},
    {0.745f, 0.425f, 0.52f, 0.535f, 0.365f, 0.37f, 1, 0.56f, 1, 0.695f, 1, 0.815f, 0.5f},
    {1, 0.015f, 0.035f, 0, 0.77f, 0.245f, 0.405f, 0, 0, 0, 0.115f, 0.1f, 0.5f},
    {1, 0, 0.125f, 0.69f, 0.105f, 0.62f, 0.4f, 0.7f, 0.6f, 0.9f, 0.35f, 0.26f, 0.5f},
    {1, 0.195f, 0, 0.35f, 1, 0.12f, 0.96f, 1, 0.52f, 1, 1, 0.07f, 0.5f},
    {1, 0.3f, 0.095f, 1, 0.27f, 0.24f, 0, 0.195f, 1, 0.1f, 0.35f, 0.26f, 0.5f},
    {1, 0.205f, 0.61f, 0.19f, 0.335f, 0.65f, 0.44f, 0, 0.6f, 0.365f, 0.505f, 0.485f, 0.5f},
};

class EngineEffects : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(vl::acquireSharedTables());
        engine = std::make_unique<vl::Engine>(&client);
        ASSERT_TRUE(engine->ok());
        engine->centrePitchBend();
        ASSERT_TRUE(engine->setSampleRate(44100.0f));
    }
    void TearDown() override {
        engine.reset();
        vl::releaseSharedTables();
    }

    void apply(const float* v) {
        engine->resetModulators();
        engine->setLevel(v[0]);
        engine->setAttack(v[1]);
        engine->setRelease(v[2]);
        engine->setBrightness(v[3]);
        engine->setEnsembleSpeed(v[4]);
        engine->setEnsembleAmount(v[5]);
        engine->setEnsembleFeedback(v[6]);
        engine->setPhaserRate(v[7]);
        engine->setPhaserDepth(v[8]);
        engine->setPhaserFeedback(v[9]);
        engine->setReverbLength(v[10]);
        engine->setReverbMix(v[11]);
        ASSERT_TRUE(engine->setVoices(v[12]));
    }

    // A loud chord held for `heldBlocks` blocks of 64, then released.
    void loudChord(int heldBlocks) {
        for (uint8_t key : {36, 43, 48, 52, 55, 60, 64, 67, 72, 76, 79, 84}) engine->appendEvent(1, 0, 0x90, key, 127);
        render(heldBlocks);
        for (uint8_t key : {36, 43, 48, 52, 55, 60, 64, 67, 72, 76, 79, 84}) engine->appendEvent(1, 0, 0x80, key, 0);
    }

    // Renders blocks of 64; returns the number of subnormal output values and the peak.
    long render(int blocks, float* peak = nullptr) {
        long subnormals = 0;
        float top = 0.0f;
        for (int b = 0; b < blocks; ++b) {
            engine->processReplacing(left, right, 64);
            for (int k = 0; k < 64; ++k) {
                subnormals += (std::fpclassify(left[k]) == FP_SUBNORMAL) + (std::fpclassify(right[k]) == FP_SUBNORMAL);
                top = std::max(top, std::max(std::fabs(left[k]), std::fabs(right[k])));
            }
        }
        if (peak) *peak = top;
        return subnormals;
    }

    NullClient client;
    std::unique_ptr<vl::Engine> engine;
    float left[64];
    float right[64];
};

constexpr int kBlocksPerSecond = 44100 / 64;

TEST_F(EngineEffects, SixtySecondsOfSilenceAfterALoudChordNeverGiveASubnormal) {
    // Each factory program's settings, then every effect at its longest.
    std::vector<std::vector<float>> cases;
    for (const auto& p : kFactory) cases.emplace_back(p, p + 13);
    cases.push_back({1, 0, 0, 1, 1, 1, 1, 1, 1, 1, 1, 1, 0.5f});
    for (size_t c = 0; c < cases.size(); ++c) {
        SCOPED_TRACE(c);
        apply(cases[c].data());
        loudChord(kBlocksPerSecond);
        float peak = 0.0f;
        EXPECT_EQ(render(60 * kBlocksPerSecond, &peak), 0);
        EXPECT_GT(peak, 1e-3f); // the chord's release and the tails were heard
        engine->suspend();
        render(kBlocksPerSecond);
    }
}

TEST_F(EngineEffects, SuspendSilencesTheReverbAndEnsembleTails) {
    const float v[13] = {1, 0, 0, 0.5f, 0.3f, 1, 1, 0.25f, 0, 0, 1, 1, 0.5f};
    apply(v);
    loudChord(kBlocksPerSecond / 2);
    render(40); // the release (10 ms) is over, no voice remains
    ASSERT_EQ(engine->activeVoiceCount(), 0);
    float tail = 0.0f;
    render(4, &tail);
    EXPECT_GT(tail, 1e-3f);
    engine->suspend();
    float after = 0.0f;
    render(2 * kBlocksPerSecond, &after);
    // Only the anti-denormal offset circulates.
    EXPECT_LT(after, 1e-20f);
}

TEST_F(EngineEffects, SkippedStagesFreezeTheirTailsAndResumeThem) {
    // Two identical runs (same detune seed): a chord, its release, then the effect tails.
    // The second run switches the three stages off for 126 blocks (an even number of
    // offset flips, and a whole number of control ticks) before switching them on again.
    const float v[13] = {1, 0, 0, 0.5f, 0.3f, 1, 1, 0.25f, 1, 0.9f, 1, 1, 0.5f};
    std::vector<float> runs[2];
    for (int run = 0; run < 2; ++run) {
        engine = std::make_unique<vl::Engine>(&client);
        ASSERT_TRUE(engine->ok());
        engine->centrePitchBend();
        ASSERT_TRUE(engine->setSampleRate(44100.0f));
        vl::testhooks::setNoiseSeed(77);
        apply(v);
        loudChord(kBlocksPerSecond / 4);
        render(40);
        ASSERT_EQ(engine->activeVoiceCount(), 0);
        if (run == 1) {
            engine->setEnsembleAmount(0.0f);
            engine->setPhaserDepth(0.0f);
            engine->setReverbMix(0.0f);
            for (int b = 0; b < 126; ++b) {
                engine->processReplacing(left, right, 64);
                for (int k = 0; k < 64; ++k) {
                    // No voice and every stage skipped: exact silence, nothing injected.
                    ASSERT_EQ(left[k], 0.0f);
                    ASSERT_EQ(right[k], 0.0f);
                }
            }
            engine->setEnsembleAmount(v[5]);
            engine->setPhaserDepth(v[8]);
            engine->setReverbMix(v[11]);
        }
        for (int b = 0; b < 200; ++b) {
            engine->processReplacing(left, right, 64);
            runs[run].insert(runs[run].end(), left, left + 64);
            runs[run].insert(runs[run].end(), right, right + 64);
        }
    }
    float peak = 0.0f;
    for (float x : runs[0]) peak = std::max(peak, std::fabs(x));
    ASSERT_GT(peak, 1e-3f);
    // The tails continue where they stopped; only the control ticks that ran during the
    // pause may have nudged the oscillators' length by a rounding step.
    for (size_t k = 0; k < runs[0].size(); ++k) ASSERT_NEAR(runs[1][k], runs[0][k], peak * 1e-4f) << k;
}

} // namespace
