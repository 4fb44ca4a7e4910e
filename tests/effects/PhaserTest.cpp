#include "engine/Phaser.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <complex>
#include <random>
#include <vector>

namespace {

constexpr float kRate = 44100.0f;

vl::Phaser makePhaser(float rate, float depth, float feedback) {
    vl::Phaser p;
    p.setSampleRate(0.5f / kRate);
    p.setRate(rate);
    p.setDepth(depth);
    p.setFeedback(feedback);
    p.resetModulators();
    return p;
}

TEST(PhaserResponse, ConstantInputTendsToOnePlusDepth) {
    // Each all-pass has unit gain at 0 Hz whatever its coefficient.
    vl::Phaser p = makePhaser(0.5f, 0.7f, 0.0f);
    float y = 0.0f;
    for (int n = 0; n < 44100; ++n) y = p.process(0.25f, 0.0f);
    EXPECT_NEAR(y, 0.25f * 1.7f, 1e-5f);
}

TEST(PhaserResponse, ConstantInputWithFeedbackSettlesAtTheLoopGain) {
    // Feedback only inside the chain: z = u / (1 - 0.8 v), output u + depth z.
    vl::Phaser p = makePhaser(0.0f, 0.6f, 0.5f);
    float y = 0.0f;
    for (int n = 0; n < 88200; ++n) y = p.process(1.0f, 0.0f);
    EXPECT_NEAR(y, 1.0f + 0.6f / (1.0f - 0.4f), 1e-4f);
}

TEST(PhaserResponse, FirstCoefficientAfterResetIsMinus0p9) {
    vl::Phaser p = makePhaser(1.0f, 1.0f, 0.0f);
    EXPECT_NEAR(p.nextCoefficient(), -0.9f, 1e-7f);
    // A unit impulse leaves six stages of coefficient a as a^6 on the first sample and
    // 6 a^5 (1 - a^2) on the second (coefficient change over one sample is negligible).
    const float first = p.process(1.0f, 0.0f);
    EXPECT_NEAR(first, 1.0 + std::pow(0.9, 6), 1e-6);
    const float second = p.process(0.0f, 0.0f);
    EXPECT_NEAR(second, 6 * std::pow(-0.9, 5) * (1 - 0.81), 1e-5);
}

TEST(PhaserResponse, ToneFollowsTheSweptAllPassOverAWholeOscillatorPeriod) {
    // A 2 kHz tone at Phaser Rate 1 (0.5 Hz oscillator, theta = pi t): the wet part is
    // the tone through six all-passes of coefficient a = -0.5 - 0.4 |cos theta|, which
    // sweeps from -0.9 to -0.5 and back every second. 2.5 s cover the whole oscillator
    // period, where cos theta changes sign at 0.5 s and 1.5 s.
    const double pi = 3.141592653589793, w = 2 * pi * 2000 / kRate;
    vl::Phaser p = makePhaser(1.0f, 1.0f, 0.0f);
    double worst = 0;
    for (int n = 0; n < 5 * 44100 / 2; ++n) {
        if (n % 63 == 0) p.renormalize(); // the engine's control tick at 44.1 kHz
        const float u = static_cast<float>(std::sin(w * n));
        const float wet = p.process(u, 0.0f) - u;
        const double a = -0.5 - 0.4 * std::fabs(std::cos(pi * (n + 1) / kRate));
        const std::complex<double> delay = std::polar(1.0, -w);
        const std::complex<double> h = std::pow((a + delay) / (1.0 + a * delay), 6);
        if (n >= 441) worst = std::max(worst, std::fabs(wet - std::imag(h * std::polar(1.0, w * n))));
    }
    EXPECT_LT(worst, 0.02);
    // Rate 0: 0.05 Hz, the first -0.5 comes after 5 seconds.
    vl::Phaser slow = makePhaser(0.0f, 1.0f, 0.0f);
    for (int n = 0; n < 5 * 44100 - 1; ++n) slow.process(0.0f, 0.0f);
    EXPECT_NEAR(slow.nextCoefficient(), -0.5f, 1e-4f);
}

TEST(PhaserResponse, ChainIsAnAllPassThatKeepsNoiseEnergy) {
    vl::Phaser p = makePhaser(0.3f, 1.0f, 0.0f);
    std::mt19937 rng(11);
    std::normal_distribution<float> noise(0.0f, 0.5f);
    double inEnergy = 0, wetEnergy = 0;
    for (int n = 0; n < 4 * 44100; ++n) {
        const float u = noise(rng);
        const float wet = p.process(u, 0.0f) - u;
        inEnergy += double(u) * u;
        wetEnergy += double(wet) * wet;
    }
    EXPECT_NEAR(wetEnergy / inEnergy, 1.0, 0.01);
}

TEST(PhaserState, DepthZeroPassesTheInputAndResumesFromTheFrozenState) {
    std::mt19937 rng(5);
    std::uniform_real_distribution<float> noise(-1.0f, 1.0f);
    std::vector<float> in(6000);
    for (auto& v : in) v = noise(rng);
    auto chain = [](vl::Phaser& p, float u) { return p.active() ? p.process(u, 0.0f) : u; };
    vl::Phaser paused = makePhaser(1.0f, 0.6f, 0.95f);
    vl::Phaser reference = makePhaser(1.0f, 0.6f, 0.95f);
    for (int n = 0; n < 2000; ++n) ASSERT_EQ(chain(paused, in[n]), chain(reference, in[n]));
    paused.setDepth(0.0f);
    EXPECT_FALSE(paused.active());
    for (int n = 2000; n < 4000; ++n) ASSERT_EQ(chain(paused, in[n]), in[n]);
    paused.setDepth(0.6f);
    for (int n = 2000; n < 4000; ++n) ASSERT_EQ(chain(paused, in[n]), chain(reference, in[n])) << n;
}

TEST(PhaserState, ResetZeroesTheMemoriesAndTheSampleRateKeepsTheSweepFrequency) {
    vl::Phaser p = makePhaser(1.0f, 1.0f, 1.0f);
    for (int n = 0; n < 1000; ++n) p.process(0.5f, 0.0f);
    p.resetModulators();
    for (int k = 0; k < vl::Phaser::kStages; ++k) {
        EXPECT_EQ(p.stageInput(k), 0.0f);
        EXPECT_EQ(p.stageOutput(k), 0.0f);
    }
    EXPECT_EQ(p.sweep().x, 1.0f);
    EXPECT_EQ(p.sweep().y, 0.0f);
    // 0.5 Hz at 96000 Hz: the coefficient is at -0.5 after 0.5 s = 48000 samples.
    p.setSampleRate(0.5f / 96000.0f);
    for (int n = 0; n < 47999; ++n) p.process(0.0f, 0.0f);
    EXPECT_NEAR(p.nextCoefficient(), -0.5f, 1e-4f);
}

} // namespace
