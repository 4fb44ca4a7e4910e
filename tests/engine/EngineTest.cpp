#include "EngineTestSupport.h"

#include <cmath>
#include <limits>

namespace {

using vltest::EngineFixture;

// ---------------------------------------------------------------------------------------
// Sample rate, construction and failure injection

using EngineSetup = EngineFixture;

TEST_F(EngineSetup, TickIntervalPerRate) {
    EXPECT_EQ(engine->getTickInterval(), 63);
    ASSERT_TRUE(engine->setSampleRate(48000.0f));
    EXPECT_EQ(engine->getTickInterval(), 58);
    ASSERT_TRUE(engine->setSampleRate(96000.0f));
    EXPECT_EQ(engine->getTickInterval(), 29);
    ASSERT_TRUE(engine->setSampleRate(88200.0f));
    EXPECT_EQ(engine->getTickInterval(), 31);
}

TEST_F(EngineSetup, InvalidRatesChangeNothing) {
    ASSERT_TRUE(engine->setSampleRate(48000.0f));
    noteOn(0, 60);
    render(10);
    for (float bad : {std::numeric_limits<float>::quiet_NaN(), std::numeric_limits<float>::infinity(), -48000.0f, 0.0f,
                      999.0f, 768001.0f}) {
        EXPECT_FALSE(engine->setSampleRate(bad)) << bad;
        EXPECT_EQ(engine->getSampleRate(), 48000.0f);
        EXPECT_EQ(engine->getTickInterval(), 58);
    }
    EXPECT_TRUE(engine->firstVoice()->keyHeld); // no note-off happened
    EXPECT_TRUE(engine->setSampleRate(1000.0f));
    EXPECT_TRUE(engine->setSampleRate(768000.0f));
}

TEST_F(EngineSetup, RateChangeReleasesSoundingVoices) {
    noteOn(0, 60);
    render(100);
    ASSERT_TRUE(engine->setSampleRate(48000.0f));
    EXPECT_FALSE(engine->firstVoice()->keyHeld);
    EXPECT_TRUE(engine->firstVoice()->releasing);
}

TEST(EngineConstruction, SilentUntilAValidRateIsSet) {
    ASSERT_TRUE(vl::acquireSharedTables());
    {
        vltest::RecordingClient client;
        vl::Engine engine(&client);
        ASSERT_TRUE(engine.ok());
        EXPECT_FALSE(engine.hasSampleRate());
        engine.centrePitchBend();
        ASSERT_TRUE(engine.rebuildPool(16));
        engine.appendEvent(1, 0, 0x90, 60, 100);
        std::vector<float> l(64, 3.0f), r(64, 3.0f);
        engine.processReplacing(l.data(), r.data(), 64);
        for (float s : l) EXPECT_EQ(s, 0.0f);
        std::vector<float> a(64, 3.0f), b(64, 3.0f);
        engine.process(a.data(), b.data(), 64);
        for (float s : a) EXPECT_EQ(s, 3.0f);
        std::vector<int16_t> pcm(128, 5);
        engine.processInterleaved16(pcm.data(), 64);
        for (int16_t s : pcm) EXPECT_EQ(s, 0);
        EXPECT_EQ(engine.pendingEventCount(), 1); // kept for when rendering starts
        EXPECT_FALSE(engine.setSampleRate(0.0f));
        EXPECT_FALSE(engine.hasSampleRate());
        ASSERT_TRUE(engine.setSampleRate(44100.0f));
        engine.processReplacing(l.data(), r.data(), 64);
        EXPECT_NE(l[0], 0.0f);
    }
    vl::releaseSharedTables();
}

TEST(EngineConstruction, FailedAllocationIsUndoneAndALaterEngineWorks) {
    ASSERT_TRUE(vl::acquireSharedTables());
    {
        vltest::RecordingClient client;
        vl::testhooks::failEngineAllocation = true;
        vl::Engine failed(&client);
        vl::testhooks::failEngineAllocation = false;
        EXPECT_FALSE(failed.ok());
        EXPECT_FALSE(failed.rebuildPool(16));
        EXPECT_FALSE(failed.hasPool());
        failed.appendEvent(1, 0, 0x90, 60, 100);
        EXPECT_EQ(failed.pendingEventCount(), 0);
        ASSERT_TRUE(failed.setSampleRate(44100.0f));
        std::vector<float> l(32, 1.0f), r(32, 1.0f);
        failed.processReplacing(l.data(), r.data(), 32);
        for (float s : l) EXPECT_EQ(s, 0.0f);

        vl::Engine later(&client);
        EXPECT_TRUE(later.ok());
        EXPECT_TRUE(later.rebuildPool(16));
    }
    vl::releaseSharedTables();
    EXPECT_EQ(vl::sharedTableUsers(), 0);
}

TEST_F(EngineSetup, FailedPoolBuildDropsNotesUntilARebuild) {
    noteOn(0, 60);
    render(10);
    vl::testhooks::failPoolBuild = true;
    EXPECT_FALSE(engine->rebuildPool(8));
    vl::testhooks::failPoolBuild = false;
    EXPECT_FALSE(engine->hasPool());
    EXPECT_EQ(engine->firstVoice(), nullptr);
    noteOn(0, 62);
    const auto out = render(100);
    for (float s : out) EXPECT_EQ(s, 0.0f);
    ASSERT_TRUE(engine->rebuildPool(8));
    noteOn(0, 62);
    EXPECT_NE(render(10)[0], 0.0f);
}

// ---------------------------------------------------------------------------------------
// Pool, allocation and stealing

using VoicePool = EngineFixture;

TEST_F(VoicePool, VoicesParameterMapsToLimit) {
    const std::pair<float, int> cases[] = {{0.0f, 1}, {0.029f, 1}, {0.5f, 16}, {1.0f, 32}, {1.0f / 31.0f, 2}};
    for (auto [v, limit] : cases) {
        ASSERT_TRUE(engine->setVoices(v));
        EXPECT_EQ(engine->voiceLimit(), limit) << v;
    }
    EXPECT_FALSE(engine->rebuildPool(0));
    EXPECT_FALSE(engine->rebuildPool(33));
    EXPECT_EQ(engine->voiceLimit(), 2);
}

TEST_F(VoicePool, RebuildCutsVoicesAndHandsOutVoicesInFreshOrder) {
    noteOn(0, 60);
    noteOn(0, 64);
    render(10);
    EXPECT_EQ(engine->firstVoice(), engine->poolVoice(126));
    EXPECT_EQ(engine->firstVoice()->next, engine->poolVoice(127));
    ASSERT_TRUE(engine->rebuildPool(4));
    EXPECT_EQ(engine->firstVoice(), nullptr);
    EXPECT_EQ(engine->activeVoiceCount(), 0);
    EXPECT_EQ(engine->freeVoiceCount(), 128);
    for (int i = 0; i < 128; ++i) {
        EXPECT_TRUE(engine->poolVoice(i)->finished);
        EXPECT_EQ(engine->poolVoice(i)->next, nullptr);
    }
    EXPECT_EQ(render(50)[49], 0.0f); // stopped at once, no fade
    noteOn(0, 70);
    render(1);
    EXPECT_EQ(engine->firstVoice(), engine->poolVoice(127));
}

TEST_F(VoicePool, RetriggerFadesTheOldVoiceOver100Samples) {
    noteOn(0, 60);
    render(300);
    noteOn(0, 60);
    render(99);
    EXPECT_EQ(engine->activeVoiceCount(), 2);
    const vl::Voice* old = engine->firstVoice()->next;
    ASSERT_NE(old, nullptr);
    EXPECT_TRUE(old->releasing);
    render(1);
    EXPECT_EQ(engine->activeVoiceCount(), 1);
    EXPECT_EQ(listNotes(), std::vector<int>{60});
}

TEST_F(VoicePool, SingleVoiceLimitKeepsTheLowestKey) {
    ASSERT_TRUE(engine->setVoices(0.0f));
    noteOn(0, 60);
    noteOn(10, 64);
    render(200);
    // The only sounding voice was on the lowest key: nothing is stolen.
    EXPECT_EQ(listNotes(), (std::vector<int>{64, 60}));
    EXPECT_FALSE(engine->firstVoice()->releasing);
    EXPECT_FALSE(engine->firstVoice()->next->releasing);
    noteOn(0, 67);
    render(99);
    EXPECT_EQ(engine->activeVoiceCount(), 3); // the stolen voice still fades
    render(1);
    EXPECT_EQ(listNotes(), (std::vector<int>{67, 60}));
    // The third note below the others: the highest non-lowest goes.
    noteOn(0, 50);
    render(100);
    EXPECT_EQ(listNotes(), (std::vector<int>{50, 60}));
}

TEST_F(VoicePool, StealingPrefersTheOldestReleasingVoice) {
    ASSERT_TRUE(engine->rebuildPool(3));
    engine->setRelease(1.0f); // long releases keep released voices on the list
    noteOn(0, 40);
    noteOn(0, 50, 10);
    noteOn(200, 60, 90);
    noteOff(64 * 5, 50);
    noteOff(64 * 8, 60);
    render(64 * 12);
    // Both released; 50 started earlier (larger age) and is stolen although 60 is
    // nearer the head.
    noteOn(0, 70, 100);
    render(100);
    EXPECT_EQ(listNotes(), (std::vector<int>{70, 60, 40}));
}

TEST_F(VoicePool, StealingTakesTheQuietestOldestHeldVoice) {
    ASSERT_TRUE(engine->rebuildPool(3));
    noteOn(0, 40, 5); // lowest: safe despite the lowest velocity
    noteOn(0, 50, 80);
    noteOn(0, 60, 80); // same velocity as 50: the older (50) is taken
    noteOn(0, 70, 90);
    render(100);
    EXPECT_EQ(listNotes(), (std::vector<int>{70, 60, 40}));
    noteOn(0, 80, 60); // the newcomer is not a candidate: 60 (quieter than 70) goes
    render(100);
    EXPECT_EQ(listNotes(), (std::vector<int>{80, 70, 40}));
}

TEST_F(VoicePool, NoFreeVoiceDropsTheNote) {
    ASSERT_TRUE(engine->rebuildPool(32));
    engine->setRelease(1.0f);
    // 128 different keys held at once would need a free voice each; keys 0..127 fill the pool.
    for (int k = 0; k < 128; ++k) noteOn(0, static_cast<uint8_t>(k));
    render(1);
    EXPECT_EQ(engine->freeVoiceCount(), 0);
    EXPECT_EQ(engine->activeVoiceCount(), 128);
    noteOn(0, 64); // kills the sounding 64 but finds no free voice
    render(1);
    EXPECT_EQ(engine->activeVoiceCount(), 128);
    EXPECT_EQ(engine->firstVoice()->note, 127);
    int on64 = 0;
    for (int note : listNotes()) on64 += (note == 64);
    EXPECT_EQ(on64, 1);
}

// ---------------------------------------------------------------------------------------
// Event timing

using EventTiming = EngineFixture;

TEST_F(EventTiming, NoteStartsExactlyAtItsOffset) {
    for (int32_t k : {0, 1, 62, 63, 64, 200, 255}) {
        ASSERT_TRUE(engine->rebuildPool(16));
        engine->clearEvents();
        noteOn(k, 69);
        const auto out = render(256);
        for (int32_t i = 0; i < k; ++i) ASSERT_EQ(out[static_cast<size_t>(i)], 0.0f) << k;
        EXPECT_NE(out[static_cast<size_t>(k)], 0.0f) << k;
    }
}

TEST_F(EventTiming, LateEventWaitsForALaterCallAtItsOwnOffset) {
    noteOn(300, 69);
    auto out = render(256);
    for (float s : out) EXPECT_EQ(s, 0.0f);
    EXPECT_EQ(engine->pendingEventCount(), 1);
    out = render(256); // still before offset 300 of this call
    for (float s : out) EXPECT_EQ(s, 0.0f);
    out = render(512);
    EXPECT_EQ(out[299], 0.0f);
    EXPECT_NE(out[300], 0.0f);
    EXPECT_EQ(engine->pendingEventCount(), 0);
}

TEST_F(EventTiming, EqualOffsetsInListOrderAndEarlierOffsetsHandledWhenReached) {
    noteOn(50, 60);
    noteOff(50, 60); // same offset, after the note-on: released at once
    noteOff(80, 62);
    noteOn(80, 62); // note-off first finds nothing, then the key starts
    render(100);
    EXPECT_EQ(listNotes(), (std::vector<int>{62, 60}));
    EXPECT_TRUE(engine->firstVoice()->keyHeld);
    EXPECT_FALSE(engine->firstVoice()->next->keyHeld);
    EXPECT_TRUE(engine->firstVoice()->next->releasing);

    ASSERT_TRUE(engine->rebuildPool(16));
    engine->clearEvents();
    noteOn(100, 60);
    noteOn(40, 64); // listed after a later one: taken when the walk reaches it
    const auto out = render(200);
    EXPECT_EQ(out[99], 0.0f);
    EXPECT_EQ(listNotes(), (std::vector<int>{64, 60}));
    EXPECT_EQ(engine->firstVoice()->age, 1u); // both started at 100: 100 samples rendered
    EXPECT_EQ(engine->firstVoice()->next->age, 1u);
}

TEST_F(EventTiming, ZeroFrameCallOnlyFlipsAntiDenormal) {
    noteOn(0, 60);
    const float before = engine->getAntiDenormal();
    EXPECT_EQ(before, 1e-24f);
    float l = 5.0f, r = 5.0f;
    engine->processReplacing(&l, &r, 0);
    EXPECT_EQ(engine->getAntiDenormal(), -before);
    EXPECT_EQ(engine->pendingEventCount(), 1);
    EXPECT_EQ(engine->firstVoice(), nullptr);
    EXPECT_EQ(l, 5.0f);
    render(1);
    EXPECT_EQ(engine->getAntiDenormal(), before);
}

TEST_F(EventTiming, NewListReplacesPendingAndStorageIsBounded) {
    noteOn(1000, 60);
    render(10);
    engine->clearEvents();
    EXPECT_EQ(engine->pendingEventCount(), 0);
    for (int i = 0; i < vl::Engine::kEventCapacity + 10; ++i) control(0, 12, 1);
    EXPECT_EQ(engine->pendingEventCount(), vl::Engine::kEventCapacity);
    render(1);
    EXPECT_EQ(client.controls.size(), static_cast<size_t>(vl::Engine::kEventCapacity));
    EXPECT_EQ(engine->firstVoice(), nullptr);
}

// ---------------------------------------------------------------------------------------
// MIDI interpretation

using MidiHandling = EngineFixture;

TEST_F(MidiHandling, ControllersAndProgramsGoToTheClient) {
    control(0, 7, 127);
    engine->appendEvent(1, 0, 0xB5, 96, 40); // any channel
    control(0, 97, 0xFF); // data masked to 7 bits
    engine->appendEvent(1, 0, 0xC3, 9, 0);
    engine->appendEvent(1, 0, 0xC0, 0x82, 0); // masked: program 2
    control(0, 64, 127); // sustain: engine's own
    control(0, 123, 0); // all notes off: engine's own
    engine->appendEvent(2, 0, 0xB0, 7, 1); // not a MIDI event
    engine->appendEvent(1, 0, 0xA0, 60, 1); // aftertouch: ignored
    render(4);
    EXPECT_EQ(client.controls, (std::vector<std::pair<int, int>>{{7, 127}, {96, 40}, {97, 127}}));
    EXPECT_EQ(client.programs, (std::vector<int>{9, 2}));
}

TEST_F(MidiHandling, NoteOffVariantsAndChannels) {
    engine->appendEvent(1, 0, 0x93, 60, 100);
    engine->appendEvent(1, 0, 0x9F, 62, 100);
    engine->appendEvent(1, 10, 0x91, 60, 0); // velocity 0 is a note-off
    engine->appendEvent(1, 10, 0x8A, 62, 64);
    render(20);
    for (const vl::Voice* v = engine->firstVoice(); v; v = v->next) {
        EXPECT_FALSE(v->keyHeld);
        EXPECT_TRUE(v->releasing);
    }
}

TEST_F(MidiHandling, SustainPedalHoldsForEveryNonZeroValueAndZeroReleases) {
    // The pedal is a switch on data != 0, not a half-way threshold: 1 and 63 hold as
    // 127 does, and a later small value while down does not release.
    for (uint8_t down : {1, 63, 64, 127}) {
        SCOPED_TRACE(int(down));
        control(0, 64, down);
        noteOn(0, 60);
        noteOff(100, 60);
        control(200, 64, 1);
        render(2000);
        ASSERT_NE(engine->firstVoice(), nullptr);
        EXPECT_TRUE(engine->firstVoice()->pedalMark);
        EXPECT_FALSE(engine->firstVoice()->releasing);
        EXPECT_TRUE(engine->sustainPedalDown());
        control(10, 64, 0);
        auto out = render(1000);
        EXPECT_FALSE(engine->sustainPedalDown());
        EXPECT_EQ(engine->firstVoice(), nullptr);
        EXPECT_NE(out[10 + 439], 0.0f);
        EXPECT_EQ(out[10 + 440], 0.0f);
    }
}

TEST_F(MidiHandling, AllNotesOffReleasesEverythingAndLiftsThePedal) {
    control(0, 64, 127);
    noteOn(0, 60);
    noteOn(0, 64);
    control(50, 123, 0);
    render(60);
    EXPECT_FALSE(engine->sustainPedalDown());
    for (const vl::Voice* v = engine->firstVoice(); v; v = v->next) EXPECT_TRUE(v->releasing);
}

TEST_F(MidiHandling, PitchBendUsesTheMostSignificantByte) {
    engine->appendEvent(1, 0, 0xE0, 0x7F, 0);
    render(1);
    EXPECT_EQ(engine->getPitchBendFactor(), vl::bendFactor[0]);
    engine->appendEvent(1, 0, 0xE2, 0x00, 64);
    render(1);
    EXPECT_EQ(engine->getPitchBendFactor(), 1.0f);
    engine->appendEvent(1, 0, 0xE0, 0, 127);
    render(1);
    EXPECT_EQ(engine->getPitchBendFactor(), vl::bendFactor[127]);
}

TEST_F(MidiHandling, SuspendReleasesVoicesWhichFinishOnTheNextCalls) {
    noteOn(0, 60);
    control(0, 64, 127);
    render(500);
    engine->suspend();
    EXPECT_FALSE(engine->sustainPedalDown());
    ASSERT_NE(engine->firstVoice(), nullptr);
    EXPECT_TRUE(engine->firstVoice()->releasing);
    const auto out = render(500);
    EXPECT_NE(out[0], 0.0f);
    EXPECT_EQ(out[440], 0.0f);
    EXPECT_EQ(engine->firstVoice(), nullptr);
}

} // namespace
