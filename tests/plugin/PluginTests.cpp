// The built plug-in loaded as a host loads it: dlopen, the exported entry points, and
// nothing but the AEffect record's functions from then on.
#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <memory>

#include "tests/support/PanelScreen.h"
#include "tests/support/PluginHost.h"

using namespace plugtest;

namespace {

Library& library() {
    static Library lib;
    return lib;
}

std::vector<unsigned char> bytesOf(const void* data, VstIntPtr size) {
    const auto* p = static_cast<const unsigned char*>(data);
    return std::vector<unsigned char>(p, p + size);
}

std::vector<unsigned char> getChunk(AEffect* effect, bool isPreset) {
    void* data = nullptr;
    const VstIntPtr size = dispatch(effect, effGetChunk, isPreset ? 1 : 0, 0, &data);
    if (!data || size <= 0) return {};
    return bytesOf(data, size);
}

std::string text(AEffect* effect, VstInt32 opcode, VstInt32 index = 0, VstIntPtr* answer = nullptr) {
    char buffer[256];
    std::memset(buffer, 'x', sizeof buffer);
    buffer[255] = '\0';
    const VstIntPtr result = dispatch(effect, opcode, index, 0, buffer);
    if (answer) *answer = result;
    return buffer;
}

struct Block {
    std::vector<float> left, right;
};

Block renderBlock(AEffect* effect, int frames) {
    Block block;
    block.left.assign(static_cast<std::size_t>(frames), 7.0f);
    block.right.assign(static_cast<std::size_t>(frames), 7.0f);
    float* outputs[2] = {block.left.data(), block.right.data()};
    effect->processReplacing(effect, nullptr, outputs, frames);
    return block;
}

float peak(const std::vector<float>& v) {
    float m = 0.0f;
    for (float s : v) m = std::max(m, std::fabs(s));
    return m;
}

bool allFinite(const std::vector<float>& v) {
    for (float s : v) {
        if (!std::isfinite(s)) return false;
    }
    return true;
}

// Plays a note and answers the peak of what follows.
float playNote(AEffect* effect, int key = 69) {
    EventList<1> list;
    list.add(0, 0x90, key, 127);
    EXPECT_EQ(dispatch(effect, effProcessEvents, 0, 0, list.get()), 1);
    float p = 0.0f;
    for (int i = 0; i < 8; ++i) {
        Block block = renderBlock(effect, 512);
        EXPECT_TRUE(allFinite(block.left) && allFinite(block.right));
        p = std::max(p, peak(block.left));
    }
    return p;
}

class Plugin : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_NE(library().handle, nullptr) << dlerror();
        ASSERT_NE(library().pluginMain, nullptr);
        ASSERT_NE(library().legacyMain, nullptr);
        recorder().take();
        effect = library().pluginMain(recordingHost);
        ASSERT_NE(effect, nullptr);
    }
    void TearDown() override {
        if (effect) {
            EXPECT_EQ(dispatch(effect, effClose), 1);
        }
    }
    AEffect* effect = nullptr;
};

} // namespace

TEST(PluginEntry, BothNamesCreateIndependentInstances) {
    ASSERT_NE(library().handle, nullptr) << dlerror();
    AEffect* a = library().pluginMain(recordingHost);
    AEffect* b = library().legacyMain(recordingHost);
    ASSERT_NE(a, nullptr);
    ASSERT_NE(b, nullptr);
    EXPECT_NE(a, b);
    EXPECT_NE(a->object, b->object);
    EXPECT_EQ(a->magic, kEffectMagic);
    EXPECT_EQ(b->magic, kEffectMagic);
    // Changes on one are not seen by the other.
    b->setParameter(b, 0, 0.25f);
    dispatch(b, effSetProgram, 0, 4);
    EXPECT_EQ(a->getParameter(a, 0), 1.0f);
    EXPECT_EQ(dispatch(a, effGetProgram), 0);
    EXPECT_EQ(dispatch(b, effGetProgram), 4);
    EXPECT_EQ(dispatch(a, effClose), 1);
    // b keeps working after a is gone.
    dispatch(b, effMainsChanged, 0, 1);
    EXPECT_GT(playNote(b), 1e-4f);
    EXPECT_EQ(dispatch(b, effClose), 1);
}

