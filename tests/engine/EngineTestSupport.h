#pragma once
// Helpers shared by the engine tests: a recording EngineClient, a fixture holding the
// shared tables, and MIDI shorthands.
#include <gtest/gtest.h>

#include <cstdint>
#include <vector>

#include "engine/Engine.h"
#include "engine/Tables.h"
#include "engine/Voice.h"

namespace vltest {

struct RecordingClient final : vl::EngineClient {
    std::vector<std::pair<int, int>> controls;
    std::vector<int> programs;
    void midiControlChange(int controller, int data) override { controls.emplace_back(controller, data); }
    void midiProgramChange(int program) override { programs.push_back(program); }
};

class EngineFixture : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(vl::acquireSharedTables());
        vl::testhooks::setNoiseSeed(1000);
        engine = std::make_unique<vl::Engine>(&client);
        ASSERT_TRUE(engine->ok());
        engine->centrePitchBend();
        ASSERT_TRUE(engine->setSampleRate(44100.0f));
        // The neutral sound: Level 1, no effects, factory-like envelope and 16 voices.
        engine->setLevel(1.0f);
        engine->setAttack(0.0f);
        engine->setRelease(0.0f);
        engine->setBrightness(0.0f);
        ASSERT_TRUE(engine->rebuildPool(16));
    }
    void TearDown() override {
        engine.reset();
        vl::releaseSharedTables();
    }

    void noteOn(int32_t at, uint8_t key, uint8_t velocity = 100) { engine->appendEvent(1, at, 0x90, key, velocity); }
    void noteOff(int32_t at, uint8_t key) { engine->appendEvent(1, at, 0x80, key, 0); }
    void control(int32_t at, uint8_t controller, uint8_t value) { engine->appendEvent(1, at, 0xB0, controller, value); }

    // Renders n frames with processReplacing; returns the left channel (right in *right).
    std::vector<float> render(int32_t n, std::vector<float>* right = nullptr) {
        std::vector<float> l(static_cast<size_t>(n), 7.0f), r(static_cast<size_t>(n), 7.0f);
        engine->processReplacing(l.data(), r.data(), n);
        if (right) *right = r;
        return l;
    }

    std::vector<int> listNotes() const {
        std::vector<int> notes;
        for (const vl::Voice* v = engine->firstVoice(); v; v = v->next) notes.push_back(v->note);
        return notes;
    }

    RecordingClient client;
    std::unique_ptr<vl::Engine> engine;
};

// Frequency from positive-going zero crossings between the first and the last one.
inline double measureFrequency(const std::vector<float>& s, size_t from, double rate) {
    double first = -1, last = -1;
    int crossings = 0;
    for (size_t i = from + 1; i < s.size(); ++i) {
        if (s[i - 1] < 0.0f && s[i] >= 0.0f) {
            const double pos = (i - 1) + s[i - 1] / (s[i - 1] - s[i]);
            if (first < 0) first = pos;
            else ++crossings;
            last = pos;
        }
    }
    if (crossings == 0) return 0.0;
    return crossings * rate / (last - first);
}

} // namespace vltest
