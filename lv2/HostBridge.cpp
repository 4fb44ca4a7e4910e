#include "lv2/HostBridge.h"

#include "instrument/Instrument.h"

namespace vl::lv2 {

VstIntPtr VSTCALLBACK bridgeCallback(AEffect* effect, VstInt32 opcode, VstInt32 index, VstIntPtr, void*, float opt) {
    // A VST 2.4 host as far as the version goes.
    if (opcode == audioMasterVersion) return 2400;
    auto* bridge = effect ? static_cast<HostBridge*>(effect->user) : nullptr;
    if (!bridge) return 0;
    switch (opcode) {
    case audioMasterAutomate:
        bridge->automate(index, opt);
        return 0;
    case audioMasterBeginEdit:
        bridge->touch(index, true);
        return 1;
    case audioMasterEndEdit:
        bridge->touch(index, false);
        return 1;
    case audioMasterUpdateDisplay:
        bridge->displayChanged();
        return 1;
    default:
        return 0;
    }
}

void attachBridge(Instrument& instrument, HostBridge* bridge) { instrument.getAeffect()->user = bridge; }

} // namespace vl::lv2