TEST(PluginEntry, AHostWithoutVersionGetsNothing) {
    ASSERT_NE(library().handle, nullptr);
    recorder().take();
    StderrCapture capture;
    EXPECT_EQ(library().pluginMain(silentHost), nullptr);
    EXPECT_EQ(library().legacyMain(silentHost), nullptr);
    EXPECT_TRUE(capture.lines().empty());
    const auto calls = recorder().take();
    ASSERT_EQ(calls.size(), 2u);
    for (const HostCall& call : calls) {
        EXPECT_EQ(call.opcode, audioMasterVersion);
        EXPECT_EQ(call.effect, nullptr);
    }
}

TEST(PluginEntry, TheLastInstanceFreesAndTheNextRebuildsTheTables) {
    ASSERT_NE(library().handle, nullptr);
    for (int round = 0; round < 3; ++round) {
        AEffect* a = library().pluginMain(recordingHost);
        AEffect* b = library().pluginMain(recordingHost);
        ASSERT_NE(a, nullptr);
        ASSERT_NE(b, nullptr);
        EXPECT_GT(playNote(a), 1e-4f);
        EXPECT_EQ(dispatch(a, effClose), 1);
        EXPECT_GT(playNote(b), 1e-4f); // tables still there for b
        EXPECT_EQ(dispatch(b, effClose), 1);
    }
}

TEST_F(Plugin, RecordAsTheHostSeesIt) {
    EXPECT_EQ(effect->magic, 0x56737450);
    EXPECT_EQ(effect->numPrograms, 8);
    EXPECT_EQ(effect->numParams, 13);
    EXPECT_EQ(effect->numInputs, 0);
    EXPECT_EQ(effect->numOutputs, 2);
    EXPECT_EQ(effect->flags, effFlagsHasEditor | effFlagsCanReplacing | effFlagsProgramChunks | effFlagsIsSynth);
    EXPECT_EQ(effect->uniqueID, 0x564C4D52);
    EXPECT_EQ(effect->version, 1);
    EXPECT_EQ(effect->ioRatio, 1.0f);
    EXPECT_EQ(effect->initialDelay, 0);
    EXPECT_NE(effect->process, nullptr);
    EXPECT_NE(effect->processReplacing, nullptr);
    // Construction selected program 0 and asked the host for a display refresh.
    EXPECT_EQ(dispatch(effect, effGetProgram), 0);
}

TEST_F(Plugin, DispatcherOpcodesZeroToTwentyFour) {
    EXPECT_EQ(dispatch(effect, effOpen), 0);
    EXPECT_EQ(dispatch(effect, effSetProgram, 0, 3), 0);
    EXPECT_EQ(dispatch(effect, effGetProgram), 3);
    EXPECT_EQ(dispatch(effect, effSetProgram, 0, 8), 0);
    EXPECT_EQ(dispatch(effect, effGetProgram), 3);
    EXPECT_EQ(dispatch(effect, effSetProgram, 0, -1), 0);
    EXPECT_EQ(dispatch(effect, effGetProgram), 3);
    VstIntPtr answer = -7;
    EXPECT_EQ(text(effect, effGetProgramName, 0, &answer), "Velmor Flute");
    EXPECT_EQ(answer, 0);
    char name[] = "Renamed";
    EXPECT_EQ(dispatch(effect, effSetProgramName, 0, 0, name), 0);
    EXPECT_EQ(text(effect, effGetProgramName), "Renamed");
    EXPECT_EQ(text(effect, effGetParamLabel, 1, &answer), " ");
    EXPECT_EQ(answer, 0);
    EXPECT_EQ(text(effect, effGetParamLabel, 0), "%");
    EXPECT_EQ(text(effect, effGetParamLabel, 13), "");
    EXPECT_EQ(text(effect, effGetParamName, 6, &answer), "Ensemble Feedback");
    EXPECT_EQ(answer, 0);
    EXPECT_EQ(text(effect, effGetParamName, 13), "");
    // Program 3 values, displayed.
    const char* displays[13] = {"100", "001", "003", "000", "076", "024", "-10",
                                "000", "OFF", "000", "011", "010", "16"};
    // 0.77 as a float lies just below the decimal: "076".
    for (int i = 0; i < 13; ++i) {
        EXPECT_EQ(text(effect, effGetParamDisplay, i, &answer), displays[i]) << i;
        EXPECT_EQ(answer, 0);
    }
    EXPECT_EQ(text(effect, effGetParamDisplay, -1), "");
    EXPECT_EQ(dispatch(effect, effGetVu), 0);
    EXPECT_EQ(dispatch(effect, effSetSampleRate, 0, 0, nullptr, 48000.0f), 0);
    EXPECT_EQ(dispatch(effect, effSetBlockSize, 0, 256), 0);
    recorder().take();
    EXPECT_EQ(dispatch(effect, effMainsChanged, 0, 1), 0);
    EXPECT_EQ(recorder().count(effect, audioMasterWantMidi), 1);
    EXPECT_EQ(dispatch(effect, effMainsChanged, 0, 0), 0);
    // The panel: its rectangle; without a parent window it opens with no window of its own.
    vltest::expectPanelRect(effect);
    EXPECT_EQ(dispatch(effect, effEditOpen), 1);
    for (VstInt32 op :
         {effEditIdle, effEditClose, effEditDraw, effEditMouse, effEditKey, effEditIdle, effEditTop, effEditSleep})
        EXPECT_EQ(dispatch(effect, op), 0) << op;
    EXPECT_EQ(dispatch(effect, effIdentify), 0x4E764566);
    void* data = nullptr;
    EXPECT_EQ(dispatch(effect, effGetChunk, 0, 0, &data), 652);
    EXPECT_NE(data, nullptr);
    EXPECT_EQ(dispatch(effect, effGetChunk, 1, 0, &data), 88);
    std::vector<unsigned char> preset = bytesOf(data, 88);
    EXPECT_EQ(dispatch(effect, effSetChunk, 1, 88, preset.data()), 1);
}

