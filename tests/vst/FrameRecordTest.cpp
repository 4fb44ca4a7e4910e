// The AEffect record a fresh frame hands to the host, and the setters that change it.

#include <gtest/gtest.h>

#include <cstring>
#include <functional>

#include "FrameProbe.h"

namespace vltest {
namespace {

TEST(FrameRecord, FreshFrameFillsTheRecordAsAHostExpectsIt) {
    PlainFrame frame(nullptr, 8, 13);
    AEffect* e = frame.getAeffect();
    EXPECT_EQ(e->magic, 0x56737450);
    EXPECT_EQ(std::memcmp(&e->magic, "PtsV", 4), 0); // "VstP" as a little-endian integer
    EXPECT_NE(e->dispatcher, nullptr);
    EXPECT_NE(e->process, nullptr);
    EXPECT_NE(e->setParameter, nullptr);
    EXPECT_NE(e->getParameter, nullptr);
    EXPECT_NE(e->processReplacing, nullptr);
    EXPECT_EQ(e->numPrograms, 8);
    EXPECT_EQ(e->numParams, 13);
    EXPECT_EQ(e->numInputs, 1);
    EXPECT_EQ(e->numOutputs, 2);
    EXPECT_EQ(e->flags, 0);
    EXPECT_EQ(e->resvd1, 0);
    EXPECT_EQ(e->resvd2, 0);
    EXPECT_EQ(e->initialDelay, 0);
    EXPECT_EQ(e->realQualities, 0);
    EXPECT_EQ(e->offQualities, 0);
    EXPECT_EQ(e->ioRatio, 1.0f);
    EXPECT_EQ(e->object, static_cast<void*>(static_cast<vl::EffectFrame*>(&frame)));
    EXPECT_EQ(e->user, nullptr);
    EXPECT_EQ(e->uniqueID, 0x4E6F4566);
    EXPECT_EQ(e->version, 1);
    for (char byte : e->future) EXPECT_EQ(byte, 0);

    EXPECT_EQ(frame.getSampleRate(), 44100.0f);
    EXPECT_EQ(frame.getBlockSize(), 1024);
    EXPECT_EQ(frame.getProgram(), 0);
    EXPECT_EQ(frame.getEditor(), nullptr);
    EXPECT_EQ(frame.getHostCallback(), nullptr);
}

TEST(FrameRecord, PublishedLayoutOfTheRecordsThatCrossTheInterface) {
#if INTPTR_MAX == INT64_MAX
    EXPECT_EQ(offsetof(AEffect, numPrograms), 40u);
    EXPECT_EQ(offsetof(AEffect, flags), 56u);
    EXPECT_EQ(offsetof(AEffect, ioRatio), 92u);
    EXPECT_EQ(offsetof(AEffect, version), 116u);
    EXPECT_EQ(offsetof(VstFileSelect, title), 24u);
#else
    EXPECT_EQ(offsetof(AEffect, numPrograms), 20u);
    EXPECT_EQ(offsetof(AEffect, flags), 36u);
    EXPECT_EQ(offsetof(AEffect, ioRatio), 60u);
    EXPECT_EQ(offsetof(AEffect, version), 76u);
    EXPECT_EQ(offsetof(VstFileSelect, title), 20u);
#endif
    EXPECT_EQ(offsetof(VstMidiEvent, midiData), 24u);
    EXPECT_EQ(offsetof(VstPinProperties, flags), 64u);
    EXPECT_EQ(offsetof(VstTimeInfo, tempo), 32u);
    EXPECT_EQ(offsetof(VstTimeInfo, flags), 84u);
    EXPECT_EQ(offsetof(VstKeyCode, virt), 4u);
    EXPECT_EQ(offsetof(VstKeyCode, modifier), 5u);
}

TEST(FrameRecord, PublishedOpcodeAndFlagNumbers) {
    EXPECT_EQ(effGetVu, 9);
    EXPECT_EQ(effIdentify, 22);
    EXPECT_EQ(effProcessEvents, 25);
    EXPECT_EQ(effSetBlockSizeAndSampleRate, 43);
    EXPECT_EQ(effCanDo, 51);
    EXPECT_EQ(effKeysRequired, 57);
    EXPECT_EQ(effEditKeyDown, 59);
    EXPECT_EQ(effEndSetProgram, 68);
    EXPECT_EQ(audioMasterWantMidi, 6);
    EXPECT_EQ(audioMasterTempoAt, 10);
    EXPECT_EQ(audioMasterGetSampleRate, 16);
    EXPECT_EQ(audioMasterOfflineStart, 25);
    EXPECT_EQ(audioMasterSetOutputSampleRate, 30);
    EXPECT_EQ(audioMasterCanDo, 37);
    EXPECT_EQ(audioMasterUpdateDisplay, 42);
    EXPECT_EQ(audioMasterEndEdit, 44);
    EXPECT_EQ(audioMasterOpenFileSelector, 45);
    EXPECT_EQ(audioMasterGetChunkFile, 48);
    EXPECT_EQ(kPlugCategSynth, 2);
    EXPECT_EQ(kVstMidiType, 1);
    EXPECT_EQ(kVstPinIsActive | kVstPinIsStereo, 3);
    EXPECT_EQ(kVstTempoValid, 0x400);
}

TEST(FrameRecord, EachFlagSetterOwnsExactlyItsBit) {
    struct Row {
        const char* name;
        std::function<void(PlainFrame&, bool)> set;
        VstInt32 bit;
    };
    const Row rows[] = {
        {"hasClip", [](PlainFrame& f, bool s) { f.hasClip(s); }, 2},
        {"hasVu", [](PlainFrame& f, bool s) { f.hasVu(s); }, 4},
        {"canMono", [](PlainFrame& f, bool s) { f.canMono(s); }, 8},
        {"canProcessReplacing", [](PlainFrame& f, bool s) { f.canProcessReplacing(s); }, 16},
        {"programsAreChunks", [](PlainFrame& f, bool s) { f.programsAreChunks(s); }, 32},
        {"isSynth", [](PlainFrame& f, bool s) { f.isSynth(s); }, 256},
        {"noTail", [](PlainFrame& f, bool s) { f.noTail(s); }, 512},
        {"wantAsyncOperation", [](PlainFrame& f, bool s) { f.wantAsyncOperation(s); }, 1024},
        {"hasExternalBuffer", [](PlainFrame& f, bool s) { f.hasExternalBuffer(s); }, 2048},
    };
    VstInt32 all = 0;
    for (const Row& row : rows) {
        PlainFrame frame;
        row.set(frame, true);
        EXPECT_EQ(frame.getAeffect()->flags, row.bit) << row.name;
        row.set(frame, true);
        EXPECT_EQ(frame.getAeffect()->flags, row.bit) << row.name << " twice";
        row.set(frame, false);
        EXPECT_EQ(frame.getAeffect()->flags, 0) << row.name << " cleared";
        all |= row.bit;
    }
    // Clearing one bit leaves the others alone.
    PlainFrame frame;
    for (const Row& row : rows) row.set(frame, true);
    EXPECT_EQ(frame.getAeffect()->flags, all);
    frame.canMono(false);
    EXPECT_EQ(frame.getAeffect()->flags, all & ~8);
}

TEST(FrameRecord, SetEditorSetsAndClearsTheEditorFlag) {
    std::vector<std::string> log;
    PlainFrame frame;
    frame.isSynth(true);
    auto* editor = new ProbeEditor(&frame, &log);
    frame.setEditor(editor);
    EXPECT_EQ(frame.getEditor(), editor);
    EXPECT_EQ(frame.getAeffect()->flags, 256 | 1);
    frame.setEditor(nullptr);
    EXPECT_EQ(frame.getEditor(), nullptr);
    EXPECT_EQ(frame.getAeffect()->flags, 256);
    delete editor; // no longer the frame's
    EXPECT_EQ(log, std::vector<std::string>{"editor destroy"});
}

TEST(FrameRecord, AnEditorDeletedByItsOwnerLeavesNoDanglingEditor) {
    std::vector<std::string> log;
    PlainFrame frame;
    auto* editor = new ProbeEditor(&frame, &log);
    frame.setEditor(editor);
    delete editor; // e.g. an editor that failed to load its pictures
    EXPECT_EQ(frame.getEditor(), nullptr);
    EXPECT_EQ(frame.getAeffect()->flags, 0);
    EXPECT_EQ(dispatch(frame.getAeffect(), effEditIdle), 0);
    EXPECT_EQ(log, std::vector<std::string>{"editor destroy"});
}

TEST(FrameRecord, FieldSettersWriteTheirRecordFields) {
    PlainFrame frame;
    AEffect* e = frame.getAeffect();
    frame.setUniqueID(0x564C4D52);
    frame.setNumInputs(0);
    frame.setNumOutputs(6);
    frame.setRealtimeQualities(3);
    frame.setOfflineQualities(4);
    frame.setInitialDelay(128);
    EXPECT_EQ(e->uniqueID, 0x564C4D52);
    EXPECT_EQ(e->numInputs, 0);
    EXPECT_EQ(e->numOutputs, 6);
    EXPECT_EQ(e->realQualities, 3);
    EXPECT_EQ(e->offQualities, 4);
    EXPECT_EQ(e->initialDelay, 128);
    EXPECT_EQ(e->flags, 0);

    frame.setSampleRate(48000.0f);
    frame.setBlockSize(256);
    EXPECT_EQ(frame.getSampleRate(), 48000.0f);
    EXPECT_EQ(frame.getBlockSize(), 256);
    frame.setBlockSizeAndSampleRate(64, 96000.0f);
    EXPECT_EQ(frame.getSampleRate(), 96000.0f);
    EXPECT_EQ(frame.getBlockSize(), 64);
    frame.setProgram(5);
    EXPECT_EQ(frame.getProgram(), 5);
    EXPECT_EQ(dispatch(e, effGetProgram), 5);
}

TEST(FrameRecord, PlugCategoryFollowsTheSynthFlag) {
    PlainFrame frame;
    EXPECT_EQ(dispatch(frame.getAeffect(), effGetPlugCategory), kPlugCategUnknown);
    frame.isSynth(true);
    EXPECT_EQ(dispatch(frame.getAeffect(), effGetPlugCategory), kPlugCategSynth);
    frame.isSynth(false);
    EXPECT_EQ(dispatch(frame.getAeffect(), effGetPlugCategory), 0);
}

} // namespace
} // namespace vltest
