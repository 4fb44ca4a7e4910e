#include "instrument/Parameters.h"

#include <cmath>
#include <cstdio>
#include <cstring>

#include "instrument/Instrument.h"

namespace vl {

namespace {

constexpr float kStep128 = 1.0f / 128.0f;
constexpr float kStep31 = 1.0f / 31.0f;

// Controller numbers in parameter index order; also the source of controllerMap.
// clang-format off
constexpr std::array<std::uint8_t, kNumParameters> kControllers = {
    7, 40, 41, 18, 42, 43, 44, 45, 46, 47, 48, 49, kNoController};
// clang-format on

constexpr std::array<std::uint8_t, 128> buildControllerMap() {
    std::array<std::uint8_t, 128> map{};
    for (auto& entry : map) entry = kNoParameter;
    for (int i = 0; i < kNumParameters; ++i) {
        if (kControllers[i] != kNoController) map[kControllers[i]] = static_cast<std::uint8_t>(i);
    }
    return map;
}

// Truncation toward zero of a product that is finite and small for values inside 0..1;
// anything else is held inside int range so that a stray value cannot overflow.
int truncated(double x) {
    if (!(x > -1.0e5)) return -100000;
    if (x > 1.0e5) return 100000;
    return static_cast<int>(x);
}

// The texts are at most 4 characters; the bound keeps a stray value from running past
// the 8 characters every host buffer holds.
void writeInt(char* text, const char* format, int n) {
    char buffer[16];
    std::snprintf(buffer, sizeof buffer, format, n);
    buffer[7] = '\0';
    std::strcpy(text, buffer);
}

} // namespace

const std::array<std::uint8_t, 128> controllerMap = buildControllerMap();

// clang-format off
const std::array<ParameterInfo, kNumParameters> parameterTable = {{
    {kControllers[0], "Level", "%", &Instrument::applyLevel, formatPercent, 1.0f, 0.0f, 1.0f, kStep128},
    {kControllers[1], "Attack Time", " ", &Instrument::applyAttackTime, formatPercent, 0.1f, 0.0f, 1.0f, kStep128},
    {kControllers[2], "Release Time", " ", &Instrument::applyReleaseTime, formatPercent, 0.3f, 0.0f, 1.0f, kStep128},
    {kControllers[3], "Brightness", " ", &Instrument::applyBrightness, formatPercent, 0.4f, 0.0f, 1.0f, kStep128},
    {kControllers[4], "Ensemble Speed", "%", &Instrument::applyEnsembleSpeed, formatPercent, 0.3f, 0.0f, 1.0f, kStep128},
    {kControllers[5], "Ensemble Amount", "%", &Instrument::applyEnsembleAmount, formatPercent, 0.4f, 0.0f, 1.0f, kStep128},
    {kControllers[6], "Ensemble Feedback", "%", &Instrument::applyEnsembleFeedback, formatBipolar, 0.4f, 0.0f, 1.0f, kStep128},
    {kControllers[7], "Phaser Rate", "%", &Instrument::applyPhaserRate, formatPercent, 0.25f, 0.0f, 1.0f, kStep128},
    {kControllers[8], "Phaser Depth", "%", &Instrument::applyPhaserDepth, formatPercentOrOff, 0.6f, 0.0f, 1.0f, kStep128},
    {kControllers[9], "Phaser Feedback", "%", &Instrument::applyPhaserFeedback, formatPercent, 0.95f, 0.0f, 1.0f, kStep128},
    {kControllers[10], "Reverb Length", "%", &Instrument::applyReverbLength, formatPercent, 0.35f, 0.0f, 1.0f, kStep128},
    {kControllers[11], "Reverb Mix", "%", &Instrument::applyReverbMix, formatPercent, 0.35f, 0.0f, 1.0f, kStep128},
    {kControllers[12], "Voices", "%", &Instrument::applyVoices, formatVoiceCount, 0.5f, 0.0f, 1.0f, kStep31},
}};
// clang-format on

void formatPercent(float v, char* text) { writeInt(text, "%03d", truncated(static_cast<double>(v) * 100.0)); }

void formatBipolar(float v, char* text) { writeInt(text, "%+02d", truncated(static_cast<double>(v) * 100.0) - 50); }

void formatPercentOrOff(float v, char* text) {
    const int n = truncated(static_cast<double>(v) * 100.0);
    if (n == 0) {
        std::strcpy(text, "OFF");
        return;
    }
    writeInt(text, "%03d", n);
}

int voiceCountFor(float v) { return voiceLimitFor(v); }

void formatVoiceCount(float v, char* text) { writeInt(text, "%02d", voiceCountFor(v)); }

} // namespace vl
