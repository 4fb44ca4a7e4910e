#pragma once
// The 13 automatable parameters: their descriptors in fixed index order, display
// formatters and the MIDI controller map. Index order is part of every stored format
// and of the host interface; it never changes.
#include <array>
#include <cstdint>

namespace vl {

class Instrument;

inline constexpr int kNumParameters = 13;
inline constexpr std::uint8_t kNoParameter = 255; // controllerMap: no parameter
inline constexpr std::uint8_t kNoController = 255; // ParameterInfo: no controller

// Parameter indices.
enum ParameterIndex : int {
    kLevel = 0,
    kAttackTime,
    kReleaseTime,
    kBrightness,
    kEnsembleSpeed,
    kEnsembleAmount,
    kEnsembleFeedback,
    kPhaserRate,
    kPhaserDepth,
    kPhaserFeedback,
    kReverbLength,
    kReverbMix,
    kVoices,
};

// Converts a normalized value (already inside 0..1) into engine state.
using ApplyParameter = void (Instrument::*)(float value);
// Writes the display text of a normalized value (at most 4 characters and a NUL).
using FormatValue = void (*)(float value, char* text);

struct ParameterInfo {
    std::uint8_t midiController; // control change that sets the parameter; 255 = none
    const char* name;
    const char* label;
    ApplyParameter applyParameter;
    FormatValue formatValue;
    float defaultValue;
    float minValue;
    float maxValue;
    float step;
};

extern const std::array<ParameterInfo, kNumParameters> parameterTable;

// MIDI controller number -> parameter index (255 = none). Constant data: every instance
// sees the same content, so nothing needs to fill it at run time.
extern const std::array<std::uint8_t, 128> controllerMap;

// Display formatters. v is multiplied in double precision and truncated toward zero.
void formatPercent(float v, char* text); // "%03d" of trunc(v*100): 000..100
void formatBipolar(float v, char* text); // "%+02d" of trunc(v*100)-50: -50..+50
void formatPercentOrOff(float v, char* text); // "OFF" when trunc(v*100) is 0
void formatVoiceCount(float v, char* text); // "%02d" of trunc(v*31+0.1)+1: 01..32

// Polyphony requested by a Voices value: trunc(v*31 + 0.1) + 1, with 31 and 0.1 as floats
// and the product and sum in double precision; 1..32 for v inside 0..1.
int voiceCountFor(float v);

// A value kept inside 0..1; NaN becomes 0.
inline float clampParameter(float v) {
    if (!(v >= 0.0f)) return 0.0f;
    if (v > 1.0f) return 1.0f;
    return v;
}

} // namespace vl
