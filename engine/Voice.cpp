#include "Voice.h"

#include "Engine.h"

namespace vl {

Voice::Voice(Engine* owner_) : owner(owner_) {}

void Voice::start(uint8_t note_, uint8_t velocity_) {
    note = note_;
    velocity = velocity_;
    keyHeld = true;
    tickCountdown = 64;
    finished = false;
    pedalMark = false;
    releasing = false;
    age = 0;
}

void Voice::noteOff() {
    keyHeld = false;
    if (owner->sustainPedal) {
        pedalMark = true;
        return;
    }
    release();
}

float Voice::tick() {
    if (--tickCountdown == 0) {
        tickCountdown = 64;
        wrapPhase();
    }
    return render();
}

StringVoice::StringVoice(Engine* owner_) : Voice(owner_), bend(&owner_->pitchBendFactor) {}

void StringVoice::start(uint8_t note_, uint8_t velocity_) {
    Voice::start(note_, velocity_);

    // Stage lengths: the products of rate and time are truncated without rounding them
    // to single precision first (0.01 s gives 440 samples at 44100 Hz, not 441).
    const double rateHz = static_cast<double>(owner->sampleRate);
    const int32_t attack = static_cast<int32_t>(rateHz * static_cast<double>(owner->attackTime));
    const int32_t releaseLength = static_cast<int32_t>(rateHz * static_cast<double>(owner->releaseTime));
    stageLength[0] = attack;
    stageLength[1] = 1;
    stageLength[2] = releaseLength;
    stageRate[0] = 0.99f / static_cast<float>(attack);
    stageRate[1] = 0.0f;
    stageRate[2] = -0.99f / static_cast<float>(releaseLength);

    // Start phase anywhere in -1 .. just under 1.
    phase = static_cast<float>(static_cast<int32_t>(nextNoiseSeed()) - 32768) / 32768.0f;

    increment = noteFrequency[note] * owner->halfInvSampleRate;
    // Detune uniform in 0.99750623 .. 1.0025. The spread constant needs double precision
    // (it has no float representation), so the factor is formed in double and the
    // product rounded once to the stored float.
    const double spread = static_cast<double>(static_cast<int32_t>(nextNoiseSeed()) - 32768) / 32768.0;
    const double detune = (spread + 1.0) * 0.0024969136102294676 + 0.99750623;
    increment = static_cast<float>(static_cast<double>(increment) * detune);

    level = 0.0f;
    stage = 0;
    remaining = attack;
    step = -1;
    rate = stageRate[0];
    lastOutput = 0.0f;
    updateFeedback();
}

void StringVoice::updateFeedback() {
    // Negative phase modulation; lower keys get up to 1.2 times the base amount.
    const float keyScale = 1.2f - static_cast<float>(note) * 0.007874016f * 0.2f;
    feedback = keyScale * owner->brightness * -0.25f;
}

void StringVoice::release() {
    releasing = true;
    stage = 2;
    step = -1;
    remaining = stageLength[2];
    rate = (1e-24f - level) / static_cast<float>(stageLength[2]);
}

void StringVoice::kill() {
    // 100-sample fade for retriggered keys and stolen voices; the first rendered sample
    // sets releasing again.
    releasing = false;
    stage = 2;
    step = -1;
    remaining = 100;
    rate = (1e-24f - level) * 0.01f;
}

} // namespace vl
