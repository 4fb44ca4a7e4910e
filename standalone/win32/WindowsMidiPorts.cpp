#include "standalone/win32/WindowsMidiPorts.h"

#include <new>

#include "platform/Notice.h"

namespace vl {

WindowsMidiPorts::~WindowsMidiPorts() {
    if (output) {
        midiOutReset(output);
        midiOutClose(output);
        output = nullptr;
    }
}

bool WindowsMidiPorts::openOutput(int device) {
    if (output || device < 0) return output != nullptr;
    HMIDIOUT opened = nullptr;
    if (midiOutOpen(&opened, static_cast<UINT>(device), 0, 0, CALLBACK_NULL) != MMSYSERR_NOERROR) return false;
    output = opened;
    return true;
}

void WindowsMidiPorts::sendShortMessage(std::uint32_t message) {
    if (output) midiOutShortMsg(output, message);
}

WindowsMidiInput::WindowsMidiInput(MidiPorts& ports, int device) {
    if (device < 0) return;
    HMIDIIN opened = nullptr;
    if (midiInOpen(&opened, static_cast<UINT>(device), reinterpret_cast<DWORD_PTR>(&inputHandler),
                   reinterpret_cast<DWORD_PTR>(&ports), CALLBACK_FUNCTION | MIDI_IO_STATUS) != MMSYSERR_NOERROR) {
        return;
    }
    input = opened;
    if (midiInStart(input) != MMSYSERR_NOERROR) {
        showNotice("Error", "midiInStart failed");
        return;
    }
    started = true;
}

WindowsMidiInput::~WindowsMidiInput() {
    if (input) {
        midiInStop(input);
        midiInReset(input);
        midiInClose(input);
        input = nullptr;
    }
}

void CALLBACK WindowsMidiInput::inputHandler(HMIDIIN, UINT message, DWORD_PTR instance, DWORD_PTR parameter1,
                                             DWORD_PTR parameter2) {
    auto* ports = reinterpret_cast<MidiPorts*>(instance);
    if (!ports) return;
    try {
        switch (message) {
        case MIM_OPEN:
            // The same clock as the lists' start times (renderBlock).
            ports->inputOpened(millisecondClock());
            break;
        case MIM_DATA:
        case MIM_MOREDATA:
            ports->receive(static_cast<std::uint32_t>(parameter1), static_cast<std::uint32_t>(parameter2));
            break;
        default:
            break;
        }
    } catch (...) {
        // Nothing may leave the system's callback.
    }
}

OpenedMidi openMidi(const SettingsValues& settings, int blockFrames) {
    OpenedMidi opened;
    opened.ports.reset(new (std::nothrow) WindowsMidiPorts(settings.inputChannel, settings.outputChannel,
                                                           settings.sampleRate, blockFrames));
    if (!opened.ports) return opened;
    opened.input.reset(new (std::nothrow) WindowsMidiInput(*opened.ports, settings.midiInDevice));
    if (opened.input && opened.input->isStarted()) opened.ports->openOutput(settings.midiOutDevice);
    return opened;
}

} // namespace vl
