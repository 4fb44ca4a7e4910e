#include "engine/Ensemble.h"

#include <gtest/gtest.h>

#include <cmath>
#include <random>
#include <vector>

namespace {

constexpr float kRate = 44100.0f;

vl::Ensemble makeEnsemble(float rate, float speed, float amount, float feedback) {
    vl::Ensemble e;
    EXPECT_TRUE(e.setSampleRate(rate, 0.5f / rate));
    e.setSpeed(speed);
    e.setAmount(amount);
    e.setFeedback(feedback);
    return e;
}

std::vector<float> impulseResponse(vl::Ensemble& e, int length) {
    std::vector<float> out(length);
    for (int n = 0; n < length; ++n) out[n] = e.process(n == 0 ? 1.0f : 0.0f, 0.0f);
    return out;
}

struct Cluster {
    int first;
    int last;
    double mass;
    double centroid;
};

// Runs of consecutive non-zero samples.
std::vector<Cluster> clusters(const std::vector<float>& y, int from, int to) {
    std::vector<Cluster> result;
    for (int n = from; n < to; ++n) {
        if (y[n] == 0.0f) continue;
        Cluster c{n, n, 0.0, 0.0};
        while (n < to && y[n] != 0.0f) {
            c.mass += y[n];
            c.centroid += static_cast<double>(n) * y[n];
            c.last = n++;
        }
        c.centroid /= c.mass;
        result.push_back(c);
    }
    return result;
}

TEST(EnsembleMapping, AmountAndFeedbackQuantities) {
    vl::Ensemble e = makeEnsemble(kRate, 0.3f, 0.4f, 0.4f);
    EXPECT_FLOAT_EQ(e.amountSeconds(), 0.0001f);
    EXPECT_FLOAT_EQ(e.feedbackGain(), -0.32f);
    EXPECT_TRUE(e.active());
    e.setAmount(0.0f);
    EXPECT_FALSE(e.active());
    e.setAmount(1.0f);
    e.setFeedback(1.0f);
    EXPECT_FLOAT_EQ(e.amountSeconds(), 0.00025f);
    EXPECT_FLOAT_EQ(e.feedbackGain(), -0.8f);
}

TEST(EnsembleImpulse, ThreeTapsOfOneThirdWithinTheModulationRange) {
    // Feedback 0: the impulse comes out once per tap, each tap a third, spread over
    // neighbouring samples by the interpolation, all within 12 ms +- 5 x amount.
    vl::Ensemble e = makeEnsemble(kRate, 0.0f, 1.0f, 0.0f);
    const auto y = impulseResponse(e, 2000);
    const int earliest = static_cast<int>(std::floor((0.012 - 5 * 0.00025) * kRate));
    const int latest = static_cast<int>(std::ceil((0.012 + 5 * 0.00025) * kRate));
    for (int n = 0; n < 2000; ++n) {
        if (n < earliest || n > latest) {
            ASSERT_EQ(y[n], 0.0f) << n;
        }
    }
    const auto cs = clusters(y, 0, 2000);
    ASSERT_EQ(cs.size(), 3u);
    // Independent model of the tap delays: slow 0.033 Hz and fast 0.55 Hz oscillators
    // started at phase zero, taps at phase offsets 0, +30 and -30 degrees.
    const double twoPi = 6.283185307179586;
    const double amount = 0.00025;
    const double offsets[3] = {-twoPi / 12, 0.0, twoPi / 12}; // earliest cluster: tap c
    for (int k = 0; k < 3; ++k) {
        const auto& c = cs[k];
        EXPECT_LE(c.last - c.first, 1) << "cluster " << k;
        // The delay the tap had when it read the impulse, from the cluster position.
        const double t = c.centroid / kRate;
        const double th1 = twoPi * 0.033 * t + offsets[k];
        const double th2 = twoPi * 0.55 * t + offsets[k];
        const double delay = amount * (std::sin(th1) + 4 * std::sin(th2)) + 0.012;
        EXPECT_NEAR(c.centroid, delay * kRate, 0.05) << "cluster " << k;
        // A delay growing by e samples per sample stretches the tap's weights by 1 / (1 - e).
        const double drift = amount * twoPi * (0.033 * std::cos(th1) + 4 * 0.55 * std::cos(th2));
        EXPECT_NEAR(c.mass, 0.3333 / (1.0 - drift), 1e-4) << "cluster " << k;
    }
}

TEST(EnsembleImpulse, FirstTapDelaysAfterResetAre12msAndPlusMinus2p5Amount) {
    // The line holds one impulse of known age; right after resetModulators the next
    // sample reads it through the three taps. Scanning the age maps out where each tap
    // reads: every tap's weight over ages peaks at its delay, and the centroid of the
    // weights is the delay in samples.
    const int low = 480, high = 580;
    std::vector<float> weight(high + 1, 0.0f);
    for (int age = low; age <= high; ++age) {
        vl::Ensemble e = makeEnsemble(kRate, 0.3f, 1.0f, 0.0f);
        e.process(1.0f, 0.0f);
        for (int n = 1; n < age; ++n) e.process(0.0f, 0.0f);
        e.resetModulators();
        weight[age] = e.process(0.0f, 0.0f);
    }
    const auto cs = clusters(weight, low, high + 1);
    ASSERT_EQ(cs.size(), 3u);
    // Both phasors advance once before the taps are read: one rotation of the 0.111 Hz and
    // 1.85 Hz oscillators of speed 0.3 (about 0.013 samples on the tap position).
    const double amount = 0.00025, twoPi = 6.283185307179586;
    const double w1 = twoPi * 0.33 * 0.37 / kRate, w2 = twoPi * 5.5 * 0.37 / kRate;
    const double offsets[3] = {-twoPi / 12, 0.0, twoPi / 12};
    const double factors[3] = {-2.5, 0.0, 2.5};
    for (int k = 0; k < 3; ++k) {
        const double delay = 0.012 + amount * (std::sin(w1 + offsets[k]) + 4 * std::sin(w2 + offsets[k]));
        EXPECT_NEAR(cs[k].centroid, delay * kRate, 2e-3) << "tap " << k;
        EXPECT_NEAR(cs[k].centroid, (0.012 + factors[k] * amount) * kRate, 0.02) << "tap " << k;
        EXPECT_NEAR(cs[k].mass, 0.3333, 1e-5) << "tap " << k;
    }
    EXPECT_NEAR(cs[1].centroid, 529.2, 0.02);
}

TEST(EnsembleImpulse, MaximumFeedbackAlternatesTheSignOnEachPass) {
    vl::Ensemble e = makeEnsemble(kRate, 0.0f, 0.2f, 1.0f);
    const auto y = impulseResponse(e, 4000);
    auto sum = [&](int from, int to) {
        double s = 0;
        for (int n = from; n < to; ++n) s += y[n];
        return s;
    };
    // Passes arrive around 529, 1058, 1588 and 2117 samples.
    const double p1 = sum(500, 560), p2 = sum(1030, 1090), p3 = sum(1560, 1620), p4 = sum(2090, 2150);
    // Each pass carries about -0.8 times the one before (the taps' weights drift by a
    // few parts per thousand with the modulation).
    EXPECT_NEAR(p1, 0.9999, 5e-3);
    EXPECT_NEAR(p2, -0.8, 5e-3);
    EXPECT_NEAR(p3, 0.64, 5e-3);
    EXPECT_NEAR(p4, -0.512, 5e-3);
    EXPECT_NEAR(p2 / p1, -0.8, 5e-3);
    EXPECT_NEAR(p3 / p2, -0.8, 5e-3);
    EXPECT_NEAR(p4 / p3, -0.8, 5e-3);
    // Between the passes the output is silent.
    EXPECT_EQ(sum(0, 500), 0.0);
    EXPECT_EQ(sum(560, 1030), 0.0);
}

TEST(EnsembleRange, TapIndicesStayInsideTheLineAtEveryRateAndPosition) {
    // Every write position and every delay the modulation can produce (0.012 +- 5 x the
    // largest amount, as computed in single precision), down to 1000 Hz.
    for (float rate : {1000.0f, 1001.0f, 1517.0f, 8000.0f, 44100.0f, 192000.0f, 768000.0f}) {
        const int32_t size = vl::DelayLine::sizeFor(vl::Ensemble::kLineSeconds, rate);
        ASSERT_GT(size, 0);
        std::vector<float> delays;
        const float amount = 0.00025f;
        for (int k = -500; k <= 500; ++k) delays.push_back(amount * (5.0f * k / 500.0f) + 0.012f);
        delays.push_back(amount * 5.0f + 0.012f);
        delays.push_back(amount * -5.0f + 0.012f);
        const int32_t step = size > 5000 ? 7 : 1;
        for (int32_t w = 0; w < size; w += step) {
            for (float d : delays) {
                const auto t = vl::Ensemble::tapAt(w, d, rate, size);
                ASSERT_GE(t.i, 0) << rate << " " << w << " " << d;
                ASSERT_LT(t.i, size) << rate << " " << w << " " << d;
                ASSERT_EQ(t.j, t.i + 1 == size ? 0 : t.i + 1);
                ASSERT_GE(t.f, 0.0f);
                ASSERT_LE(t.f, 1.0f);
            }
        }
    }
}

TEST(EnsembleRange, ExtremeSettingsAtLowRatesStayBoundedAndFinite) {
    for (float rate : {1000.0f, 1003.0f, 2000.0f}) {
        vl::Ensemble e = makeEnsemble(rate, 1.0f, 1.0f, 1.0f);
        ASSERT_EQ(e.delayLine().size, vl::DelayLine::sizeFor(0.033f, rate));
        std::mt19937 rng(7);
        std::uniform_real_distribution<float> noise(-1.0f, 1.0f);
        float peak = 0.0f;
        for (int n = 0; n < 200000; ++n) {
            const float y = e.process(noise(rng), n % 128 < 64 ? 1e-24f : -1e-24f);
            ASSERT_TRUE(std::isfinite(y));
            peak = std::max(peak, std::fabs(y));
            if (n % 63 == 0) e.renormalize();
            ASSERT_GE(e.delayLine().writeIndex, 0);
            ASSERT_LT(e.delayLine().writeIndex, e.delayLine().size);
        }
        // Unit input through an average of three taps with loop gain 0.8.
        EXPECT_LT(peak, 5.0f);
    }
}

TEST(EnsembleState, SampleRateChangeClearsTheLineAndRecomputesTheRotation) {
    vl::Ensemble e = makeEnsemble(kRate, 1.0f, 1.0f, 0.5f);
    for (int n = 0; n < 1000; ++n) e.process(0.5f, 0.0f);
    const float c44 = e.fastPhasor().c;
    ASSERT_TRUE(e.setSampleRate(96000.0f, 0.5f / 96000.0f));
    EXPECT_EQ(e.delayLine().size, 3167); // 0.033f x 96000 = 3167.99998
    EXPECT_EQ(e.delayLine().writeIndex, 0);
    for (int32_t k = 0; k < e.delayLine().size; ++k) ASSERT_EQ(e.delayLine().samples[k], 0.0f);
    EXPECT_EQ(e.fastPhasor().x, 1.0f);
    EXPECT_EQ(e.fastPhasor().y, 0.0f);
    // The stored speed gives 5.5 Hz at the new rate: rotation 2 pi 5.5 / 96000.
    EXPECT_NE(e.fastPhasor().c, c44);
    EXPECT_NEAR(std::asin(e.fastPhasor().s), 6.283185307 * 5.5 / 96000.0, 1e-7);
    // Clearing (suspend) zeroes the line and keeps the write position and the phasors.
    for (int n = 0; n < 100; ++n) e.process(0.5f, 0.0f);
    const float x = e.slowPhasor().x;
    e.clear();
    EXPECT_EQ(e.delayLine().writeIndex, 100);
    EXPECT_EQ(e.slowPhasor().x, x);
    for (int32_t k = 0; k < e.delayLine().size; ++k) ASSERT_EQ(e.delayLine().samples[k], 0.0f);
    EXPECT_EQ(e.process(0.0f, 0.0f), 0.0f);
}

// The chain as the engine runs it: the stage only while active.
float chain(vl::Ensemble& e, float u) { return e.active() ? e.process(u, 0.0f) : u; }

TEST(EnsembleState, AmountZeroPassesTheInputAndResumesFromTheFrozenState) {
    std::mt19937 rng(3);
    std::uniform_real_distribution<float> noise(-1.0f, 1.0f);
    std::vector<float> in(6000);
    for (auto& v : in) v = noise(rng);
    vl::Ensemble paused = makeEnsemble(kRate, 0.6f, 0.8f, 0.7f);
    vl::Ensemble reference = makeEnsemble(kRate, 0.6f, 0.8f, 0.7f);
    for (int n = 0; n < 2000; ++n) ASSERT_EQ(chain(paused, in[n]), chain(reference, in[n]));
    paused.setAmount(0.0f);
    for (int n = 2000; n < 4000; ++n) ASSERT_EQ(chain(paused, in[n]), in[n]);
    paused.setAmount(0.8f);
    // Fed what the reference gets next, the paused stage continues exactly where both were
    // at sample 2000.
    for (int n = 2000; n < 4000; ++n) ASSERT_EQ(chain(paused, in[n]), chain(reference, in[n])) << n;
}

} // namespace

namespace {

TEST(EnsembleState, FailedAllocationLeavesTheStageInactive) {
    vl::Ensemble e = makeEnsemble(kRate, 0.5f, 1.0f, 0.5f);
    EXPECT_TRUE(e.active());
    EXPECT_FALSE(e.setSampleRate(0.0f, 0.0f));
    EXPECT_EQ(e.delayLine().samples, nullptr);
    EXPECT_FALSE(e.active());
    EXPECT_TRUE(e.setSampleRate(kRate, 0.5f / kRate));
    EXPECT_TRUE(e.active());
}

} // namespace
