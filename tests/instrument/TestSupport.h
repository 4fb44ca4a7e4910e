#pragma once
// Helpers shared by the instrument tests: a notice sink that captures error reports, and
// MIDI/render helpers that drive the instrument as a host does. The host callbacks
// (recordingHost, quietHost) and the event list are those of tests/support.
#include <algorithm>
#include <cmath>
#include <cstring>
#include <string>
#include <utility>
#include <vector>

#include "instrument/Instrument.h"
#include "platform/Notice.h"
#include "tests/support/EventList.h"
#include "tests/support/HostRecorder.h"

namespace vltest {

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
        recorder().clear();
        previous = vl::setNoticeSink(captureNotice);
    }
    ~CaptureScope() { vl::setNoticeSink(previous); }
    CaptureScope(const CaptureScope&) = delete;
    CaptureScope& operator=(const CaptureScope&) = delete;

private:
    vl::NoticeSink previous;
};

inline std::string errorNotice(const char* text) { return std::string("Velmor Loom Error: ") + text; }

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
