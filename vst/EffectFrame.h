#pragma once
// The two-level base class between the VST 2 interface and the instrument.
//
// EffectFrame owns the AEffect record the host holds, turns dispatcher opcodes 0..24 into
// virtual operations, owns the editor and wraps the first-generation host callbacks.
// ExtendedEffectFrame adds opcodes 25..68 and the extended host callbacks.
//
// The host calls the static thunks stored in the record; they find the frame through the
// record's object field and never let an exception out.

#include <atomic>

#include "vst/VstAbi.h"

namespace vl {

class EditorBase;

class EffectFrame {
public:
    EffectFrame(audioMasterCallback hostCallback, VstInt32 numPrograms, VstInt32 numParams);
    EffectFrame(const EffectFrame&) = delete;
    EffectFrame& operator=(const EffectFrame&) = delete;

    // ---- Virtual operations, in slot order ----
    virtual ~EffectFrame(); // deletes the editor

    virtual void setParameter(VstInt32 index, float value);
    virtual float getParameter(VstInt32 index);
    // setParameter, then audioMasterAutomate (index, 0, null, value).
    virtual void setParameterAutomated(VstInt32 index, float value);

    virtual void process(float** inputs, float** outputs, VstInt32 sampleFrames) = 0;
    virtual void processReplacing(float** inputs, float** outputs, VstInt32 sampleFrames);

    // Opcodes 0..24; everything else answers 0.
    virtual VstIntPtr dispatcher(VstInt32 opcode, VstInt32 index, VstIntPtr value, void* ptr, float opt);

    virtual void open();
    virtual void close();

    virtual VstInt32 getProgram();
    virtual void setProgram(VstInt32 program);
    virtual void setProgramName(const char* name);
    virtual void getProgramName(char* name);

    virtual void getParameterLabel(VstInt32 index, char* label);
    virtual void getParameterDisplay(VstInt32 index, char* text);
    virtual void getParameterName(VstInt32 index, char* text);

    virtual float getVu();

    // *data receives the chunk address; answers its byte size.
    virtual VstInt32 getChunk(void** data, bool isPreset = false);
    // Answers 1 when loaded, 0 when refused.
    virtual VstInt32 setChunk(void* data, VstInt32 byteSize, bool isPreset = false);

    virtual void setSampleRate(float sampleRate);
    virtual void setBlockSize(VstInt32 blockSize);

    virtual void suspend();
    virtual void resume();

    virtual void setUniqueID(VstInt32 id);
    virtual void setNumInputs(VstInt32 inputs);
    virtual void setNumOutputs(VstInt32 outputs);

    virtual void hasVu(bool state = true);
    virtual void hasClip(bool state = true);
    virtual void canMono(bool state = true);
    virtual void canProcessReplacing(bool state = true);
    virtual void programsAreChunks(bool state = true);

    virtual void setRealtimeQualities(VstInt32 qualities);
    virtual void setOfflineQualities(VstInt32 qualities);
    virtual void setInitialDelay(VstInt32 delay);

    virtual float getSampleRate();
    virtual VstInt32 getBlockSize();

    // Host callbacks of the first generation; neutral answers without a host.
    virtual VstInt32 getMasterVersion(); // 1 when the host answers 0 or is absent
    virtual VstInt32 getCurrentUniqueId();
    virtual void masterIdle();
    virtual bool isInputConnected(VstInt32 input); // true when the host answers 0
    virtual bool isOutputConnected(VstInt32 output);

    // Text tools: at most 8 visible characters into text (which must hold 9 bytes).
    virtual void formatDecibels(float value, char* text);
    virtual void formatHertz(float samples, char* text);
    virtual void formatMilliseconds(float samples, char* text);
    virtual void formatFloat(float value, char* text);
    virtual void formatLong(VstInt32 value, char* text);

    // ---- Non-virtual ----

    // Stores the editor (not deleting any previous one) and sets effFlagsHasEditor when
    // an editor is given, clears it for null.
    void setEditor(EditorBase* newEditor);
    // Lets go of editor if it is the current one (called by the editor's destructor).
    void forgetEditor(EditorBase* oldEditor);

