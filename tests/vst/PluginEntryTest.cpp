// The built plug-in library loaded the way a host loads it: look up the entry, call it
// with a host callback, and talk to the returned record.

#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <string>
#include <vector>

#include "vst/VstAbi.h"

#if defined(_WIN32)
#include <windows.h>
#else
#include <dlfcn.h>
#endif

namespace {

using EntryProc = AEffect*(VSTCALLBACK*)(audioMasterCallback);

struct Request {
    AEffect* effect;
    VstInt32 opcode;
    VstInt32 index;
    VstIntPtr value;
    void* ptr;
    float opt;
};
std::vector<Request> requests;
VstIntPtr versionAnswer = 2400;

VstIntPtr VSTCALLBACK host(AEffect* effect, VstInt32 opcode, VstInt32 index, VstIntPtr value, void* ptr, float opt) {
    requests.push_back({effect, opcode, index, value, ptr, opt});
    if (opcode == audioMasterVersion) return versionAnswer;
    if (opcode == audioMasterCanDo) return -1;
    return 0;
}

class PluginEntry : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
#if defined(_WIN32)
        module = LoadLibraryA(VL_PLUGIN_FILE_NAME); // the test runs in the library's folder
        ASSERT_NE(module, nullptr) << "LoadLibrary " << VL_PLUGIN_FILE_NAME;
        mainEntry = reinterpret_cast<EntryProc>(reinterpret_cast<void*>(GetProcAddress(module, "main")));
        otherEntry = reinterpret_cast<EntryProc>(reinterpret_cast<void*>(GetProcAddress(module, "VSTPluginMain")));
#else
        module = dlopen(VL_PLUGIN_FILE, RTLD_NOW | RTLD_LOCAL);
        ASSERT_NE(module, nullptr) << dlerror();
        mainEntry = reinterpret_cast<EntryProc>(dlsym(module, "main"));
        otherEntry = reinterpret_cast<EntryProc>(dlsym(module, "VSTPluginMain"));
#endif
    }
    static void TearDownTestSuite() {
#if defined(_WIN32)
        if (module) FreeLibrary(module);
#else
        if (module) dlclose(module);
#endif
        module = nullptr;
    }
    void SetUp() override {
        ASSERT_NE(module, nullptr);
        ASSERT_NE(mainEntry, nullptr);
        requests.clear();
        versionAnswer = 2400;
    }

    static VstIntPtr call(AEffect* e, VstInt32 opcode, VstInt32 index = 0, VstIntPtr value = 0, void* ptr = nullptr,
                          float opt = 0.0f) {
        return e->dispatcher(e, opcode, index, value, ptr, opt);
    }

#if defined(_WIN32)
    static inline HMODULE module = nullptr;
#else
    static inline void* module = nullptr;
#endif
    static inline EntryProc mainEntry = nullptr;
    static inline EntryProc otherEntry = nullptr;
};

TEST_F(PluginEntry, ExportsTheEntryNamesOfItsPlatform) {
#if defined(_WIN32)
    EXPECT_EQ(otherEntry, nullptr); // the DLL's one export is main
#else
    ASSERT_NE(otherEntry, nullptr);
    // Both names lead into the plug-in library itself, not into the host's program.
    Dl_info info{};
    ASSERT_NE(dladdr(reinterpret_cast<void*>(mainEntry), &info), 0);
    EXPECT_NE(std::string(info.dli_fname).find("velmorloom.so"), std::string::npos) << info.dli_fname;
    ASSERT_NE(dladdr(reinterpret_cast<void*>(otherEntry), &info), 0);
    EXPECT_NE(std::string(info.dli_fname).find("velmorloom.so"), std::string::npos) << info.dli_fname;
    // Nothing else is visible through the handle.
    EXPECT_EQ(dlsym(module, "_ZN2vl10Instrument12setParameterEif"), nullptr);
    EXPECT_EQ(dlsym(module, "_ZN2vl11EffectFrame13dispatchThunkEP7AEffectiilPvf"), nullptr);
    EXPECT_EQ(dlsym(module, "_ZN2vl10showNoticeEPKcS1_"), nullptr);
#endif
}

