#include "instrument/Instrument.h"

#include "instrument/PanelLink.h"

#include <atomic>
#include <cstdio>
#include <cstring>
#include <mutex>

namespace vl {

namespace {

constexpr const char* kEffectName = "Velmor Loom";
constexpr const char* kVendorName = "Tarlowe";
constexpr const char* kProductName = "Velmor Loom";
constexpr float kControllerScale = 0.007874016f; // 1/127 as a float
constexpr VstInt32 kPinFlags = kVstPinIsActive | kVstPinIsStereo;

bool validParameter(VstInt32 index) { return index >= 0 && index < kNumParameters; }
bool validProgram(VstInt32 index) { return index >= 0 && index < kNumPrograms; }

// Copies at most maxChars characters of a NUL-terminated text read within a 28-byte
// field, and a NUL.
void copyName(char* out, const char* field, std::size_t maxChars) {
    std::size_t length = 0;
    while (length < maxChars && length < kProgramNameSize && field[length] != '\0') ++length;
    std::memcpy(out, field, length);
    out[length] = '\0';
}

} // namespace

// Holds engineLock for its scope while an engine exists; an instance whose construction
// failed has no engine, renders nothing and needs no lock.
class Instrument::Guard {
public:
    explicit Guard(Instrument& instrument) : lock(instrument.engine ? &instrument.engine->engineLock : nullptr) {
        if (lock) lock->lock();
    }
    ~Guard() {
        if (lock) lock->unlock();
    }
    Guard(const Guard&) = delete;
    Guard& operator=(const Guard&) = delete;

private:
    std::recursive_mutex* lock;
};

Instrument::Instrument(audioMasterCallback hostCallback)
    : ExtendedEffectFrame(hostCallback, kNumPrograms, kNumParameters) {
    programChunk.id = kChunkId;
    programChunk.version = kChunkVersion;
    programChunk.program = freshProgram();
    bankChunk.id = kChunkId;
    bankChunk.version = kChunkVersion;
    for (int i = 0; i < kNumPrograms; ++i) bankChunk.programs[i] = factoryPrograms[i];
    bankChunk.current = 0;
    editProgram = freshProgram();
    for (int i = 0; i < kNumPrograms; ++i) programBank[i] = factoryPrograms[i];

    // Shared tables first (the first instance builds them), then this instance's engine.
    // A failure here leaves the instance without an engine: it renders silence and is
    // refused by the entry point, and the destructor releases only what was taken.
    if (!acquireSharedTables()) {
        showError(ErrorCode::outOfMemory);
        return;
    }
    tablesAcquired = true;
    engine.emplace(static_cast<EngineClient*>(this));
    if (!engine->ok()) {
        engine.reset();
        releaseSharedTables();
        tablesAcquired = false;
        showError(ErrorCode::outOfMemory);
        return;
    }

    if (hostCallback) {
        setNumInputs(0);
        setNumOutputs(2);
        canProcessReplacing(true);
        programsAreChunks(true);
        hasClip(false);
        isSynth(true);
        setUniqueID(kChunkId);
        engine->centrePitchBend();
        setSampleRate(44100.0f);
        setProgram(0);
    }
    engine->suspend();
    // The panel registers itself as the frame's editor (effFlagsHasEditor). Without all
    // its pictures it is not ready and the instance is refused.
    editorReady = panellink::create(*this, panel);
    engine->suspend();
}

Instrument::~Instrument() {
    // The panel goes first: closing it may still reach this instrument (a name being
    // edited is committed), which must then be whole.
    if (panel) {
        panellink::destroy(panel);
        panel = nullptr;
    }
    engine.reset();
    if (tablesAcquired) releaseSharedTables();
}

// ---- Parameters -------------------------------------------------------------------

float Instrument::storedValue(int index) const {
    // Read without the lock (hosts ask from any thread); writers hold engineLock.
    return std::atomic_ref<const float>(editProgram.values[index]).load(std::memory_order_relaxed);
}

void Instrument::storeValue(int index, float value) {
    std::atomic_ref<float>(editProgram.values[index]).store(value, std::memory_order_relaxed);
}

void Instrument::setParameter(VstInt32 index, float value) {
    if (validParameter(index)) {
        value = clampParameter(value);
        Guard guard(*this);
        (this->*parameterTable[index].applyParameter)(value);
        storeValue(index, value);
    }
    // The knob and its display follow (from any thread; the panel stores the value). Other
    // tags reach the panel's other controls (the standalone program's record switch); the
    // panel ignores tags it has no control for.
    if (panel) panellink::setParameter(panel, index, value);
}

float Instrument::getParameter(VstInt32 index) {
    if (!validParameter(index)) return 0.0f;
    return storedValue(index);
}

void Instrument::getParameterName(VstInt32 index, char* text) {
    if (!text) return;
    if (!validParameter(index)) {
        text[0] = '\0';
        return;
    }
    std::strcpy(text, parameterTable[index].name);
}

void Instrument::getParameterLabel(VstInt32 index, char* label) {
    if (!label) return;
    if (!validParameter(index)) {
        label[0] = '\0';
        return;
    }
    std::strcpy(label, parameterTable[index].label);
}

void Instrument::getParameterDisplay(VstInt32 index, char* text) {
    if (!text) return;
    text[0] = '\0';
    if (!validParameter(index)) return;
    parameterTable[index].formatValue(getParameter(index), text);
}

void Instrument::setParameterFromController(int index, int data) {
    setParameter(index, static_cast<float>(data & 0xFF) * kControllerScale);
}

void Instrument::stepParameterUp(int index) {
    if (!validParameter(index)) return;
    Guard guard(*this);
    const float current = storedValue(index);
    float next = current + parameterTable[index].step;
    if (next > 1.0f) next = 1.0f;
    if (next != current) setParameter(index, next);
}

void Instrument::stepParameterDown(int index) {
    if (!validParameter(index)) return;
    Guard guard(*this);
    const float current = storedValue(index);
    float next = current - parameterTable[index].step;
    if (next < 0.0f) next = 0.0f;
    if (next != current) setParameter(index, next);
}

bool Instrument::getParameterProperties(VstInt32, VstParameterProperties*) { return false; }

void Instrument::applyLevel(float v) {
    if (engine) engine->setLevel(v);
}
void Instrument::applyAttackTime(float v) {
    if (engine) engine->setAttack(v);
}
void Instrument::applyReleaseTime(float v) {
    if (engine) engine->setRelease(v);
}
void Instrument::applyBrightness(float v) {
    if (engine) engine->setBrightness(v);
}
void Instrument::applyEnsembleSpeed(float v) {
    if (engine) engine->setEnsembleSpeed(v);
}
void Instrument::applyEnsembleAmount(float v) {
    if (engine) engine->setEnsembleAmount(v);
}
void Instrument::applyEnsembleFeedback(float v) {
    if (engine) engine->setEnsembleFeedback(v);
}
void Instrument::applyPhaserRate(float v) {
    if (engine) engine->setPhaserRate(v);
}
void Instrument::applyPhaserDepth(float v) {
    if (engine) engine->setPhaserDepth(v);
}
void Instrument::applyPhaserFeedback(float v) {
    if (engine) engine->setPhaserFeedback(v);
}
void Instrument::applyReverbLength(float v) {
    if (engine) engine->setReverbLength(v);
}
void Instrument::applyReverbMix(float v) {
    if (engine) engine->setReverbMix(v);
}
void Instrument::applyVoices(float v) {
    // A pool that cannot be rebuilt leaves no voices; the Voices change fails silently.
    if (engine) engine->setVoices(v);
}

int Instrument::voiceLimit() const { return engine ? engine->voiceLimit() : 0; }

int Instrument::currentVoiceLimit() {
    Guard guard(*this);
    return voiceLimit();
}

// ---- MIDI ---------------------------------------------------------------------------

void Instrument::midiControlChange(int controller, int data) {
    controller &= 0x7F;
    data &= 0x7F;
    if (controller == 96 || controller == 97) {
        const std::uint8_t index = controllerMap[data];
        if (index == kNoParameter) return;
        if (controller == 96) stepParameterUp(index);
        else stepParameterDown(index);
        return;
    }
    const std::uint8_t index = controllerMap[controller];
    if (index != kNoParameter) setParameterFromController(index, data);
}

void Instrument::midiProgramChange(int program) { setProgram(program & 0x7F); }

// ---- Programs -----------------------------------------------------------------------

void Instrument::setProgram(VstInt32 program) {
    if (!validProgram(program) || !engine) return;
    {
        Guard guard(*this);
        engine->resetModulators();
        if (engine->rebuildPool(16)) {
            ExtendedEffectFrame::setProgram(program);
            const Program& source = programBank[program];
            for (int i = 0; i < kNumParameters; ++i) setParameter(i, source.values[i]);
            setProgramName(source.name);
        } else {
            showError(ErrorCode::outOfMemory);
        }
        engine->renormalizePhasors();
    }
    updateDisplay();
}

void Instrument::setProgramName(const char* name) {
    if (!name) return;
    char shown[kProgramNameSize];
    {
        Guard guard(*this);
        copyProgramName(editProgram.name, name);
        std::memcpy(shown, editProgram.name, sizeof shown);
    }
    shown[kProgramNameSize - 1] = '\0';
    if (panel) panellink::showProgram(panel, shown);
    updateDisplay();
}

void Instrument::getProgramName(char* name) {
    if (!name) return;
    Guard guard(*this);
    copyName(name, editProgram.name, kHostProgramNameMax);
}

bool Instrument::getProgramNameIndexed(VstInt32, VstInt32 index, char* text) {
    if (!validProgram(index) || !text) return false;
    Guard guard(*this);
    copyName(text, programBank[index].name, kHostProgramNameMax);
    return true;
}

bool Instrument::copyProgram(VstInt32 destination) {
    if (!validProgram(destination)) return false;
    Guard guard(*this);
    programBank[destination] = editProgram;
    return true;
}

void Instrument::storeProgram(int index) {
    if (!validProgram(index)) return;
    Guard guard(*this);
    programBank[index] = editProgram;
    setProgram(index);
}

// ---- Chunks ---------------------------------------------------------------------------

VstInt32 Instrument::getChunk(void** data, bool isPreset) {
    if (!data) return 0;
    Guard guard(*this);
    storeProgram(getProgram());
    if (isPreset) {
        programChunk.program = editProgram;
        *data = &programChunk;
        return static_cast<VstInt32>(sizeof(ProgramChunk));
    }
    for (int i = 0; i < kNumPrograms; ++i) bankChunk.programs[i] = programBank[i];
    bankChunk.current = getProgram();
    *data = &bankChunk;
    return static_cast<VstInt32>(sizeof(BankChunk));
}

VstInt32 Instrument::setChunk(void* data, VstInt32 byteSize, bool isPreset) {
    // The size is checked before anything is read, so a short buffer is never touched.
    const VstInt32 expected = isPreset ? static_cast<VstInt32>(sizeof(ProgramChunk))
                                       : static_cast<VstInt32>(sizeof(BankChunk));
    if (!data || byteSize != expected) {
        showError(ErrorCode::invalidFormat);
        return 0;
    }
    const auto* bytes = static_cast<const unsigned char*>(data);
    std::int32_t id;
    std::uint32_t version;
    std::memcpy(&id, bytes, sizeof id);
    std::memcpy(&version, bytes + 4, sizeof version);
    if (id != kChunkId) {
        showError(ErrorCode::invalidFormat);
        return 0;
    }
    if (version > kChunkVersion) {
        showError(ErrorCode::newerVersion);
        return 0;
    }
    Guard guard(*this);
    if (isPreset) {
        Program program;
        std::memcpy(&program, bytes + offsetof(ProgramChunk, program), sizeof program);
        sanitizeProgram(program);
        const VstInt32 current = getProgram();
        if (validProgram(current)) {
            programBank[current] = program;
            setProgram(current);
        }
        return 1;
    }
    for (int i = 0; i < kNumPrograms; ++i) {
        Program program;
        std::memcpy(&program, bytes + offsetof(BankChunk, programs) + i * sizeof(Program), sizeof program);
        sanitizeProgram(program);
        programBank[i] = program;
    }
    std::int32_t current;
    std::memcpy(&current, bytes + offsetof(BankChunk, current), sizeof current);
    setProgram(current);
    return 1;
}

// ---- Rendering and host plumbing ---------------------------------------------------------

void Instrument::setSampleRate(float sampleRate) {
    if (!engine) return;
    if (engine->setSampleRate(sampleRate)) ExtendedEffectFrame::setSampleRate(sampleRate);
}

void Instrument::setBlockSizeAndSampleRate(VstInt32 blockSize, float sampleRate) {
    setBlockSize(blockSize);
    setSampleRate(sampleRate);
}

void Instrument::suspend() {
    if (engine) engine->suspend();
}

void Instrument::resume() { wantEvents(1); }

VstInt32 Instrument::processEvents(VstEvents* events) {
    if (!engine) return 1;
    // Hosts call this on the audio thread, but the copy must never overlap a render
    // segment that reads the pending events, whichever thread it comes from.
    Guard guard(*this);
    engine->clearEvents();
    if (!events) return 1;
    for (VstInt32 i = 0; i < events->numEvents; ++i) {
        const VstEvent* event = events->events[i];
        if (!event) continue;
        if (event->type == kVstMidiType) {
            const auto* midi = reinterpret_cast<const VstMidiEvent*>(event);
            engine->appendEvent(midi->type, midi->deltaFrames, static_cast<std::uint8_t>(midi->midiData[0]),
                                static_cast<std::uint8_t>(midi->midiData[1]),
                                static_cast<std::uint8_t>(midi->midiData[2]));
        } else {
            engine->appendEvent(event->type, event->deltaFrames, 0, 0, 0);
        }
    }
    return 1;
}

// A call with 0 frames still reaches the engine: it renders nothing but flips the sign of
// the anti-denormal offset, exactly as a call with frames does at its end.
void Instrument::process(float**, float** outputs, VstInt32 sampleFrames) {
    if (sampleFrames == 0) {
        if (engine) engine->process(nullptr, nullptr, 0);
        return;
    }
    if (!outputs || !outputs[0] || !outputs[1] || sampleFrames < 0) return;
    if (engine) engine->process(outputs[0], outputs[1], sampleFrames);
}

void Instrument::processReplacing(float**, float** outputs, VstInt32 sampleFrames) {
    if (sampleFrames == 0) {
        if (engine) engine->processReplacing(nullptr, nullptr, 0);
        return;
    }
    if (!outputs || !outputs[0] || !outputs[1] || sampleFrames < 0) return;
    if (engine) {
        engine->processReplacing(outputs[0], outputs[1], sampleFrames);
        return;
    }
    std::memset(outputs[0], 0, sizeof(float) * static_cast<std::size_t>(sampleFrames));
    std::memset(outputs[1], 0, sizeof(float) * static_cast<std::size_t>(sampleFrames));
}

void Instrument::processInterleaved16(std::int16_t* frames, std::int32_t sampleFrames) {
    if (sampleFrames == 0) {
        if (engine) engine->processInterleaved16(nullptr, 0);
        return;
    }
    if (!frames || sampleFrames < 0) return;
    if (engine) {
        engine->processInterleaved16(frames, sampleFrames);
        return;
    }
    std::memset(frames, 0, sizeof(std::int16_t) * 2 * static_cast<std::size_t>(sampleFrames));
}

bool Instrument::getOutputProperties(VstInt32 index, VstPinProperties* properties) {
    if (index < 0 || index > 1 || !properties) return false;
    std::snprintf(properties->label, sizeof properties->label, "VLMR%1d", static_cast<int>(index + 1));
    properties->flags = kPinFlags;
    return true;
}

bool Instrument::updateDisplay() {
    ExtendedEffectFrame::updateDisplay();
    return true;
}

bool Instrument::getEffectName(char* name) {
    if (!name) return false;
    std::strcpy(name, kEffectName);
    return true;
}

bool Instrument::getVendorString(char* text) {
    if (!text) return false;
    std::strcpy(text, kVendorName);
    return true;
}

bool Instrument::getProductString(char* text) {
    if (!text) return false;
    std::strcpy(text, kProductName);
    return true;
}

VstInt32 Instrument::getVendorVersion() { return 1; }

VstInt32 Instrument::canDo(const char* text) {
    if (!text) return -1;
    if (std::strcmp(text, "receiveVstEvents") == 0 || std::strcmp(text, "receiveVstMidiEvent") == 0) return 1;
    return -1;
}

bool Instrument::keysRequired() { return true; }

void Instrument::panelControlChanged(int, float) {}

} // namespace vl
