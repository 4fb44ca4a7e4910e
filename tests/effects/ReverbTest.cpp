#include "engine/Reverb.h"

#include <gtest/gtest.h>

#include <cmath>
#include <random>
#include <vector>

namespace {

vl::Reverb makeReverb(float rate, float length, float mix) {
    vl::Reverb r;
    EXPECT_TRUE(r.setSampleRate(rate));
    r.setLength(length);
    r.setMix(mix);
    return r;
}

TEST(ReverbMapping, LengthGivesDampingAndFeedback) {
    vl::Reverb r = makeReverb(44100.0f, 0.0f, 1.0f);
    EXPECT_FLOAT_EQ(r.feedbackGain(), 0.43f);
    const float scale[6] = {0.83f, 0.73f, 0.78f, 1.0f, 0.6f, 0.8f};
    for (int k = 0; k < 6; ++k) EXPECT_FLOAT_EQ(r.dampingOf(k), 0.1f * scale[k]) << k;
    r.setLength(1.0f);
    EXPECT_FLOAT_EQ(r.feedbackGain(), 0.27f);
    for (int k = 0; k < 6; ++k) EXPECT_FLOAT_EQ(r.dampingOf(k), 0.9f * scale[k]) << k;
    r.setLength(0.35f); // a = 0.38
    EXPECT_FLOAT_EQ(r.feedbackGain(), 0.374f);
    EXPECT_FLOAT_EQ(r.dampingOf(0), 0.3154f);
    EXPECT_FLOAT_EQ(r.dampingOf(3), 0.38f);
}

TEST(ReverbImpulse, FirstReturnOnEachSideAndItsSign) {
    struct Case {
        float rate;
        int left; // size of line A - 1
        int right; // size of line D - 1
    };
    for (const Case c : {Case{44100.0f, 2997, 2689}, Case{48000.0f, 3263, 2927}, Case{96000.0f, 6527, 5855}}) {
        vl::Reverb r = makeReverb(c.rate, 0.35f, 1.0f);
        const int n = 4000 * static_cast<int>(c.rate / 44100.0f + 1);
        std::vector<float> left(n), right(n);
        for (int k = 0; k < n; ++k) r.process(k == 0 ? 1.0f : 0.0f, 0.0f, left[k], right[k]);
        // The dry impulse on both sides, then silence until each network's shortest line returns it.
        EXPECT_EQ(left[0], 1.0f);
        EXPECT_EQ(right[0], 1.0f);
        int firstLeft = -1, firstRight = -1;
        for (int k = 1; k < n; ++k) {
            if (firstLeft < 0 && left[k] != 0.0f) firstLeft = k;
            if (firstRight < 0 && right[k] != 0.0f) firstRight = k;
        }
        EXPECT_EQ(firstLeft, c.left) << c.rate;
        EXPECT_EQ(firstRight, c.right) << c.rate;
        // Low-passed by dA = 0.83 x 0.38 on the left, by dD = 0.38 and inverted on the right.
        EXPECT_NEAR(left[c.left], 0.3154f, 1e-6f);
        EXPECT_NEAR(right[c.right], -0.38f, 1e-6f);
    }
}

TEST(ReverbImpulse, TailDecaysWithoutBlowingUpAtBothEndsOfLength) {
    for (float length : {0.0f, 1.0f}) {
        vl::Reverb r = makeReverb(44100.0f, length, 1.0f);
        std::mt19937 rng(1);
        std::uniform_real_distribution<float> noise(-1.0f, 1.0f);
        float l = 0, rr = 0;
        double early = 0, late = 0;
        for (int n = 0; n < 44100; ++n) r.process(noise(rng), 0.0f, l, rr);
        for (int n = 0; n < 20 * 44100; ++n) {
            r.process(0.0f, 0.0f, l, rr);
            if (n < 44100) early += double(l) * l + double(rr) * rr;
            if (n >= 19 * 44100) late += double(l) * l + double(rr) * rr;
        }
        EXPECT_GT(early, 1.0) << length;
        EXPECT_LT(late, early * 1e-6) << length;
    }
}

TEST(ReverbState, MixZeroPassesTheInputAndResumesTheFrozenTail) {
    std::mt19937 rng(9);
    std::uniform_real_distribution<float> noise(-1.0f, 1.0f);
    std::vector<float> in(30000);
    for (auto& v : in) v = noise(rng);
    auto chain = [](vl::Reverb& r, float x, float& l, float& rr) {
        if (r.active()) r.process(x, 0.0f, l, rr);
        else l = rr = x;
    };
    vl::Reverb paused = makeReverb(44100.0f, 0.7f, 0.5f);
    vl::Reverb reference = makeReverb(44100.0f, 0.7f, 0.5f);
    float l1, r1, l2, r2;
    for (int n = 0; n < 10000; ++n) {
        chain(paused, in[n], l1, r1);
        chain(reference, in[n], l2, r2);
        ASSERT_EQ(l1, l2);
        ASSERT_EQ(r1, r2);
    }
    paused.setMix(0.0f);
    EXPECT_FALSE(paused.active());
    for (int n = 10000; n < 20000; ++n) {
        chain(paused, in[n], l1, r1);
        ASSERT_EQ(l1, in[n]);
        ASSERT_EQ(r1, in[n]);
    }
    paused.setMix(0.5f);
    for (int n = 10000; n < 20000; ++n) {
        chain(paused, in[n], l1, r1);
        chain(reference, in[n], l2, r2);
        ASSERT_EQ(l1, l2) << n;
        ASSERT_EQ(r1, r2) << n;
    }
}

TEST(ReverbState, ClearSilencesBothNetworks) {
    vl::Reverb r = makeReverb(44100.0f, 1.0f, 1.0f);
    float l, rr;
    for (int n = 0; n < 20000; ++n) r.process(n % 100 == 0 ? 1.0f : 0.0f, 0.0f, l, rr);
    r.clear();
    for (int k = 0; k < 6; ++k) {
        EXPECT_EQ(r.filterState(k), 0.0f) << k;
        for (int32_t i = 0; i < r.line(k).size; ++i) ASSERT_EQ(r.line(k).samples[i], 0.0f);
    }
    for (int n = 0; n < 60000; ++n) {
        r.process(0.0f, 0.0f, l, rr);
        ASSERT_EQ(l, 0.0f) << n;
        ASSERT_EQ(rr, 0.0f) << n;
    }
}

TEST(ReverbState, SampleRateChangeClearsLinesButKeepsFilterStates) {
    vl::Reverb r = makeReverb(44100.0f, 0.5f, 1.0f);
    float l, rr;
    for (int n = 0; n < 20000; ++n) r.process(n % 50 == 0 ? 1.0f : 0.0f, 0.0f, l, rr);
    float states[6];
    for (int k = 0; k < 6; ++k) {
        states[k] = r.filterState(k);
        EXPECT_NE(states[k], 0.0f);
    }
    ASSERT_TRUE(r.setSampleRate(48000.0f));
    for (int k = 0; k < 6; ++k) {
        EXPECT_EQ(r.filterState(k), states[k]);
        EXPECT_EQ(r.line(k).writeIndex, 0);
        EXPECT_EQ(r.line(k).readIndex, 1);
        for (int32_t i = 0; i < r.line(k).size; ++i) ASSERT_EQ(r.line(k).samples[i], 0.0f);
    }
}

TEST(ReverbState, FailedAllocationLeavesTheStageInactive) {
    vl::Reverb r = makeReverb(44100.0f, 0.5f, 1.0f);
    EXPECT_TRUE(r.active());
    EXPECT_FALSE(r.setSampleRate(0.0f)); // no usable line size
    EXPECT_FALSE(r.active());
    EXPECT_TRUE(r.setSampleRate(44100.0f));
    EXPECT_TRUE(r.active());
}

} // namespace
