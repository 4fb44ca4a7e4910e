// Host-facing answers of the instrument, sample rate handling, rendering before a rate,
// and construction that fails part way.
#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <memory>

#include "TestSupport.h"
#include "engine/Engine.h"
#if VL_WITH_PANEL
#include "instrument/InstrumentEditor.h"
#endif

using namespace vl;
using namespace vltest;

namespace {

class HostAnswers : public ::testing::Test {
protected:
    CaptureScope capture;
    std::unique_ptr<Instrument> instrument = std::make_unique<Instrument>(recordingHost);
    AEffect* effect = instrument->getAeffect();
};

} // namespace

TEST_F(HostAnswers, RecordDescribesAStereoSynthWithChunks) {
    EXPECT_EQ(effect->magic, 0x56737450);
    EXPECT_EQ(effect->numPrograms, 8);
    EXPECT_EQ(effect->numParams, 13);
    EXPECT_EQ(effect->numInputs, 0);
    EXPECT_EQ(effect->numOutputs, 2);
#if VL_WITH_PANEL
    EXPECT_EQ(effect->flags, effFlagsHasEditor | effFlagsCanReplacing | effFlagsProgramChunks | effFlagsIsSynth);
    EXPECT_NE(instrument->getEditor(), nullptr);
    EXPECT_EQ(instrument->getEditor(), static_cast<EditorBase*>(instrument->getPanel()));
#else
    EXPECT_EQ(effect->flags, effFlagsCanReplacing | effFlagsProgramChunks | effFlagsIsSynth);
    EXPECT_EQ(instrument->getEditor(), nullptr);
#endif
    EXPECT_EQ(effect->uniqueID, 0x564C4D52);
    EXPECT_EQ(instrument->getPlugCategory(), kPlugCategSynth);
    EXPECT_TRUE(instrument->editorReady);
}

TEST_F(HostAnswers, NamesVendorAndVersion) {
    char text[64];
    ASSERT_TRUE(instrument->getEffectName(text));
    EXPECT_STREQ(text, "Velmor Loom");
    ASSERT_TRUE(instrument->getVendorString(text));
    EXPECT_STREQ(text, "Tarlowe");
    ASSERT_TRUE(instrument->getProductString(text));
    EXPECT_STREQ(text, "Velmor Loom");
    EXPECT_EQ(instrument->getVendorVersion(), 1);
    EXPECT_TRUE(instrument->keysRequired());
    EXPECT_FALSE(instrument->getParameterProperties(0, nullptr));
}

TEST_F(HostAnswers, CanDoAnswersOneOrMinusOne) {
    EXPECT_EQ(instrument->canDo("receiveVstEvents"), 1);
    EXPECT_EQ(instrument->canDo("receiveVstMidiEvent"), 1);
    for (const char* other : {"sendVstEvents", "bypass", "receiveVstTimeInfo", "", "receiveVstEvents "})
        EXPECT_EQ(instrument->canDo(other), -1) << other;
    EXPECT_EQ(instrument->canDo(nullptr), -1);
}

TEST_F(HostAnswers, OutputPinsAreLabelledAndStereo) {
    for (int index = 0; index < 2; ++index) {
        VstPinProperties pin;
        std::memset(&pin, 0x5A, sizeof pin);
        ASSERT_TRUE(instrument->getOutputProperties(index, &pin));
        EXPECT_STREQ(pin.label, index == 0 ? "VLMR1" : "VLMR2");
        EXPECT_EQ(pin.flags, 3);
        EXPECT_EQ(pin.arrangementType, 0x5A5A5A5A); // left as the host passed it
        EXPECT_EQ(static_cast<unsigned char>(pin.shortLabel[0]), 0x5A);
    }
    VstPinProperties pin{};
    EXPECT_FALSE(instrument->getOutputProperties(2, &pin));
    EXPECT_FALSE(instrument->getOutputProperties(-1, &pin));
    EXPECT_FALSE(instrument->getInputProperties(0, &pin));
}

TEST_F(HostAnswers, ResumeAsksForMidiAndUpdateDisplayAnswersTrue) {
    recorder().clear();
    instrument->resume();
    ASSERT_EQ(recorder().count(audioMasterWantMidi), 1);
    for (const HostCall& call : recorder().calls())
        if (call.opcode == audioMasterWantMidi) {
            EXPECT_EQ(call.value, 1);
        }
    EXPECT_TRUE(instrument->updateDisplay()); // the host answers 0
    EXPECT_EQ(recorder().count(audioMasterUpdateDisplay), 1);
}

