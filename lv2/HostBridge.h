#pragma once
// The host callback that a format adapter gives the Instrument. The Instrument asks its
// host exactly as it asks a VST 2 host; this callback turns the few requests that matter
// outside VST 2 (automation, the begin and end of a knob gesture, "refresh your display")
// into calls on a HostBridge, found through the user field of the instrument's AEffect
// record. Everything else gets the answer of a host that does nothing.
//
// The bridge is attached after the Instrument is built: requests made while it is being
// built (its first program selection) reach no bridge.
#include <cstring>

#include <lv2/core/lv2.h>

#include "vst/VstAbi.h"

namespace vl {
class Instrument;
}

namespace vl::lv2 {

class HostBridge {
public:
    virtual ~HostBridge() = default;
    // A panel control moved parameter index to value (audioMasterAutomate).
    virtual void automate(int index, float value) = 0;
    // A knob gesture began or ended (audioMasterBeginEdit, audioMasterEndEdit).
    virtual void touch(int index, bool grabbed) = 0;
    // Programs or names changed (audioMasterUpdateDisplay); may come from the audio thread.
    virtual void displayChanged() = 0;
};

// The callback to pass to the Instrument's constructor.
VstIntPtr VSTCALLBACK bridgeCallback(AEffect* effect, VstInt32 opcode, VstInt32 index, VstIntPtr value, void* ptr,
                                     float opt);

// Routes the instrument's requests to bridge (null: to none).
void attachBridge(Instrument& instrument, HostBridge* bridge);

// The data of the host's feature uri, null when the host did not give it.
inline const void* findFeature(const LV2_Feature* const* features, const char* uri) {
    if (!features) return nullptr;
    for (const LV2_Feature* const* f = features; *f; ++f)
        if ((*f)->URI && std::strcmp((*f)->URI, uri) == 0) return (*f)->data;
    return nullptr;
}

} // namespace vl::lv2
