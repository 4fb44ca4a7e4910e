#pragma once
// The LV2 face of the instrument: its URIs and port layout. The Turtle files of the bundle
// are generated from these and the parameter and program tables, so the description a host
// reads always agrees with the binary.
#include <cstdint>

#include "instrument/Parameters.h"

namespace vl::lv2 {

// Stable identities: never change them, hosts store them in sessions.
inline constexpr const char* kPluginUri = "urn:tarlowe:velmorloom";
inline constexpr const char* kUiUri = "urn:tarlowe:velmorloom#ui";
// State property holding the whole bank (the 652-byte bank chunk).
inline constexpr const char* kBankStateUri = "urn:tarlowe:velmorloom#bank";
// Preset i is kPresetUriPrefix followed by i (0..7).
inline constexpr const char* kPresetUriPrefix = "urn:tarlowe:velmorloom#preset";

// Ports: the 13 parameters first, each at the index of its parameter, then MIDI in and the
// two audio outputs.
inline constexpr std::uint32_t kFirstControlPort = 0;
inline constexpr std::uint32_t kMidiInPort = kNumParameters;
inline constexpr std::uint32_t kLeftOutPort = kNumParameters + 1;
inline constexpr std::uint32_t kRightOutPort = kNumParameters + 2;
inline constexpr std::uint32_t kPortCount = kNumParameters + 3;

// The panel's size in pixels.
inline constexpr int kPanelWidth = 727;
inline constexpr int kPanelHeight = 301;

} // namespace vl::lv2
