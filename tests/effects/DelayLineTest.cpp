#include "engine/DelayLine.h"
#include "engine/Ensemble.h"
#include "engine/Phasor.h"
#include "engine/Reverb.h"

#include <gtest/gtest.h>

#include <bit>
#include <cmath>
#include <cstdint>
#include <utility>

namespace {

struct RateSizes {
    float rate;
    int32_t sizes[6]; // reverb lines A..F
};

// Line sizes per sample rate for the six reverb lines.
// clang-format off
constexpr RateSizes kReverbSizes[] = {
    {44100.0f, {2998, 6791, 12039, 2690, 6703, 12215}},
    {48000.0f, {3264, 7392, 13104, 2928, 7296, 13296}},
    {64000.0f, {4352, 9856, 17472, 3904, 9728, 17728}},
    {88200.0f, {5997, 13582, 24078, 5380, 13406, 24431}},
    {96000.0f, {6528, 14784, 26208, 5856, 14592, 26592}},
};
// clang-format on

TEST(DelayLineSizes, ReverbLinesMatchTheTableAtEveryRate) {
    for (const auto& row : kReverbSizes) {
        vl::Reverb reverb;
        ASSERT_TRUE(reverb.setSampleRate(row.rate));
        for (int k = 0; k < 6; ++k) {
            EXPECT_EQ(reverb.line(k).size, row.sizes[k]) << "line " << k << " at " << row.rate;
            EXPECT_EQ(vl::DelayLine::sizeFor(vl::Reverb::kLineSeconds[k], row.rate), row.sizes[k]);
        }
    }
}

TEST(DelayLineSizes, EnsembleLineIs1455At44100And1583At48000) {
    vl::Ensemble e;
    ASSERT_TRUE(e.setSampleRate(44100.0f, 0.5f / 44100.0f));
    EXPECT_EQ(e.delayLine().size, 1455);
    ASSERT_TRUE(e.setSampleRate(48000.0f, 0.5f / 48000.0f));
    EXPECT_EQ(e.delayLine().size, 1583);
    // 0.033f is slightly below 0.033, so 1000 Hz gives 32 samples, not 33.
    ASSERT_TRUE(e.setSampleRate(1000.0f, 0.5f / 1000.0f));
    EXPECT_EQ(e.delayLine().size, 32);
}

TEST(DelayLineSizes, LongerLineTimesAreOneUlpAboveTheNearestFloats) {
    // B, D and E: one unit in the last place above 0.154, 0.061 and 0.152.
    EXPECT_EQ(std::bit_cast<uint32_t>(vl::Reverb::kLineSeconds[1]), 0x3E1DB22Eu);
    EXPECT_EQ(std::bit_cast<uint32_t>(vl::Reverb::kLineSeconds[3]), 0x3D79DB24u);
    EXPECT_EQ(std::bit_cast<uint32_t>(vl::Reverb::kLineSeconds[4]), 0x3E1BA5E4u);
    EXPECT_EQ(vl::Reverb::kLineSeconds[1], std::nextafter(0.154f, 1.0f));
    EXPECT_EQ(vl::Reverb::kLineSeconds[3], std::nextafter(0.061f, 1.0f));
    EXPECT_EQ(vl::Reverb::kLineSeconds[4], std::nextafter(0.152f, 1.0f));
    // The nearest floats would lose one sample where time x rate is whole.
    EXPECT_EQ(vl::DelayLine::sizeFor(0.154f, 48000.0f), 7391);
    EXPECT_EQ(vl::DelayLine::sizeFor(0.152f, 96000.0f), 14591);
}

TEST(DelayLineBasics, AllocateZeroesAndSetsIndicesClearKeepsThem) {
    vl::DelayLine line;
    ASSERT_TRUE(line.allocate(0.068f, 44100.0f));
    ASSERT_NE(line.samples, nullptr);
    EXPECT_EQ(line.writeIndex, 0);
    EXPECT_EQ(line.readIndex, 1);
    for (int32_t k = 0; k < line.size; ++k) ASSERT_EQ(line.samples[k], 0.0f);
    for (int32_t k = 0; k < line.size; ++k) line.samples[k] = 1.0f + k;
    line.writeIndex = 17;
    line.readIndex = 18;
    line.clear();
    EXPECT_EQ(line.writeIndex, 17);
    EXPECT_EQ(line.readIndex, 18);
    for (int32_t k = 0; k < line.size; ++k) ASSERT_EQ(line.samples[k], 0.0f);
    // Reallocating starts over: new size, zeroed, indices 0 and 1.
    line.samples[5] = 3.0f;
    line.writeIndex = 9;
    ASSERT_TRUE(line.allocate(0.068f, 48000.0f));
    EXPECT_EQ(line.size, 3264);
    EXPECT_EQ(line.writeIndex, 0);
    EXPECT_EQ(line.readIndex, 1);
    EXPECT_EQ(line.samples[5], 0.0f);
}

TEST(DelayLineBasics, UnusableSizesAllocateNothing) {
    vl::DelayLine line;
    ASSERT_TRUE(line.allocate(0.033f, 44100.0f));
    EXPECT_FALSE(line.allocate(0.033f, 0.0f));
    EXPECT_EQ(line.samples, nullptr);
    EXPECT_EQ(line.size, 0);
    EXPECT_FALSE(line.allocate(0.033f, std::nanf("")));
    EXPECT_FALSE(line.allocate(-0.5f, 44100.0f));
    EXPECT_FALSE(line.allocate(1e30f, 1e30f));
    EXPECT_EQ(line.samples, nullptr);
    line.clear(); // no array: nothing to do, no crash
}

TEST(PhasorOscillator, RunsAtTheMappedFrequencyAndStaysUnitLengthWithTheTick) {
    // Ensemble Speed 1: fast oscillator 5.5 Hz, slow 0.33 Hz, independent of the rate.
    // The engine's control tick: every 63 samples at 44.1 kHz, every 29 at 96 kHz.
    for (const auto& [rate, tick] : {std::pair{44100.0f, 63}, std::pair{96000.0f, 29}}) {
        vl::Ensemble e;
        ASSERT_TRUE(e.setSampleRate(rate, 0.5f / rate));
        e.setSpeed(1.0f);
        e.setAmount(0.5f);
        const int seconds = 10;
        const int total = static_cast<int>(rate) * seconds;
        for (int n = 1; n <= total; ++n) {
            e.process(0.0f, 0.0f);
            if (n % tick == 0) e.renormalize();
        }
        const double twoPi = 6.283185307179586;
        const double fastTheta = std::fmod(twoPi * 5.5 * seconds, twoPi);
        const double slowTheta = std::fmod(twoPi * 0.33 * seconds, twoPi);
        const auto& f = e.fastPhasor();
        const auto& s = e.slowPhasor();
        EXPECT_NEAR(f.x, std::cos(fastTheta), 2e-3) << rate;
        EXPECT_NEAR(f.y, std::sin(fastTheta), 2e-3) << rate;
        EXPECT_NEAR(s.x, std::cos(slowTheta), 2e-3) << rate;
        EXPECT_NEAR(s.y, std::sin(slowTheta), 2e-3) << rate;
        EXPECT_NEAR(f.x * f.x + f.y * f.y, 1.0f, 1e-5f);
        EXPECT_NEAR(s.x * s.x + s.y * s.y, 1.0f, 1e-5f);
    }
}

TEST(PhasorOscillator, RotationIsTheRoundedCosineAndSineOfTheAngle) {
    vl::Phasor p;
    p.setRotation(0.001f);
    EXPECT_EQ(p.c, static_cast<float>(std::cos(static_cast<double>(0.001f))));
    EXPECT_EQ(p.s, static_cast<float>(std::sin(static_cast<double>(0.001f))));
    p.x = 0.6f;
    p.y = 0.8f;
    p.step();
    EXPECT_NEAR(p.x, 0.6 * std::cos(0.001) - 0.8 * std::sin(0.001), 1e-7);
    EXPECT_NEAR(p.y, 0.6 * std::sin(0.001) + 0.8 * std::cos(0.001), 1e-7);
}

} // namespace
