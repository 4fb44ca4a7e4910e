// Programs: factory presets, selection, names, copy and store, MIDI program change.
#include <gtest/gtest.h>

#include <memory>

#include "TestSupport.h"
#include "engine/Engine.h"

using namespace vl;
using namespace vltest;

namespace {

struct FactoryRow {
    const char* name;
    float values[kNumParameters];
};

// The factory bank as published for the instrument.
const FactoryRow kFactory[kNumPrograms] = {
    {"String Ensemble", {1, 0.1f, 0.3f, 0.4f, 0.3f, 0.4f, 0.4f, 0.25f, 0.6f, 0.95f, 0.35f, 0.35f, 0.5f}},
    {"Velmor Lead", {1, 0, 0, 0.905f, 0.52f, 0.71f, 0.74f, 0, 0.86f, 1, 0.125f, 0.205f, 0.5f}},
    {"Faraway pad", {0.745f, 0.425f, 0.52f, 0.535f, 0.365f, 0.37f, 1, 0.56f, 1, 0.695f, 1, 0.815f, 0.5f}},
    {"Velmor Flute", {1, 0.015f, 0.035f, 0, 0.77f, 0.245f, 0.405f, 0, 0, 0, 0.115f, 0.1f, 0.5f}},
    {"Pad Lead", {1, 0, 0.125f, 0.69f, 0.105f, 0.62f, 0.4f, 0.7f, 0.6f, 0.9f, 0.35f, 0.26f, 0.5f}},
    {"Soft Pad", {1, 0.195f, 0, 0.35f, 1, 0.12f, 0.96f, 1, 0.52f, 1, 1, 0.07f, 0.5f}},
    {"Solo Strings", {1, 0.3f, 0.095f, 1, 0.27f, 0.24f, 0, 0.195f, 1, 0.1f, 0.35f, 0.26f, 0.5f}},
    {"Warm Strings", {1, 0.205f, 0.61f, 0.19f, 0.335f, 0.65f, 0.44f, 0, 0.6f, 0.365f, 0.505f, 0.485f, 0.5f}},
};

std::string programName(Instrument& instrument) {
    char text[64];
    std::memset(text, 'x', sizeof text);
    instrument.getProgramName(text);
    return text;
}

std::string indexedName(Instrument& instrument, int index) {
    char text[64];
    std::memset(text, 0, sizeof text);
    EXPECT_TRUE(instrument.getProgramNameIndexed(0, index, text));
    return text;
}

class Programs : public ::testing::Test {
protected:
    CaptureScope capture;
    std::unique_ptr<Instrument> instrument = std::make_unique<Instrument>(recordingHost);

    // Renders a phrase with a fixed note generator seed; used to compare the sound of two
    // instances bit for bit.
    std::vector<float> playPhrase(Instrument& target, void (*between)(Instrument&)) {
        testhooks::setNoiseSeed(1234);
        EventList<3> list;
        list.add(0, 0x90, 60, 100);
        list.add(10, 0x90, 64, 90);
        list.add(300, 0x80, 60, 0);
        target.processEvents(list.get());
        std::vector<float> left, right, all;
        render(target, 512, left, right);
        all = left;
        between(target);
        render(target, 1024, left, right);
        all.insert(all.end(), left.begin(), left.end());
        all.insert(all.end(), right.begin(), right.end());
        return all;
    }
};

} // namespace

TEST_F(Programs, FactoryBankHoldsTheTabledPresets) {
    for (int p = 0; p < kNumPrograms; ++p) {
        SCOPED_TRACE(p);
        EXPECT_EQ(indexedName(*instrument, p), kFactory[p].name);
        instrument->setProgram(p);
        EXPECT_EQ(instrument->getProgram(), p);
        EXPECT_EQ(programName(*instrument), kFactory[p].name);
        for (int i = 0; i < kNumParameters; ++i) EXPECT_EQ(instrument->getParameter(i), kFactory[p].values[i]) << i;
        EXPECT_EQ(instrument->voiceLimit(), 16);
    }
    for (int i = 0; i < kNumParameters; ++i) EXPECT_EQ(kFactory[0].values[i], parameterTable[i].defaultValue);
}

