#pragma once
// The plug-in instrument: parameters, programs, chunks and the engine, behind the
// extended effect frame. The standalone program derives from it.
#include <cstdint>
#include <optional>

#include "engine/Engine.h"
#include "instrument/ErrorReport.h"
#include "instrument/Parameters.h"
#include "instrument/Program.h"
#include "vst/EffectFrame.h"

namespace vl {

class InstrumentEditor;

class Instrument : public ExtendedEffectFrame, private EngineClient {
public:
    explicit Instrument(audioMasterCallback hostCallback);
    ~Instrument() override;

    Instrument(const Instrument&) = delete;
    Instrument& operator=(const Instrument&) = delete;

    // Parameters. Values are kept inside 0..1 (NaN becomes 0) before they are applied.
    void setParameter(VstInt32 index, float value) override;
    float getParameter(VstInt32 index) override;

    void process(float** inputs, float** outputs, VstInt32 sampleFrames) override;
    void processReplacing(float** inputs, float** outputs, VstInt32 sampleFrames) override;

    // Programs.
    void setProgram(VstInt32 program) override;
    void setProgramName(const char* name) override;
    void getProgramName(char* name) override;
    void getParameterLabel(VstInt32 index, char* label) override;
    void getParameterDisplay(VstInt32 index, char* text) override;
    void getParameterName(VstInt32 index, char* text) override;

    // Chunks: 88-byte program chunk, 652-byte bank chunk.
    VstInt32 getChunk(void** data, bool isPreset) override;
    VstInt32 setChunk(void* data, VstInt32 byteSize, bool isPreset) override;

    // Invalid rates (not finite, outside 1000..768000 Hz) are ignored.
    void setSampleRate(float sampleRate) override;
    void suspend() override;
    void resume() override;

    VstInt32 processEvents(VstEvents* events) override;
    bool getProgramNameIndexed(VstInt32 category, VstInt32 index, char* text) override;
    bool copyProgram(VstInt32 destination) override;
    bool getOutputProperties(VstInt32 index, VstPinProperties* properties) override;
    bool updateDisplay() override;
    void setBlockSizeAndSampleRate(VstInt32 blockSize, float sampleRate) override;
    bool getEffectName(char* name) override;
    bool getVendorString(char* text) override;
    bool getProductString(char* text) override;
    VstInt32 getVendorVersion() override;
    VstInt32 canDo(const char* text) override;
    bool getParameterProperties(VstInt32 index, VstParameterProperties* properties) override;
    bool keysRequired() override;

    // Called by the editor panel after every control change; nothing to do here.
    virtual void panelControlChanged(int tag, float value);

    // Render call of the standalone program: interleaved 16-bit stereo frames.
    void processInterleaved16(std::int16_t* frames, std::int32_t sampleFrames);

    // MIDI controller paths of the parameters.
    void setParameterFromController(int index, int data);
    void stepParameterUp(int index);
    void stepParameterDown(int index);

    // Copies the edit buffer into slot index (0..7, others are ignored) and selects it.
    void storeProgram(int index);

    // Polyphony of the current voice pool (0 while no engine exists).
    int voiceLimit() const;
    // The same, read under engineLock (any thread).
    int currentVoiceLimit();
    // The engine could be built (false after a failed construction).
    bool engineReady() const { return engine.has_value(); }

    // Parameter mappings, referenced by parameterTable; value inside 0..1.
    void applyLevel(float v);
    void applyAttackTime(float v);
    void applyReleaseTime(float v);
    void applyBrightness(float v);
    void applyEnsembleSpeed(float v);
    void applyEnsembleAmount(float v);
    void applyEnsembleFeedback(float v);
    void applyPhaserRate(float v);
    void applyPhaserDepth(float v);
    void applyPhaserFeedback(float v);
    void applyReverbLength(float v);
    void applyReverbMix(float v);
    void applyVoices(float v);

    // True once the instance is fully built, its editor panel included, and usable (set by
    // the constructor); the entry point refuses the instance otherwise.
    bool editorReady = false;

    // The editor panel (owned by the frame; null when it could not be made or in programs
    // linked without it: vl_instrument_core).
    InstrumentEditor* getPanel() const { return panel; }

    // Patch (.fxp) and bank (.fxb) files, chosen through the host's file selector or the
    // system dialog owned by ownerWindow (the panel's native window). True when a file
    // was loaded or saved; every failure is shown through showError.
    bool loadBank(void* ownerWindow);
    bool saveBank(void* ownerWindow);
    bool loadPatch(void* ownerWindow);
    bool savePatch(void* ownerWindow);

protected:
    ProgramChunk programChunk;
    BankChunk bankChunk;
    Program editProgram;
    Program programBank[kNumPrograms];

private:
    void midiControlChange(int controller, int data) override;
    void midiProgramChange(int program) override;

    float storedValue(int index) const;
    void storeValue(int index, float value);

    // Holds engineLock while an engine exists.
    class Guard;

    bool tablesAcquired = false;
    std::optional<Engine> engine;
    InstrumentEditor* panel = nullptr;
};

} // namespace vl
