#include "EngineTestSupport.h"

#include <cmath>
#include <cstring>
#include <random>

namespace {

using vltest::EngineFixture;
using vltest::measureFrequency;

using RenderedAudio = EngineFixture;

TEST_F(RenderedAudio, KeysSoundAtTheirPitchWithinTheDetune) {
    for (auto [key, pitch] : {std::pair{69, 440.0}, std::pair{57, 220.0}, std::pair{81, 880.0}}) {
        ASSERT_TRUE(engine->rebuildPool(16));
        noteOn(0, static_cast<uint8_t>(key));
        const auto out = render(44100);
        const double f = measureFrequency(out, 1000, 44100.0);
        EXPECT_GT(f, pitch * 0.99750623 - 0.05) << key;
        EXPECT_LT(f, pitch * 1.0025 + 0.05) << key;
    }
}

TEST_F(RenderedAudio, PitchBendMovesSoundingVoicesAtTheNextSample) {
    noteOn(0, 69);
    const auto straight = render(22050);
    const double f0 = measureFrequency(straight, 1000, 44100.0);
    engine->appendEvent(1, 0, 0xE0, 0, 0); // two semitones down
    const auto bent = render(22050);
    const double f1 = measureFrequency(bent, 0, 44100.0);
    EXPECT_NEAR(f1 / f0, std::pow(2.0, -1.0 / 6.0), 2e-4);
    engine->appendEvent(1, 0, 0xE0, 0, 127);
    const double f2 = measureFrequency(render(22050), 0, 44100.0);
    EXPECT_NEAR(f2 / f0, std::pow(2.0, 63.0 / 384.0), 2e-4);
}

TEST_F(RenderedAudio, NeutralChainGivesEachChannelAFiftiethOfTheVoiceSum) {
    // A copy of the voice, driven alongside, gives the voice sum itself.
    vl::testhooks::setNoiseSeed(4321);
    noteOn(0, 60);
    std::vector<float> right;
    const auto left = render(3000, &right);
    vl::testhooks::setNoiseSeed(4321);
    vl::StringVoice copy(engine.get());
    copy.start(60, 100);
    for (size_t i = 0; i < left.size(); ++i) {
        const float sum = 0.0f + copy.tickStep();
        const float expected = sum * 0.1f * 0.5f;
        ASSERT_EQ(left[i], expected) << i;
        ASSERT_EQ(right[i], expected) << i;
    }
    // Level scales the output linearly.
    engine->setLevel(0.5f);
    const auto half = render(100);
    for (size_t i = 0; i < half.size(); ++i) ASSERT_EQ(half[i], (0.0f + copy.tickStep()) * 0.05f * 0.5f);
}

TEST_F(RenderedAudio, ProcessAddsAndReplacingOverwrites) {
    vl::testhooks::setNoiseSeed(77);
    noteOn(0, 60);
    noteOn(5, 67);
    const auto reference = render(500);
    ASSERT_TRUE(engine->rebuildPool(16));
    vl::testhooks::setNoiseSeed(77);
    noteOn(0, 60);
    noteOn(5, 67);
    std::vector<float> l(500, 0.25f), r(500, -0.5f);
    engine->process(l.data(), r.data(), 500);
    for (size_t i = 0; i < 500; ++i) {
        ASSERT_EQ(l[i], 0.25f + reference[i]);
        ASSERT_EQ(r[i], -0.5f + reference[i]);
    }
}

TEST_F(RenderedAudio, Interleaved16RoundsAndClampsToSymmetricRange) {
    // An overload far beyond full scale in both directions.
    engine->setLevel(400.0f);
    vl::testhooks::setNoiseSeed(99);
    noteOn(0, 45);
    const auto floats = render(4000);
    ASSERT_TRUE(engine->rebuildPool(16));
    vl::testhooks::setNoiseSeed(99);
    noteOn(0, 45);
    std::vector<int16_t> pcm(8000);
    engine->processInterleaved16(pcm.data(), 4000);
    int lowest = 0, highest = 0, inRange = 0;
    for (size_t i = 0; i < 4000; ++i) {
        ASSERT_EQ(pcm[2 * i], pcm[2 * i + 1]);
        const float y = floats[i] * 32767.5f - 0.5f;
        if (y > -32767.0f && y < 32767.0f) {
            ASSERT_EQ(pcm[2 * i], static_cast<int16_t>(std::nearbyint(y))) << i;
            ++inRange;
        }
        lowest = std::min<int>(lowest, pcm[2 * i]);
        highest = std::max<int>(highest, pcm[2 * i]);
    }
    EXPECT_EQ(lowest, -32767);
    EXPECT_EQ(highest, 32767);
    EXPECT_GT(inRange, 10);
}

TEST_F(RenderedAudio, Interleaved16ExactValuesAtNormalLevel) {
    noteOn(0, 60);
    noteOn(0, 64);
    const auto floats = render(2000);
    // The same phrase again from the same seed, through the 16-bit path.
    ASSERT_TRUE(engine->rebuildPool(16));
    vl::testhooks::setNoiseSeed(1000);
    noteOn(0, 60);
    noteOn(0, 64);
    std::vector<int16_t> pcm(4000);
    engine->processInterleaved16(pcm.data(), 2000);
    int nonZero = 0;
    for (size_t i = 0; i < 2000; ++i) {
        const float y = floats[i] * 32767.5f - 0.5f; // gain already applied in floats
        ASSERT_EQ(pcm[2 * i], static_cast<int16_t>(std::nearbyint(y))) << i;
        nonZero += pcm[2 * i] != 0;
    }
    EXPECT_GT(nonZero, 1900);
}

// A fixed phrase: chords, a retrigger, stealing at limit 6, pedal, bends, Brightness and
// envelope changes, across uneven block sizes.
// Dense: 32 voices, more notes per block and every effect on (factory program 0's
// values), so that the fast path runs full registers of voices next to the effects.
// narrow: the SSE2 voice lanes even where the processor has AVX2.
uint64_t renderPhrase(bool reference, std::vector<float>* keep = nullptr, bool dense = false, bool narrow = false) {
    vltest::RecordingClient client;
    vl::Engine engine(&client);
    engine.setReferenceRendering(reference);
    engine.setWideLanesAllowed(!narrow);
    engine.centrePitchBend();
    EXPECT_TRUE(engine.setSampleRate(44100.0f));
    engine.setLevel(1.0f);
    vl::testhooks::setNoiseSeed(1000);
    engine.setAttack(0.02f);
    engine.setRelease(0.1f);
    engine.setBrightness(0.6f);
    EXPECT_TRUE(engine.rebuildPool(dense ? 32 : 6));
    if (dense) {
        engine.setEnsembleSpeed(0.3f);
        engine.setEnsembleAmount(0.4f);
        engine.setEnsembleFeedback(0.4f);
        engine.setPhaserRate(0.25f);
        engine.setPhaserDepth(0.6f);
        engine.setPhaserFeedback(0.95f);
        engine.setReverbLength(0.35f);
        engine.setReverbMix(0.35f);
    }
    const int blocks[] = {512, 1, 63, 64, 300, 1024, 7, 256};
    uint64_t hash = 1469598103934665603ull; // FNV-1a over the raw float bits
    std::mt19937 rng(12345);
    int mostVoices = 0;
    for (int b = 0; b < 120; ++b) {
        const int n = blocks[b % 8];
        engine.clearEvents();
        const int events = static_cast<int>(rng() % (dense ? 12 : 5));
        for (int e = 0; e < events; ++e) {
            const int32_t at = static_cast<int32_t>(rng() % static_cast<unsigned>(n + 8));
            const unsigned kind = rng() % 10;
            const uint8_t key = static_cast<uint8_t>(36 + rng() % 48);
            if (kind < 5) engine.appendEvent(1, at, 0x90, key, static_cast<uint8_t>(1 + rng() % 127));
            else if (kind < 8) engine.appendEvent(1, at, 0x80, key, 0);
            else if (kind == 8) engine.appendEvent(1, at, 0xE0, 0, static_cast<uint8_t>(rng() % 128));
            else engine.appendEvent(1, at, 0xB0, 64, static_cast<uint8_t>((rng() % 2) * 127));
        }
        if (b == 60) engine.setBrightness(1.0f);
        if (b == 80) engine.setRelease(0.0f);
        std::vector<float> l(static_cast<size_t>(n)), r(static_cast<size_t>(n));
        engine.processReplacing(l.data(), r.data(), n);
        if (engine.activeVoiceCount() > mostVoices) mostVoices = engine.activeVoiceCount();
        for (int i = 0; i < n; ++i) {
            for (float s : {l[static_cast<size_t>(i)], r[static_cast<size_t>(i)]}) {
                uint32_t bits;
                std::memcpy(&bits, &s, 4);
                for (int k = 0; k < 4; ++k) {
                    hash ^= (bits >> (8 * k)) & 0xFF;
                    hash *= 1099511628211ull;
                }
            }
            if (keep) keep->push_back(l[static_cast<size_t>(i)]);
        }
    }
    // The dense phrase fills the pool up to its limit (stolen voices fading included).
    if (dense) {
        EXPECT_GE(mostVoices, 32);
    }
    return hash;
}

using Determinism = EngineFixture;

TEST_F(Determinism, FixedPhraseHasAKnownChecksum) {
    std::vector<float> out;
    const uint64_t hash = renderPhrase(false, &out);
    double energy = 0;
    for (float s : out) energy += static_cast<double>(s) * s;
    EXPECT_GT(energy, 1.0); // the phrase really sounds
    EXPECT_EQ(hash, 0x35c5c0e5060570c3ull) << std::hex << hash;
}

TEST_F(Determinism, VectorisedVoiceSumMatchesThePlainLoopBitForBit) {
    std::vector<float> fast, plain;
    const uint64_t a = renderPhrase(false, &fast);
    const uint64_t b = renderPhrase(true, &plain);
    ASSERT_EQ(fast.size(), plain.size());
    for (size_t i = 0; i < fast.size(); ++i) ASSERT_EQ(fast[i], plain[i]) << i;
    EXPECT_EQ(a, b);
}

TEST_F(Determinism, ThirtyTwoVoicesWithEffectsMatchThePlainLoopAndAKnownChecksum) {
    std::vector<float> plain;
    const uint64_t b = renderPhrase(true, &plain, true);
    EXPECT_EQ(b, 0x47395d689fd59c2bull) << std::hex << b;
    // Both vector widths: AVX2 where the processor has it, and the SSE2 lanes.
    for (bool narrow : {false, true}) {
        std::vector<float> fast;
        const uint64_t a = renderPhrase(false, &fast, true, narrow);
        ASSERT_EQ(fast.size(), plain.size());
        for (size_t i = 0; i < fast.size(); ++i) ASSERT_EQ(fast[i], plain[i]) << i << (narrow ? " narrow" : " wide");
        EXPECT_EQ(a, b);
    }
}

// Changes the sample rate when controller 20 arrives: the rate change restarts the
// control-tick countdown in the middle of a block, behind the current position (as a
// rate change from another thread between two segments does).
struct RateChangingClient final : vl::EngineClient {
    vl::Engine* engine = nullptr;
    void midiControlChange(int controller, int data) override {
        if (controller == 20 && engine) engine->setSampleRate(data < 64 ? 44100.0f : 48000.0f);
    }
    void midiProgramChange(int) override {}
};

std::vector<float> renderRateChanges(bool reference, bool narrow) {
    RateChangingClient client;
    vl::Engine engine(&client);
    client.engine = &engine;
    engine.setReferenceRendering(reference);
    engine.setWideLanesAllowed(!narrow);
    engine.centrePitchBend();
    EXPECT_TRUE(engine.setSampleRate(44100.0f));
    vl::testhooks::setNoiseSeed(1000);
    engine.setLevel(1.0f);
    engine.setAttack(0.01f);
    engine.setRelease(0.2f);
    engine.setBrightness(0.5f);
    engine.setEnsembleSpeed(0.9f);
    engine.setEnsembleAmount(0.7f);
    engine.setPhaserRate(1.0f);
    engine.setPhaserDepth(0.8f);
    engine.setPhaserFeedback(0.9f);
    engine.setReverbLength(0.5f);
    engine.setReverbMix(0.4f);
    EXPECT_TRUE(engine.rebuildPool(32));
    std::vector<float> out;
    std::vector<float> l(512), r(512);
    for (int b = 0; b < 60; ++b) {
        engine.clearEvents();
        for (int k = 0; k < 6; ++k)
            engine.appendEvent(1, 40 * k, 0x90, static_cast<uint8_t>(45 + (b * 7 + k * 5) % 40), 90);
        engine.appendEvent(1, 250 + b, 0xB0, 20, static_cast<uint8_t>((b % 2) * 127));
        engine.processReplacing(l.data(), r.data(), 512);
        out.insert(out.end(), l.begin(), l.end());
        out.insert(out.end(), r.begin(), r.end());
    }
    return out;
}

TEST_F(Determinism, RateChangeInsideABlockTicksAsInThePlainLoop) {
    const std::vector<float> plain = renderRateChanges(true, false);
    for (bool narrow : {false, true}) {
        const std::vector<float> fast = renderRateChanges(false, narrow);
        ASSERT_EQ(fast.size(), plain.size());
        for (size_t i = 0; i < fast.size(); ++i) ASSERT_EQ(fast[i], plain[i]) << i << (narrow ? " narrow" : " wide");
    }
}

} // namespace
