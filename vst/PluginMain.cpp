// The plug-in's entry point: the host calls it once per instance it wants and keeps the
// returned AEffect record for all further traffic.
//
// Windows exports the single name "main" (see win32/VELMORLOOM.def). Linux exports
// "VSTPluginMain" and "main"; both are thin functions around the one internal
// createEffect, and nothing inside the library calls through either exported name (in a
// host process "main" is also the host's own program entry).

#include <new>

#include "instrument/Instrument.h"
#include "platform/Notice.h"
#include "vst/VstAbi.h"

namespace {

AEffect* createEffect(audioMasterCallback hostCallback) noexcept {
    if (!hostCallback) return nullptr;
    try {
        if (hostCallback(nullptr, audioMasterVersion, 0, 0, nullptr, 0.0f) == 0) return nullptr;
    } catch (...) {
        return nullptr;
    }

    vl::Instrument* instrument = nullptr;
    try {
        instrument = new (std::nothrow) vl::Instrument(hostCallback);
    } catch (const std::bad_alloc&) {
        instrument = nullptr;
    } catch (...) {
        // Construction failed part-way; the object is already gone.
        vl::showNotice("error", "cant init vsti");
        return nullptr;
    }
    if (!instrument) {
        vl::showNotice("error", "cant alloc vsti");
        return nullptr;
    }
    if (!instrument->editorReady) {
        vl::showNotice("error", "cant init vsti");
        vl::EffectFrame* frame = instrument;
        delete frame; // through the virtual destructor
        return nullptr;
    }
    return instrument->getAeffect();
}

} // namespace

#if defined(_WIN32)

// Exported as "main" by the module definition file.
extern "C" AEffect* VSTCALLBACK VSTPluginEntry(audioMasterCallback hostCallback) { return createEffect(hostCallback); }

#else

#define VL_EXPORT __attribute__((visibility("default")))

extern "C" VL_EXPORT AEffect* VSTPluginMain(audioMasterCallback hostCallback) { return createEffect(hostCallback); }

// The second exported name, "main", for hosts that look only for it.
extern "C" VL_EXPORT AEffect* VSTPluginMainLegacy(audioMasterCallback hostCallback) __asm__("main");
extern "C" AEffect* VSTPluginMainLegacy(audioMasterCallback hostCallback) { return createEffect(hostCallback); }

#endif
