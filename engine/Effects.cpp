#include "Ensemble.h"
#include "Phaser.h"
#include "Reverb.h"

#include <cstring>
#include <new>

namespace vl {

DelayLine::~DelayLine() { release(); }

bool DelayLine::allocate(float seconds, float sampleRate) {
    release();
    const int32_t n = static_cast<int32_t>(static_cast<double>(seconds) * static_cast<double>(sampleRate));
    samples = new (std::nothrow) float[n > 0 ? n : 1]();
    if (!samples) return false;
    size = n;
    writeIndex = 0;
    readIndex = 1;
    return true;
}

void DelayLine::clear() {
    if (samples && size > 0) std::memset(samples, 0, sizeof(float) * static_cast<size_t>(size));
}

void DelayLine::release() {
    delete[] samples;
    samples = nullptr;
    size = 0;
}

bool Ensemble::setSampleRate(float, float) { return true; }
void Ensemble::setSpeed(float v) { speedValue = v; }
void Ensemble::setAmount(float) {}
void Ensemble::setFeedback(float) {}
void Ensemble::clear() {}
void Ensemble::resetModulators() {}
void Ensemble::renormalize() {}

void Phaser::setSampleRate(float) {}
void Phaser::setRate(float v) { rateValue = v; }
void Phaser::setDepth(float) {}
void Phaser::setFeedback(float) {}
void Phaser::resetModulators() {}
void Phaser::renormalize() {}

bool Reverb::setSampleRate(float) { return true; }
void Reverb::setLength(float) {}
void Reverb::setMix(float) {}
void Reverb::clear() {}

} // namespace vl