TEST_F(Plugin, DispatcherOpcodesTwentyFiveToSixtyEight) {
    EventList<1> list;
    list.add(0, 0x90, 60, 100);
    EXPECT_EQ(dispatch(effect, effProcessEvents, 0, 0, list.get()), 1);
    for (int i = 0; i < 13; ++i) EXPECT_EQ(dispatch(effect, effCanBeAutomated, i), 1) << i;
    char value[] = "0.5";
    EXPECT_EQ(dispatch(effect, effString2Parameter, 0, 0, value), 0);
    EXPECT_EQ(dispatch(effect, effGetNumProgramCategories), 1);
    const char* names[8] = {"String Ensemble", "Velmor Lead", "Faraway pad",  "Velmor Flute",
                            "Pad Lead",        "Soft Pad",    "Solo Strings", "Warm Strings"};
    for (int p = 0; p < 8; ++p) {
        VstIntPtr answer = 0;
        EXPECT_EQ(text(effect, effGetProgramNameIndexed, p, &answer), names[p]);
        EXPECT_EQ(answer, 1);
    }
    char untouched[32] = "untouched";
    EXPECT_EQ(dispatch(effect, effGetProgramNameIndexed, 8, 0, untouched), 0);
    EXPECT_STREQ(untouched, "untouched");
    EXPECT_EQ(dispatch(effect, effCopyProgram, 5), 1);
    EXPECT_EQ(dispatch(effect, effCopyProgram, 8), 0);
    EXPECT_EQ(text(effect, effGetProgramNameIndexed, 5), "String Ensemble");
    EXPECT_EQ(dispatch(effect, effConnectInput, 0, 1), 1);
    EXPECT_EQ(dispatch(effect, effConnectOutput, 1, 0), 1);
    VstPinProperties pin{};
    EXPECT_EQ(dispatch(effect, effGetInputProperties, 0, 0, &pin), 0);
    EXPECT_EQ(dispatch(effect, effGetOutputProperties, 1, 0, &pin), 1);
    EXPECT_STREQ(pin.label, "VLMR2");
    EXPECT_EQ(pin.flags, 3);
    EXPECT_EQ(dispatch(effect, effGetOutputProperties, 0, 0, &pin), 1);
    EXPECT_STREQ(pin.label, "VLMR1");
    EXPECT_EQ(dispatch(effect, effGetOutputProperties, 2, 0, &pin), 0);
    EXPECT_EQ(dispatch(effect, effGetPlugCategory), kPlugCategSynth);
    EXPECT_EQ(dispatch(effect, effGetCurrentPosition), 0);
    EXPECT_EQ(dispatch(effect, effGetDestinationBuffer), 0);
    for (VstInt32 op : {effOfflineNotify, effOfflinePrepare, effOfflineRun, effProcessVarIo, effSetSpeakerArrangement})
        EXPECT_EQ(dispatch(effect, op), 0) << op;
    EXPECT_EQ(dispatch(effect, effSetBlockSizeAndSampleRate, 0, 128, nullptr, 96000.0f), 1);
    EXPECT_EQ(dispatch(effect, effSetBypass, 0, 1), 0);
    VstIntPtr answer = 0;
    EXPECT_EQ(text(effect, effGetEffectName, 0, &answer), "Velmor Loom");
    EXPECT_EQ(answer, 1);
    EXPECT_EQ(dispatch(effect, effGetErrorText, 0, 0, untouched), 0);
    EXPECT_EQ(text(effect, effGetVendorString, 0, &answer), "Tarlowe");
    EXPECT_EQ(answer, 1);
    EXPECT_EQ(text(effect, effGetProductString, 0, &answer), "Velmor Loom");
    EXPECT_EQ(answer, 1);
    EXPECT_EQ(dispatch(effect, effGetVendorVersion), 1);
    EXPECT_EQ(dispatch(effect, effVendorSpecific), 0);
    char can1[] = "receiveVstEvents", can2[] = "receiveVstMidiEvent", cannot[] = "sendVstEvents";
    EXPECT_EQ(dispatch(effect, effCanDo, 0, 0, can1), 1);
    EXPECT_EQ(dispatch(effect, effCanDo, 0, 0, can2), 1);
    EXPECT_EQ(dispatch(effect, effCanDo, 0, 0, cannot), -1);
    EXPECT_EQ(dispatch(effect, effGetTailSize), 0);
    EXPECT_EQ(dispatch(effect, effIdle), 0);
    EXPECT_EQ(dispatch(effect, effGetIcon), 0);
    EXPECT_EQ(dispatch(effect, effSetViewPosition, 10, 10), 0);
    EXPECT_EQ(dispatch(effect, effGetParameterProperties, 0, 0, untouched), 0);
    EXPECT_EQ(dispatch(effect, effKeysRequired), 0);
    EXPECT_EQ(dispatch(effect, effGetVstVersion), 2200);
    // keys the closed panel did not use, and the knob mode
    EXPECT_EQ(dispatch(effect, effEditKeyDown, 'a', 0, nullptr, 0.0f), -1);
    EXPECT_EQ(dispatch(effect, effEditKeyUp, 'a'), -1);
    EXPECT_EQ(dispatch(effect, effSetEditKnobMode, 0, 2), 1);
    EXPECT_EQ(dispatch(effect, effGetMidiProgramName), 0);
    EXPECT_EQ(dispatch(effect, effGetCurrentMidiProgram), -1);
    EXPECT_EQ(dispatch(effect, effGetMidiProgramCategory), 0);
    for (VstInt32 op : {effHasMidiProgramsChanged, effGetMidiKeyName, effBeginSetProgram, effEndSetProgram})
        EXPECT_EQ(dispatch(effect, op), 0) << op;
    for (VstInt32 op = 69; op <= 80; ++op) EXPECT_EQ(dispatch(effect, op), 0) << op;
    // The instrument still plays after all that.
    EXPECT_GT(playNote(effect), 1e-4f);
}