    // The record the host holds.
    AEffect* getAeffect() { return &effectRecord; }
    audioMasterCallback getHostCallback() const { return hostCallback; }

    // Entry functions stored in the record (the host's calling convention).
    static VstIntPtr VSTCALLBACK dispatchThunk(AEffect* effect, VstInt32 opcode, VstInt32 index, VstIntPtr value,
                                               void* ptr, float opt);
    static void VSTCALLBACK processThunk(AEffect* effect, float** inputs, float** outputs, VstInt32 sampleFrames);
    static void VSTCALLBACK processReplacingThunk(AEffect* effect, float** inputs, float** outputs,
                                                  VstInt32 sampleFrames);
    static void VSTCALLBACK setParameterThunk(AEffect* effect, VstInt32 index, float value);
    static float VSTCALLBACK getParameterThunk(AEffect* effect, VstInt32 index);

protected:
    // Sets or clears a bit of effectRecord.flags.
    void setFlag(VstInt32 flag, bool state);
    // Calls the host with this frame's record; 0 without a host.
    VstIntPtr callHost(VstInt32 opcode, VstInt32 index = 0, VstIntPtr value = 0, void* ptr = nullptr, float opt = 0.0f);

    float sampleRate;
    EditorBase* editor; // owned, may be null
    audioMasterCallback hostCallback; // may be null
    VstInt32 numPrograms;
    VstInt32 numParams;
    // Written by MIDI program changes on the audio thread, read by the panel and the host
    // on their own threads.
    std::atomic<VstInt32> curProgram;
    VstInt32 blockSize;
    AEffect effectRecord;
};

class ExtendedEffectFrame : public EffectFrame {
public:
    ExtendedEffectFrame(audioMasterCallback hostCallback, VstInt32 numPrograms, VstInt32 numParams);
    ~ExtendedEffectFrame() override;

    // Opcodes 25..68; everything else goes to EffectFrame::dispatcher.
    VstIntPtr dispatcher(VstInt32 opcode, VstInt32 index, VstIntPtr value, void* ptr, float opt) override;

