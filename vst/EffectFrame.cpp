#include "vst/EffectFrame.h"

#include <cmath>
#include <cstdint>
#include <cstring>

#include "vst/EditorBase.h"

namespace vl {

namespace {

constexpr VstInt32 kNoEffectId = 0x4E6F4566; // "NoEf"
constexpr VstInt32 kIdentifyAnswer = 0x4E764566; // "NvEf"

// Fits a host integer into 32 bits without wrapping: out-of-range values saturate, so a
// huge size or count never turns into a small plausible one.
VstInt32 saturate32(VstIntPtr value) {
    if (value > INT32_MAX) return INT32_MAX;
    if (value < INT32_MIN) return INT32_MIN;
    return static_cast<VstInt32>(value);
}

EffectFrame* frameOf(AEffect* effect) { return effect ? static_cast<EffectFrame*>(effect->object) : nullptr; }

} // namespace

EffectFrame::EffectFrame(audioMasterCallback hostCallback, VstInt32 numPrograms, VstInt32 numParams)
    : sampleRate(44100.0f), editor(nullptr), hostCallback(hostCallback), numPrograms(numPrograms), numParams(numParams),
      curProgram(0), blockSize(1024) {
    std::memset(&effectRecord, 0, sizeof effectRecord);
    effectRecord.magic = kEffectMagic;
    effectRecord.dispatcher = dispatchThunk;
    effectRecord.process = processThunk;
    effectRecord.setParameter = setParameterThunk;
    effectRecord.getParameter = getParameterThunk;
    effectRecord.numPrograms = numPrograms;
    effectRecord.numParams = numParams;
    effectRecord.numInputs = 1;
    effectRecord.numOutputs = 2;
    effectRecord.flags = 0;
    effectRecord.ioRatio = 1.0f;
    effectRecord.object = this;
    effectRecord.user = nullptr;
    effectRecord.uniqueID = kNoEffectId;
    effectRecord.version = 1;
    effectRecord.processReplacing = processReplacingThunk;
}

EffectFrame::~EffectFrame() {
    EditorBase* owned = editor;
    editor = nullptr;
    setFlag(effFlagsHasEditor, false);
    delete owned;
}

// ---- Parameters and processing ----

void EffectFrame::setParameter(VstInt32, float) {}

float EffectFrame::getParameter(VstInt32) { return 0.0f; }

void EffectFrame::setParameterAutomated(VstInt32 index, float value) {
    setParameter(index, value);
    callHost(audioMasterAutomate, index, 0, nullptr, value);
}

void EffectFrame::processReplacing(float**, float**, VstInt32) {}

// ---- Dispatcher, opcodes 0..24 ----

VstIntPtr EffectFrame::dispatcher(VstInt32 opcode, VstInt32 index, VstIntPtr value, void* ptr, float opt) {
    char* text = static_cast<char*>(ptr);
    switch (opcode) {
    case effOpen:
        open();
        return 0;
    case effClose:
        close();
        return 0;
    case effSetProgram:
        // Signed check only: negative values reach setProgram, which checks its own range.
        if (value < numPrograms && value >= INT32_MIN) setProgram(static_cast<VstInt32>(value));
        return 0;
    case effGetProgram:
        return getProgram();
    case effSetProgramName:
        if (text) setProgramName(text);
        return 0;
    case effGetProgramName:
        if (text) getProgramName(text);
        return 0;
    case effGetParamLabel:
        if (text) getParameterLabel(index, text);
        return 0;
    case effGetParamDisplay:
        if (text) getParameterDisplay(index, text);
        return 0;
    case effGetParamName:
        if (text) getParameterName(index, text);
        return 0;
    case effGetVu: {
        const double scaled = static_cast<double>(getVu()) * 32767.0;
        // Truncation toward zero; values a 32-bit answer cannot hold (or NaN) give 0.
        if (!(scaled > -2147483649.0 && scaled < 2147483648.0)) return 0;
        return static_cast<VstInt32>(scaled);
    }
    case effSetSampleRate:
        setSampleRate(opt);
        return 0;
    case effSetBlockSize:
        setBlockSize(saturate32(value));
        return 0;
    case effMainsChanged:
        if (value == 0) suspend();
        else resume();
        return 0;
    case effEditGetRect:
        if (editor && ptr) return editor->getRect(static_cast<ERect**>(ptr));
        return 0;
    case effEditOpen:
        if (editor) return editor->open(ptr);
        return 0;
    case effEditClose:
        if (editor) editor->close();
        return 0;
    case effEditIdle:
        if (editor) editor->idle();
        return 0;
    case effIdentify:
        return kIdentifyAnswer;
    case effGetChunk:
        if (!ptr) return 0;
        return getChunk(static_cast<void**>(ptr), index != 0);
    case effSetChunk:
        if (!ptr) return 0;
        return setChunk(ptr, saturate32(value), index != 0);
    default: // effEditDraw, effEditMouse, effEditKey, effEditTop, effEditSleep, unknown
        return 0;
    }
}

void EffectFrame::open() {}
void EffectFrame::close() {}

// ---- Programs and parameter texts ----

VstInt32 EffectFrame::getProgram() { return curProgram.load(std::memory_order_acquire); }

void EffectFrame::setProgram(VstInt32 program) { curProgram.store(program, std::memory_order_release); }

// The frame keeps no program names: both write an empty string into the caller's buffer,
// as the historical interface did.
void EffectFrame::setProgramName(const char*) {}

void EffectFrame::getProgramName(char* name) {
    if (name) *name = '\0';
}

void EffectFrame::getParameterLabel(VstInt32, char* label) {
    if (label) *label = '\0';
}

void EffectFrame::getParameterDisplay(VstInt32, char* text) {
    if (text) *text = '\0';
}

void EffectFrame::getParameterName(VstInt32, char* text) {
    if (text) *text = '\0';
}

float EffectFrame::getVu() { return 0.0f; }

VstInt32 EffectFrame::getChunk(void**, bool) { return 0; }

VstInt32 EffectFrame::setChunk(void*, VstInt32, bool) { return 0; }

// ---- Settings ----

void EffectFrame::setSampleRate(float newSampleRate) { sampleRate = newSampleRate; }

void EffectFrame::setBlockSize(VstInt32 newBlockSize) { blockSize = newBlockSize; }

void EffectFrame::suspend() {}
void EffectFrame::resume() {}

void EffectFrame::setUniqueID(VstInt32 id) { effectRecord.uniqueID = id; }
void EffectFrame::setNumInputs(VstInt32 inputs) { effectRecord.numInputs = inputs; }
void EffectFrame::setNumOutputs(VstInt32 outputs) { effectRecord.numOutputs = outputs; }

void EffectFrame::hasVu(bool state) { setFlag(effFlagsHasVu, state); }
void EffectFrame::hasClip(bool state) { setFlag(effFlagsHasClip, state); }
void EffectFrame::canMono(bool state) { setFlag(effFlagsCanMono, state); }
void EffectFrame::canProcessReplacing(bool state) { setFlag(effFlagsCanReplacing, state); }
void EffectFrame::programsAreChunks(bool state) { setFlag(effFlagsProgramChunks, state); }

void EffectFrame::setRealtimeQualities(VstInt32 qualities) { effectRecord.realQualities = qualities; }
void EffectFrame::setOfflineQualities(VstInt32 qualities) { effectRecord.offQualities = qualities; }
void EffectFrame::setInitialDelay(VstInt32 delay) { effectRecord.initialDelay = delay; }

float EffectFrame::getSampleRate() { return sampleRate; }
VstInt32 EffectFrame::getBlockSize() { return blockSize; }

// ---- First-generation host callbacks ----

VstInt32 EffectFrame::getMasterVersion() {
    if (!hostCallback) return 1;
    const VstInt32 version = static_cast<VstInt32>(callHost(audioMasterVersion));
    return version == 0 ? 1 : version;
}

VstInt32 EffectFrame::getCurrentUniqueId() { return static_cast<VstInt32>(callHost(audioMasterCurrentId)); }

void EffectFrame::masterIdle() { callHost(audioMasterIdle); }

bool EffectFrame::isInputConnected(VstInt32 input) {
    if (!hostCallback) return true;
    return callHost(audioMasterPinConnected, input, 0) == 0;
}

bool EffectFrame::isOutputConnected(VstInt32 output) {
    if (!hostCallback) return true;
    return callHost(audioMasterPinConnected, output, 1) == 0;
}

// ---- Non-virtual ----

void EffectFrame::setEditor(EditorBase* newEditor) {
    editor = newEditor;
    setFlag(effFlagsHasEditor, newEditor != nullptr);
}

void EffectFrame::forgetEditor(EditorBase* oldEditor) {
    if (oldEditor && editor == oldEditor) setEditor(nullptr);
}

void EffectFrame::setFlag(VstInt32 flag, bool state) {
    if (state) effectRecord.flags |= flag;
    else effectRecord.flags &= ~flag;
}

VstIntPtr EffectFrame::callHost(VstInt32 opcode, VstInt32 index, VstIntPtr value, void* ptr, float opt) {
    if (!hostCallback) return 0;
    return hostCallback(&effectRecord, opcode, index, value, ptr, opt);
}

// ---- Thunks: the host's entry points. Nothing thrown inside gets out. ----

VstIntPtr VSTCALLBACK EffectFrame::dispatchThunk(AEffect* effect, VstInt32 opcode, VstInt32 index, VstIntPtr value,
                                                 void* ptr, float opt) {
    EffectFrame* frame = frameOf(effect);
    if (!frame) return 0;
    if (opcode == effClose) {
        try {
            frame->dispatcher(effClose, index, value, ptr, opt);
        } catch (...) {
        }
        delete frame;
        return 1;
    }
    try {
        return frame->dispatcher(opcode, index, value, ptr, opt);
    } catch (...) {
        return 0;
    }
}

void VSTCALLBACK EffectFrame::processThunk(AEffect* effect, float** inputs, float** outputs, VstInt32 sampleFrames) {
    EffectFrame* frame = frameOf(effect);
    if (!frame) return;
    try {
        frame->process(inputs, outputs, sampleFrames);
    } catch (...) {
        // Accumulating call: adding nothing is silence.
    }
}

void VSTCALLBACK EffectFrame::processReplacingThunk(AEffect* effect, float** inputs, float** outputs,
                                                    VstInt32 sampleFrames) {
    EffectFrame* frame = frameOf(effect);
    if (!frame) return;
    try {
        frame->processReplacing(inputs, outputs, sampleFrames);
    } catch (...) {
        // Replacing call: leave silence rather than whatever was half written.
        if (outputs && sampleFrames > 0) {
            for (VstInt32 channel = 0; channel < frame->effectRecord.numOutputs; ++channel)
                if (outputs[channel])
                    std::memset(outputs[channel], 0, sizeof(float) * static_cast<std::size_t>(sampleFrames));
        }
    }
}

void VSTCALLBACK EffectFrame::setParameterThunk(AEffect* effect, VstInt32 index, float value) {
    EffectFrame* frame = frameOf(effect);
    if (!frame) return;
    try {
        frame->setParameter(index, value);
    } catch (...) {
    }
}

float VSTCALLBACK EffectFrame::getParameterThunk(AEffect* effect, VstInt32 index) {
    EffectFrame* frame = frameOf(effect);
    if (!frame) return 0.0f;
    try {
        return frame->getParameter(index);
    } catch (...) {
        return 0.0f;
    }
}

} // namespace vl
