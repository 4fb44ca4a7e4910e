// Every request the frame makes to its host: opcode and arguments sent, how the answer is
// read, and the neutral value when there is no host.

#include <gtest/gtest.h>

#include <cstdint>
#include <functional>

#include "FrameProbe.h"

namespace vltest {
namespace {

using Log = std::vector<std::string>;

void* fakePtr(std::uintptr_t value) { return reinterpret_cast<void*>(value); }

// One wrapper: what it must send, and what it must return for a given host answer.
struct Row {
    const char* name;
    std::function<VstIntPtr(PlainFrame&)> call; // calls the wrapper, result as an integer
    VstInt32 opcode;
    VstInt32 index;
    VstIntPtr value;
    void* ptr;
    float opt;
    VstIntPtr hostAnswer;
    VstIntPtr expected; // with the host answering hostAnswer
    VstIntPtr neutral; // without a host
};

VstIntPtr asInt(const void* p) { return reinterpret_cast<VstIntPtr>(p); }

std::vector<Row> rows() {
    auto* task = static_cast<VstOfflineTask*>(fakePtr(0x1100));
    auto* files = static_cast<VstAudioFile*>(fakePtr(0x1200));
    auto* spIn = static_cast<VstSpeakerArrangement*>(fakePtr(0x1300));
    auto* spOut = static_cast<VstSpeakerArrangement*>(fakePtr(0x1400));
    auto* text = static_cast<char*>(fakePtr(0x1500));
    auto* window = static_cast<VstWindow*>(fakePtr(0x1600));
    auto* select = static_cast<VstFileSelect*>(fakePtr(0x1700));
    const VstIntPtr bigPointer = asInt(
        fakePtr(sizeof(void*) == 8 ? static_cast<std::uintptr_t>(0x7F00ABCD1234ull & UINTPTR_MAX) : 0x7F001234u));
    // clang-format off
    return {
        {"getMasterVersion", [](PlainFrame& f) { return VstIntPtr(f.getMasterVersion()); },
         audioMasterVersion, 0, 0, nullptr, 0, 2400, 2400, 1},
        {"getMasterVersion 0", [](PlainFrame& f) { return VstIntPtr(f.getMasterVersion()); },
         audioMasterVersion, 0, 0, nullptr, 0, 0, 1, 1},
        {"getCurrentUniqueId", [](PlainFrame& f) { return VstIntPtr(f.getCurrentUniqueId()); },
         audioMasterCurrentId, 0, 0, nullptr, 0, 0x41424344, 0x41424344, 0},
        {"masterIdle", [](PlainFrame& f) { f.masterIdle(); return VstIntPtr(0); },
         audioMasterIdle, 0, 0, nullptr, 0, 1, 0, 0},
        {"isInputConnected yes", [](PlainFrame& f) { return VstIntPtr(f.isInputConnected(3)); },
         audioMasterPinConnected, 3, 0, nullptr, 0, 0, 1, 1},
        {"isInputConnected no", [](PlainFrame& f) { return VstIntPtr(f.isInputConnected(3)); },
         audioMasterPinConnected, 3, 0, nullptr, 0, 1, 0, 1},
        {"isOutputConnected yes", [](PlainFrame& f) { return VstIntPtr(f.isOutputConnected(1)); },
         audioMasterPinConnected, 1, 1, nullptr, 0, 0, 1, 1},
        {"isOutputConnected no", [](PlainFrame& f) { return VstIntPtr(f.isOutputConnected(1)); },
         audioMasterPinConnected, 1, 1, nullptr, 0, -1, 0, 1},
        {"wantEvents", [](PlainFrame& f) { f.wantEvents(1); return VstIntPtr(0); },
         audioMasterWantMidi, 0, 1, nullptr, 0, 1, 0, 0},
        {"getTimeInfo", [](PlainFrame& f) { return asInt(f.getTimeInfo(0x400)); },
         audioMasterGetTime, 0, 0x400, nullptr, 0, bigPointer, bigPointer, 0},
        {"tempoAt", [](PlainFrame& f) { return VstIntPtr(f.tempoAt(4410)); },
         audioMasterTempoAt, 0, 4410, nullptr, 0, 1200000, 1200000, 0},
        {"getNumAutomatableParameters", [](PlainFrame& f) { return VstIntPtr(f.getNumAutomatableParameters()); },
         audioMasterGetNumAutomatableParameters, 0, 0, nullptr, 0, 13, 13, 0},
        {"getParameterQuantization", [](PlainFrame& f) { return VstIntPtr(f.getParameterQuantization()); },
         audioMasterGetParameterQuantization, 0, 0, nullptr, 0, 128, 128, 0},
        {"ioChanged", [](PlainFrame& f) { return VstIntPtr(f.ioChanged()); },
         audioMasterIOChanged, 0, 0, nullptr, 0, 5, 1, 0},
        {"needIdle", [](PlainFrame& f) { return VstIntPtr(f.needIdle()); },
         audioMasterNeedIdle, 0, 0, nullptr, 0, 1, 1, 0},
        {"sizeWindow", [](PlainFrame& f) { return VstIntPtr(f.sizeWindow(727, 301)); },
         audioMasterSizeWindow, 727, 301, nullptr, 0, 1, 1, 0},
        {"sizeWindow refused", [](PlainFrame& f) { return VstIntPtr(f.sizeWindow(727, 301)); },
         audioMasterSizeWindow, 727, 301, nullptr, 0, 0, 0, 0},
        {"getInputLatency", [](PlainFrame& f) { return VstIntPtr(f.getInputLatency()); },
         audioMasterGetInputLatency, 0, 0, nullptr, 0, 256, 256, 0},
        {"getOutputLatency", [](PlainFrame& f) { return VstIntPtr(f.getOutputLatency()); },
         audioMasterGetOutputLatency, 0, 0, nullptr, 0, 512, 512, 0},
        {"getPreviousPlug", [](PlainFrame& f) { return asInt(f.getPreviousPlug(1)); },
         audioMasterGetPreviousPlug, 0, 0, nullptr, 0, bigPointer, bigPointer, 0},
        {"getNextPlug", [](PlainFrame& f) { return asInt(f.getNextPlug(1)); },
         audioMasterGetNextPlug, 0, 0, nullptr, 0, bigPointer, bigPointer, 0},
        {"willProcessReplacing", [](PlainFrame& f) { return VstIntPtr(f.willProcessReplacing()); },
         audioMasterWillReplaceOrAccumulate, 0, 0, nullptr, 0, 2, 2, 0},
        {"getCurrentProcessLevel", [](PlainFrame& f) { return VstIntPtr(f.getCurrentProcessLevel()); },
         audioMasterGetCurrentProcessLevel, 0, 0, nullptr, 0, 2, 2, 0},
        {"getAutomationState", [](PlainFrame& f) { return VstIntPtr(f.getAutomationState()); },
         audioMasterGetAutomationState, 0, 0, nullptr, 0, 3, 3, 0},
        {"offlineRead", [task](PlainFrame& f) { return VstIntPtr(f.offlineRead(task, 2, true)); },
         audioMasterOfflineRead, 1, 2, task, 0, 7, 1, 0},
        {"offlineRead dest", [task](PlainFrame& f) { return VstIntPtr(f.offlineRead(task, 2, false)); },
         audioMasterOfflineRead, 0, 2, task, 0, 0, 0, 0},
        {"offlineWrite", [task](PlainFrame& f) { return VstIntPtr(f.offlineWrite(task, 3)); },
         audioMasterOfflineWrite, 0, 3, task, 0, 1, 1, 0},
        {"offlineStart", [files](PlainFrame& f) { return VstIntPtr(f.offlineStart(files, 4, 2)); },
         audioMasterOfflineStart, 2, 4, files, 0, 1, 1, 0},
        {"offlineGetCurrentPass", [](PlainFrame& f) { return VstIntPtr(f.offlineGetCurrentPass()); },
         audioMasterOfflineGetCurrentPass, 0, 0, nullptr, 0, 9, 1, 0},
        {"offlineGetCurrentMetaPass", [](PlainFrame& f) { return VstIntPtr(f.offlineGetCurrentMetaPass()); },
         audioMasterOfflineGetCurrentMetaPass, 0, 0, nullptr, 0, -4, 1, 0},
        {"setOutputSamplerate", [](PlainFrame& f) { f.setOutputSamplerate(48000.0f); return VstIntPtr(0); },
         audioMasterSetOutputSampleRate, 0, 0, nullptr, 48000.0f, 1, 0, 0},
        {"getSpeakerArrangement", [spIn, spOut](PlainFrame& f) { return VstIntPtr(f.getSpeakerArrangement(spIn, spOut)); },
         audioMasterGetSpeakerArrangement, 0, asInt(spIn), spOut, 0, 1, 1, 0},
        {"getHostVendorString", [text](PlainFrame& f) { return VstIntPtr(f.getHostVendorString(text)); },
         audioMasterGetVendorString, 0, 0, text, 0, 1, 1, 0},
        {"getHostProductString", [text](PlainFrame& f) { return VstIntPtr(f.getHostProductString(text)); },
         audioMasterGetProductString, 0, 0, text, 0, 1, 1, 0},
        {"getHostVendorVersion", [](PlainFrame& f) { return VstIntPtr(f.getHostVendorVersion()); },
         audioMasterGetVendorVersion, 0, 0, nullptr, 0, 1000, 1000, 0},
        {"hostVendorSpecific", [text](PlainFrame& f) { return f.hostVendorSpecific(5, 6, text, 0.5f); },
         audioMasterVendorSpecific, 5, 6, text, 0.5f, -77, -77, 0},
        {"canHostDo yes", [](PlainFrame& f) { return VstIntPtr(f.canHostDo("openFileSelector")); },
         audioMasterCanDo, 0, 0, nullptr, 0, 1, 1, 0},
        {"canHostDo no", [](PlainFrame& f) { return VstIntPtr(f.canHostDo("openFileSelector")); },
         audioMasterCanDo, 0, 0, nullptr, 0, -1, 0, 0},
        {"canHostDo unknown", [](PlainFrame& f) { return VstIntPtr(f.canHostDo("openFileSelector")); },
         audioMasterCanDo, 0, 0, nullptr, 0, 0, 0, 0},
        {"getHostLanguage", [](PlainFrame& f) { return VstIntPtr(f.getHostLanguage()); },
         audioMasterGetLanguage, 0, 0, nullptr, 0, 2, 2, 0},
        {"openWindow", [window](PlainFrame& f) { return asInt(f.openWindow(window)); },
         audioMasterOpenWindow, 0, 0, window, 0, bigPointer, bigPointer, 0},
        {"closeWindow", [window](PlainFrame& f) { return VstIntPtr(f.closeWindow(window)); },
         audioMasterCloseWindow, 0, 0, window, 0, 1, 1, 0},
        {"getDirectory", [](PlainFrame& f) { return asInt(f.getDirectory()); },
         audioMasterGetDirectory, 0, 0, nullptr, 0, bigPointer, bigPointer, 0},
        {"updateDisplay", [](PlainFrame& f) { return VstIntPtr(f.updateDisplay()); },
         audioMasterUpdateDisplay, 0, 0, nullptr, 0, 1, 1, 0},
        {"updateDisplay ignored", [](PlainFrame& f) { return VstIntPtr(f.updateDisplay()); },
         audioMasterUpdateDisplay, 0, 0, nullptr, 0, 0, 0, 0},
        {"beginEdit", [](PlainFrame& f) { return VstIntPtr(f.beginEdit(4)); },
         audioMasterBeginEdit, 4, 0, nullptr, 0, 1, 1, 0},
        {"endEdit", [](PlainFrame& f) { return VstIntPtr(f.endEdit(4)); },
         audioMasterEndEdit, 4, 0, nullptr, 0, 1, 1, 0},
        {"openFileSelector", [select](PlainFrame& f) { return VstIntPtr(f.openFileSelector(select)); },
         audioMasterOpenFileSelector, 0, 0, select, 0, 1, 1, 0},
        {"closeFileSelector", [select](PlainFrame& f) { return VstIntPtr(f.closeFileSelector(select)); },
         audioMasterCloseFileSelector, 0, 0, select, 0, 1, 1, 0},
    };
    // clang-format on
}

TEST(HostCallbacks, EachWrapperSendsItsRequestAndReadsTheAnswer) {
    for (const Row& row : rows()) {
        PlainFrame frame(RecordingHost::callback);
        RecordingHost::reset(row.hostAnswer);
        EXPECT_EQ(row.call(frame), row.expected) << row.name;
        ASSERT_EQ(RecordingHost::requests().size(), 1u) << row.name;
        const HostRequest& r = RecordingHost::requests()[0];
        EXPECT_EQ(r.effect, frame.getAeffect()) << row.name;
        EXPECT_EQ(r.opcode, row.opcode) << row.name;
        EXPECT_EQ(r.index, row.index) << row.name;
        EXPECT_EQ(r.value, row.value) << row.name;
        if (row.ptr) {
            EXPECT_EQ(r.ptr, row.ptr) << row.name;
        }
        EXPECT_EQ(r.opt, row.opt) << row.name;
    }
}

TEST(HostCallbacks, CanDoTextReachesTheHost) {
    PlainFrame frame(RecordingHost::callback);
    RecordingHost::reset(1);
    const char* text = "sizeWindow";
    EXPECT_EQ(frame.canHostDo(text), 1);
    ASSERT_EQ(RecordingHost::requests().size(), 1u);
    EXPECT_STREQ(static_cast<const char*>(RecordingHost::requests()[0].ptr), "sizeWindow");
}

TEST(HostCallbacks, WithoutAHostEachWrapperAnswersItsNeutralValue) {
    for (const Row& row : rows()) {
        PlainFrame frame(nullptr);
        RecordingHost::reset(row.hostAnswer);
        EXPECT_EQ(row.call(frame), row.neutral) << row.name;
        EXPECT_TRUE(RecordingHost::requests().empty()) << row.name;
    }
}

TEST(HostCallbacks, SetParameterAutomatedAppliesThenTellsTheHost) {
    Log log;
    ProbeFrame probe(&log, RecordingHost::callback);
    RecordingHost::reset(0);
    probe.setParameterAutomated(7, 0.625f);
    EXPECT_EQ(log, Log{"setParameter 7 0.625"});
    ASSERT_EQ(RecordingHost::requests().size(), 1u);
    const HostRequest& r = RecordingHost::requests()[0];
    EXPECT_EQ(r.opcode, audioMasterAutomate);
    EXPECT_EQ(r.index, 7);
    EXPECT_EQ(r.value, 0);
    EXPECT_EQ(r.ptr, nullptr);
    EXPECT_EQ(r.opt, 0.625f);

    ProbeFrame alone(&log, nullptr);
    log.clear();
    alone.setParameterAutomated(2, 0.5f);
    EXPECT_EQ(log, Log{"setParameter 2 0.5"});
}

TEST(HostCallbacks, RateAndBlockQueriesAskTheHostButKeepTheFrameValues) {
    PlainFrame frame(RecordingHost::callback);
    frame.setSampleRate(48000.0f);
    frame.setBlockSize(300);
    RecordingHost::reset(96000);
    EXPECT_EQ(frame.updateSampleRate(), 48000.0f);
    EXPECT_EQ(frame.updateBlockSize(), 300);
    ASSERT_EQ(RecordingHost::requests().size(), 2u);
    EXPECT_EQ(RecordingHost::requests()[0].opcode, audioMasterGetSampleRate);
    EXPECT_EQ(RecordingHost::requests()[1].opcode, audioMasterGetBlockSize);

    PlainFrame alone(nullptr);
    EXPECT_EQ(alone.updateSampleRate(), 44100.0f);
    EXPECT_EQ(alone.updateBlockSize(), 1024);
}

TEST(HostCallbacks, FileSelectorWithoutASelectionDoesNotCallTheHost) {
    PlainFrame frame(RecordingHost::callback);
    RecordingHost::reset(1);
    EXPECT_FALSE(frame.openFileSelector(nullptr));
    EXPECT_FALSE(frame.closeFileSelector(nullptr));
    EXPECT_TRUE(RecordingHost::requests().empty());
}

} // namespace
} // namespace vltest
