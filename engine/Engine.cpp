#include "Engine.h"

#include <cmath>
#include <cstring>
#include <new>
#include <utility>

#include "Rounding.h"
#include "Tables.h"
#include "Voice.h"
#include "SampleChain.h"
#include "VoiceLanes.h"

namespace vl {

namespace testhooks {
std::atomic<bool> failEngineAllocation{false};
std::atomic<bool> failPoolBuild{false};
std::atomic<int> renderPath{0};
} // namespace testhooks

namespace {
constexpr int32_t kMidiEventType = 1; // kVstMidiType
constexpr int32_t kChunk = lanes::kChunk;
constexpr float kMinRate = 1000.0f;
constexpr float kMaxRate = 768000.0f;
constexpr int32_t kUnbounded = 0x7FFFFFFF;
constexpr int kLaneBlock = lanes::kBlockVoices / 4; // SSE registers of voices rendered together
} // namespace

Engine::Engine(EngineClient* client_) : client(client_) {
    // Channel gains of the fixed centre pan position p = 0.5: cos^2 and sin^2 of pi/4.
    const double angle = 3.14159265358979323846 / 2.0 * 0.5;
    leftGain = static_cast<float>(std::cos(angle) * std::cos(angle));
    rightGain = static_cast<float>(std::sin(angle) * std::sin(angle));

    if (testhooks::failEngineAllocation.load()) return;
    events = new (std::nothrow) Event[kEventCapacity];
    void* raw = ::operator new(sizeof(StringVoice) * kPoolSize, std::nothrow);
    lanes = new (std::nothrow) VoiceLanes;
    if (!events || !raw || !lanes) {
        delete[] events;
        events = nullptr;
        ::operator delete(raw);
        delete lanes;
        lanes = nullptr;
        return;
    }
    voices = static_cast<StringVoice*>(raw);
    for (int i = 0; i < kPoolSize; ++i) new (&voices[i]) StringVoice(this);
    const int path = testhooks::renderPath.load();
    referenceRendering = path == 2;
    wideLanes = path == 0 && processorHasWideLanes();
}

void Engine::setWideLanesAllowed(bool allowed) {
    std::lock_guard<std::recursive_mutex> guard(engineLock);
    wideLanes = allowed && processorHasWideLanes();
}

Engine::~Engine() {
    if (voices) {
        for (int i = 0; i < kPoolSize; ++i) voices[i].~StringVoice();
        ::operator delete(static_cast<void*>(voices));
    }
    delete[] events;
    delete lanes;
}

bool Engine::ok() const { return voices != nullptr && events != nullptr && lanes != nullptr; }

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

int voiceLimitFor(float v) {
    // trunc(31 v + 0.1) + 1 with the float constants, evaluated in double so that the
    // limit and the displayed voice count agree for every value.
    const double x = static_cast<double>(v) * static_cast<double>(31.0f) + static_cast<double>(0.1f);
    if (!(x >= 0.0)) return 1;
    if (x >= 31.0) return 32;
    return static_cast<int>(x) + 1;
}

bool Engine::setVoices(float v) { return rebuildPool(voiceLimitFor(v)); }

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
        if (v->note == lowest) continue; // the lowest sounding key is never stolen
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

namespace {

// Samples a voice can render from now on without any change of stage, flag or list
// membership: only the level/phase arithmetic, the 64-sample phase wrap and the
// countdown of remaining run.
int32_t uneventfulSamples(const StringVoice& v) {
    if (v.stage == 2) {
        // Each sample counts remaining down; the one that reaches 0 finishes the voice.
        if (v.step != -1 || v.remaining <= 0) return 0;
        return v.remaining - 1;
    }
    if (v.releasing || v.remaining <= 0) return 0;
    if (v.step == 0) return kUnbounded; // sustain
    if (v.step == -1) return v.remaining;
    return 0;
}

#ifdef VL_HAVE_SSE2
// A table entry and its successor as the low two lanes, read without assuming 8-byte
// alignment of the float table.
inline __m128 loadPair(const float* entry) {
    double pair;
    std::memcpy(&pair, entry, sizeof pair);
    return _mm_castpd_ps(_mm_set_sd(pair));
}
#endif

} // namespace

void Engine::sumVoicesFast(float* sums, int32_t count) {
#ifdef VL_HAVE_SSE2
    int32_t t = 0;
    while (t < count) {
        int n = 0;
        int32_t run = count - t;
        for (Voice* v = head; v; v = v->next) {
            StringVoice* sv = static_cast<StringVoice*>(v);
            lanes->voice[n++] = sv;
            const int32_t free = uneventfulSamples(*sv);
            if (free < run) run = free;
        }
        if (n == 0) {
            for (; t < count; ++t) sums[t] = 0.0f;
            return;
        }
        if (run == 0) {
            // A voice changes stage or finishes in this sample: one sample the plain way.
            sumVoicesReference(sums + t, 1);
            ++t;
            continue;
        }
        if (wideLanes) runVoiceLanesWide(n, run, sums + t);
        else runVoiceLanes(n, run, sums + t);
        t += run;
    }
#else
    sumVoicesReference(sums, count);
#endif
}

#ifdef VL_HAVE_SSE2
namespace {

// Adds the voices of `registers` registers' outputs (four voices per register and
// sample, register r's sample k at out + (r * kChunk + k) * 4; the last register with only
// `lastValid` voices in use) to sums[k], voice after voice in lane order, or stores that
// sum when `first` (the sum then starts from 0 as the per-sample loop's does). Four
// samples at a time: a 4x4 transpose turns four samples of four voices into four voices
// of four samples.
void addLanes(const float* out, int registers, int lastValid, int32_t count, float* sums, bool first) {
    int32_t k = 0;
    for (; k + 4 <= count; k += 4) {
        __m128 acc = first ? _mm_setzero_ps() : _mm_loadu_ps(sums + k);
        for (int r = 0; r < registers; ++r) {
            const float* o = out + (r * kChunk + k) * 4;
            __m128 r0 = _mm_load_ps(o);
            __m128 r1 = _mm_load_ps(o + 4);
            __m128 r2 = _mm_load_ps(o + 8);
            __m128 r3 = _mm_load_ps(o + 12);
            _MM_TRANSPOSE4_PS(r0, r1, r2, r3);
            const int valid = r + 1 < registers ? 4 : lastValid;
            acc = _mm_add_ps(acc, r0);
            if (valid > 1) acc = _mm_add_ps(acc, r1);
            if (valid > 2) acc = _mm_add_ps(acc, r2);
            if (valid > 3) acc = _mm_add_ps(acc, r3);
        }
        _mm_storeu_ps(sums + k, acc);
    }
    for (; k < count; ++k) {
        float acc = first ? 0.0f : sums[k];
        for (int r = 0; r < registers; ++r) {
            const float* lane = out + (r * kChunk + k) * 4;
            const int valid = r + 1 < registers ? 4 : lastValid;
            for (int v = 0; v < valid; ++v) acc = acc + lane[v];
        }
        sums[k] = acc;
    }
}

} // namespace
#endif

// Copies the first voiceCount voices of lanes->voice into the lanes (the pitch bend cannot
// change during a run, so bend * increment is the same product every sample); lanes up
// to laneCount are filled with silent voices that never wrap.
void Engine::loadLanes(int voiceCount, int laneCount) {
    VoiceLanes& L = *lanes;
    const float bendFactor = pitchBendFactor;
    for (int v = 0; v < voiceCount; ++v) {
        const StringVoice& sv = *L.voice[v];
        L.level[v] = sv.level;
        L.rate[v] = sv.rate;
        L.phase[v] = sv.phase;
        L.increment[v] = bendFactor * sv.increment;
        L.lastOutput[v] = sv.lastOutput;
        L.feedback[v] = sv.feedback;
        // The countdown (1 .. 64) runs out at sample countdown - 1 of the run, then every
        // 64 samples.
        L.wrapAt[v] = (sv.tickCountdown - 1) & 63;
    }
    for (int v = voiceCount; v < laneCount; ++v) {
        L.level[v] = L.rate[v] = L.phase[v] = L.increment[v] = L.lastOutput[v] = L.feedback[v] = 0.0f;
        L.wrapAt[v] = -1; // never
    }
}

// Writes the lanes back into the voices after a run of `count` uneventful samples.
void Engine::storeLanes(int voiceCount, int32_t count) {
    VoiceLanes& L = *lanes;
    for (int v = 0; v < voiceCount; ++v) {
        StringVoice& sv = *L.voice[v];
        // The countdown ran out (and the phase wrapped) at sample c, then every 64 samples.
        const int32_t c = sv.tickCountdown;
        if (c <= count) {
            sv.age += static_cast<uint32_t>(1 + (count - c) / 64);
            sv.tickCountdown = 64 - (count - c) % 64;
        } else {
            sv.tickCountdown = c - count;
        }
        sv.level = L.level[v];
        sv.phase = L.phase[v];
        sv.lastOutput = L.lastOutput[v];
        sv.remaining += sv.step * count;
        if (sv.stage == 2) {
            // Every sample of the run left remaining above 0.
            sv.releasing = true;
            sv.finished = false;
        }
    }
}

// Renders `count` uneventful samples of the first voiceCount voices of lanes->voice and
// adds them in list order into sums[0 .. count - 1] (which it overwrites). Four voices
// per SSE2 register with each voice's arithmetic exactly that of StringVoice::tickStep (same
// operations, same order, single precision). Blocks of up to kLaneBlock registers keep
// their state in registers for the whole run, so that the blocks' independent sine
// lookups overlap; each block's output is then added, voice after voice, to the running
// sums, so that every sample's sum is still formed in list order.
void Engine::runVoiceLanes(int voiceCount, int32_t count, float* sums) {
#ifdef VL_HAVE_SSE2
    VoiceLanes& L = *lanes;
    const int laneCount = (voiceCount + 3) & ~3;
    loadLanes(voiceCount, laneCount);

    const float* const table = sineTable;
    const __m128 offset = _mm_set1_ps(StringVoice::kEnvelopeOffset);
    const __m128 half = _mm_set1_ps(0.5f);
    const __m128 scale = _mm_set1_ps(8192.0f);
    const __m128i one = _mm_set1_epi32(1);
    const __m128i mod64 = _mm_set1_epi32(63);
    const __m128i mask = _mm_set1_epi32(kSineTableMask);

    // One register of four voices for one sample.
    auto step = [&](__m128& level, __m128 rate, __m128& phase, __m128 increment, __m128& lastOutput, __m128 feedback,
                    __m128i wrapAt, __m128i sample) -> __m128 {
        // Envelope: level = (level + offset) * rate + level.
        level = _mm_add_ps(_mm_mul_ps(_mm_add_ps(level, offset), rate), level);
        // Phase wrap where the 64-sample countdown runs out.
        const __m128i due = _mm_cmpeq_epi32(wrapAt, sample);
        // Each voice wraps once in 64 samples: skip the arithmetic while none is due.
        if (_mm_movemask_epi8(due) != 0) {
            const __m128 wrapped = _mm_sub_ps(phase, _mm_cvtepi32_ps(_mm_cvtps_epi32(_mm_sub_ps(phase, half))));
            const __m128 dueMask = _mm_castsi128_ps(due);
            phase = _mm_or_ps(_mm_and_ps(dueMask, wrapped), _mm_andnot_ps(dueMask, phase));
        }
        // Oscillator.
        phase = _mm_add_ps(phase, increment);
        const __m128 x = _mm_mul_ps(_mm_add_ps(phase, _mm_mul_ps(feedback, lastOutput)), scale);
        const __m128i i = _mm_cvtps_epi32(_mm_sub_ps(x, half));
        const __m128 f = _mm_sub_ps(x, _mm_cvtepi32_ps(i));
        const __m128i index = _mm_and_si128(i, mask);
        // Entry and successor in one 8-byte read each (the table's guard entry covers 8191).
        const int i0 = _mm_cvtsi128_si32(index);
        const int i1 = _mm_cvtsi128_si32(_mm_shuffle_epi32(index, 0x55));
        const int i2 = _mm_cvtsi128_si32(_mm_shuffle_epi32(index, 0xAA));
        const int i3 = _mm_cvtsi128_si32(_mm_shuffle_epi32(index, 0xFF));
        const __m128 p0 = loadPair(table + i0);
        const __m128 p1 = loadPair(table + i1);
        const __m128 p2 = loadPair(table + i2);
        const __m128 p3 = loadPair(table + i3);
        const __m128 lo = _mm_unpacklo_ps(p0, p1); // a0 a1 b0 b1
        const __m128 hi = _mm_unpacklo_ps(p2, p3); // a2 a3 b2 b3
        const __m128 a = _mm_movelh_ps(lo, hi);
        const __m128 b = _mm_movehl_ps(hi, lo);
        const __m128 s = _mm_add_ps(a, _mm_mul_ps(_mm_sub_ps(b, a), f));
        lastOutput = s;
        return _mm_mul_ps(s, level);
    };
    auto loadInt = [](const int32_t* p) { return _mm_load_si128(reinterpret_cast<const __m128i*>(p)); };

    // G registers (4 G voices) from lane g on, their state in registers for the run.
    bool first = true;
    auto block = [&]<int... J>(int g, std::integer_sequence<int, J...>) {
        constexpr int G = static_cast<int>(sizeof...(J));
        __m128 level[G] = {_mm_load_ps(L.level + g + 4 * J)...};
        __m128 phase[G] = {_mm_load_ps(L.phase + g + 4 * J)...};
        __m128 last[G] = {_mm_load_ps(L.lastOutput + g + 4 * J)...};
        const __m128 rate[G] = {_mm_load_ps(L.rate + g + 4 * J)...};
        const __m128 inc[G] = {_mm_load_ps(L.increment + g + 4 * J)...};
        const __m128 fb[G] = {_mm_load_ps(L.feedback + g + 4 * J)...};
        const __m128i wrapAt[G] = {loadInt(L.wrapAt + g + 4 * J)...};
        __m128i sample = _mm_setzero_si128(); // k mod 64 in every lane
        for (int32_t k = 0; k < count; ++k) {
            (_mm_store_ps(L.out + (J * kChunk + k) * 4,
                          step(level[J], rate[J], phase[J], inc[J], last[J], fb[J], wrapAt[J], sample)),
             ...);
            sample = _mm_and_si128(_mm_add_epi32(sample, one), mod64);
        }
        ((_mm_store_ps(L.level + g + 4 * J, level[J]), _mm_store_ps(L.phase + g + 4 * J, phase[J]),
          _mm_store_ps(L.lastOutput + g + 4 * J, last[J])),
         ...);
        const int lastValid = voiceCount - (g + 4 * (G - 1));
        addLanes(L.out, G, lastValid < 4 ? lastValid : 4, count, sums, first);
        first = false;
    };
    int g = 0;
    for (; g + 4 * kLaneBlock <= laneCount; g += 4 * kLaneBlock)
        block(g, std::make_integer_sequence<int, kLaneBlock>());
    // The remaining 1 .. kLaneBlock - 1 registers.
    const int rest = (laneCount - g) / 4;
    // clang-format off
    [&]<int... R>(std::integer_sequence<int, R...>) {
        ((rest == R + 1 ? (block(g, std::make_integer_sequence<int, R + 1>()), 0) : 0), ...);
    }(std::make_integer_sequence<int, kLaneBlock - 1>());
    // clang-format on

    storeLanes(voiceCount, count);
#else
    (void)voiceCount;
    (void)count;
    (void)sums;
#endif
}

// The plain path: every voice and every stage one sample at a time.
template <OutputMode mode>
void Engine::renderSegment(int32_t count, OutputCursor& out) {
    float sums[kChunk];
    while (count > 0) {
        const int32_t len = count < kChunk ? count : kChunk;
        sumVoicesReference(sums, len);
        const float level = outputLevel;
        const float ad = antiDenormal;
        for (int32_t t = 0; t < len; ++t) {
            float u = sums[t];
            if (ensemble.active()) u = ensemble.process(u, ad);
            if (phaser.active()) u = phaser.process(u, ad);
            const float x = u * level;
            float l = x, r = x;
            if (reverb.active()) reverb.process(x, ad, l, r);
            storeFrame<mode>(out.left, out.right, out.frames16, l * leftGain, r * rightGain);
        }
        count -= len;
    }
}

// The vectorised path from one event to the next: `count` samples with control ticks at
// firstTick, firstTick + tickInterval, ... (relative positions below count; a tick at
// position r falls between samples r - 1 and r).
template <OutputMode mode>
void Engine::renderStretch(int32_t count, int32_t firstTick, OutputCursor& out) {
    float sums[kChunk];
    int32_t nextTick = firstTick;
    for (int32_t pos = 0; pos < count; pos += kChunk) {
        const int32_t len = count - pos < kChunk ? count - pos : kChunk;
        sumVoicesFast(sums, len);
        SampleChain<mode> chain(ensemble, phaser, reverb, outputLevel, antiDenormal, leftGain, rightGain, out);
        int32_t k = 0;
        for (;;) {
            // A tick before the stretch (the countdown restarted by a rate change while
            // the block was under way) falls at its start, as the plain loop has it.
            while (nextTick < count && nextTick <= pos + k) {
                chain.renormalizePhasors();
                nextTick += tickInterval;
            }
            if (k == len) break;
            const int32_t end = nextTick < pos + len ? nextTick - pos : len;
            chain.run(sums + k, end - k);
            k = end;
        }
    }
}

template <OutputMode mode>
void Engine::renderBlock(float* left, float* right, int16_t* frames16, int32_t n) {
    if (n < 0) return;
    bool ready;
    {
        // The rate may be changed by another thread; read it under the lock.
        std::lock_guard<std::recursive_mutex> guard(engineLock);
        ready = rateValid && ok() && sineTable;
    }
    if (!ready) {
        if (n == 0) return;
        // Nothing to render with yet: silence, events stay pending.
        if constexpr (mode == OutputMode::Replace) {
            std::memset(left, 0, sizeof(float) * static_cast<size_t>(n));
            std::memset(right, 0, sizeof(float) * static_cast<size_t>(n));
        } else if constexpr (mode == OutputMode::Interleaved16) {
            std::memset(frames16, 0, sizeof(int16_t) * 2 * static_cast<size_t>(n));
        }
        return;
    }
    OutputCursor out{left, right, frames16};
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
        if (!referenceRendering) {
            // Every segment up to the next event at once: the control ticks between them
            // only renormalize the effects' oscillators, which the chain does between the
            // same two samples. The ticks are those at the positions the countdown passes
            // below b.
            const int32_t firstTick = tickCountdown - c;
            while (b > tickCountdown) tickCountdown += tickInterval;
            renderStretch<mode>(b - c, firstTick, out);
            c = b;
            continue;
        }
        bool tickDue = false;
        if (b > tickCountdown) {
            b = tickCountdown;
            tickCountdown += tickInterval;
            tickDue = true;
        }
        if (b > c) {
            renderSegment<mode>(b - c, out);
            c = b;
        }
        if (tickDue) renormalizePhasors();
    }
    std::lock_guard<std::recursive_mutex> guard(engineLock);
    tickCountdown -= n;
    antiDenormal = -antiDenormal;
}

void Engine::process(float* left, float* right, int32_t frames) {
    if ((!left || !right) && frames != 0) return;
    renderBlock<OutputMode::Add>(left, right, nullptr, frames);
}

void Engine::processReplacing(float* left, float* right, int32_t frames) {
    if ((!left || !right) && frames != 0) return;
    renderBlock<OutputMode::Replace>(left, right, nullptr, frames);
}

void Engine::processInterleaved16(int16_t* frames16, int32_t frames) {
    if (!frames16 && frames != 0) return;
    renderBlock<OutputMode::Interleaved16>(nullptr, nullptr, frames16, frames);
}

void interleavePcm16(const float* left, const float* right, int16_t* frames16, int32_t frames) {
    float* noLeft = nullptr;
    float* noRight = nullptr;
    for (int32_t i = 0; i < frames; ++i)
        storeFrame<OutputMode::Interleaved16>(noLeft, noRight, frames16, left[i], right[i]);
}

} // namespace vl
