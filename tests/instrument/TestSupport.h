#pragma once
// Helpers shared by the instrument tests: a recording host callback, a notice sink that
// captures error reports, and MIDI/render helpers that drive the instrument as a host does.
#include <algorithm>
#include <cmath>
#include <cstring>
#include <string>
#include <utility>
#include <vector>

#include "instrument/Instrument.h"
#include "platform/Notice.h"

namespace vltest {

struct HostCall {
    VstInt32 opcode;
    VstInt32 index;
    VstIntPtr value;
    float opt;
};

// Everything the instruments asked the host, in order.
inline std::vector<HostCall>& hostCalls() {
    static std::vector<HostCall> calls;
    return calls;
}

inline VstIntPtr VSTCALLBACK recordingHost(AEffect*, VstInt32 opcode, VstInt32 index, VstIntPtr value, void*,
                                           float opt) {
    hostCalls().push_back({opcode, index, value, opt});
    if (opcode == audioMasterVersion) return 2400;
    return 0;
}

// A host that answers without recording (and without allocating) anything.
inline VstIntPtr VSTCALLBACK quietHost(AEffect*, VstInt32 opcode, VstInt32, VstIntPtr, void*, float) {
    return opcode == audioMasterVersion ? 2400 : 0;
}

inline int countHostCalls(VstInt32 opcode) {
    int n = 0;
    for (const HostCall& call : hostCalls())
        if (call.opcode == opcode) ++n;
    return n;
}

// Captured notices as "caption: text".
inline std::vector<std::string>& notices() {
    static std::vector<std::string> captured;
    return captured;
}

inline void captureNotice(const char* caption, const char* text) {
    notices().push_back(std::string(caption) + ": " + text);
}

// Installs the sink for the lifetime of a test and clears the records.
class CaptureScope {
public:
    CaptureScope() {
        notices().clear();
        hostCalls().clear();
        previous = vl::setNoticeSink(captureNotice);
    }
    ~CaptureScope() { vl::setNoticeSink(previous); }
    CaptureScope(const CaptureScope&) = delete;
    CaptureScope& operator=(const CaptureScope&) = delete;

private:
    vl::NoticeSink previous;
};

inline std::string errorNotice(const char* text) { return std::string("Velmor Loom Error: ") + text; }

// A host event list of any length with the published VstEvents layout.
template <int N>
struct EventList {
    VstInt32 numEvents = 0;
    VstIntPtr reserved = 0;
    VstEvent* events[N] = {};
    VstMidiEvent storage[N] = {};

    void clear() { numEvents = 0; }
    void add(int deltaFrames, int status, int data1, int data2) {
        VstMidiEvent& e = storage[numEvents];
        e = VstMidiEvent{};
        e.type = kVstMidiType;
        e.byteSize = sizeof(VstMidiEvent);
        e.deltaFrames = deltaFrames;
        e.midiData[0] = static_cast<char>(status);
        e.midiData[1] = static_cast<char>(data1);
        e.midiData[2] = static_cast<char>(data2);
        events[numEvents] = reinterpret_cast<VstEvent*>(&e);
        ++numEvents;
    }
    VstEvents* get() { return reinterpret_cast<VstEvents*>(this); }
};

// Renders frames through processReplacing into left/right (resized).
inline void render(vl::Instrument& instrument, int frames, std::vector<float>& left, std::vector<float>& right) {
    left.assign(static_cast<std::size_t>(frames), 0.0f);
    right.assign(static_cast<std::size_t>(frames), 0.0f);
    float* outputs[2] = {left.data(), right.data()};
    instrument.processReplacing(nullptr, outputs, frames);
}

// Sends one MIDI message at offset 0 and renders frames.
inline void sendMidi(vl::Instrument& instrument, int status, int data1, int data2, int frames = 64) {
    EventList<1> list;
    list.add(0, status, data1, data2);
    instrument.processEvents(list.get());
    std::vector<float> left, right;
    render(instrument, frames, left, right);
}

inline double energy(const std::vector<float>& samples) {
    double sum = 0.0;
    for (float s : samples) sum += static_cast<double>(s) * s;
    return sum;
}

inline float peak(const std::vector<float>& samples) {
    float m = 0.0f;
    for (float s : samples) m = std::max(m, std::fabs(s));
    return m;
}

} // namespace vltest