TEST_F(Plugin, ParametersThroughTheRecord) {
    EXPECT_EQ(effect->getParameter(effect, 0), 1.0f);
    EXPECT_EQ(effect->getParameter(effect, 9), 0.95f);
    EXPECT_EQ(effect->getParameter(effect, 13), 0.0f);
    effect->setParameter(effect, 8, 0.01f);
    EXPECT_EQ(text(effect, effGetParamDisplay, 8), "OFF");
    effect->setParameter(effect, 8, 0.015f);
    EXPECT_EQ(text(effect, effGetParamDisplay, 8), "001");
    effect->setParameter(effect, 6, 1.0f);
    EXPECT_EQ(text(effect, effGetParamDisplay, 6), "+50");
    effect->setParameter(effect, 12, 1.0f);
    EXPECT_EQ(text(effect, effGetParamDisplay, 12), "32");
    effect->setParameter(effect, 0, std::numeric_limits<float>::quiet_NaN());
    EXPECT_EQ(effect->getParameter(effect, 0), 0.0f);
    effect->setParameter(effect, 0, 2.0f);
    EXPECT_EQ(effect->getParameter(effect, 0), 1.0f);
    effect->setParameter(effect, -3, 0.5f); // ignored
    effect->setParameter(effect, 13, 0.5f);
    // Host-set values are not reported back as automation.
    EXPECT_EQ(recorder().count(effect, audioMasterAutomate), 0);
}

