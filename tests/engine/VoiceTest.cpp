#include "EngineTestSupport.h"

#include <cmath>

namespace {

using vltest::EngineFixture;
using VoiceBehaviour = EngineFixture;

int lastNonZero(const std::vector<float>& s) {
    for (int i = static_cast<int>(s.size()) - 1; i >= 0; --i)
        if (s[static_cast<size_t>(i)] != 0.0f) return i;
    return -1;
}

TEST_F(VoiceBehaviour, StartDrawsPhaseAndDetuneFromTheGenerator) {
    vl::StringVoice v(engine.get());
    vl::testhooks::setNoiseSeed(1000);
    v.start(69, 100);
    EXPECT_EQ(v.phase, -0.162811279296875f);
    const float plain = vl::noteFrequency[69] * (0.5f / 44100.0f);
    EXPECT_NEAR(v.increment / plain, 1.000187f, 1e-6f);
    EXPECT_EQ(v.stageLength[0], 44); // Attack 0: 0.001 s
    EXPECT_EQ(v.stageLength[1], 1);
    EXPECT_EQ(v.stageLength[2], 440); // Release 0: 0.01 s, truncated
    EXPECT_EQ(v.stageRate[0], 0.99f / 44.0f);
    EXPECT_EQ(v.stageRate[2], -0.99f / 440.0f);
    EXPECT_EQ(v.level, 0.0f);
    EXPECT_EQ(v.tickCountdown, 64);
    EXPECT_TRUE(v.keyHeld);
    EXPECT_FALSE(v.finished);
    vl::StringVoice w(engine.get());
    w.start(69, 100);
    EXPECT_EQ(w.phase, (65283 - 32768) / 32768.0f);
    EXPECT_NE(w.increment, v.increment);
}

TEST_F(VoiceBehaviour, FeedbackFollowsKeyAndBrightness) {
    vl::StringVoice v(engine.get());
    v.start(0, 100);
    EXPECT_FLOAT_EQ(v.feedback, -0.025f * 1.2f); // Brightness 0: base 0.1
    v.start(127, 100);
    EXPECT_FLOAT_EQ(v.feedback, -0.025f);
    engine->setBrightness(1.0f);
    v.start(127, 100);
    EXPECT_FLOAT_EQ(v.feedback, -0.25f);
    v.start(0, 100);
    EXPECT_FLOAT_EQ(v.feedback, -0.3f);
}

TEST_F(VoiceBehaviour, AttackReachesSustainAfterItsLength) {
    vl::StringVoice v(engine.get());
    v.start(60, 100);
    int samples = 0;
    while (v.stage == 0 && samples < 1000) {
        v.tickStep();
        ++samples;
    }
    EXPECT_EQ(samples, 45); // 44 growing samples, then the stage change
    EXPECT_NEAR(v.level, 0.58197671f * (std::exp(0.99f) - 1.0f), 0.02f);
    const float held = v.level;
    for (int i = 0; i < 5000; ++i) v.tickStep();
    EXPECT_EQ(v.level, held);
    EXPECT_FALSE(v.releasing);
    EXPECT_FALSE(v.finished);
}

TEST_F(VoiceBehaviour, ReleaseAndKillLengths) {
    vl::StringVoice v(engine.get());
    v.start(60, 100);
    for (int i = 0; i < 200; ++i) v.tickStep();
    v.release();
    int samples = 0;
    while (!v.finished && samples < 10000) {
        v.tickStep();
        ++samples;
    }
    EXPECT_EQ(samples, 440);
    EXPECT_NEAR(v.level, 0.0063f, 0.0005f); // released from the 44-sample attack's 0.967
    v.start(60, 100);
    for (int i = 0; i < 200; ++i) v.tickStep();
    v.kill();
    EXPECT_FALSE(v.releasing);
    v.tickStep();
    EXPECT_TRUE(v.releasing);
    samples = 1;
    while (!v.finished && samples < 10000) {
        v.tickStep();
        ++samples;
    }
    EXPECT_EQ(samples, 100);
}

TEST_F(VoiceBehaviour, PhaseWrapsEvery64SamplesAndCountsAge) {
    vl::StringVoice v(engine.get());
    v.start(100, 100);
    for (int i = 0; i < 63; ++i) v.tickStep();
    EXPECT_EQ(v.age, 0u);
    v.tickStep();
    EXPECT_EQ(v.age, 1u);
    EXPECT_GE(v.phase, 0.0f);
    EXPECT_LE(v.phase, 1.0f);
    for (int i = 0; i < 64 * 10; ++i) v.tickStep();
    EXPECT_EQ(v.age, 11u);
}

TEST_F(VoiceBehaviour, AttackAndReleaseMeasuredInTheOutput) {
    noteOn(0, 60);
    noteOff(1000, 60);
    const auto out = render(3000);
    EXPECT_NE(out[0], 0.0f);
    EXPECT_EQ(lastNonZero(out), 1000 + 439); // release: 440 samples from the note-off
    EXPECT_EQ(engine->activeVoiceCount(), 0);
    EXPECT_EQ(engine->freeVoiceCount(), 128);
}

TEST_F(VoiceBehaviour, LongerTimesFollowTheParameters) {
    engine->setAttack(0.5f); // 1.001 s
    engine->setRelease(1.0f); // 3.01 s
    vl::StringVoice v(engine.get());
    v.start(60, 100);
    EXPECT_EQ(v.stageLength[0], static_cast<int32_t>(44100.0 * static_cast<double>(2.0f * 0.5f + 0.001f)));
    EXPECT_EQ(v.stageLength[0], 44144);
    EXPECT_EQ(v.stageLength[2], 132740); // 3.01 as a float is just below 3.01
}

} // namespace
