#pragma once
// The "Setup" dialog (resource 100): devices, channels, latency, primary buffer, sample
// rate and tempo. OK reads the controls into the settings and writes them to the store.
#include <windows.h>

#include "standalone/StandaloneSettings.h"

namespace vl {

inline constexpr int kSetupDialogId = 100;

enum SetupControl : int {
    kSampleRateList = 1000,
    kAudioDeviceList = 1001,
    kLatencyBox = 1002,
    kPrimaryCheck = 1003,
    kInputChannelList = 1004,
    kOutputChannelList = 1005,
    kMidiInputList = 1006,
    kMidiOutputList = 1007,
    kTempoBox = 1008,
};

// Runs the modal dialog over owner. True when it ended with OK: values then holds what
// the controls showed and has been written to store. A list with nothing selected keeps
// its current value; a rate that is not offered stays as it was.
bool runSetupDialog(HINSTANCE module, HWND owner, SettingsValues& values, SettingsStore& store);

} // namespace vl