TEST_F(Programs, ConstructionSelectsProgramZeroAndAsksForADisplayRefresh) {
    EXPECT_EQ(instrument->getProgram(), 0);
    EXPECT_EQ(programName(*instrument), "String Ensemble");
    EXPECT_GE(recorder().count(audioMasterUpdateDisplay), 1);
    EXPECT_TRUE(notices().empty());
}

TEST_F(Programs, OutOfRangeSelectionChangesNothingNotEvenTheSound) {
    auto reference = std::make_unique<Instrument>(recordingHost);
    instrument->setProgram(3);
    reference->setProgram(3);
    instrument->setParameter(kLevel, 0.7f);
    reference->setParameter(kLevel, 0.7f);
    const auto expected = playPhrase(*reference, [](Instrument&) {});
    const auto actual = playPhrase(*instrument, [](Instrument& i) {
        i.setProgram(8);
        i.setProgram(-1);
        i.setProgram(127);
    });
    EXPECT_GT(energy(expected), 0.0);
    EXPECT_EQ(actual, expected);
    EXPECT_EQ(instrument->getProgram(), 3);
    EXPECT_EQ(instrument->getParameter(kLevel), 0.7f);
    EXPECT_EQ(programName(*instrument), "Velmor Flute");
}

TEST_F(Programs, ReselectingTheCurrentProgramReloadsItAndStopsAllNotes) {
    // A dry program: effects off, so the output is the voice sum alone.
    instrument->setParameter(kEnsembleAmount, 0.0f);
    instrument->setParameter(kPhaserDepth, 0.0f);
    instrument->setParameter(kReverbMix, 0.0f);
    instrument->setParameter(kReleaseTime, 1.0f);
    ASSERT_TRUE(instrument->copyProgram(0));
    instrument->setProgram(0);
    instrument->setParameter(kLevel, 0.5f); // an unsaved edit

    sendMidi(*instrument, 0x90, 60, 100, 256);
    std::vector<float> left, right;
    render(*instrument, 256, left, right);
    EXPECT_GT(peak(left), 1e-4f);

    instrument->setProgram(0);
    EXPECT_EQ(instrument->getParameter(kLevel), 1.0f);
    render(*instrument, 256, left, right);
    EXPECT_LT(peak(left), 1e-12f);
    EXPECT_LT(peak(right), 1e-12f);
}

TEST_F(Programs, EditsAreLostOnReselectionUnlessCopied) {
    instrument->setParameter(kLevel, 0.25f);
    instrument->setProgram(1);
    instrument->setProgram(0);
    EXPECT_EQ(instrument->getParameter(kLevel), 1.0f);

    instrument->setParameter(kLevel, 0.25f);
    ASSERT_TRUE(instrument->copyProgram(0));
    instrument->setProgram(1);
    instrument->setProgram(0);
    EXPECT_EQ(instrument->getParameter(kLevel), 0.25f);
}

TEST_F(Programs, CopyProgramCopiesNameAndValuesWithoutSelecting) {
    instrument->setProgramName("My Strings");
    instrument->setParameter(kBrightness, 0.9f);
    EXPECT_TRUE(instrument->copyProgram(3));
    EXPECT_EQ(instrument->getProgram(), 0);
    EXPECT_EQ(indexedName(*instrument, 3), "My Strings");
    EXPECT_EQ(indexedName(*instrument, 0), "String Ensemble");
    instrument->setProgram(3);
    EXPECT_EQ(instrument->getParameter(kBrightness), 0.9f);
    EXPECT_EQ(instrument->getParameter(kPhaserRate), 0.25f);
    EXPECT_FALSE(instrument->copyProgram(8));
    EXPECT_FALSE(instrument->copyProgram(-1));
}

TEST_F(Programs, IndexedNameOutsideTheBankAnswersFalseAndLeavesTheText) {
    char text[32] = "untouched";
    EXPECT_FALSE(instrument->getProgramNameIndexed(0, 8, text));
    EXPECT_STREQ(text, "untouched");
    EXPECT_FALSE(instrument->getProgramNameIndexed(0, -1, text));
    EXPECT_STREQ(text, "untouched");
    EXPECT_TRUE(instrument->getProgramNameIndexed(99, 7, text)); // category ignored
    EXPECT_STREQ(text, "Warm Strings");
}

