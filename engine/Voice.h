#pragma once
// One note of the instrument: a sine oscillator that modulates its own phase with its
// previous output, a per-note random start phase and detune, and a three-stage envelope
// (attack, sustain, release).
#include <cstdint>

#include "Rounding.h"
#include "Tables.h"

namespace vl {

class Engine;

class Voice {
public:
    explicit Voice(Engine* owner);
    virtual ~Voice() = default;
    Voice(const Voice&) = delete;
    Voice& operator=(const Voice&) = delete;

    virtual void start(uint8_t note, uint8_t velocity);
    // Key released: deferred (pedal mark) while the sustain pedal is down.
    virtual void noteOff();
    virtual void release() {}
    virtual void kill() {}
    // One sample: the phase wrap every 64 samples, then render().
    virtual float tick();
    virtual float render() = 0;
    virtual void wrapPhase() = 0;

    Engine* owner;
    uint8_t note = 0;
    uint8_t velocity = 0;
    int32_t tickCountdown = 64;
    uint32_t age = 0; // 64-sample periods since start
    bool releasing = false;
    bool finished = true; // done: to be returned to the pool
    bool keyHeld = false;
    bool pedalMark = false; // a note-off waits for the sustain pedal
    Voice* previous = nullptr;
    Voice* next = nullptr;
};

// The instrument's only voice type. Final, so that calls through a StringVoice pointer
// (the render loop's) are direct and inlined.
class StringVoice final : public Voice {
public:
    // Offset towards which the envelope grows and decays exponentially.
    static constexpr float kEnvelopeOffset = 0.58197671f;

    explicit StringVoice(Engine* owner);

    void start(uint8_t note, uint8_t velocity) override;
    void release() override;
    void kill() override;
    float tick() override { return tickStep(); }
    float render() override { return renderStep(); }
    void wrapPhase() override { wrapStep(); }

    // Feedback index for the current note and the owner's brightness.
    void updateFeedback();

    inline float tickStep();
    inline float renderStep();
    inline void wrapStep();

    float level = 0.0f;
    float rate = 0.0f;
    int32_t remaining = 0;
    int32_t step = 0;
    int32_t stage = 0;
    int32_t stageLength[3] = {0, 1, 0};
    float stageRate[3] = {0.0f, 0.0f, 0.0f};
    float increment = 0.0f; // cycles per sample before pitch bend
    float phase = 0.0f; // cycles
    float lastOutput = 0.0f;
    float feedback = 0.0f;
    const float* bend; // the owner's pitchBendFactor
};

inline void StringVoice::wrapStep() {
    ++age;
    phase = phase - static_cast<float>(roundToEven(phase - 0.5f));
}

inline float StringVoice::renderStep() {
    int32_t r;
    if (stage == 2) {
        if (remaining == 0) {
            level = 0.0f;
            r = 0;
        } else {
            level = (level + kEnvelopeOffset) * rate + level;
            remaining += step;
            r = remaining;
        }
    } else {
        if (remaining == 0) {
            // Next stage; the level holds for this sample.
            step = (stage == 0) ? 0 : -1;
            ++stage;
            remaining = stageLength[stage];
            rate = stageRate[stage];
        } else {
            level = (level + kEnvelopeOffset) * rate + level;
            remaining += step;
        }
        r = 0;
    }
    if (releasing) finished = (r == 0);
    else releasing = (r != 0);

    phase = phase + *bend * increment;
    const float x = (phase + feedback * lastOutput) * 8192.0f;
    const int32_t i = roundToEven(x - 0.5f);
    const float f = x - static_cast<float>(i);
    const float a = sineTable[i & kSineTableMask];
    const float b = sineTable[(i + 1) & kSineTableMask];
    const float s = a + (b - a) * f;
    lastOutput = s;
    return s * level;
}

inline float StringVoice::tickStep() {
    if (--tickCountdown == 0) {
        tickCountdown = 64;
        wrapStep();
    }
    return renderStep();
}

} // namespace vl