    // ---- Appended virtual operations, in slot order ----
    virtual EditorBase* getEditor();
    virtual void wantEvents(VstInt32 filter = 1); // audioMasterWantMidi
    virtual VstTimeInfo* getTimeInfo(VstInt32 filter); // audioMasterGetTime
    virtual VstInt32 tempoAt(VstInt32 pos);
    virtual VstInt32 processEvents(VstEvents* events);
    virtual VstInt32 getNumAutomatableParameters();
    virtual VstInt32 getParameterQuantization();
    virtual bool canParameterBeAutomated(VstInt32 index);
    virtual bool string2parameter(VstInt32 index, const char* text);
    virtual float getChannelParameter(VstInt32 channel, VstInt32 index);
    virtual VstInt32 getNumCategories();
    virtual bool getProgramNameIndexed(VstInt32 category, VstInt32 index, char* text);
    virtual bool copyProgram(VstInt32 destination);
    virtual bool ioChanged();
    virtual bool needIdle();
    virtual bool sizeWindow(VstInt32 width, VstInt32 height);
    virtual float updateSampleRate(); // asks the host, answers sampleRate
    virtual VstInt32 updateBlockSize(); // asks the host, answers blockSize
    virtual VstInt32 getInputLatency();
    virtual VstInt32 getOutputLatency();
    virtual AEffect* getPreviousPlug(VstInt32 input);
    virtual AEffect* getNextPlug(VstInt32 output);
    virtual void inputConnected(VstInt32 index, bool state);
    virtual void outputConnected(VstInt32 index, bool state);
    virtual bool getInputProperties(VstInt32 index, VstPinProperties* properties);
    virtual bool getOutputProperties(VstInt32 index, VstPinProperties* properties);
    virtual VstInt32 getPlugCategory();
    virtual VstInt32 willProcessReplacing();
    virtual VstInt32 getCurrentProcessLevel();
    virtual VstInt32 getAutomationState();
    virtual void wantAsyncOperation(bool state = true);
    virtual void hasExternalBuffer(bool state = true);
    virtual VstInt32 reportCurrentPosition();
    virtual float* reportDestinationBuffer();
    virtual bool offlineRead(VstOfflineTask* offline, VstInt32 option, bool readSource = true);
    virtual bool offlineWrite(VstOfflineTask* offline, VstInt32 option);
    virtual bool offlineStart(VstAudioFile* files, VstInt32 numAudioFiles, VstInt32 numNewAudioFiles);
    virtual VstInt32 offlineGetCurrentPass();
    virtual VstInt32 offlineGetCurrentMetaPass();
    virtual bool offlineNotify(VstAudioFile* files, VstInt32 numAudioFiles, bool start);
    virtual bool offlinePrepare(VstOfflineTask* offline, VstInt32 count);
    virtual bool offlineRun(VstOfflineTask* offline, VstInt32 count);
    virtual VstInt32 offlineGetNumPasses();
    virtual VstInt32 offlineGetNumMetaPasses();
    virtual void setOutputSamplerate(float samplerate);
    virtual bool getSpeakerArrangement(VstSpeakerArrangement* pluginInput, VstSpeakerArrangement* pluginOutput);
    virtual bool getHostVendorString(char* text);
    virtual bool getHostProductString(char* text);
    virtual VstInt32 getHostVendorVersion();
    virtual VstIntPtr hostVendorSpecific(VstInt32 arg1, VstIntPtr arg2, void* ptr, float opt);
    virtual VstInt32 canHostDo(const char* text); // 1 only for a positive host answer
    virtual void isSynth(bool state = true);
    virtual void noTail(bool state = true);
    virtual VstInt32 getHostLanguage();
    virtual void* openWindow(VstWindow* window);
    virtual bool closeWindow(VstWindow* window);
    virtual void* getDirectory();
    virtual bool updateDisplay();
    virtual bool processVariableIo(VstVariableIo* varIo);
    virtual bool setSpeakerArrangement(VstSpeakerArrangement* pluginInput, VstSpeakerArrangement* pluginOutput);
    virtual void setBlockSizeAndSampleRate(VstInt32 blockSize, float sampleRate);
    virtual bool setBypass(bool onOff);
    virtual bool getEffectName(char* name);
    virtual bool getErrorText(char* text);
    virtual bool getVendorString(char* text);
    virtual bool getProductString(char* text);
    virtual VstInt32 getVendorVersion();
    virtual VstIntPtr vendorSpecific(VstInt32 arg1, VstIntPtr arg2, void* ptr, float opt);
    virtual VstInt32 canDo(const char* text); // 1 yes, -1 no, 0 undecided
    virtual void* getIcon();
    virtual bool setViewPosition(VstInt32 x, VstInt32 y);
    virtual VstInt32 getTailSize();
    virtual VstInt32 effectIdle();
    virtual bool getParameterProperties(VstInt32 index, VstParameterProperties* properties);
    virtual bool keysRequired(); // true = keys needed; effKeysRequired answers the inverse
    virtual VstInt32 getVstVersion();
    virtual VstInt32 getMidiProgramName(VstInt32 channel, MidiProgramName* name);
    virtual VstInt32 getCurrentMidiProgram(VstInt32 channel, MidiProgramName* current);
    virtual VstInt32 getMidiProgramCategory(VstInt32 channel, MidiProgramCategory* category);
    virtual bool hasMidiProgramsChanged(VstInt32 channel);
    virtual bool getMidiKeyName(VstInt32 channel, MidiKeyName* keyName);
    virtual bool beginSetProgram();
    virtual bool endSetProgram();
    virtual bool beginEdit(VstInt32 index);
    virtual bool endEdit(VstInt32 index);
    virtual bool openFileSelector(VstFileSelect* selection);

    // ---- Non-virtual ----
    bool closeFileSelector(VstFileSelect* selection);
};

} // namespace vl
