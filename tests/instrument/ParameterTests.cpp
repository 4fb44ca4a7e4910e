// Parameter descriptors, display texts, controller map and the controller paths.
#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <memory>

#include "TestSupport.h"

using namespace vl;
using namespace vltest;

namespace {

std::string display(FormatValue format, float v) {
    char text[32];
    std::memset(text, 'x', sizeof text);
    format(v, text);
    return text;
}

std::string displayOf(Instrument& instrument, int index) {
    char text[64];
    std::memset(text, 'x', sizeof text);
    instrument.getParameterDisplay(index, text);
    return text;
}

// Counts the setParameter calls that reach the instrument.
class CountingInstrument : public Instrument {
public:
    using Instrument::Instrument;
    void setParameter(VstInt32 index, float value) override {
        ++setCalls;
        Instrument::setParameter(index, value);
    }
    int setCalls = 0;
};

} // namespace

TEST(ParameterTable, NamesLabelsControllersDefaultsAndSteps) {
    struct Row {
        const char* name;
        const char* label;
        int controller;
        float defaultValue;
    };
    const Row rows[kNumParameters] = {
        {"Level", "%", 7, 1.0f},
        {"Attack Time", " ", 40, 0.1f},
        {"Release Time", " ", 41, 0.3f},
        {"Brightness", " ", 18, 0.4f},
        {"Ensemble Speed", "%", 42, 0.3f},
        {"Ensemble Amount", "%", 43, 0.4f},
        {"Ensemble Feedback", "%", 44, 0.4f},
        {"Phaser Rate", "%", 45, 0.25f},
        {"Phaser Depth", "%", 46, 0.6f},
        {"Phaser Feedback", "%", 47, 0.95f},
        {"Reverb Length", "%", 48, 0.35f},
        {"Reverb Mix", "%", 49, 0.35f},
        {"Voices", "%", 255, 0.5f},
    };
    for (int i = 0; i < kNumParameters; ++i) {
        SCOPED_TRACE(i);
        const ParameterInfo& info = parameterTable[i];
        EXPECT_STREQ(info.name, rows[i].name);
        EXPECT_STREQ(info.label, rows[i].label);
        EXPECT_EQ(info.midiController, rows[i].controller);
        EXPECT_EQ(info.defaultValue, rows[i].defaultValue);
        EXPECT_EQ(info.minValue, 0.0f);
        EXPECT_EQ(info.maxValue, 1.0f);
        EXPECT_NE(info.applyParameter, nullptr);
        EXPECT_NE(info.formatValue, nullptr);
        if (i == kVoices) EXPECT_EQ(info.step, 0.032258064f);
        else EXPECT_EQ(info.step, 0.0078125f);
    }
    EXPECT_EQ(parameterTable[kEnsembleFeedback].formatValue, &formatBipolar);
    EXPECT_EQ(parameterTable[kPhaserDepth].formatValue, &formatPercentOrOff);
    EXPECT_EQ(parameterTable[kVoices].formatValue, &formatVoiceCount);
}

TEST(ParameterTable, ControllerMapAssignsExactlyTheTwelveControllers) {
    int assigned = 0;
    for (int c = 0; c < 128; ++c) {
        SCOPED_TRACE(c);
        int expected = 255;
        if (c == 7) expected = 0;
        if (c == 18) expected = 3;
        if (c == 40) expected = 1;
        if (c == 41) expected = 2;
        if (c >= 42 && c <= 49) expected = c - 38;
        EXPECT_EQ(controllerMap[c], expected);
        if (controllerMap[c] != 255) ++assigned;
    }
    EXPECT_EQ(assigned, 12);
}

TEST(ParameterDisplay, FormattersAtTheirEdges) {
    EXPECT_EQ(display(formatPercent, 0.0f), "000");
    EXPECT_EQ(display(formatPercent, 1.0f), "100");
    EXPECT_EQ(display(formatPercent, 0.35f), "034");
    EXPECT_EQ(display(formatPercent, 0.95f), "094");
    EXPECT_EQ(display(formatPercent, 0.3f), "030");
    EXPECT_EQ(display(formatPercentOrOff, 0.0f), "OFF");
    EXPECT_EQ(display(formatPercentOrOff, 0.01f), "OFF");
    EXPECT_EQ(display(formatPercentOrOff, 0.015f), "001");
    EXPECT_EQ(display(formatPercentOrOff, 1.0f), "100");
    EXPECT_EQ(display(formatBipolar, 0.5f), "+0");
    EXPECT_EQ(display(formatBipolar, 0.0f), "-50");
    EXPECT_EQ(display(formatBipolar, 1.0f), "+50");
    EXPECT_EQ(display(formatBipolar, 0.75f), "+25");
    EXPECT_EQ(display(formatVoiceCount, 0.0f), "01");
    EXPECT_EQ(display(formatVoiceCount, 0.0290f), "01");
    EXPECT_EQ(display(formatVoiceCount, 0.5f), "16");
    EXPECT_EQ(display(formatVoiceCount, 1.0f), "32");
}

