#include "engine/Ensemble.h"
#include "engine/Phaser.h"
#include "engine/Reverb.h"

#include <gtest/gtest.h>

#include <cmath>
#include <random>

namespace {

bool subnormal(float v) { return std::fpclassify(v) == FP_SUBNORMAL; }

int subnormalsIn(const vl::DelayLine& line) {
    int count = 0;
    for (int32_t k = 0; k < line.size; ++k) count += subnormal(line.samples[k]);
    return count;
}

struct Chain {
    vl::Ensemble ensemble;
    vl::Phaser phaser;
    vl::Reverb reverb;
    float level = 0.1f;

    explicit Chain(float rate) {
        EXPECT_TRUE(ensemble.setSampleRate(rate, 0.5f / rate));
        phaser.setSampleRate(0.5f / rate);
        EXPECT_TRUE(reverb.setSampleRate(rate));
        // Every effect at its longest setting.
        ensemble.setSpeed(1.0f);
        ensemble.setAmount(1.0f);
        ensemble.setFeedback(1.0f);
        phaser.setRate(1.0f);
        phaser.setDepth(1.0f);
        phaser.setFeedback(1.0f);
        reverb.setLength(1.0f);
        reverb.setMix(1.0f);
        ensemble.resetModulators();
        phaser.resetModulators();
    }

    void sample(float sum, float ad, float& l, float& r) {
        if (ensemble.active()) sum = ensemble.process(sum, ad);
        if (phaser.active()) sum = phaser.process(sum, ad);
        const float x = sum * level;
        if (reverb.active()) reverb.process(x, ad, l, r);
        else l = r = x;
    }

    int stateSubnormals() const {
        int count = 0;
        for (int k = 0; k < vl::Phaser::kStages; ++k)
            count += subnormal(phaser.stageInput(k)) + subnormal(phaser.stageOutput(k));
        for (int k = 0; k < 6; ++k) count += subnormal(reverb.filterState(k));
        return count;
    }
    int lineSubnormals() const {
        int count = subnormalsIn(ensemble.delayLine());
        for (int k = 0; k < 6; ++k) count += subnormalsIn(reverb.line(k));
        return count;
    }
};

// A loud second of noise, then `seconds` of silence in blocks of 64 with the offset's sign
// flipped after every block, as the engine renders. Counts subnormal outputs and states.
struct Tally {
    long outputs = 0;
    long states = 0;
    long lines = 0;
};

Tally loudThenSilence(float rate, float offset, int seconds) {
    Chain chain(rate);
    std::mt19937 rng(21);
    std::uniform_real_distribution<float> noise(-8.0f, 8.0f);
    float ad = offset;
    float l, r;
    Tally t;
    const int block = 64;
    const int tick = rate == 44100.0f ? 63 : 29; // the engine's control tick
    long n = 0;
    auto run = [&](long count, bool loud) {
        for (long b = 0; b < count; b += block) {
            for (int k = 0; k < block; ++k, ++n) {
                chain.sample(loud ? noise(rng) : 0.0f, ad, l, r);
                t.outputs += subnormal(l) + subnormal(r);
                if (n % tick == 0) {
                    chain.ensemble.renormalize();
                    chain.phaser.renormalize();
                }
            }
            t.states += chain.stateSubnormals();
            ad = -ad;
            if ((n / block) % 2048 == 0) t.lines += chain.lineSubnormals();
        }
    };
    run(static_cast<long>(rate), true);
    run(static_cast<long>(rate) * seconds, false);
    t.lines += chain.lineSubnormals();
    return t;
}

TEST(Denormals, SilenceAfterALoudInputNeverProducesSubnormals) {
    for (float rate : {44100.0f, 96000.0f}) {
        const Tally t = loudThenSilence(rate, 1e-24f, 60);
        EXPECT_EQ(t.outputs, 0) << rate;
        EXPECT_EQ(t.states, 0) << rate;
        EXPECT_EQ(t.lines, 0) << rate;
    }
}

} // namespace