TEST_F(Programs, LongNamesAreStoredAsTwentySevenAndGivenAsTwentyThree) {
    const char* thirty = "ABCDEFGHIJKLMNOPQRSTUVWXYZ0123";
    instrument->setProgramName(thirty);
    // The host gets at most 23 characters and a NUL (its buffer holds 24 bytes).
    char text[64];
    std::memset(text, 'x', sizeof text);
    instrument->getProgramName(text);
    EXPECT_STREQ(text, "ABCDEFGHIJKLMNOPQRSTUVW");
    // The stored name keeps 27 characters: visible in the program chunk.
    void* data = nullptr;
    ASSERT_EQ(instrument->getChunk(&data, true), 88);
    const auto* chunk = static_cast<const ProgramChunk*>(data);
    EXPECT_EQ(std::string(chunk->program.name), "ABCDEFGHIJKLMNOPQRSTUVWXYZ0");
    EXPECT_EQ(chunk->program.name[27], '\0');
    std::memset(text, 'x', sizeof text);
    instrument->getProgramNameIndexed(0, 0, text);
    EXPECT_STREQ(text, "ABCDEFGHIJKLMNOPQRSTUVW");
}

TEST_F(Programs, SetProgramNameAsksForADisplayRefresh) {
    recorder().clear();
    instrument->setProgramName("Name");
    EXPECT_EQ(recorder().count(audioMasterUpdateDisplay), 1);
    EXPECT_EQ(programName(*instrument), "Name");
}

TEST_F(Programs, StoreProgramCopiesTheEditAndSelectsTheSlot) {
    instrument->setParameter(kReverbMix, 0.5f);
    instrument->setProgramName("Stored");
    instrument->storeProgram(6);
    EXPECT_EQ(instrument->getProgram(), 6);
    EXPECT_EQ(indexedName(*instrument, 6), "Stored");
    EXPECT_EQ(instrument->getParameter(kReverbMix), 0.5f);
    EXPECT_EQ(instrument->getParameter(kBrightness), 0.4f);

    // Indices outside the bank are ignored: no slot changes, no selection.
    instrument->setParameter(kReverbMix, 0.75f);
    for (int bad : {8, -1, 256, 264}) instrument->storeProgram(bad);
    EXPECT_EQ(instrument->getProgram(), 6);
    EXPECT_EQ(instrument->getParameter(kReverbMix), 0.75f);
    for (int p = 0; p < kNumPrograms; ++p)
        if (p != 6) {
            EXPECT_EQ(indexedName(*instrument, p), kFactory[p].name);
        }
}

TEST_F(Programs, MidiProgramChangeSelectsAndIgnoresNumbersAboveSeven) {
    sendMidi(*instrument, 0xC0, 5, 0);
    EXPECT_EQ(instrument->getProgram(), 5);
    EXPECT_EQ(programName(*instrument), "Soft Pad");
    EXPECT_EQ(instrument->getParameter(kEnsembleFeedback), 0.96f);
    sendMidi(*instrument, 0xC0, 9, 0);
    EXPECT_EQ(instrument->getProgram(), 5);
    sendMidi(*instrument, 0xCF, 2, 0); // any channel
    EXPECT_EQ(instrument->getProgram(), 2);
    EXPECT_EQ(programName(*instrument), "Faraway pad");
}

TEST_F(Programs, FailedPoolBuildKeepsTheSelectionAndReportsOutOfMemory) {
    instrument->setProgram(4);
    instrument->setParameter(kLevel, 0.3f);
    testhooks::failPoolBuild = true;
    instrument->setProgram(2);
    testhooks::failPoolBuild = false;
    ASSERT_EQ(notices().size(), 1u);
    EXPECT_EQ(notices()[0], errorNotice("Out of memory"));
    EXPECT_EQ(instrument->getProgram(), 4);
    EXPECT_EQ(instrument->getParameter(kLevel), 0.3f);
    EXPECT_EQ(programName(*instrument), "Pad Lead");
    // Without a pool every note is dropped.
    sendMidi(*instrument, 0x90, 60, 100, 512);
    std::vector<float> left, right;
    render(*instrument, 512, left, right);
    EXPECT_LT(peak(left), 1e-12f);
    // A later selection builds the pool again.
    instrument->setProgram(2);
    EXPECT_EQ(instrument->getProgram(), 2);
    EXPECT_EQ(instrument->voiceLimit(), 16);
    sendMidi(*instrument, 0x90, 60, 100, 512);
    render(*instrument, 512, left, right);
    EXPECT_GT(peak(left), 1e-4f);
}