TEST_F(HostAnswers, InvalidSampleRatesAreIgnored) {
    EXPECT_EQ(instrument->getSampleRate(), 44100.0f);
    for (float bad : {0.0f, -48000.0f, 999.0f, 768001.0f, std::numeric_limits<float>::quiet_NaN(),
                      std::numeric_limits<float>::infinity()}) {
        instrument->setSampleRate(bad);
        EXPECT_EQ(instrument->getSampleRate(), 44100.0f) << bad;
    }
    instrument->setSampleRate(48000.0f);
    EXPECT_EQ(instrument->getSampleRate(), 48000.0f);
    // Opcode 43 sets both; the engine's rate follows, so a bad rate there is ignored too.
    EXPECT_EQ(effect->dispatcher(effect, effSetBlockSizeAndSampleRate, 0, 256, nullptr, 96000.0f), 1);
    EXPECT_EQ(instrument->getBlockSize(), 256);
    EXPECT_EQ(instrument->getSampleRate(), 96000.0f);
    EXPECT_EQ(effect->dispatcher(effect, effSetBlockSizeAndSampleRate, 0, 512, nullptr, -1.0f), 1);
    EXPECT_EQ(instrument->getBlockSize(), 512);
    EXPECT_EQ(instrument->getSampleRate(), 96000.0f);
    // And the instrument still plays.
    sendMidi(*instrument, 0x90, 69, 127, 2048);
    std::vector<float> left, right;
    render(*instrument, 2048, left, right);
    EXPECT_GT(peak(left), 1e-4f);
}

TEST_F(HostAnswers, ProcessAddsAndProcessReplacingOverwrites) {
    instrument->setParameter(kEnsembleAmount, 0.0f);
    instrument->setParameter(kPhaserDepth, 0.0f);
    instrument->setParameter(kReverbMix, 0.0f);
    std::vector<float> left(256, 0.25f), right(256, -0.25f);
    float* outputs[2] = {left.data(), right.data()};
    instrument->process(nullptr, outputs, 256); // silence added to what is there
    for (int i = 0; i < 256; ++i) {
        EXPECT_EQ(left[i], 0.25f);
        EXPECT_EQ(right[i], -0.25f);
    }
    instrument->processReplacing(nullptr, outputs, 256);
    EXPECT_EQ(peak(left), 0.0f);
    EXPECT_EQ(peak(right), 0.0f);
    // Null or short requests are refused quietly.
    instrument->processReplacing(nullptr, nullptr, 256);
    float* halfOutputs[2] = {left.data(), nullptr};
    instrument->processReplacing(nullptr, halfOutputs, 256);
    instrument->process(nullptr, outputs, -5);
}

TEST_F(HostAnswers, EventsAreCopiedSoTheHostListMayChange) {
    instrument->setParameter(kAttackTime, 0.0f);
    {
        EventList<1> list;
        list.add(0, 0x90, 60, 127);
        EXPECT_EQ(instrument->processEvents(list.get()), 1);
        list.storage[0].midiData[0] = 0; // the host reuses its list after the call
        list.numEvents = 0;
    }
    std::vector<float> left, right;
    render(*instrument, 1024, left, right);
    EXPECT_GT(peak(left), 1e-3f);
    EXPECT_EQ(instrument->processEvents(nullptr), 1);
}

TEST(InstrumentWithoutHost, RendersSilenceUntilARateIsSet) {
    CaptureScope capture;
    Instrument instrument(nullptr);
    EXPECT_TRUE(instrument.editorReady);
    EXPECT_EQ(instrument.getAeffect()->numInputs, 1); // configured only for a host
    instrument.setProgram(0);
    EventList<1> list;
    list.add(0, 0x90, 60, 127);
    instrument.processEvents(list.get());
    std::vector<float> left(512, 9.0f), right(512, 9.0f);
    float* outputs[2] = {left.data(), right.data()};
    instrument.processReplacing(nullptr, outputs, 512);
    EXPECT_EQ(peak(left), 0.0f);
    EXPECT_EQ(peak(right), 0.0f);
    std::vector<std::int16_t> pcm(1024, 77);
    instrument.processInterleaved16(pcm.data(), 512);
    for (std::int16_t s : pcm) EXPECT_EQ(s, 0);
    EXPECT_TRUE(notices().empty());
}

// Failure injection: the engine's allocation hooks.
class FailedConstruction : public ::testing::Test {
protected:
    void SetUp() override { ASSERT_EQ(sharedTableUsers(), 0) << "another instance is alive"; }
    void TearDown() override {
        testhooks::failTableAllocation = false;
        testhooks::failEngineAllocation = false;
    }
    CaptureScope capture;

    // Every operation a host may call on a refused instance is harmless and silent.
    static void exerciseBrokenInstance(Instrument& broken) {
        std::vector<float> left(256, 3.0f), right(256, 3.0f);
        float* outputs[2] = {left.data(), right.data()};
        EventList<2> list;
        list.add(0, 0x90, 60, 100);
        list.add(0, 0xC0, 3, 0);
        broken.processEvents(list.get());
        broken.processReplacing(nullptr, outputs, 256);
        EXPECT_EQ(peak(left), 0.0f);
        EXPECT_EQ(peak(right), 0.0f);
        broken.process(nullptr, outputs, 256);
        EXPECT_EQ(peak(left), 0.0f);
        broken.setParameter(kVoices, 1.0f);
        broken.setParameter(kBrightness, 0.2f);
        broken.setProgram(2);
        broken.setSampleRate(48000.0f);
        broken.suspend();
        broken.resume();
        void* data = nullptr;
        EXPECT_EQ(broken.getChunk(&data, false), 652);
        std::vector<unsigned char> bank(static_cast<unsigned char*>(data), static_cast<unsigned char*>(data) + 652);
        EXPECT_EQ(broken.setChunk(bank.data(), 652, false), 1);
        EXPECT_EQ(broken.voiceLimit(), 0);
    }

