#pragma once
// The setup dialog of the Linux program, drawn with the toolkit in a window "Setup" of
// its own: audio system, ALSA device, sample rate, latency, MIDI source, input channel
// and the recordings' sample format. Modal: it returns when OK, Cancel or the window's close button ends it.
#include <functional>

#include "standalone/StandaloneSettings.h"
#include "standalone/linux/SettingsFile.h"

namespace vl::linuxapp {

// Shows the dialog on values and linux. True on OK, with both changed to what it shows.
// poll is called about every 20 ms while the dialog runs; when it answers false the
// dialog ends as if cancelled (the program is quitting).
bool runSetupDialog(SettingsValues& values, LinuxSettings& linux, const std::function<bool()>& poll);

} // namespace vl::linuxapp
