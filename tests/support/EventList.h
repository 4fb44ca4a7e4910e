#pragma once
// A host's event list of any length, with the published VstEvents layout, for tests that
// hand MIDI to the instrument in process or to the loaded plug-in.
#include "vst/VstAbi.h"

namespace vltest {

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

} // namespace vltest