    static void expectWorkingInstance() {
        Instrument good(recordingHost);
        EXPECT_TRUE(good.editorReady);
        EXPECT_EQ(sharedTableUsers(), 1);
        EXPECT_TRUE(sharedTablesBuilt());
        sendMidi(good, 0x90, 69, 127, 2048);
        std::vector<float> left, right;
        render(good, 2048, left, right);
        EXPECT_GT(peak(left), 1e-4f);
    }
};

TEST_F(FailedConstruction, TablesThatCannotBeAllocatedLeaveNothingBehind) {
    testhooks::failTableAllocation = true;
    {
        Instrument broken(recordingHost);
        EXPECT_FALSE(broken.editorReady);
        EXPECT_EQ(notices(), std::vector<std::string>{errorNotice("Out of memory")});
        EXPECT_EQ(sharedTableUsers(), 0);
        EXPECT_FALSE(sharedTablesBuilt());
        exerciseBrokenInstance(broken);
    }
    EXPECT_EQ(sharedTableUsers(), 0);
    testhooks::failTableAllocation = false;
    expectWorkingInstance();
    EXPECT_EQ(sharedTableUsers(), 0);
    EXPECT_FALSE(sharedTablesBuilt());
}

TEST_F(FailedConstruction, EngineThatCannotBeAllocatedReleasesTheTables) {
    testhooks::failEngineAllocation = true;
    {
        Instrument broken(recordingHost);
        EXPECT_FALSE(broken.editorReady);
        EXPECT_EQ(notices(), std::vector<std::string>{errorNotice("Out of memory")});
        EXPECT_EQ(sharedTableUsers(), 0);
        EXPECT_FALSE(sharedTablesBuilt());
        exerciseBrokenInstance(broken);
    }
    EXPECT_EQ(sharedTableUsers(), 0);
    testhooks::failEngineAllocation = false;
    expectWorkingInstance();
}

TEST_F(FailedConstruction, ASecondFailedInstanceLeavesTheFirstWorking) {
    Instrument first(recordingHost);
    EXPECT_EQ(sharedTableUsers(), 1);
    testhooks::failEngineAllocation = true;
    {
        Instrument broken(recordingHost);
        EXPECT_FALSE(broken.editorReady);
        EXPECT_EQ(sharedTableUsers(), 1);
    }
    testhooks::failEngineAllocation = false;
    EXPECT_EQ(sharedTableUsers(), 1);
    EXPECT_TRUE(sharedTablesBuilt());
    sendMidi(first, 0x90, 69, 127, 2048);
    std::vector<float> left, right;
    render(first, 2048, left, right);
    EXPECT_GT(peak(left), 1e-4f);
    {
        Instrument second(recordingHost);
        EXPECT_EQ(sharedTableUsers(), 2);
    }
    EXPECT_EQ(sharedTableUsers(), 1);
}

TEST(ErrorReport, EightTextsUnderOneCaption) {
    CaptureScope capture;
    for (int code = 0; code <= 8; ++code) showError(static_cast<ErrorCode>(code));
    const std::vector<std::string> expected = {
        errorNotice("An unknown error occurred"),
        errorNotice("Out of memory"),
        errorNotice("Bitmap could not be loaded"),
        errorNotice("Invalid patch/bank format"),
        errorNotice("This file was created with a more recent version of the program"),
        errorNotice("Error writing file"),
        errorNotice("Error opening file"),
        errorNotice("Error reading file"),
        errorNotice("An unknown error occurred"),
    };
    EXPECT_EQ(notices(), expected);
}

TEST(ZeroFrameCalls, FlipTheAntiDenormalOffsetLikeAnyOtherRenderCall) {
    // With no note the effects carry only the tiny anti-denormal offsets, whose sign
    // alternates per render call; a 0-frame call takes its turn in that alternation.
    CaptureScope capture;
    auto renderWith = [](int zeroFrameCalls) {
        Instrument instrument(quietHost);
        AEffect* effect = instrument.getAeffect();
        std::vector<float> left, right;
        render(instrument, 512, left, right);
        for (int k = 0; k < zeroFrameCalls; ++k) effect->processReplacing(effect, nullptr, nullptr, 0);
        render(instrument, 512, left, right);
        return left;
    };
    const std::vector<float> none = renderWith(0);
    const std::vector<float> one = renderWith(1);
    const std::vector<float> two = renderWith(2);
    EXPECT_GT(peak(none), 0.0f);
    EXPECT_LT(peak(none), 1e-20f);
    EXPECT_NE(std::memcmp(none.data(), one.data(), none.size() * sizeof(float)), 0);
    EXPECT_EQ(std::memcmp(none.data(), two.data(), none.size() * sizeof(float)), 0);
}
