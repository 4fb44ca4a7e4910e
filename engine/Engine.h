#pragma once
// Public face of the synthesis engine. The instrument owns one Engine and drives it
// through these calls; the engine knows nothing of VST, windows or files.
//
// NOTE: this header fixes the interface the instrument is written against. The engine
// implementation may add private members and helpers freely, but keep these calls.
#include <atomic>
#include <cstdint>
#include <mutex>

#include "Ensemble.h"
#include "Phaser.h"
#include "Reverb.h"

namespace vl {

class Voice;
class StringVoice;
struct VoiceLanes;
enum class OutputMode;
struct OutputCursor;

// Failure injection for tests of the instrument's error paths (all off by default), and
// the choice of render path.
namespace testhooks {
extern std::atomic<bool> failTableAllocation; // acquireSharedTables cannot allocate
extern std::atomic<bool> failEngineAllocation; // Engine construction cannot allocate voices/events
extern std::atomic<bool> failPoolBuild; // rebuildPool fails (no pool afterwards)
// Render path of engines constructed from now on (tests compare the paths through the
// whole instrument): 0 the fastest the processor allows, 1 the narrow (SSE2) voice lanes,
// 2 the plain per-sample, per-voice loop.
extern std::atomic<int> renderPath;
uint16_t noiseSeedValue(); // the note random generator's state
void setNoiseSeed(uint16_t seed);
} // namespace testhooks

// Implemented by the instrument: the MIDI messages that act on parameters and programs
// go back through the instrument so that its editor follows.
class EngineClient {
public:
    // Control change with any controller except 64 (sustain) and 123 (all notes off);
    // controller and data are already masked to 7 bits. Controllers 96/97 included.
    virtual void midiControlChange(int controller, int data) = 0;
    // Program change, first data byte masked to 7 bits (numbers 8..127 included).
    virtual void midiProgramChange(int program) = 0;

protected:
    ~EngineClient() = default;
};

// Process-wide tables (sineTable, noteFrequency, bendFactor) with their instance counter.
// Building and releasing happen under one process-wide mutex.
bool acquireSharedTables(); // counter + 1; builds the tables on 0 -> 1. false: nothing changed
void releaseSharedTables(); // counter - 1; frees the tables on 1 -> 0
int sharedTableUsers(); // the instance counter (tests)
bool sharedTablesBuilt(); // tables allocated (tests)

// Polyphony requested by the Voices value v: trunc(31 v + 0.1) + 1, 1..32.
int voiceLimitFor(float v);

class Engine {
public:
    static constexpr int kEventCapacity = 16384;
    static constexpr int kPoolSize = 128;

    // Allocates the 128 voices and the event storage once. The shared tables must have
    // been acquired before. ok() tells whether everything was allocated.
    explicit Engine(EngineClient* client);
    ~Engine();
    Engine(const Engine&) = delete;
    Engine& operator=(const Engine&) = delete;
    bool ok() const;

    // Re-entrant lock held by each render segment and every operation that changes the
    // voice list, the pool or the delay lines.
    std::recursive_mutex engineLock;

    // false: rate not finite or outside 1000..768000 Hz, nothing changed.
    bool setSampleRate(float rate);
    float getSampleRate() const;
    bool hasSampleRate() const; // a valid rate was set; until then renders write silence
    void suspend();
    void resetModulators();
    void renormalizePhasors();
    void centrePitchBend(); // pitchBendFactor = bendFactor[64]

    // Parameter mappings; v is the normalized value (already kept inside 0..1).
    void setLevel(float v);
    void setAttack(float v);
    void setRelease(float v);
    void setBrightness(float v); // takes engineLock: sounding voices recompute feedback
    void setEnsembleSpeed(float v);
    void setEnsembleAmount(float v);
    void setEnsembleFeedback(float v);
    void setPhaserRate(float v);
    void setPhaserDepth(float v);
    void setPhaserFeedback(float v);
    void setReverbLength(float v);
    void setReverbMix(float v);
    bool setVoices(float v); // takes engineLock; rebuilds the pool with trunc(31v+0.1)+1
    bool rebuildPool(int limit); // takes engineLock; cuts all voices, limit 1..32
    int voiceLimit() const;

    // Pending events: a new host list replaces whatever is still pending.
    void clearEvents();
    // Copies one event; dropped when the storage is full.
    void appendEvent(int32_t type, int32_t deltaFrames, uint8_t status, uint8_t data1, uint8_t data2);
    int pendingEventCount() const;

