#pragma once
// Test doubles for the effect frame: a subclass that logs every virtual operation the
// dispatcher reaches, with its arguments, and a host callback that records each request.

#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

#include "vst/EditorBase.h"
#include "vst/EffectFrame.h"

namespace vltest {

using vl::EditorBase;
using vl::ExtendedEffectFrame;

// What the recording host received in one request.
struct HostRequest {
    AEffect* effect;
    VstInt32 opcode;
    VstInt32 index;
    VstIntPtr value;
    void* ptr;
    float opt;
};

// A host that answers every request with `answer` and remembers what it was asked.
struct RecordingHost {
    static std::vector<HostRequest>& requests() {
        static std::vector<HostRequest> list;
        return list;
    }
    static VstIntPtr& answer() {
        static VstIntPtr value = 0;
        return value;
    }
    static void reset(VstIntPtr newAnswer = 0) {
        requests().clear();
        answer() = newAnswer;
    }
    static VstIntPtr VSTCALLBACK callback(AEffect* effect, VstInt32 opcode, VstInt32 index, VstIntPtr value, void* ptr,
                                          float opt) {
        requests().push_back({effect, opcode, index, value, ptr, opt});
        return answer();
    }
};

// A frame with nothing overridden but the abstract process.
class PlainFrame : public ExtendedEffectFrame {
public:
    explicit PlainFrame(audioMasterCallback host = nullptr, VstInt32 programs = 8, VstInt32 params = 13)
        : ExtendedEffectFrame(host, programs, params) {}
    void process(float**, float**, VstInt32) override {}
};

inline std::string hexPtr(const void* p) {
    char text[32];
    std::snprintf(text, sizeof text, "%p", p);
    return text;
}

// Logs each operation as "name arg arg ..." into a log that may outlive the frame; the
// answers of the operations that return something are set through the public fields.
class ProbeFrame : public ExtendedEffectFrame {
public:
    explicit ProbeFrame(std::vector<std::string>* log, audioMasterCallback host = nullptr)
        : ExtendedEffectFrame(host, 8, 13), log(log) {}
    ~ProbeFrame() override { note("destroy"); }

    VstInt32 intAnswer = 0;
    bool boolAnswer = false;
    float floatAnswer = 0.0f;
    void* ptrAnswer = nullptr;
    bool throwInDispatch = false;

    void note(const std::string& entry) { log->push_back(entry); }
    static std::string n(long long v) { return std::to_string(v); }
    static std::string f(float v) {
        char text[32];
        std::snprintf(text, sizeof text, "%g", static_cast<double>(v));
        return text;
    }

    void setParameter(VstInt32 index, float value) override { note("setParameter " + n(index) + " " + f(value)); }
    float getParameter(VstInt32 index) override {
        note("getParameter " + n(index));
        return floatAnswer;
    }
    void process(float**, float** outputs, VstInt32 frames) override {
        note("process " + n(frames));
        if (throwInDispatch) {
            outputs[0][0] = 7.0f;
            throw 1;
        }
    }
    void processReplacing(float**, float** outputs, VstInt32 frames) override {
        note("processReplacing " + n(frames));
        if (throwInDispatch) {
            outputs[0][0] = 7.0f;
            throw 1;
        }
    }
    VstIntPtr dispatcher(VstInt32 opcode, VstInt32 index, VstIntPtr value, void* ptr, float opt) override {
        if (throwInDispatch) throw 42;
        return ExtendedEffectFrame::dispatcher(opcode, index, value, ptr, opt);
    }
    void open() override { note("open"); }
    void close() override { note("close"); }
    VstInt32 getProgram() override {
        note("getProgram");
        return intAnswer;
    }
    void setProgram(VstInt32 program) override { note("setProgram " + n(program)); }
    void setProgramName(const char* name) override { note(std::string("setProgramName ") + name); }
    void getProgramName(char* name) override { note("getProgramName " + hexPtr(name)); }
    void getParameterLabel(VstInt32 i, char* t) override { note("getParameterLabel " + n(i) + " " + hexPtr(t)); }
    void getParameterDisplay(VstInt32 i, char* t) override { note("getParameterDisplay " + n(i) + " " + hexPtr(t)); }
    void getParameterName(VstInt32 i, char* t) override { note("getParameterName " + n(i) + " " + hexPtr(t)); }
    float getVu() override {
        note("getVu");
        return floatAnswer;
    }
    VstInt32 getChunk(void** data, bool isPreset) override {
        note("getChunk " + hexPtr(data) + " " + n(isPreset));
        return intAnswer;
    }
    VstInt32 setChunk(void* data, VstInt32 size, bool isPreset) override {
        note("setChunk " + hexPtr(data) + " " + n(size) + " " + n(isPreset));
        return intAnswer;
    }
    void setSampleRate(float rate) override { note("setSampleRate " + f(rate)); }
    void setBlockSize(VstInt32 size) override { note("setBlockSize " + n(size)); }
    void suspend() override { note("suspend"); }
    void resume() override { note("resume"); }