TEST(ParameterDisplay, FormattersStayShortForStrayValues) {
    const float stray[] = {-1.0e30f,
                           -2.0f,
                           3.0f,
                           1.0e30f,
                           std::numeric_limits<float>::infinity(),
                           std::numeric_limits<float>::quiet_NaN()};
    for (float v : stray) {
        for (FormatValue f : {formatPercent, formatBipolar, formatPercentOrOff, formatVoiceCount}) {
            EXPECT_LE(display(f, v).size(), 7u) << v;
        }
    }
}

class InstrumentParameters : public ::testing::Test {
protected:
    CaptureScope capture;
    std::unique_ptr<CountingInstrument> instrument = std::make_unique<CountingInstrument>(recordingHost);
};

TEST_F(InstrumentParameters, EveryDefaultDisplaysAsTabled) {
    const char* expected[kNumParameters] = {"100", "010", "030", "040", "030", "040", "-10",
                                            "025", "060", "094", "034", "034", "16"};
    for (int i = 0; i < kNumParameters; ++i) EXPECT_EQ(displayOf(*instrument, i), expected[i]) << i;
}

TEST_F(InstrumentParameters, NamesAndLabelsForTheHost) {
    char text[64];
    instrument->getParameterName(1, text);
    EXPECT_STREQ(text, "Attack Time");
    instrument->getParameterLabel(1, text);
    EXPECT_STREQ(text, " ");
    instrument->getParameterName(6, text);
    EXPECT_STREQ(text, "Ensemble Feedback");
    instrument->getParameterLabel(12, text);
    EXPECT_STREQ(text, "%");
    for (int bad : {-1, 13, 1000}) {
        std::strcpy(text, "junk");
        instrument->getParameterName(bad, text);
        EXPECT_STREQ(text, "");
        std::strcpy(text, "junk");
        instrument->getParameterLabel(bad, text);
        EXPECT_STREQ(text, "");
        std::strcpy(text, "junk");
        instrument->getParameterDisplay(bad, text);
        EXPECT_STREQ(text, "");
        EXPECT_EQ(instrument->getParameter(bad), 0.0f);
    }
}

TEST_F(InstrumentParameters, ValuesAreKeptInsideTheUnitRange) {
    instrument->setParameter(kLevel, 1.5f);
    EXPECT_EQ(instrument->getParameter(kLevel), 1.0f);
    instrument->setParameter(kLevel, -0.25f);
    EXPECT_EQ(instrument->getParameter(kLevel), 0.0f);
    instrument->setParameter(kLevel, std::numeric_limits<float>::quiet_NaN());
    EXPECT_EQ(instrument->getParameter(kLevel), 0.0f);
    instrument->setParameter(kVoices, std::numeric_limits<float>::infinity());
    EXPECT_EQ(instrument->getParameter(kVoices), 1.0f);
    EXPECT_EQ(instrument->voiceLimit(), 32);
    instrument->setParameter(kVoices, -std::numeric_limits<float>::infinity());
    EXPECT_EQ(instrument->getParameter(kVoices), 0.0f);
    EXPECT_EQ(instrument->voiceLimit(), 1);
    instrument->setParameter(kReverbMix, 0.123f);
    EXPECT_EQ(instrument->getParameter(kReverbMix), 0.123f);
}

TEST_F(InstrumentParameters, VoicesDisplayEqualsThePolyphony) {
    const struct {
        float value;
        const char* text;
        int voices;
    } cases[] = {{0.0f, "01", 1}, {0.0290f, "01", 1}, {0.5f, "16", 16}, {1.0f, "32", 32}, {0.03f, "02", 2}};
    for (const auto& c : cases) {
        instrument->setParameter(kVoices, c.value);
        EXPECT_EQ(displayOf(*instrument, kVoices), c.text) << c.value;
        EXPECT_EQ(instrument->voiceLimit(), c.voices) << c.value;
    }
    // Every step of the Voices parameter gives the count the display shows.
    for (int k = 0; k <= 31; ++k) {
        const float v = static_cast<float>(k) * (1.0f / 31.0f);
        instrument->setParameter(kVoices, v);
        EXPECT_EQ(instrument->voiceLimit(), k + 1) << v;
        EXPECT_EQ(std::stoi(displayOf(*instrument, kVoices)), k + 1) << v;
    }
}