    void process(float* left, float* right, int32_t frames); // adds
    void processReplacing(float* left, float* right, int32_t frames); // overwrites
    void processInterleaved16(int16_t* frames16, int32_t frames); // interleaved L/R

    // Extra queries for the instrument and tests.
    float getPitchBendFactor() const { return pitchBendFactor; }
    bool sustainPedalDown() const { return sustainPedal; }
    float getOutputLevel() const { return outputLevel; }
    float getAntiDenormal() const { return antiDenormal; }
    int32_t getTickInterval() const { return tickInterval; }
    bool hasPool() const { return poolBuilt; }
    int activeVoiceCount() const { return poolActive; } // taken from the pool, not yet returned
    int freeVoiceCount() const { return poolTop; }
    const Voice* firstVoice() const; // list head, most recent first
    const Voice* poolVoice(int index) const; // construction order, 0..127

    // Renders every segment with the plain loop (every voice and every effect stage one
    // sample at a time, the control ticks as segments of their own) instead of the
    // vectorised path (tests compare the two sample for sample).
    void setReferenceRendering(bool on) { referenceRendering = on; }
    // The vectorised voice sum uses eight voices per register (AVX2) when the processor
    // has it, else four (SSE2). Tests and benchmarks may forbid the wide lanes to run the
    // narrow ones on any processor.
    static bool processorHasWideLanes();
    void setWideLanesAllowed(bool allowed);
    bool wideLanesInUse() const { return wideLanes; }

private:
    friend class Voice;
    friend class StringVoice;

    struct Event {
        int32_t type;
        int32_t deltaFrames;
        uint8_t data[3];
    };
    template <OutputMode mode>
    void renderBlock(float* left, float* right, int16_t* frames16, int32_t n);
    template <OutputMode mode>
    void renderSegment(int32_t count, OutputCursor& out);
    template <OutputMode mode>
    void renderStretch(int32_t count, int32_t firstTick, OutputCursor& out);
    void sumVoicesReference(float* sums, int32_t count);
    void sumVoicesFast(float* sums, int32_t count);
    void runVoiceLanes(int voiceCount, int32_t count, float* sums);
    void runVoiceLanesWide(int voiceCount, int32_t count, float* sums);
    void loadLanes(int voiceCount, int laneCount);
    void storeLanes(int voiceCount, int32_t count);
    void handleEvent(const Event& e);
    void noteOn(uint8_t key, uint8_t velocity);
    void noteOffKey(uint8_t key);
    void allNotesOff();
    Voice* chooseVictim() const;
    void unlinkAndFree(Voice* v);
    void resetPool(int limit);

    EngineClient* client;
    Event* events = nullptr;
    int32_t pendingIndex = 0;
    int32_t pendingCount = 0;
    int32_t storedCount = 0;

    float pitchBendFactor = 1.0f;
    bool sustainPedal = false;
    float outputLevel = 1.0f;
    float leftGain = 0.5f;
    float rightGain = 0.5f;
    float sampleRate = 44100.0f;
    float halfInvSampleRate = 0.5f / 44100.0f;
    bool rateValid = false;
    float antiDenormal = 1e-24f;
    float attackTime = 0.201f;
    float releaseTime = 0.91f;
    float brightness = 0.46f;
    int32_t tickCountdown = 0;
    int32_t tickInterval = 0;

    Ensemble ensemble;
    Phaser phaser;
    Reverb reverb;

    // The pool: 128 voices allocated once, reinitialised in place by every rebuild.
    StringVoice* voices = nullptr;
    Voice* freeStack[kPoolSize] = {};
    int poolActive = 0;
    int poolLimit = 16;
    int poolTop = 0;
    bool poolBuilt = false;
    Voice* head = nullptr;

    bool referenceRendering = false;
    bool wideLanes = false; // AVX2 voice lanes (chosen at construction)
    VoiceLanes* lanes = nullptr; // fixed-size work area of the vectorised voice sum
};

// The 16-bit samples processInterleaved16 would store for these float frames: the
// nearest integers to (value x 32767.5 - 0.5) limited to -32767 .. 32767, interleaved
// L/R. Callers that need both forms render float once and convert here.
void interleavePcm16(const float* left, const float* right, int16_t* frames16, int32_t frames);

} // namespace vl
