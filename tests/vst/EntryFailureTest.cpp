// The entry's answers when the instrument cannot be built, driven through a test copy of
// the plug-in whose instrument is a stand-in (fake/instrument/Instrument.h).

#include <gtest/gtest.h>

#include <dlfcn.h>

#include <cstdlib>
#include <string>
#include <vector>

#include "fake/instrument/Instrument.h"

namespace {

using EntryProc = AEffect* (*)(audioMasterCallback);

VstIntPtr versionAnswer = 2400;
bool ready = true;
bool throwing = false;
std::vector<VstInt32> seen; // opcodes, and vendor-specific indices as negative numbers

VstIntPtr host(AEffect*, VstInt32 opcode, VstInt32 index, VstIntPtr, void*, float) {
    if (opcode != audioMasterVendorSpecific) {
        seen.push_back(opcode);
        return opcode == audioMasterVersion ? versionAnswer : 0;
    }
    seen.push_back(-index);
    if (index == vltest::kAskReady) return ready ? 1 : 0;
    if (index == vltest::kAskThrow) return throwing ? 1 : 0;
    return 0;
}

class EntryFailure : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        module = dlopen(VL_FAKE_PLUGIN_FILE, RTLD_NOW | RTLD_LOCAL);
        ASSERT_NE(module, nullptr) << dlerror();
        entry = reinterpret_cast<EntryProc>(dlsym(module, "VSTPluginMain"));
    }
    static void TearDownTestSuite() {
        if (module) dlclose(module);
    }
    void SetUp() override {
        ASSERT_NE(entry, nullptr);
        versionAnswer = 2400;
        ready = true;
        throwing = false;
        seen.clear();
        unsetenv(vltest::kNoMemoryVariable);
    }
    void TearDown() override { unsetenv(vltest::kNoMemoryVariable); }

    // Calls the entry and returns what it printed as its notice.
    std::string callEntry(AEffect** result) {
        ::testing::internal::CaptureStderr();
        *result = entry(host);
        return ::testing::internal::GetCapturedStderr();
    }

    static inline void* module = nullptr;
    static inline EntryProc entry = nullptr;
};

TEST_F(EntryFailure, ReadyInstrumentIsReturnedWithoutNotice) {
    AEffect* e = nullptr;
    EXPECT_EQ(callEntry(&e), "");
    ASSERT_NE(e, nullptr);
    EXPECT_EQ(e->magic, kEffectMagic);
    EXPECT_EQ(seen, (std::vector<VstInt32>{audioMasterVersion, -vltest::kAskThrow, -vltest::kAskReady}));
    seen.clear();
    EXPECT_EQ(e->dispatcher(e, effClose, 0, 0, nullptr, 0.0f), 1);
    EXPECT_EQ(seen, std::vector<VstInt32>{-vltest::kReportDestroyed});
}

TEST_F(EntryFailure, NotReadyInstrumentIsDestroyedAndRefused) {
    ready = false;
    AEffect* e = reinterpret_cast<AEffect*>(1);
    EXPECT_EQ(callEntry(&e), "error: cant init vsti\n");
    EXPECT_EQ(e, nullptr);
    EXPECT_EQ(seen, (std::vector<VstInt32>{audioMasterVersion, -vltest::kAskThrow, -vltest::kAskReady,
                                           -vltest::kReportDestroyed}));
}

TEST_F(EntryFailure, FailedAllocationIsReportedAndRefused) {
    setenv(vltest::kNoMemoryVariable, "1", 1);
    AEffect* e = reinterpret_cast<AEffect*>(1);
    EXPECT_EQ(callEntry(&e), "error: cant alloc vsti\n");
    EXPECT_EQ(e, nullptr);
    EXPECT_EQ(seen, std::vector<VstInt32>{audioMasterVersion}); // no instance was constructed
}

TEST_F(EntryFailure, ThrowingConstructorDoesNotEscapeTheEntry) {
    throwing = true;
    AEffect* e = reinterpret_cast<AEffect*>(1);
    EXPECT_EQ(callEntry(&e), "error: cant init vsti\n");
    EXPECT_EQ(e, nullptr);
}

TEST_F(EntryFailure, HostVersionZeroCreatesNothingAndShowsNothing) {
    versionAnswer = 0;
    AEffect* e = reinterpret_cast<AEffect*>(1);
    EXPECT_EQ(callEntry(&e), "");
    EXPECT_EQ(e, nullptr);
    EXPECT_EQ(seen, std::vector<VstInt32>{audioMasterVersion});
}

} // namespace
