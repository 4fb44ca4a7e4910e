#pragma once
// Public face of the synthesis engine. The instrument owns one Engine and drives it
// through these calls; the engine knows nothing of VST, windows or files.
//
// NOTE: this header fixes the interface the instrument is written against. The engine
// implementation may add private members and helpers freely, but keep these calls.
#include <cstdint>
#include <mutex>

#include "Ensemble.h"
#include "Phaser.h"
#include "Reverb.h"

namespace vl {

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
bool acquireSharedTables();   // counter + 1; builds the tables on 0 -> 1. false: nothing changed
void releaseSharedTables();   // counter - 1; frees the tables on 1 -> 0
int sharedTableUsers();       // the instance counter (tests)
bool sharedTablesBuilt();     // tables allocated (tests)

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
    bool hasSampleRate() const;   // a valid rate was set; until then renders write silence
    void suspend();
    void resetModulators();
    void renormalizePhasors();
    void centrePitchBend();       // pitchBendFactor = bendFactor[64]

    // Parameter mappings; v is the normalized value (already kept inside 0..1).
    void setLevel(float v);
    void setAttack(float v);
    void setRelease(float v);
    void setBrightness(float v);  // takes engineLock: sounding voices recompute feedback
    void setEnsembleSpeed(float v);
    void setEnsembleAmount(float v);
    void setEnsembleFeedback(float v);
    void setPhaserRate(float v);
    void setPhaserDepth(float v);
    void setPhaserFeedback(float v);
    void setReverbLength(float v);
    void setReverbMix(float v);
    bool setVoices(float v);      // takes engineLock; rebuilds the pool with trunc(31v+0.1)+1
    bool rebuildPool(int limit);  // takes engineLock; cuts all voices, limit 1..32
    int voiceLimit() const;

    // Pending events: a new host list replaces whatever is still pending.
    void clearEvents();
    // Copies one event; dropped when the storage is full.
    void appendEvent(int32_t type, int32_t deltaFrames, uint8_t status, uint8_t data1, uint8_t data2);
    int pendingEventCount() const;

    void process(float* left, float* right, int32_t frames);          // adds
    void processReplacing(float* left, float* right, int32_t frames); // overwrites
    void processInterleaved16(int16_t* frames16, int32_t frames);     // interleaved L/R

    // ... implementation members follow (private)
};

} // namespace vl