TEST_F(Plugin, MidiControllersAndProgramChanges) {
    EventList<4> list;
    list.add(0, 0xB0, 7, 64);
    list.add(1, 0xB0, 96, 40);
    list.add(2, 0xC0, 5, 0);
    list.add(3, 0xB0, 12, 0);
    dispatch(effect, effProcessEvents, 0, 0, list.get());
    // Offsets count from the start of each block: an event waits until a block is long
    // enough to reach it.
    renderBlock(effect, 1);
    EXPECT_EQ(effect->getParameter(effect, 0), 64.0f * 0.007874016f);
    EXPECT_EQ(effect->getParameter(effect, 1), 0.1f);
    renderBlock(effect, 1);
    EXPECT_EQ(effect->getParameter(effect, 1), 0.1f);
    renderBlock(effect, 2);
    EXPECT_EQ(effect->getParameter(effect, 1), 0.1f + 0.0078125f);
    EXPECT_EQ(dispatch(effect, effGetProgram), 0);
    renderBlock(effect, 3);
    EXPECT_EQ(dispatch(effect, effGetProgram), 5);
    EXPECT_EQ(text(effect, effGetProgramName), "Soft Pad");
    EXPECT_EQ(effect->getParameter(effect, 0), 1.0f);
    renderBlock(effect, 64);
    EXPECT_EQ(effect->getParameter(effect, 0), 1.0f);
    list.clear();
    list.add(0, 0xC0, 9, 0);
    list.add(0, 0xB2, 97, 7);
    dispatch(effect, effProcessEvents, 0, 0, list.get());
    renderBlock(effect, 64);
    EXPECT_EQ(dispatch(effect, effGetProgram), 5);
    EXPECT_EQ(effect->getParameter(effect, 0), 1.0f - 0.0078125f);
}

TEST_F(Plugin, ChunkBytesAndRoundTripsThroughFreshInstances) {
    const auto fresh = getChunk(effect, false);
    ASSERT_EQ(fresh.size(), 652u);
    const unsigned char head[8] = {'R', 'M', 'L', 'V', 1, 0, 0, 0};
    EXPECT_EQ(std::memcmp(fresh.data(), head, 8), 0);
    EXPECT_STREQ(reinterpret_cast<const char*>(&fresh[8]), "String Ensemble");

    // An edited state: another program, an edited value and name, a copied slot.
    dispatch(effect, effSetProgram, 0, 6);
    effect->setParameter(effect, 3, 0.123f);
    char name[] = "Session Strings";
    dispatch(effect, effSetProgramName, 0, 0, name);
    dispatch(effect, effCopyProgram, 2);
    const auto bank = getChunk(effect, false);
    const auto preset = getChunk(effect, true);
    ASSERT_EQ(bank.size(), 652u);
    ASSERT_EQ(preset.size(), 88u);
    EXPECT_EQ(bank[648], 6);
    EXPECT_STREQ(reinterpret_cast<const char*>(&preset[8]), "Session Strings");
    EXPECT_EQ(std::memcmp(&bank[8 + 6 * 80], &preset[8], 80), 0);

    AEffect* other = library().pluginMain(recordingHost);
    ASSERT_NE(other, nullptr);
    std::vector<unsigned char> copy = bank;
    EXPECT_EQ(dispatch(other, effSetChunk, 0, 652, copy.data()), 1);
    EXPECT_EQ(getChunk(other, false), bank);
    EXPECT_EQ(getChunk(other, true), preset);
    EXPECT_EQ(dispatch(other, effGetProgram), 6);
    EXPECT_EQ(other->getParameter(other, 3), 0.123f);
    EXPECT_EQ(dispatch(other, effClose), 1);

    // A program chunk into a fresh instance lands in its current slot.
    AEffect* third = library().pluginMain(recordingHost);
    ASSERT_NE(third, nullptr);
    dispatch(third, effSetProgram, 0, 1);
    copy = preset;
    EXPECT_EQ(dispatch(third, effSetChunk, 1, 88, copy.data()), 1);
    EXPECT_EQ(getChunk(third, true), preset);
    EXPECT_EQ(text(third, effGetProgramNameIndexed, 1), "Session Strings");
    EXPECT_EQ(text(third, effGetProgramNameIndexed, 6), "Solo Strings");
    EXPECT_EQ(dispatch(third, effClose), 1);
}