    VstInt32 processEvents(VstEvents* events) override {
        note("processEvents " + hexPtr(events));
        return intAnswer;
    }
    bool canParameterBeAutomated(VstInt32 i) override {
        note("canParameterBeAutomated " + n(i));
        return boolAnswer;
    }
    bool string2parameter(VstInt32 i, const char* t) override {
        note("string2parameter " + n(i) + " " + t);
        return boolAnswer;
    }
    VstInt32 getNumCategories() override {
        note("getNumCategories");
        return intAnswer;
    }
    bool getProgramNameIndexed(VstInt32 c, VstInt32 i, char* t) override {
        note("getProgramNameIndexed " + n(c) + " " + n(i) + " " + hexPtr(t));
        return boolAnswer;
    }
    bool copyProgram(VstInt32 d) override {
        note("copyProgram " + n(d));
        return boolAnswer;
    }
    void inputConnected(VstInt32 i, bool s) override { note("inputConnected " + n(i) + " " + n(s)); }
    void outputConnected(VstInt32 i, bool s) override { note("outputConnected " + n(i) + " " + n(s)); }
    bool getInputProperties(VstInt32 i, VstPinProperties* p) override {
        note("getInputProperties " + n(i) + " " + hexPtr(p));
        return boolAnswer;
    }
    bool getOutputProperties(VstInt32 i, VstPinProperties* p) override {
        note("getOutputProperties " + n(i) + " " + hexPtr(p));
        return boolAnswer;
    }
    VstInt32 getPlugCategory() override {
        note("getPlugCategory");
        return intAnswer;
    }
    VstInt32 reportCurrentPosition() override {
        note("reportCurrentPosition");
        return intAnswer;
    }
    float* reportDestinationBuffer() override {
        note("reportDestinationBuffer");
        return static_cast<float*>(ptrAnswer);
    }
    bool offlineNotify(VstAudioFile* p, VstInt32 count, bool start) override {
        note("offlineNotify " + hexPtr(p) + " " + n(count) + " " + n(start));
        return boolAnswer;
    }
    bool offlinePrepare(VstOfflineTask* p, VstInt32 count) override {
        note("offlinePrepare " + hexPtr(p) + " " + n(count));
        return boolAnswer;
    }
    bool offlineRun(VstOfflineTask* p, VstInt32 count) override {
        note("offlineRun " + hexPtr(p) + " " + n(count));
        return boolAnswer;
    }
    bool processVariableIo(VstVariableIo* p) override {
        note("processVariableIo " + hexPtr(p));
        return boolAnswer;
    }
    bool setSpeakerArrangement(VstSpeakerArrangement* in, VstSpeakerArrangement* out) override {
        note("setSpeakerArrangement " + hexPtr(in) + " " + hexPtr(out));
        return boolAnswer;
    }
    void setBlockSizeAndSampleRate(VstInt32 size, float rate) override {
        note("setBlockSizeAndSampleRate " + n(size) + " " + f(rate));
    }
    bool setBypass(bool on) override {
        note("setBypass " + n(on));
        return boolAnswer;
    }
    bool getEffectName(char* t) override {
        note("getEffectName " + hexPtr(t));
        return boolAnswer;
    }
    bool getErrorText(char* t) override {
        note("getErrorText " + hexPtr(t));
        return boolAnswer;
    }
    bool getVendorString(char* t) override {
        note("getVendorString " + hexPtr(t));
        return boolAnswer;
    }
    bool getProductString(char* t) override {
        note("getProductString " + hexPtr(t));
        return boolAnswer;
    }
    VstInt32 getVendorVersion() override {
        note("getVendorVersion");
        return intAnswer;
    }
    VstIntPtr vendorSpecific(VstInt32 a, VstIntPtr b, void* p, float o) override {
        note("vendorSpecific " + n(a) + " " + n(b) + " " + hexPtr(p) + " " + f(o));
        return intAnswer;
    }
    VstInt32 canDo(const char* t) override {
        note(std::string("canDo ") + t);
        return intAnswer;
    }
    VstInt32 getTailSize() override {
        note("getTailSize");
        return intAnswer;
    }
    VstInt32 effectIdle() override {
        note("effectIdle");
        return intAnswer;
    }
    void* getIcon() override {
        note("getIcon");
        return ptrAnswer;
    }
    bool setViewPosition(VstInt32 x, VstInt32 y) override {
        note("setViewPosition " + n(x) + " " + n(y));
        return boolAnswer;
    }
    bool getParameterProperties(VstInt32 i, VstParameterProperties* p) override {
        note("getParameterProperties " + n(i) + " " + hexPtr(p));
        return boolAnswer;
    }
    bool keysRequired() override {
        note("keysRequired");
        return boolAnswer;
    }
    VstInt32 getVstVersion() override {
        note("getVstVersion");
        return intAnswer;
    }
    VstInt32 getMidiProgramName(VstInt32 c, MidiProgramName* p) override {
        note("getMidiProgramName " + n(c) + " " + hexPtr(p));
        return intAnswer;
    }
    VstInt32 getCurrentMidiProgram(VstInt32 c, MidiProgramName* p) override {
        note("getCurrentMidiProgram " + n(c) + " " + hexPtr(p));
        return intAnswer;
    }
    VstInt32 getMidiProgramCategory(VstInt32 c, MidiProgramCategory* p) override {
        note("getMidiProgramCategory " + n(c) + " " + hexPtr(p));
        return intAnswer;
    }
    bool hasMidiProgramsChanged(VstInt32 c) override {
        note("hasMidiProgramsChanged " + n(c));
        return boolAnswer;
    }
    bool getMidiKeyName(VstInt32 c, MidiKeyName* p) override {
        note("getMidiKeyName " + n(c) + " " + hexPtr(p));
        return boolAnswer;
    }
    bool beginSetProgram() override {
        note("beginSetProgram");
        return boolAnswer;
    }
    bool endSetProgram() override {
        note("endSetProgram");
        return boolAnswer;
    }

private:
    std::vector<std::string>* log;
};

// An editor that logs its operations into the same kind of log.
class ProbeEditor : public EditorBase {
public:
    ProbeEditor(vl::EffectFrame* effect, std::vector<std::string>* log) : EditorBase(effect), log(log) {}
    ~ProbeEditor() override { log->push_back("editor destroy"); }

