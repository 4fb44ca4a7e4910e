#include <gtest/gtest.h>

#include "engine/Engine.h"
#include "engine/Tables.h"
#include "engine/Voice.h"

namespace {

struct NullClient final : vl::EngineClient {
    void midiControlChange(int, int) override {}
    void midiProgramChange(int) override {}
};

// Runs in its own process so that nothing has drawn from the generator before.
TEST(SeedAtLoad, FirstVoicesDrawTheDocumentedSeeds) {
    EXPECT_EQ(vl::testhooks::noiseSeedValue(), 1000);
    ASSERT_TRUE(vl::acquireSharedTables());
    {
        NullClient client;
        vl::Engine engine(&client);
        ASSERT_TRUE(engine.setSampleRate(44100.0f));
        engine.centrePitchBend();
        ASSERT_TRUE(engine.rebuildPool(16));
        engine.appendEvent(1, 0, 0x90, 69, 100);
        engine.appendEvent(1, 0, 0x90, 60, 100);
        float l[1], r[1];
        engine.processReplacing(l, r, 1);
        // Head: the second note (seeds 65283, 44572); then the first (27433, 35186).
        const auto* second = static_cast<const vl::StringVoice*>(engine.firstVoice());
        const auto* first = static_cast<const vl::StringVoice*>(second->next);
        ASSERT_NE(first, nullptr);
        const float firstStart = -0.162811279296875f;
        EXPECT_EQ(first->phase, firstStart + first->increment);
        EXPECT_NEAR(first->increment / (vl::noteFrequency[69] * (0.5f / 44100.0f)), 1.000187f, 1e-6f);
        const float secondStart = (65283 - 32768) / 32768.0f;
        EXPECT_EQ(second->phase, secondStart + second->increment);
        EXPECT_NEAR(second->increment / (vl::noteFrequency[60] * (0.5f / 44100.0f)),
                    ((44572 - 32768) / 32768.0 + 1) * 0.0024969136102294676 + 0.99750623, 1e-7);
        EXPECT_EQ(vl::testhooks::noiseSeedValue(), 44572);
    }
    vl::releaseSharedTables();
}

} // namespace
