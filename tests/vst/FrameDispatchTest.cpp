// Both dispatcher tables driven through the record's dispatcher entry, as a host drives
// them: which operation each opcode reaches with which arguments, and what it answers.

#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <cstring>
#include <limits>

#include "FrameProbe.h"

namespace vltest {
namespace {

using Log = std::vector<std::string>;

class Dispatch : public ::testing::Test {
protected:
    void SetUp() override { probe = new ProbeFrame(&log); }
    void TearDown() override { delete probe; }

    AEffect* e() { return probe->getAeffect(); }
    // Dispatches and returns the log entries it produced.
    Log run(VstInt32 opcode, VstInt32 index = 0, VstIntPtr value = 0, void* ptr = nullptr, float opt = 0.0f) {
        log.clear();
        result = dispatch(e(), opcode, index, value, ptr, opt);
        return log;
    }
    static Log one(const std::string& entry) { return Log{entry}; }

    Log log;
    ProbeFrame* probe = nullptr;
    VstIntPtr result = -99;
    char text[64] = "untouched";
    void* somePtr = reinterpret_cast<void*>(static_cast<std::uintptr_t>(0x5000));
};

TEST_F(Dispatch, BaseTableReachesItsOperations) {
    probe->intAnswer = 777;
    EXPECT_EQ(run(effOpen), one("open"));
    EXPECT_EQ(result, 0);
    EXPECT_EQ(run(effGetProgram), one("getProgram"));
    EXPECT_EQ(result, 777);
    EXPECT_EQ(run(effSetProgramName, 0, 0, const_cast<char*>("Pad")), one("setProgramName Pad"));
    EXPECT_EQ(result, 0);
    EXPECT_EQ(run(effGetProgramName, 0, 0, text), one("getProgramName " + hexPtr(text)));
    EXPECT_EQ(result, 0);
    EXPECT_EQ(run(effGetParamLabel, 4, 0, text), one("getParameterLabel 4 " + hexPtr(text)));
    EXPECT_EQ(result, 0);
    EXPECT_EQ(run(effGetParamDisplay, 5, 0, text), one("getParameterDisplay 5 " + hexPtr(text)));
    EXPECT_EQ(result, 0);
    EXPECT_EQ(run(effGetParamName, 12, 0, text), one("getParameterName 12 " + hexPtr(text)));
    EXPECT_EQ(result, 0);
    EXPECT_EQ(run(effSetSampleRate, 0, 0, nullptr, 48000.0f), one("setSampleRate 48000"));
    EXPECT_EQ(result, 0);
    EXPECT_EQ(run(effSetBlockSize, 0, 512), one("setBlockSize 512"));
    EXPECT_EQ(result, 0);
    EXPECT_EQ(run(effIdentify), Log{});
    EXPECT_EQ(result, 0x4E764566);
    EXPECT_EQ(run(effGetChunk, 0, 0, somePtr), one("getChunk " + hexPtr(somePtr) + " 0"));
    EXPECT_EQ(result, 777);
    EXPECT_EQ(run(effGetChunk, 1, 0, somePtr), one("getChunk " + hexPtr(somePtr) + " 1"));
    EXPECT_EQ(run(effSetChunk, 1, 88, somePtr), one("setChunk " + hexPtr(somePtr) + " 88 1"));
    EXPECT_EQ(result, 777);
    EXPECT_EQ(run(effSetChunk, 0, 652, somePtr), one("setChunk " + hexPtr(somePtr) + " 652 0"));
}

TEST_F(Dispatch, SetProgramPassesOnlyValuesBelowTheProgramCount) {
    EXPECT_EQ(run(effSetProgram, 0, 7), one("setProgram 7"));
    EXPECT_EQ(result, 0);
    EXPECT_EQ(run(effSetProgram, 0, 8), Log{});
    EXPECT_EQ(run(effSetProgram, 0, 1000), Log{});
    // The check is signed: negative values reach setProgram, which checks its own range.
    EXPECT_EQ(run(effSetProgram, 0, -3), one("setProgram -3"));
    EXPECT_EQ(result, 0);
    if (sizeof(VstIntPtr) == 8) {
        // A 64-bit value whose low half is a valid program is not a valid program.
        EXPECT_EQ(run(effSetProgram, 0, static_cast<VstIntPtr>((std::int64_t{1} << 32) + 3)), Log{});
    }
}

TEST_F(Dispatch, VuMeterIsScaledTo32767AndTruncated) {
    probe->floatAnswer = 0.5f;
    EXPECT_EQ(run(effGetVu), one("getVu"));
    EXPECT_EQ(result, 16383);
    probe->floatAnswer = 1.0f;
    run(effGetVu);
    EXPECT_EQ(result, 32767);
    probe->floatAnswer = -0.5f;
    run(effGetVu);
    EXPECT_EQ(result, -16383);
    probe->floatAnswer = 0.99999f;
    run(effGetVu);
    EXPECT_EQ(result, 32766);
    probe->floatAnswer = std::numeric_limits<float>::quiet_NaN();
    run(effGetVu);
    EXPECT_EQ(result, 0);
}

TEST_F(Dispatch, MainsChangedZeroSuspendsEverythingElseResumes) {
    EXPECT_EQ(run(effMainsChanged, 0, 0), one("suspend"));
    EXPECT_EQ(result, 0);
    EXPECT_EQ(run(effMainsChanged, 0, 1), one("resume"));
    EXPECT_EQ(result, 0);
    EXPECT_EQ(run(effMainsChanged, 0, 2), one("resume"));
    EXPECT_EQ(run(effMainsChanged, 0, -1), one("resume"));
}

TEST_F(Dispatch, EditorOpcodesAnswerZeroWithoutAnEditor) {
    for (VstInt32 op :
         {effEditGetRect, effEditOpen, effEditClose, effEditIdle, effEditKeyDown, effEditKeyUp, effSetEditKnobMode}) {
        ERect* rect = nullptr;
        EXPECT_EQ(run(op, 65, 1, &rect, 2.0f), Log{}) << op;
        EXPECT_EQ(result, 0) << op;
    }
}

TEST_F(Dispatch, EditorOpcodesReachTheEditor) {
    auto* editor = new ProbeEditor(probe, &log);
    probe->setEditor(editor);
    editor->answer = 1;

    ERect* rect = nullptr;
    EXPECT_EQ(run(effEditGetRect, 0, 0, &rect), one("editor getRect"));
    EXPECT_EQ(result, 1);
    ASSERT_EQ(rect, &editor->rect);
    EXPECT_EQ(rect->bottom, 301);
    EXPECT_EQ(rect->right, 727);
    EXPECT_EQ(run(effEditOpen, 0, 0, somePtr), one("editor open " + hexPtr(somePtr)));
    EXPECT_EQ(result, 1);
    EXPECT_EQ(run(effEditIdle), one("editor idle"));
    EXPECT_EQ(result, 0);
    EXPECT_EQ(run(effEditClose), one("editor close"));
    EXPECT_EQ(result, 0);

    // Key code: character from index, virt and modifier the low 8 bits of value and of
    // the truncated opt.
    editor->answer = -1;
    EXPECT_EQ(run(effEditKeyDown, 'q', 0x1A3, nullptr, 258.9f), one("editor onKeyDown"));
    EXPECT_EQ(result, -1);
    EXPECT_EQ(editor->lastKey.character, 'q');
    EXPECT_EQ(editor->lastKey.virt, 0xA3);
    EXPECT_EQ(editor->lastKey.modifier, 2); // trunc(258.9) = 258 = 0x102
    editor->answer = 1;
    EXPECT_EQ(run(effEditKeyUp, 32, 7, nullptr, 1.99f), one("editor onKeyUp"));
    EXPECT_EQ(result, 1);
    EXPECT_EQ(editor->lastKey.character, 32);
    EXPECT_EQ(editor->lastKey.virt, 7);
    EXPECT_EQ(editor->lastKey.modifier, 1);
    editor->answer = 5;
    EXPECT_EQ(run(effSetEditKnobMode, 0, 2), one("editor setKnobMode 2"));
    EXPECT_EQ(result, 5);

    // Opcodes the frame answers without any work, editor or not.
    for (VstInt32 op : {effEditDraw, effEditMouse, effEditKey, effEditTop, effEditSleep}) {
        EXPECT_EQ(run(op, 1, 1, somePtr, 1.0f), Log{}) << op;
        EXPECT_EQ(result, 0) << op;
    }
}

TEST_F(Dispatch, ExtendedTableReachesItsOperations) {
    probe->intAnswer = 4321;
    EXPECT_EQ(run(effProcessEvents, 0, 0, somePtr), one("processEvents " + hexPtr(somePtr)));
    EXPECT_EQ(result, 4321);
    EXPECT_EQ(run(effGetNumProgramCategories), one("getNumCategories"));
    EXPECT_EQ(result, 4321);
    EXPECT_EQ(run(effConnectInput, 1, 0), one("inputConnected 1 0"));
    EXPECT_EQ(result, 1);
    EXPECT_EQ(run(effConnectOutput, 0, 9), one("outputConnected 0 1"));
    EXPECT_EQ(result, 1);
    EXPECT_EQ(run(effGetPlugCategory), one("getPlugCategory"));
    EXPECT_EQ(result, 4321);
    EXPECT_EQ(run(effGetCurrentPosition), one("reportCurrentPosition"));
    EXPECT_EQ(result, 4321);
    probe->ptrAnswer = somePtr;
    EXPECT_EQ(run(effGetDestinationBuffer), one("reportDestinationBuffer"));
    EXPECT_EQ(result, reinterpret_cast<VstIntPtr>(somePtr));
    EXPECT_EQ(run(effSetBlockSizeAndSampleRate, 0, 256, nullptr, 96000.0f), one("setBlockSizeAndSampleRate 256 96000"));
    EXPECT_EQ(result, 1);
    EXPECT_EQ(run(effGetVendorVersion), one("getVendorVersion"));
    EXPECT_EQ(result, 4321);
    EXPECT_EQ(run(effVendorSpecific, 3, 44, somePtr, 0.25f), one("vendorSpecific 3 44 " + hexPtr(somePtr) + " 0.25"));
    EXPECT_EQ(result, 4321);
    EXPECT_EQ(run(effCanDo, 0, 0, const_cast<char*>("receiveVstEvents")), one("canDo receiveVstEvents"));
    EXPECT_EQ(result, 4321);
    EXPECT_EQ(run(effGetTailSize), one("getTailSize"));
    EXPECT_EQ(result, 4321);
    EXPECT_EQ(run(effIdle), one("effectIdle"));
    EXPECT_EQ(result, 4321);
    EXPECT_EQ(run(effGetIcon), one("getIcon"));
    EXPECT_EQ(result, reinterpret_cast<VstIntPtr>(somePtr));
    EXPECT_EQ(run(effGetVstVersion), one("getVstVersion"));
    EXPECT_EQ(result, 4321);
    EXPECT_EQ(run(effGetMidiProgramName, 9, 0, somePtr), one("getMidiProgramName 9 " + hexPtr(somePtr)));
    EXPECT_EQ(result, 4321);
    EXPECT_EQ(run(effGetCurrentMidiProgram, 2, 0, somePtr), one("getCurrentMidiProgram 2 " + hexPtr(somePtr)));
    EXPECT_EQ(result, 4321);
    EXPECT_EQ(run(effGetMidiProgramCategory, 3, 0, somePtr), one("getMidiProgramCategory 3 " + hexPtr(somePtr)));
    EXPECT_EQ(result, 4321);
}

// Every boolean row answers exactly 1 or 0, whatever the operation returned.
TEST_F(Dispatch, BooleanRowsAnswerOneOrZero) {
    struct Row {
        VstInt32 opcode;
        VstInt32 index;
        VstIntPtr value;
        void* ptr;
        std::string entry;
    };
    char* t = text;
    void* p = somePtr;
    auto* speakerIn = reinterpret_cast<VstSpeakerArrangement*>(static_cast<std::uintptr_t>(0x7000));
    const Row rows[] = {
        {effCanBeAutomated, 6, 0, nullptr, "canParameterBeAutomated 6"},
        {effString2Parameter, 2, 0, const_cast<char*>("0.5"), "string2parameter 2 0.5"},
        {effGetProgramNameIndexed, 3, 1, t, "getProgramNameIndexed 1 3 " + hexPtr(t)},
        {effCopyProgram, 4, 0, nullptr, "copyProgram 4"},
        {effGetInputProperties, 0, 0, p, "getInputProperties 0 " + hexPtr(p)},
        {effGetOutputProperties, 1, 0, p, "getOutputProperties 1 " + hexPtr(p)},
        {effOfflineNotify, 1, 3, p, "offlineNotify " + hexPtr(p) + " 3 1"},
        {effOfflineNotify, 0, 2, p, "offlineNotify " + hexPtr(p) + " 2 0"},
        {effOfflinePrepare, 0, 5, p, "offlinePrepare " + hexPtr(p) + " 5"},
        {effOfflineRun, 0, 6, p, "offlineRun " + hexPtr(p) + " 6"},
        {effProcessVarIo, 0, 0, p, "processVariableIo " + hexPtr(p)},
        {effSetSpeakerArrangement, 0, reinterpret_cast<VstIntPtr>(speakerIn), p,
         "setSpeakerArrangement " + hexPtr(speakerIn) + " " + hexPtr(p)},
        {effSetBypass, 0, 1, nullptr, "setBypass 1"},
        {effSetBypass, 0, 0, nullptr, "setBypass 0"},
        {effGetEffectName, 0, 0, t, "getEffectName " + hexPtr(t)},
        {effGetErrorText, 0, 0, t, "getErrorText " + hexPtr(t)},
        {effGetVendorString, 0, 0, t, "getVendorString " + hexPtr(t)},
        {effGetProductString, 0, 0, t, "getProductString " + hexPtr(t)},
        {effSetViewPosition, 10, 20, nullptr, "setViewPosition 10 20"},
        {effGetParameterProperties, 7, 0, p, "getParameterProperties 7 " + hexPtr(p)},
        {effHasMidiProgramsChanged, 5, 0, nullptr, "hasMidiProgramsChanged 5"},
        {effGetMidiKeyName, 4, 0, p, "getMidiKeyName 4 " + hexPtr(p)},
        {effBeginSetProgram, 0, 0, nullptr, "beginSetProgram"},
        {effEndSetProgram, 0, 0, nullptr, "endSetProgram"},
    };
    for (bool answer : {true, false}) {
        probe->boolAnswer = answer;
        for (const Row& row : rows) {
            EXPECT_EQ(run(row.opcode, row.index, row.value, row.ptr), one(row.entry)) << row.opcode;
            EXPECT_EQ(result, answer ? 1 : 0) << row.opcode;
        }
    }
}

TEST_F(Dispatch, KeysRequiredIsTheOneInvertedAnswer) {
    probe->boolAnswer = false;
    EXPECT_EQ(run(effKeysRequired), one("keysRequired"));
    EXPECT_EQ(result, 1);
    probe->boolAnswer = true;
    run(effKeysRequired);
    EXPECT_EQ(result, 0);
}

TEST_F(Dispatch, OpcodesOutsideBothTablesAnswerZeroAndDoNothing) {
    probe->intAnswer = 5;
    probe->boolAnswer = true;
    for (VstInt32 op : {69, 70, 71, 77, 79, 80, 1000, -1, std::numeric_limits<VstInt32>::min()}) {
        EXPECT_EQ(run(op, 1, 1, text, 1.0f), Log{}) << op;
        EXPECT_EQ(result, 0) << op;
    }
}

// A host that passes a null buffer where the operation would write or read one gets the
// row's answer for "nothing done", never a crash.
TEST_F(Dispatch, NullBuffersAreNotHandedToTheOperations) {
    probe->intAnswer = 7;
    probe->boolAnswer = true;
    for (VstInt32 op : {effSetProgramName, effGetProgramName, effGetParamLabel, effGetParamDisplay, effGetParamName,
                        effGetChunk, effSetChunk, effProcessEvents, effString2Parameter, effGetProgramNameIndexed,
                        effGetInputProperties, effGetOutputProperties, effGetEffectName, effGetErrorText,
                        effGetVendorString, effGetProductString, effCanDo}) {
        EXPECT_EQ(run(op, 1, 88, nullptr), Log{}) << op;
        EXPECT_EQ(result, 0) << op;
    }
}

// On 64-bit builds the answer is pointer-sized: a negative answer arrives sign-extended,
// pointer answers arrive whole.
TEST_F(Dispatch, NegativeAnswersAreSignExtendedAndPointersStayWhole) {
    probe->intAnswer = -1;
    run(effCanDo, 0, 0, const_cast<char*>("sendVstEvents"));
    EXPECT_EQ(result, VstIntPtr{-1});
    EXPECT_EQ(static_cast<std::uintptr_t>(result), std::numeric_limits<std::uintptr_t>::max());
    run(effGetCurrentMidiProgram, 0, 0, nullptr);
    EXPECT_EQ(result, VstIntPtr{-1});

    if (sizeof(void*) == 8) {
        void* high = reinterpret_cast<void*>(static_cast<std::uintptr_t>(0x00007F1234567890ull & UINTPTR_MAX));
        probe->ptrAnswer = high;
        run(effGetIcon);
        EXPECT_EQ(result, reinterpret_cast<VstIntPtr>(high));
        run(effGetDestinationBuffer);
        EXPECT_EQ(result, reinterpret_cast<VstIntPtr>(high));
    }

    auto* editor = new ProbeEditor(probe, &log);
    probe->setEditor(editor);
    editor->answer = -1;
    run(effEditKeyDown, 'a');
    EXPECT_EQ(result, VstIntPtr{-1});
}

// What a frame that overrides nothing answers to every opcode.
TEST(DispatchDefaults, EveryOpcodeOfAPlainFrame) {
    PlainFrame frame;
    AEffect* e = frame.getAeffect();
    char text[32];
    VstPinProperties pin{};
    void* chunk = &text;
    for (VstInt32 op = 0; op <= 68; ++op) {
        if (op == effClose) continue; // ends the frame; tested on its own
        std::memcpy(text, "garbage", 8);
        VstIntPtr expected = 0;
        // clang-format off
        switch (op) {
        case effGetProgram: expected = 3; break; // set by opcode 2 just before
        case effIdentify: expected = 0x4E764566; break;
        case effCanBeAutomated: expected = 1; break;
        case effGetNumProgramCategories: expected = 1; break;
        case effConnectInput:
        case effConnectOutput: expected = 1; break;
        case effSetBlockSizeAndSampleRate: expected = 1; break;
        case effKeysRequired: expected = 1; break;
        case effGetVstVersion: expected = 2200; break;
        case effGetCurrentMidiProgram: expected = -1; break;
        default: break;
        }
        // clang-format on
        void* ptr = text;
        if (op == effGetInputProperties || op == effGetOutputProperties) ptr = &pin;
        if (op == effGetChunk) ptr = &chunk;
        if (op == effSetSpeakerArrangement) ptr = nullptr;
        const VstIntPtr value = (op == effSetProgram) ? 3 : 0;
        const float opt = (op == effSetBlockSizeAndSampleRate || op == effSetSampleRate) ? 22050.0f : 0.0f;
        EXPECT_EQ(dispatch(e, op, 0, value, ptr, opt), expected) << "opcode " << op;
        if (op == effGetProgramName || op == effGetParamLabel || op == effGetParamDisplay || op == effGetParamName) {
            EXPECT_STREQ(text, "") << "opcode " << op;
        }
    }
    EXPECT_EQ(frame.getProgram(), 3);
    EXPECT_EQ(frame.getSampleRate(), 22050.0f);
    EXPECT_EQ(frame.getBlockSize(), 0); // opcode 11 and 43 with value 0
    EXPECT_EQ(chunk, static_cast<void*>(&text)); // default getChunk leaves the pointer alone
}

TEST(DispatchDefaults, DefaultOperationsOfAPlainFrame) {
    PlainFrame frame;
    EXPECT_EQ(frame.getParameter(3), 0.0f);
    EXPECT_EQ(frame.getVu(), 0.0f);
    EXPECT_EQ(frame.getChannelParameter(0, 1), 0.0f);
    EXPECT_EQ(frame.offlineGetNumPasses(), 0);
    EXPECT_EQ(frame.offlineGetNumMetaPasses(), 0);
    EXPECT_EQ(frame.getEditor(), nullptr);
    EXPECT_EQ(frame.vendorSpecific(1, 2, nullptr, 0.0f), 0);
    float left[4] = {1, 2, 3, 4};
    float* outs[2] = {left, left};
    frame.getAeffect()->processReplacing(frame.getAeffect(), nullptr, outs, 4);
    EXPECT_EQ(left[3], 4.0f); // the default replacing call leaves the buffers alone
}

} // namespace
} // namespace vltest