TEST_F(PluginEntry, MainAsksTheHostVersionThenReturnsAWorkingRecord) {
    AEffect* e = mainEntry(host);
    ASSERT_NE(e, nullptr);
    ASSERT_FALSE(requests.empty());
    EXPECT_EQ(requests[0].effect, nullptr);
    EXPECT_EQ(requests[0].opcode, audioMasterVersion);
    EXPECT_EQ(requests[0].index, 0);
    EXPECT_EQ(requests[0].value, 0);
    EXPECT_EQ(requests[0].ptr, nullptr);
    EXPECT_EQ(requests[0].opt, 0.0f);

    EXPECT_EQ(e->magic, 0x56737450);
    EXPECT_NE(e->object, nullptr);
    EXPECT_EQ(e->numInputs, 0);
    EXPECT_EQ(e->numOutputs, 2);
    EXPECT_EQ(e->numPrograms, 8);
    EXPECT_EQ(e->numParams, 13);
    EXPECT_EQ(e->uniqueID, ('V' << 24) | ('L' << 16) | ('M' << 8) | 'R');
    EXPECT_EQ(e->flags & (effFlagsCanReplacing | effFlagsProgramChunks | effFlagsIsSynth),
              effFlagsCanReplacing | effFlagsProgramChunks | effFlagsIsSynth);
    EXPECT_EQ(call(e, effIdentify), 0x4E764566);
    EXPECT_EQ(call(e, effGetVstVersion), 2200);
    EXPECT_EQ(call(e, effGetPlugCategory), kPlugCategSynth);
    EXPECT_EQ(call(e, effCanDo, 0, 0, const_cast<char*>("sendVstEvents")), -1);

    // A host's usual start: open, rate, block size, switch on, render, switch off, close.
    call(e, effOpen);
    call(e, effSetSampleRate, 0, 0, nullptr, 44100.0f);
    call(e, effSetBlockSize, 0, 64);
    call(e, effMainsChanged, 0, 1);
    float left[64], right[64];
    for (float& s : left) s = 99.0f;
    for (float& s : right) s = 99.0f;
    float* outs[2] = {left, right};
    e->processReplacing(e, nullptr, outs, 64);
    for (int i = 0; i < 64; ++i) {
        // No note played: silence (up to the tiny anti-denormal offset) replaces the buffer.
        EXPECT_LT(std::fabs(left[i]), 1e-20f) << i;
        EXPECT_LT(std::fabs(right[i]), 1e-20f) << i;
    }
    call(e, effMainsChanged, 0, 0);
    EXPECT_EQ(call(e, effClose), 1);
}

TEST_F(PluginEntry, EveryCallCreatesAnIndependentInstance) {
    AEffect* a = mainEntry(host);
    AEffect* b = mainEntry(host);
    ASSERT_NE(a, nullptr);
    ASSERT_NE(b, nullptr);
    EXPECT_NE(a, b);
    EXPECT_NE(a->object, b->object);
    call(a, effSetProgram, 0, 3);
    EXPECT_EQ(call(a, effGetProgram), 3);
    EXPECT_EQ(call(b, effGetProgram), 0);
    EXPECT_EQ(call(a, effClose), 1);
    EXPECT_EQ(call(b, effGetProgram), 0); // still alive after the other one closed
    EXPECT_EQ(call(b, effClose), 1);
}

TEST_F(PluginEntry, BothNamesBehaveAlike) {
    if (!otherEntry) GTEST_SKIP() << "single export on this platform";
    AEffect* a = mainEntry(host);
    AEffect* b = otherEntry(host);
    ASSERT_NE(a, nullptr);
    ASSERT_NE(b, nullptr);
    EXPECT_NE(a, b);
    EXPECT_EQ(a->magic, b->magic);
    EXPECT_EQ(a->uniqueID, b->uniqueID);
    EXPECT_EQ(a->dispatcher, b->dispatcher);
    EXPECT_EQ(call(a, effClose), 1);
    EXPECT_EQ(call(b, effClose), 1);
}

TEST_F(PluginEntry, HostAnsweringVersionZeroGetsNothing) {
    versionAnswer = 0;
    EXPECT_EQ(mainEntry(host), nullptr);
    ASSERT_EQ(requests.size(), 1u); // only the version request: no instance was built
    EXPECT_EQ(requests[0].opcode, audioMasterVersion);
    if (otherEntry) {
        requests.clear();
        EXPECT_EQ(otherEntry(host), nullptr);
        EXPECT_EQ(requests.size(), 1u);
    }
}

TEST_F(PluginEntry, NoHostCallbackGetsNothing) {
    EXPECT_EQ(mainEntry(nullptr), nullptr);
    if (otherEntry) {
        EXPECT_EQ(otherEntry(nullptr), nullptr);
    }
}

} // namespace