    VstInt32 answer = 0;
    ERect rect{1, 2, 301, 727};
    VstKeyCode lastKey{};

    VstInt32 getRect(ERect** out) override {
        log->push_back("editor getRect");
        *out = &rect;
        return answer;
    }
    VstInt32 open(void* window) override {
        log->push_back("editor open " + hexPtr(window));
        return answer;
    }
    void close() override { log->push_back("editor close"); }
    void idle() override { log->push_back("editor idle"); }
    VstInt32 onKeyDown(VstKeyCode& key) override {
        log->push_back("editor onKeyDown");
        lastKey = key;
        return answer;
    }
    VstInt32 onKeyUp(VstKeyCode& key) override {
        log->push_back("editor onKeyUp");
        lastKey = key;
        return answer;
    }
    VstInt32 setKnobMode(VstInt32 mode) override {
        log->push_back("editor setKnobMode " + std::to_string(mode));
        return answer;
    }

private:
    std::vector<std::string>* log;
};

// Calls the frame's dispatcher the way a host does: through the record's entry.
inline VstIntPtr dispatch(AEffect* effect, VstInt32 opcode, VstInt32 index = 0, VstIntPtr value = 0,
                          void* ptr = nullptr, float opt = 0.0f) {
    return effect->dispatcher(effect, opcode, index, value, ptr, opt);
}

} // namespace vltest