TEST_F(InstrumentParameters, ControllerSevenSetsLevel) {
    sendMidi(*instrument, 0xB0, 7, 127);
    EXPECT_EQ(instrument->getParameter(kLevel), 1.0f);
    sendMidi(*instrument, 0xB3, 7, 64); // any channel
    EXPECT_EQ(instrument->getParameter(kLevel), 64.0f * 0.007874016f);
    sendMidi(*instrument, 0xB0, 7, 0);
    EXPECT_EQ(instrument->getParameter(kLevel), 0.0f);
    sendMidi(*instrument, 0xB0, 18, 127);
    EXPECT_EQ(instrument->getParameter(kBrightness), 1.0f);
    sendMidi(*instrument, 0xB0, 49, 32);
    EXPECT_EQ(instrument->getParameter(kReverbMix), 32.0f * 0.007874016f);
    // No host automation for MIDI-driven changes.
    EXPECT_EQ(recorder().count(audioMasterAutomate), 0);
}

TEST_F(InstrumentParameters, DataIncrementStepsTheParameterOfTheDataByte) {
    const float attack = instrument->getParameter(kAttackTime);
    sendMidi(*instrument, 0xB0, 96, 40);
    EXPECT_EQ(instrument->getParameter(kAttackTime), attack + 0.0078125f);
    EXPECT_EQ(instrument->getParameter(kLevel), 1.0f);

    instrument->setParameter(kAttackTime, 1.0f);
    instrument->setCalls = 0;
    sendMidi(*instrument, 0xB0, 96, 40);
    EXPECT_EQ(instrument->getParameter(kAttackTime), 1.0f);
    EXPECT_EQ(instrument->setCalls, 0);

    instrument->setParameter(kAttackTime, 0.995f);
    sendMidi(*instrument, 0xB0, 96, 40);
    EXPECT_EQ(instrument->getParameter(kAttackTime), 1.0f);
}

TEST_F(InstrumentParameters, DataDecrementLowersAndStopsAtZero) {
    sendMidi(*instrument, 0xB0, 97, 7);
    EXPECT_EQ(instrument->getParameter(kLevel), 1.0f - 0.0078125f);
    instrument->setParameter(kLevel, 0.005f);
    sendMidi(*instrument, 0xB0, 97, 7);
    EXPECT_EQ(instrument->getParameter(kLevel), 0.0f);
    instrument->setCalls = 0;
    sendMidi(*instrument, 0xB0, 97, 7);
    EXPECT_EQ(instrument->getParameter(kLevel), 0.0f);
    EXPECT_EQ(instrument->setCalls, 0);
}

TEST_F(InstrumentParameters, StepsOfVoicesUseOneThirtyFirst) {
    instrument->setParameter(kVoices, 0.5f);
    instrument->stepParameterUp(kVoices);
    EXPECT_EQ(instrument->getParameter(kVoices), 0.5f + 0.032258064f);
    EXPECT_EQ(instrument->voiceLimit(), 17);
    instrument->stepParameterDown(kVoices);
    instrument->stepParameterDown(kVoices);
    EXPECT_EQ(instrument->voiceLimit(), 15);
}

TEST_F(InstrumentParameters, UnassignedControllersChangeNothing) {
    float before[kNumParameters];
    for (int i = 0; i < kNumParameters; ++i) before[i] = instrument->getParameter(i);
    instrument->setCalls = 0;
    sendMidi(*instrument, 0xB0, 12, 100);
    sendMidi(*instrument, 0xB0, 96, 12); // data byte names no parameter
    sendMidi(*instrument, 0xB0, 97, 127);
    sendMidi(*instrument, 0xB0, 39, 5);
    sendMidi(*instrument, 0xB0, 50, 5);
    EXPECT_EQ(instrument->setCalls, 0);
    for (int i = 0; i < kNumParameters; ++i) EXPECT_EQ(instrument->getParameter(i), before[i]) << i;
}

TEST_F(InstrumentParameters, ControllerPathScalesByOneHundredTwentySeventh) {
    instrument->setParameterFromController(kPhaserRate, 127);
    EXPECT_EQ(instrument->getParameter(kPhaserRate), 1.0f);
    instrument->setParameterFromController(kPhaserRate, 1);
    EXPECT_EQ(instrument->getParameter(kPhaserRate), 0.007874016f);
    instrument->setParameterFromController(kPhaserRate, 0);
    EXPECT_EQ(instrument->getParameter(kPhaserRate), 0.0f);
}
