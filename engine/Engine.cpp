#include "Engine.h"

#include <cmath>
#include <cstring>
#include <new>

#include "Rounding.h"
#include "Tables.h"
#include "Voice.h"

namespace vl {

namespace testhooks {
std::atomic<bool> failEngineAllocation{false};
std::atomic<bool> failPoolBuild{false};
} // namespace testhooks

namespace {
constexpr int32_t kMidiEventType = 1;  // kVstMidiType
constexpr int32_t kChunk = 64;         // samples per voice-sum pass
constexpr float kMinRate = 1000.0f;
constexpr float kMaxRate = 768000.0f;
} // namespace

Engine::Engine(EngineClient* client_) : client(client_) {
    // Channel gains of the fixed centre pan position p = 0.5: cos^2 and sin^2 of pi/4.
    const double angle = 3.14159265358979323846 / 2.0 * 0.5;
    leftGain = static_cast<float>(std::cos(angle) * std::cos(angle));
    rightGain = static_cast<float>(std::sin(angle) * std::sin(angle));

    if (testhooks::failEngineAllocation.load()) return;
    events = new (std::nothrow) Event[kEventCapacity];
    void* raw = ::operator new(sizeof(StringVoice) * kPoolSize, std::nothrow);
    scratch = new (std::nothrow) float[kChunk * kPoolSize];
    if (!events || !raw || !scratch) {
        delete[] events;
        events = nullptr;
        ::operator delete(raw);
        delete[] scratch;
        scratch = nullptr;
        return;
    }
    voices = static_cast<StringVoice*>(raw);
    for (int i = 0; i < kPoolSize; ++i) new (&voices[i]) StringVoice(this);
}

Engine::~Engine() {
    if (voices) {
        for (int i = 0; i < kPoolSize; ++i) voices[i].~StringVoice();
        ::operator delete(static_cast<void*>(voices));
    }
    delete[] events;
    delete[] scratch;
}

bool Engine::ok() const { return voices != nullptr && events != nullptr && scratch != nullptr; }

const Voice* Engine::firstVoice() const { return head; }

const Voice* Engine::poolVoice(int index) const {
    if (!voices || index < 0 || index >= kPoolSize) return nullptr;
    return &voices[index];
}

// ---------------------------------------------------------------------------------------
// Rate, suspend, modulators

bool Engine::setSampleRate(float rate) {
    if (!std::isfinite(rate) || rate < kMinRate || rate > kMaxRate) return false;
    std::lock_guard<std::recursive_mutex> guard(engineLock);
    sampleRate = rate;
    sustainPedal = false;
    for (Voice* v = head; v; v = v->next) v->noteOff();
    halfInvSampleRate = 0.5f / rate;
    ensemble.setSampleRate(rate, halfInvSampleRate);
    reverb.setSampleRate(rate);
    phaser.setSampleRate(halfInvSampleRate);
    resetModulators();
    // About one tick per 64 samples at 44.1 kHz, scaled with the rate; the product is
    // truncated without rounding it to single precision (63 at 44100 Hz).
    tickInterval = static_cast<int32_t>(64.0 * static_cast<double>(halfInvSampleRate) * 88200.0);
    if (tickInterval < 1) tickInterval = 1;
    tickCountdown = tickInterval;
    rateValid = true;
    return true;
}

float Engine::getSampleRate() const { return sampleRate; }
bool Engine::hasSampleRate() const { return rateValid; }

void Engine::suspend() {
    std::lock_guard<std::recursive_mutex> guard(engineLock);
    sustainPedal = false;
    for (Voice* v = head; v; v = v->next) v->noteOff();
    ensemble.clear();
    reverb.clear();
}

void Engine::resetModulators() {
    std::lock_guard<std::recursive_mutex> guard(engineLock);
    ensemble.resetModulators();
    phaser.resetModulators();
}

void Engine::renormalizePhasors() {
    std::lock_guard<std::recursive_mutex> guard(engineLock);
    phaser.renormalize();
    ensemble.renormalize();
}

void Engine::centrePitchBend() {
    if (bendFactor) pitchBendFactor = bendFactor[64];
}

// ---------------------------------------------------------------------------------------
// Parameters

void Engine::setLevel(float v) { outputLevel = 0.1f * v; }
void Engine::setAttack(float v) { attackTime = 2.0f * v + 0.001f; }
void Engine::setRelease(float v) { releaseTime = 3.0f * v + 0.01f; }

void Engine::setBrightness(float v) {
    std::lock_guard<std::recursive_mutex> guard(engineLock);
    brightness = 0.9f * v + 0.1f;
    for (Voice* v2 = head; v2; v2 = v2->next) static_cast<StringVoice*>(v2)->updateFeedback();
}

void Engine::setEnsembleSpeed(float v) { ensemble.setSpeed(v); }
void Engine::setEnsembleAmount(float v) { ensemble.setAmount(v); }
void Engine::setEnsembleFeedback(float v) { ensemble.setFeedback(v); }
void Engine::setPhaserRate(float v) { phaser.setRate(v); }
void Engine::setPhaserDepth(float v) { phaser.setDepth(v); }
void Engine::setPhaserFeedback(float v) { phaser.setFeedback(v); }
void Engine::setReverbLength(float v) { reverb.setLength(v); }
void Engine::setReverbMix(float v) { reverb.setMix(v); }

bool Engine::setVoices(float v) {
    int limit = static_cast<int>(31.0f * v + 0.1f) + 1;
    if (!(limit >= 1)) limit = 1;
    if (limit > 32) limit = 32;
    return rebuildPool(limit);
}

// ---------------------------------------------------------------------------------------
// Pool

void Engine::resetPool(int limit) {
    head = nullptr;
    for (int i = 0; i < kPoolSize; ++i) {
        // Back to the state of a freshly built voice: finished, unlinked, bend aimed here.
        voices[i].~StringVoice();
        new (&voices[i]) StringVoice(this);
        freeStack[i] = &voices[i];
    }
    poolTop = kPoolSize;
    poolActive = 0;
    poolLimit = limit;
}

bool Engine::rebuildPool(int limit) {
    if (limit < 1 || limit > 32) return false;
    std::lock_guard<std::recursive_mutex> guard(engineLock);
    if (!ok()) return false;
    if (testhooks::failPoolBuild.load()) {
        // As a failed build: sounding voices are cut and no pool remains.
        head = nullptr;
        poolBuilt = false;
        poolTop = 0;
        poolActive = 0;
        return false;
    }
    resetPool(limit);
    poolBuilt = true;
    return true;
}

int Engine::voiceLimit() const { return poolLimit; }

void Engine::unlinkAndFree(Voice* v) {
    if (v->previous) v->previous->next = v->next;
    else head = v->next;
    if (v->next) v->next->previous = v->previous;
    v->previous = nullptr;
    v->next = nullptr;
    freeStack[poolTop++] = v;
    --poolActive;
}

Voice* Engine::chooseVictim() const {
    int lowest = 128;
    for (Voice* v = head; v; v = v->next)
        if (v->note < lowest) lowest = v->note;
    Voice* releasingChoice = nullptr;
    uint32_t bestAge = 0;
    Voice* otherChoice = nullptr;
    int bestVelocity = 127;
    for (Voice* v = head; v; v = v->next) {
        if (v->note == lowest) continue;  // the lowest sounding key is never stolen
        if (v->releasing) {
            if (v->age > bestAge) {
                bestAge = v->age;
                releasingChoice = v;
            }
        } else if (v->velocity <= bestVelocity) {
            bestVelocity = v->velocity;
            otherChoice = v;
        }
    }
    return releasingChoice ? releasingChoice : otherChoice;
}

// ---------------------------------------------------------------------------------------
// MIDI

void Engine::noteOn(uint8_t key, uint8_t velocity) {
    for (Voice* v = head; v; v = v->next)
        if (v->note == key) v->kill();
    if (!poolBuilt || poolTop == 0) return;
    --poolTop;
    ++poolActive;
    Voice* voice = freeStack[poolTop];
    if (poolActive > poolLimit) {
        if (Voice* victim = chooseVictim()) victim->kill();
    }
    voice->previous = nullptr;
    voice->next = head;
    if (head) head->previous = voice;
    head = voice;
    voice->start(key, velocity);
}

void Engine::noteOffKey(uint8_t key) {
    for (Voice* v = head; v; v = v->next)
        if (v->note == key && v->keyHeld) v->noteOff();
}

void Engine::allNotesOff() {
    sustainPedal = false;
    for (Voice* v = head; v; v = v->next) v->noteOff();
}

void Engine::handleEvent(const Event& e) {
    if (e.type != kMidiEventType) return;
    const uint8_t status = e.data[0] & 0xF0;
    const uint8_t data1 = e.data[1] & 0x7F;
    const uint8_t data2 = e.data[2] & 0x7F;
    switch (status) {
    case 0x80:
        noteOffKey(data1);
        break;
    case 0x90:
        if (data2 == 0) noteOffKey(data1);
        else noteOn(data1, data2);
        break;
    case 0xE0:
        pitchBendFactor = bendFactor[data2];
        break;
    case 0xB0:
        if (data1 == 123) {
            allNotesOff();
        } else if (data1 == 64) {
            sustainPedal = (data2 != 0);
            if (data2 == 0)
                for (Voice* v = head; v; v = v->next)
                    if (v->pedalMark) v->noteOff();
        } else if (client) {
            client->midiControlChange(data1, data2);
        }
        break;
    case 0xC0:
        if (client) client->midiProgramChange(data1);
        break;
    default:
        break;
    }
}

void Engine::clearEvents() {
    pendingIndex = 0;
    pendingCount = 0;
    storedCount = 0;
}

void Engine::appendEvent(int32_t type, int32_t deltaFrames, uint8_t status, uint8_t data1, uint8_t data2) {
    if (!events || storedCount >= kEventCapacity) return;
    Event& e = events[storedCount++];
    e.type = type;
    e.deltaFrames = deltaFrames;
    e.data[0] = status;
    e.data[1] = data1;
    e.data[2] = data2;
    ++pendingCount;
}

int Engine::pendingEventCount() const { return pendingCount; }

// ---------------------------------------------------------------------------------------
// Rendering

void Engine::sumVoices(float* sums, int32_t count) {
    if (referenceRendering) sumVoicesReference(sums, count);
    else sumVoicesFast(sums, count);
}

// The voice sum exactly as the per-sample chain defines it: every voice in list order,
// a finished voice leaves the list (and returns to the pool) after its last sample.
void Engine::sumVoicesReference(float* sums, int32_t count) {
    for (int32_t t = 0; t < count; ++t) {
        float sum = 0.0f;
        Voice* v = head;
        while (v) {
            StringVoice* sv = static_cast<StringVoice*>(v);
            Voice* following = v->next;
            sum = sum + sv->tickStep();
            if (sv->finished) unlinkAndFree(v);
            v = following;
        }
        sums[t] = sum;
    }
}

void Engine::sumVoicesFast(float* sums, int32_t count) { sumVoicesReference(sums, count); }

template <Engine::Output mode>
void Engine::renderSegment(int32_t count, float*& left, float*& right, int16_t*& frames16) {
    float sums[kChunk];
    while (count > 0) {
        const int32_t len = count < kChunk ? count : kChunk;
        sumVoices(sums, len);
        const float level = outputLevel;
        for (int32_t t = 0; t < len; ++t) {
            float u = sums[t];
            if (ensemble.active()) u = ensemble.process(u, antiDenormal);
            if (phaser.active()) u = phaser.process(u, antiDenormal);
            const float x = u * level;
            float l, r;
            if (reverb.active()) {
                reverb.process(x, antiDenormal, l, r);
            } else {
                l = x;
                r = x;
            }
            if constexpr (mode == Output::Add) {
                *left++ += l * leftGain;
                *right++ += r * rightGain;
            } else if constexpr (mode == Output::Replace) {
                *left++ = l * leftGain;
                *right++ = r * rightGain;
            } else {
                float yl = l * leftGain * 32767.5f - 0.5f;
                float yr = r * rightGain * 32767.5f - 0.5f;
                // Clamp before converting so that overloads cannot overflow the integer
                // conversion; the result is then limited to -32767 .. 32767.
                if (!(yl >= -40000.0f)) yl = -40000.0f;
                if (yl > 40000.0f) yl = 40000.0f;
                if (!(yr >= -40000.0f)) yr = -40000.0f;
                if (yr > 40000.0f) yr = 40000.0f;
                int32_t il = roundToEven(yl);
                int32_t ir = roundToEven(yr);
                il = il < -32767 ? -32767 : (il > 32767 ? 32767 : il);
                ir = ir < -32767 ? -32767 : (ir > 32767 ? 32767 : ir);
                *frames16++ = static_cast<int16_t>(il);
                *frames16++ = static_cast<int16_t>(ir);
            }
        }
        count -= len;
    }
}

template <Engine::Output mode>
void Engine::renderBlock(float* left, float* right, int16_t* frames16, int32_t n) {
    if (n < 0) return;
    if (!rateValid || !ok() || !sineTable) {
        // Nothing to render with yet: silence, events stay pending.
        if constexpr (mode == Output::Replace) {
            std::memset(left, 0, sizeof(float) * static_cast<size_t>(n));
            std::memset(right, 0, sizeof(float) * static_cast<size_t>(n));
        } else if constexpr (mode == Output::Interleaved16) {
            std::memset(frames16, 0, sizeof(int16_t) * 2 * static_cast<size_t>(n));
        }
        return;
    }
    int32_t c = 0;
    while (c < n) {
        std::lock_guard<std::recursive_mutex> guard(engineLock);
        // Events in list order; one that lies before the current position is handled now.
        while (pendingCount > 0 && c >= events[pendingIndex].deltaFrames) {
            const Event e = events[pendingIndex];
            ++pendingIndex;
            --pendingCount;
            handleEvent(e);
        }
        int32_t b = n;
        if (pendingCount > 0 && events[pendingIndex].deltaFrames < n) b = events[pendingIndex].deltaFrames;
        bool tickDue = false;
        if (b > tickCountdown) {
            b = tickCountdown;
            tickCountdown += tickInterval;
            tickDue = true;
        }
        if (b > c) {
            renderSegment<mode>(b - c, left, right, frames16);
            c = b;
        }
        if (tickDue) renormalizePhasors();
    }
    tickCountdown -= n;
    antiDenormal = -antiDenormal;
}

void Engine::process(float* left, float* right, int32_t frames) {
    if (!left || !right) return;
    renderBlock<Output::Add>(left, right, nullptr, frames);
}

void Engine::processReplacing(float* left, float* right, int32_t frames) {
    if (!left || !right) return;
    renderBlock<Output::Replace>(left, right, nullptr, frames);
}

void Engine::processInterleaved16(int16_t* frames16, int32_t frames) {
    if (!frames16) return;
    renderBlock<Output::Interleaved16>(nullptr, nullptr, frames16, frames);
}

} // namespace vl
