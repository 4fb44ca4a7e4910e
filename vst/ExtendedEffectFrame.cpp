#include <cmath>
#include <cstdint>

#include "vst/EditorBase.h"
#include "vst/EffectFrame.h"

namespace vl {

namespace {

// Dispatcher answer of a boolean operation.
VstIntPtr answer(bool state) { return state ? 1 : 0; }

// Truncation toward zero of a float argument; 0 where no 32-bit integer can hold it.
VstInt32 truncateToInt(float value) {
    if (!(value > -2147483649.0f && value < 2147483648.0f)) return 0;
    return static_cast<VstInt32>(value);
}

VstInt32 saturate32(VstIntPtr value) {
    if (value > INT32_MAX) return INT32_MAX;
    if (value < INT32_MIN) return INT32_MIN;
    return static_cast<VstInt32>(value);
}

} // namespace

ExtendedEffectFrame::ExtendedEffectFrame(audioMasterCallback hostCallback, VstInt32 numPrograms, VstInt32 numParams)
    : EffectFrame(hostCallback, numPrograms, numParams) {}

ExtendedEffectFrame::~ExtendedEffectFrame() = default;

// ---- Dispatcher, opcodes 25..68 ----

VstIntPtr ExtendedEffectFrame::dispatcher(VstInt32 opcode, VstInt32 index, VstIntPtr value, void* ptr, float opt) {
    char* text = static_cast<char*>(ptr);
    switch (opcode) {
    case effProcessEvents:
        return ptr ? processEvents(static_cast<VstEvents*>(ptr)) : 0;
    case effCanBeAutomated:
        return answer(canParameterBeAutomated(index));
    case effString2Parameter:
        return answer(text && string2parameter(index, text));
    case effGetNumProgramCategories:
        return getNumCategories();
    case effGetProgramNameIndexed:
        return answer(text && getProgramNameIndexed(saturate32(value), index, text));
    case effCopyProgram:
        return answer(copyProgram(index));
    case effConnectInput:
        inputConnected(index, value != 0);
        return 1;
    case effConnectOutput:
        outputConnected(index, value != 0);
        return 1;
    case effGetInputProperties:
        return answer(ptr && getInputProperties(index, static_cast<VstPinProperties*>(ptr)));
    case effGetOutputProperties:
        return answer(ptr && getOutputProperties(index, static_cast<VstPinProperties*>(ptr)));
    case effGetPlugCategory:
        return getPlugCategory();
    case effGetCurrentPosition:
        return reportCurrentPosition();
    case effGetDestinationBuffer:
        return reinterpret_cast<VstIntPtr>(reportDestinationBuffer());
    case effOfflineNotify:
        return answer(offlineNotify(static_cast<VstAudioFile*>(ptr), saturate32(value), index != 0));
    case effOfflinePrepare:
        return answer(offlinePrepare(static_cast<VstOfflineTask*>(ptr), saturate32(value)));
    case effOfflineRun:
        return answer(offlineRun(static_cast<VstOfflineTask*>(ptr), saturate32(value)));
    case effProcessVarIo:
        return answer(processVariableIo(static_cast<VstVariableIo*>(ptr)));
    case effSetSpeakerArrangement:
        return answer(setSpeakerArrangement(reinterpret_cast<VstSpeakerArrangement*>(value),
                                            static_cast<VstSpeakerArrangement*>(ptr)));
    case effSetBlockSizeAndSampleRate:
        setBlockSizeAndSampleRate(saturate32(value), opt);
        return 1;
    case effSetBypass:
        return answer(setBypass(value != 0));
    case effGetEffectName:
        return answer(text && getEffectName(text));
    case effGetErrorText:
        return answer(text && getErrorText(text));
    case effGetVendorString:
        return answer(text && getVendorString(text));
    case effGetProductString:
        return answer(text && getProductString(text));
    case effGetVendorVersion:
        return getVendorVersion();
    case effVendorSpecific:
        return vendorSpecific(index, value, ptr, opt);
    case effCanDo:
        return text ? canDo(text) : 0;
    case effGetTailSize:
        return getTailSize();
    case effIdle:
        return effectIdle();
    case effGetIcon:
        return reinterpret_cast<VstIntPtr>(getIcon());
    case effSetViewPosition:
        return answer(setViewPosition(index, saturate32(value)));
    case effGetParameterProperties:
        return answer(getParameterProperties(index, static_cast<VstParameterProperties*>(ptr)));
    case effKeysRequired:
        return keysRequired() ? 0 : 1; // 1 = the plug-in does not need keys
    case effGetVstVersion:
        return getVstVersion();
    case effEditKeyDown:
    case effEditKeyUp: {
        if (!editor) return 0;
        VstKeyCode key{};
        key.character = index;
        key.virt = static_cast<unsigned char>(value & 0xFF);
        key.modifier = static_cast<unsigned char>(truncateToInt(opt) & 0xFF);
        return opcode == effEditKeyDown ? editor->onKeyDown(key) : editor->onKeyUp(key);
    }
    case effSetEditKnobMode:
        return editor ? editor->setKnobMode(saturate32(value)) : 0;
    case effGetMidiProgramName:
        return getMidiProgramName(index, static_cast<MidiProgramName*>(ptr));
    case effGetCurrentMidiProgram:
        return getCurrentMidiProgram(index, static_cast<MidiProgramName*>(ptr));
    case effGetMidiProgramCategory:
        return getMidiProgramCategory(index, static_cast<MidiProgramCategory*>(ptr));
    case effHasMidiProgramsChanged:
        return answer(hasMidiProgramsChanged(index));
    case effGetMidiKeyName:
        return answer(getMidiKeyName(index, static_cast<MidiKeyName*>(ptr)));
    case effBeginSetProgram:
        return answer(beginSetProgram());
    case effEndSetProgram:
        return answer(endSetProgram());
    default:
        return EffectFrame::dispatcher(opcode, index, value, ptr, opt);
    }
}

// ---- Defaults of the extended operations ----

EditorBase* ExtendedEffectFrame::getEditor() { return editor; }

VstInt32 ExtendedEffectFrame::processEvents(VstEvents*) { return 0; }
bool ExtendedEffectFrame::canParameterBeAutomated(VstInt32) { return true; }
bool ExtendedEffectFrame::string2parameter(VstInt32, const char*) { return false; }
float ExtendedEffectFrame::getChannelParameter(VstInt32, VstInt32) { return 0.0f; }
VstInt32 ExtendedEffectFrame::getNumCategories() { return 1; }
bool ExtendedEffectFrame::getProgramNameIndexed(VstInt32, VstInt32, char*) { return false; }
bool ExtendedEffectFrame::copyProgram(VstInt32) { return false; }
void ExtendedEffectFrame::inputConnected(VstInt32, bool) {}
void ExtendedEffectFrame::outputConnected(VstInt32, bool) {}
bool ExtendedEffectFrame::getInputProperties(VstInt32, VstPinProperties*) { return false; }
bool ExtendedEffectFrame::getOutputProperties(VstInt32, VstPinProperties*) { return false; }

VstInt32 ExtendedEffectFrame::getPlugCategory() {
    return (effectRecord.flags & effFlagsIsSynth) ? kPlugCategSynth : kPlugCategUnknown;
}

void ExtendedEffectFrame::wantAsyncOperation(bool state) { setFlag(effFlagsExtIsAsync, state); }
void ExtendedEffectFrame::hasExternalBuffer(bool state) { setFlag(effFlagsExtHasBuffer, state); }
VstInt32 ExtendedEffectFrame::reportCurrentPosition() { return 0; }
float* ExtendedEffectFrame::reportDestinationBuffer() { return nullptr; }
bool ExtendedEffectFrame::offlineNotify(VstAudioFile*, VstInt32, bool) { return false; }
bool ExtendedEffectFrame::offlinePrepare(VstOfflineTask*, VstInt32) { return false; }
bool ExtendedEffectFrame::offlineRun(VstOfflineTask*, VstInt32) { return false; }
VstInt32 ExtendedEffectFrame::offlineGetNumPasses() { return 0; }
VstInt32 ExtendedEffectFrame::offlineGetNumMetaPasses() { return 0; }
void ExtendedEffectFrame::isSynth(bool state) { setFlag(effFlagsIsSynth, state); }
void ExtendedEffectFrame::noTail(bool state) { setFlag(effFlagsNoSoundInStop, state); }
bool ExtendedEffectFrame::processVariableIo(VstVariableIo*) { return false; }
bool ExtendedEffectFrame::setSpeakerArrangement(VstSpeakerArrangement*, VstSpeakerArrangement*) { return false; }

void ExtendedEffectFrame::setBlockSizeAndSampleRate(VstInt32 newBlockSize, float newSampleRate) {
    blockSize = newBlockSize;
    sampleRate = newSampleRate;
}

bool ExtendedEffectFrame::setBypass(bool) { return false; }
bool ExtendedEffectFrame::getEffectName(char*) { return false; }
bool ExtendedEffectFrame::getErrorText(char*) { return false; }
bool ExtendedEffectFrame::getVendorString(char*) { return false; }
bool ExtendedEffectFrame::getProductString(char*) { return false; }
VstInt32 ExtendedEffectFrame::getVendorVersion() { return 0; }
VstIntPtr ExtendedEffectFrame::vendorSpecific(VstInt32, VstIntPtr, void*, float) { return 0; }
VstInt32 ExtendedEffectFrame::canDo(const char*) { return 0; }
void* ExtendedEffectFrame::getIcon() { return nullptr; }
bool ExtendedEffectFrame::setViewPosition(VstInt32, VstInt32) { return false; }
VstInt32 ExtendedEffectFrame::getTailSize() { return 0; }
VstInt32 ExtendedEffectFrame::effectIdle() { return 0; }
bool ExtendedEffectFrame::getParameterProperties(VstInt32, VstParameterProperties*) { return false; }
bool ExtendedEffectFrame::keysRequired() { return false; }
VstInt32 ExtendedEffectFrame::getVstVersion() { return 2200; }
VstInt32 ExtendedEffectFrame::getMidiProgramName(VstInt32, MidiProgramName*) { return 0; }
VstInt32 ExtendedEffectFrame::getCurrentMidiProgram(VstInt32, MidiProgramName*) { return -1; }
VstInt32 ExtendedEffectFrame::getMidiProgramCategory(VstInt32, MidiProgramCategory*) { return 0; }
bool ExtendedEffectFrame::hasMidiProgramsChanged(VstInt32) { return false; }
bool ExtendedEffectFrame::getMidiKeyName(VstInt32, MidiKeyName*) { return false; }
bool ExtendedEffectFrame::beginSetProgram() { return false; }
bool ExtendedEffectFrame::endSetProgram() { return false; }

// ---- Extended host callbacks; each answers its neutral value without a host ----

void ExtendedEffectFrame::wantEvents(VstInt32 filter) { callHost(audioMasterWantMidi, 0, filter); }

VstTimeInfo* ExtendedEffectFrame::getTimeInfo(VstInt32 filter) {
    return reinterpret_cast<VstTimeInfo*>(callHost(audioMasterGetTime, 0, filter));
}

VstInt32 ExtendedEffectFrame::tempoAt(VstInt32 pos) {
    return static_cast<VstInt32>(callHost(audioMasterTempoAt, 0, pos));
}

VstInt32 ExtendedEffectFrame::getNumAutomatableParameters() {
    return static_cast<VstInt32>(callHost(audioMasterGetNumAutomatableParameters));
}

VstInt32 ExtendedEffectFrame::getParameterQuantization() {
    return static_cast<VstInt32>(callHost(audioMasterGetParameterQuantization));
}

bool ExtendedEffectFrame::ioChanged() { return callHost(audioMasterIOChanged) != 0; }
bool ExtendedEffectFrame::needIdle() { return callHost(audioMasterNeedIdle) != 0; }

bool ExtendedEffectFrame::sizeWindow(VstInt32 width, VstInt32 height) {
    return callHost(audioMasterSizeWindow, width, height) != 0;
}

// The host's answer is ignored: a host whose rate changed calls setSampleRate itself.
float ExtendedEffectFrame::updateSampleRate() {
    callHost(audioMasterGetSampleRate);
    return sampleRate;
}

VstInt32 ExtendedEffectFrame::updateBlockSize() {
    callHost(audioMasterGetBlockSize);
    return blockSize;
}

VstInt32 ExtendedEffectFrame::getInputLatency() { return static_cast<VstInt32>(callHost(audioMasterGetInputLatency)); }

VstInt32 ExtendedEffectFrame::getOutputLatency() {
    return static_cast<VstInt32>(callHost(audioMasterGetOutputLatency));
}

AEffect* ExtendedEffectFrame::getPreviousPlug(VstInt32) {
    return reinterpret_cast<AEffect*>(callHost(audioMasterGetPreviousPlug));
}

AEffect* ExtendedEffectFrame::getNextPlug(VstInt32) {
    return reinterpret_cast<AEffect*>(callHost(audioMasterGetNextPlug));
}

VstInt32 ExtendedEffectFrame::willProcessReplacing() {
    return static_cast<VstInt32>(callHost(audioMasterWillReplaceOrAccumulate));
}

VstInt32 ExtendedEffectFrame::getCurrentProcessLevel() {
    return static_cast<VstInt32>(callHost(audioMasterGetCurrentProcessLevel));
}

VstInt32 ExtendedEffectFrame::getAutomationState() {
    return static_cast<VstInt32>(callHost(audioMasterGetAutomationState));
}

bool ExtendedEffectFrame::offlineRead(VstOfflineTask* offline, VstInt32 option, bool readSource) {
    return callHost(audioMasterOfflineRead, readSource ? 1 : 0, option, offline) != 0;
}

bool ExtendedEffectFrame::offlineWrite(VstOfflineTask* offline, VstInt32 option) {
    return callHost(audioMasterOfflineWrite, 0, option, offline) != 0;
}

bool ExtendedEffectFrame::offlineStart(VstAudioFile* files, VstInt32 numAudioFiles, VstInt32 numNewAudioFiles) {
    return callHost(audioMasterOfflineStart, numNewAudioFiles, numAudioFiles, files) != 0;
}

VstInt32 ExtendedEffectFrame::offlineGetCurrentPass() {
    return callHost(audioMasterOfflineGetCurrentPass) != 0 ? 1 : 0;
}

VstInt32 ExtendedEffectFrame::offlineGetCurrentMetaPass() {
    return callHost(audioMasterOfflineGetCurrentMetaPass) != 0 ? 1 : 0;
}

void ExtendedEffectFrame::setOutputSamplerate(float samplerate) {
    callHost(audioMasterSetOutputSampleRate, 0, 0, nullptr, samplerate);
}

bool ExtendedEffectFrame::getSpeakerArrangement(VstSpeakerArrangement* pluginInput,
                                                VstSpeakerArrangement* pluginOutput) {
    return callHost(audioMasterGetSpeakerArrangement, 0, reinterpret_cast<VstIntPtr>(pluginInput), pluginOutput) != 0;
}

bool ExtendedEffectFrame::getHostVendorString(char* text) {
    return callHost(audioMasterGetVendorString, 0, 0, text) != 0;
}

bool ExtendedEffectFrame::getHostProductString(char* text) {
    return callHost(audioMasterGetProductString, 0, 0, text) != 0;
}

VstInt32 ExtendedEffectFrame::getHostVendorVersion() {
    return static_cast<VstInt32>(callHost(audioMasterGetVendorVersion));
}

VstIntPtr ExtendedEffectFrame::hostVendorSpecific(VstInt32 arg1, VstIntPtr arg2, void* ptr, float opt) {
    return callHost(audioMasterVendorSpecific, arg1, arg2, ptr, opt);
}

// Hosts answer can-do requests with 1 (yes), 0 (don't know) or -1 (no): only a positive
// answer is a yes.
VstInt32 ExtendedEffectFrame::canHostDo(const char* text) {
    return callHost(audioMasterCanDo, 0, 0, const_cast<char*>(text)) > 0 ? 1 : 0;
}

VstInt32 ExtendedEffectFrame::getHostLanguage() { return static_cast<VstInt32>(callHost(audioMasterGetLanguage)); }

void* ExtendedEffectFrame::openWindow(VstWindow* window) {
    return reinterpret_cast<void*>(callHost(audioMasterOpenWindow, 0, 0, window));
}

bool ExtendedEffectFrame::closeWindow(VstWindow* window) { return callHost(audioMasterCloseWindow, 0, 0, window) != 0; }

void* ExtendedEffectFrame::getDirectory() { return reinterpret_cast<void*>(callHost(audioMasterGetDirectory)); }

bool ExtendedEffectFrame::updateDisplay() { return callHost(audioMasterUpdateDisplay) != 0; }

bool ExtendedEffectFrame::beginEdit(VstInt32 index) { return callHost(audioMasterBeginEdit, index) != 0; }

bool ExtendedEffectFrame::endEdit(VstInt32 index) { return callHost(audioMasterEndEdit, index) != 0; }

bool ExtendedEffectFrame::openFileSelector(VstFileSelect* selection) {
    if (!selection) return false;
    return callHost(audioMasterOpenFileSelector, 0, 0, selection) != 0;
}

bool ExtendedEffectFrame::closeFileSelector(VstFileSelect* selection) {
    if (!selection) return false;
    return callHost(audioMasterCloseFileSelector, 0, 0, selection) != 0;
}

} // namespace vl