TEST_F(Plugin, RefusedChunksShowTheirMessages) {
    auto bank = getChunk(effect, false);
    auto preset = getChunk(effect, true);
    const std::string invalid = "Velmor Loom Error: Invalid patch/bank format";
    const std::string newer = "Velmor Loom Error: This file was created with a more recent version of the program";
    auto refuse = [&](std::vector<unsigned char> bytes, VstIntPtr size, int isPreset) {
        StderrCapture capture;
        const VstIntPtr answer = dispatch(effect, effSetChunk, isPreset, size, bytes.data());
        EXPECT_EQ(answer, 0);
        return capture.lines();
    };
    EXPECT_EQ(refuse(bank, 652, 1), std::vector<std::string>{invalid});
    EXPECT_EQ(refuse(preset, 88, 0), std::vector<std::string>{invalid});
    EXPECT_EQ(refuse(preset, 40, 1), std::vector<std::string>{invalid});
    auto badId = bank;
    badId[1] = 'm';
    EXPECT_EQ(refuse(badId, 652, 0), std::vector<std::string>{invalid});
    auto v2 = bank;
    v2[4] = 2;
    EXPECT_EQ(refuse(v2, 652, 0), std::vector<std::string>{newer});
    auto pv2 = preset;
    pv2[4] = 2;
    EXPECT_EQ(refuse(pv2, 88, 1), std::vector<std::string>{newer});
    // Nothing changed.
    EXPECT_EQ(getChunk(effect, false), bank);
    auto v0 = bank;
    v0[4] = 0;
    StderrCapture capture;
    EXPECT_EQ(dispatch(effect, effSetChunk, 0, 652, v0.data()), 1);
    EXPECT_TRUE(capture.lines().empty());
}

TEST_F(Plugin, HostLikeSessionRestoresItsState) {
    // The order a Linux host uses when it adds, plays and reloads an instrument.
    EXPECT_EQ(dispatch(effect, effOpen), 0);
    EXPECT_EQ(dispatch(effect, effSetSampleRate, 0, 0, nullptr, 48000.0f), 0);
    EXPECT_EQ(dispatch(effect, effSetBlockSize, 0, 1024), 0);
    for (int i = 0; i < effect->numParams; ++i) {
        EXPECT_EQ(dispatch(effect, effCanBeAutomated, i), 1);
        char props[256] = {};
        EXPECT_EQ(dispatch(effect, effGetParameterProperties, i, 0, props), 0);
        EXPECT_FALSE(text(effect, effGetParamName, i).empty());
    }
    char bypass[] = "bypass";
    EXPECT_EQ(dispatch(effect, effCanDo, 0, 0, bypass), -1);
    EXPECT_EQ(dispatch(effect, effSetBypass, 0, 1), 0);
    EXPECT_EQ(dispatch(effect, effMainsChanged, 0, 1), 0);

    // Blocks of 1024 frames, events only in the blocks that carry some.
    float loudest = 0.0f;
    for (int block = 0; block < 24; ++block) {
        EventList<2> list;
        if (block == 1) list.add(100, 0x90, 57, 110);
        if (block == 2) list.add(0, 0x90, 64, 90);
        if (block == 12) {
            list.add(5, 0x80, 57, 0);
            list.add(6, 0x80, 64, 0);
        }
        if (list.numEvents > 0) {
            EXPECT_EQ(dispatch(effect, effProcessEvents, 0, 0, list.get()), 1);
        }
        Block out = renderBlock(effect, 1024);
        ASSERT_TRUE(allFinite(out.left) && allFinite(out.right));
        loudest = std::max(loudest, peak(out.left));
        if (block == 0) {
            EXPECT_LT(peak(out.left), 1e-20f); // nothing played yet
        }
    }
    EXPECT_GT(loudest, 1e-3f);

    const auto saved = getChunk(effect, false);
    const VstIntPtr program = dispatch(effect, effGetProgram);
    dispatch(effect, effSetProgram, 0, 2);
    effect->setParameter(effect, 0, 0.3f);
    std::vector<unsigned char> copy = saved;
    EXPECT_EQ(dispatch(effect, effSetChunk, 0, static_cast<VstIntPtr>(copy.size()), copy.data()), 1);
    EXPECT_EQ(dispatch(effect, effGetProgram), program);
    EXPECT_EQ(getChunk(effect, false), saved);
    EXPECT_EQ(dispatch(effect, effMainsChanged, 0, 0), 0);
}
