#include "Ensemble.h"
#include "Phaser.h"
#include "Reverb.h"

#include <cmath>
#include <cstring>
#include <new>

namespace vl {

namespace {

// Parameter values arrive clamped to 0..1; anything else (including NaN) is pulled back
// into that range so that no delay or gain can leave the range the stages are built for.
float unitRange(float v) {
    if (!(v >= 0.0f)) return 0.0f;
    return v > 1.0f ? 1.0f : v;
}

} // namespace

// ---------------------------------------------------------------------------------------
// DelayLine

DelayLine::~DelayLine() { release(); }

DelayLine::DelayLine(DelayLine&& other) noexcept
    : size(other.size), writeIndex(other.writeIndex), readIndex(other.readIndex), samples(other.samples) {
    other.samples = nullptr;
    other.size = other.writeIndex = other.readIndex = 0;
}

DelayLine& DelayLine::operator=(DelayLine&& other) noexcept {
    if (this != &other) {
        release();
        size = other.size;
        writeIndex = other.writeIndex;
        readIndex = other.readIndex;
        samples = other.samples;
        other.samples = nullptr;
        other.size = other.writeIndex = other.readIndex = 0;
    }
    return *this;
}

int32_t DelayLine::sizeFor(float seconds, float sampleRate) {
    const double product = static_cast<double>(seconds) * static_cast<double>(sampleRate);
    if (!(product >= 1.0) || product >= 16777216.0) return 0;
    return static_cast<int32_t>(product);
}

bool DelayLine::allocate(float seconds, float sampleRate) {
    release();
    const int32_t n = sizeFor(seconds, sampleRate);
    if (n <= 0) return false;
    samples = new (std::nothrow) float[static_cast<size_t>(n)]();
    if (!samples) return false;
    size = n;
    writeIndex = 0;
    readIndex = n > 1 ? 1 : 0;
    return true;
}

void DelayLine::clear() {
    if (samples && size > 0) std::memset(samples, 0, sizeof(float) * static_cast<size_t>(size));
}

void DelayLine::release() {
    delete[] samples;
    samples = nullptr;
    size = 0;
    writeIndex = 0;
    readIndex = 0;
}

// ---------------------------------------------------------------------------------------
// Phasor

void Phasor::setRotation(float angle) {
    c = static_cast<float>(std::cos(static_cast<double>(angle)));
    s = static_cast<float>(std::sin(static_cast<double>(angle)));
}

// ---------------------------------------------------------------------------------------
// Ensemble

bool Ensemble::setSampleRate(float sampleRate, float halfInvSampleRate) {
    rate = sampleRate;
    halfInvRate = halfInvSampleRate;
    const bool ok = line.allocate(kLineSeconds, sampleRate);
    updateRotations();
    resetModulators();
    return ok;
}

void Ensemble::updateRotations() {
    // w = (0.9 v + 0.1) / (2 rate); slow angle w * 1.32 * pi, fast angle w * 22 * pi:
    // 0.033 .. 0.33 Hz and 0.55 .. 5.5 Hz whatever the rate.
    constexpr float pi = 3.141592654f;
    const float w = (0.9f * speedValue + 0.1f) * halfInvRate;
    slow.setRotation(w * 1.32f * pi);
    fast.setRotation(w * 22.0f * pi);
}

void Ensemble::setSpeed(float v) {
    speedValue = unitRange(v);
    updateRotations();
}

void Ensemble::setAmount(float v) { amount = 0.00025f * unitRange(v); }

void Ensemble::setFeedback(float v) { feedback = -0.8f * unitRange(v); }

void Ensemble::clear() { line.clear(); }

void Ensemble::resetModulators() {
    slow.reset();
    fast.reset();
}

void Ensemble::renormalize() {
    slow.renormalize();
    fast.renormalize();
}

// ---------------------------------------------------------------------------------------
// Phaser

void Phaser::setSampleRate(float halfInvSampleRate) {
    halfInvRate = halfInvSampleRate;
    setRate(rateValue);
}

void Phaser::setRate(float v) {
    rateValue = unitRange(v);
    // 0.05 .. 0.5 Hz: angle = f / (2 rate) * 4 pi.
    phasor.setRotation((0.45f * rateValue + 0.05f) * halfInvRate * 12.566370616f);
}

void Phaser::setDepth(float v) { depth = unitRange(v); }

void Phaser::setFeedback(float v) { feedback = 0.8f * unitRange(v); }

void Phaser::resetModulators() {
    phasor.reset();
    for (int k = 0; k < kStages; ++k) {
        prevIn[k] = 0.0f;
        prevOut[k] = 0.0f;
    }
}

void Phaser::renormalize() { phasor.renormalize(); }

// ---------------------------------------------------------------------------------------
// Reverb

bool Reverb::setSampleRate(float sampleRate) {
    bool ok = true;
    for (int k = 0; k < 6; ++k) ok = lines[k].allocate(kLineSeconds[k], sampleRate) && ok;
    ready = ok;
    return ok;
}

void Reverb::setLength(float v) {
    const float a = 0.8f * unitRange(v) + 0.1f;
    for (int k = 0; k < 6; ++k) damping[k] = kDampingScale[k] * a;
    gain = 0.45f - 0.2f * a;
}

void Reverb::setMix(float v) { mix = unitRange(v); }

void Reverb::clear() {
    for (int k = 0; k < 6; ++k) {
        lines[k].clear();
        state[k] = 0.0f;
    }
}

} // namespace vl
