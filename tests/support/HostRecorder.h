#pragma once
// Host callbacks for the tests, in process or with the loaded plug-in: every call the
// plug-in makes to its host is recorded (thread-safe) for the test to inspect.
#include <mutex>
#include <vector>

#include "vst/VstAbi.h"

namespace vltest {

struct HostCall {
    AEffect* effect;
    VstInt32 opcode;
    VstInt32 index;
    VstIntPtr value;
    float opt;
};

class HostRecorder {
public:
    void add(const HostCall& call) {
        std::lock_guard<std::mutex> lock(mutex);
        recorded.push_back(call);
    }
    // The calls so far, forgotten here.
    std::vector<HostCall> take() {
        std::lock_guard<std::mutex> lock(mutex);
        std::vector<HostCall> out;
        out.swap(recorded);
        return out;
    }
    void clear() { take(); }
    // The calls so far, kept.
    std::vector<HostCall> calls() {
        std::lock_guard<std::mutex> lock(mutex);
        return recorded;
    }
    // Calls with opcode, from effect (any effect when null).
    int count(AEffect* effect, VstInt32 opcode) {
        std::lock_guard<std::mutex> lock(mutex);
        int n = 0;
        for (const HostCall& c : recorded)
            if ((!effect || c.effect == effect) && c.opcode == opcode) ++n;
        return n;
    }
    int count(VstInt32 opcode) { return count(nullptr, opcode); }

private:
    std::mutex mutex;
    std::vector<HostCall> recorded;
};

inline HostRecorder& recorder() {
    static HostRecorder r;
    return r;
}

// A host of the versioned interface at 48 kHz; records every call.
inline VstIntPtr VSTCALLBACK recordingHost(AEffect* effect, VstInt32 opcode, VstInt32 index, VstIntPtr value, void*,
                                           float opt) {
    recorder().add({effect, opcode, index, value, opt});
    switch (opcode) {
    case audioMasterVersion:
        return 2400;
    case audioMasterGetSampleRate:
        return 48000;
    default:
        return 0;
    }
}

// A host from before the versioned interface: answers 0 to everything; records.
inline VstIntPtr VSTCALLBACK silentHost(AEffect* effect, VstInt32 opcode, VstInt32 index, VstIntPtr value, void*,
                                        float opt) {
    recorder().add({effect, opcode, index, value, opt});
    return 0;
}

// A host that answers without recording (and without allocating) anything.
inline VstIntPtr VSTCALLBACK quietHost(AEffect*, VstInt32 opcode, VstInt32, VstIntPtr, void*, float) {
    return opcode == audioMasterVersion ? 2400 : 0;
}

} // namespace vltest
