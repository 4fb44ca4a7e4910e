#pragma once
// The standalone program's MIDI devices on Windows: one input, whose short messages the
// system delivers on its own thread into the event lists of MidiPorts, and one output
// for the controller messages that the host callback forwards.
#include <windows.h>
#include <mmsystem.h>

#include <memory>

#include "standalone/StandaloneApp.h"

namespace vl {

// The event lists with the output device behind sendControlChange.
class WindowsMidiPorts : public MidiPorts {
public:
    using MidiPorts::MidiPorts;
    ~WindowsMidiPorts() override; // resets and closes the output

    // Opens output device index (no callback); false leaves the program without output.
    bool openOutput(int device);
    bool outputOpen() const { return output != nullptr; }

protected:
    void sendShortMessage(std::uint32_t message) override;

private:
    HMIDIOUT output = nullptr;
};

// The input device feeding a MidiPorts.
class WindowsMidiInput : public MidiInput {
public:
    // Opens input device index with inputHandler as its callback and starts it. An input
    // that cannot be opened leaves the input closed without a word; one that cannot be
    // started is reported ("midiInStart failed").
    WindowsMidiInput(MidiPorts& ports, int device);
    ~WindowsMidiInput() override; // stops, resets and closes the input

    bool isOpen() const { return input != nullptr; }
    bool isStarted() const { return started; }

    // The input device's callback (the system's MIDI thread). MIM_OPEN starts the clock
    // of the time stamps; MIM_DATA and MIM_MOREDATA carry a short message in parameter1
    // stamped parameter2 milliseconds after the input started. instance is the
    // MidiPorts to feed.
    static void CALLBACK inputHandler(HMIDIIN device, UINT message, DWORD_PTR instance, DWORD_PTR parameter1,
                                      DWORD_PTR parameter2);

private:
    HMIDIIN input = nullptr;
    bool started = false;
};

// Opens the ports for the settings: input first; the output only when the input runs.
// Null only when memory ran out.
struct OpenedMidi {
    std::unique_ptr<WindowsMidiPorts> ports;
    std::unique_ptr<WindowsMidiInput> input;
};
OpenedMidi openMidi(const SettingsValues& settings, int blockFrames);

} // namespace vl
