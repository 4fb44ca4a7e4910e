#pragma once
// The standalone program's application object: the instrument hosted by the program
// itself, with its devices, its recorder and the host callback that stands in for a VST
// host. Everything here is the same on every system; the platform layer (Windows or
// Linux) supplies the windows, the audio output and the MIDI input behind AppShell,
// AudioOutput and MidiInput.
//
// Threads: the user-interface thread (windows, panel, dialog, device changes, start and
// stop of recording); the audio thread of the output, which calls renderBlock; the
// system's MIDI input thread, which feeds MidiPorts. The audio thread never waits for the
// user-interface thread: it posts at most one notice at a time, and the panel is idled on
// the user-interface thread when the notice arrives.
#include <atomic>
#include <cstdint>
#include <memory>
#include <string>

#include "instrument/Instrument.h"
#include "resources/PanelLayout.h"
#include "standalone/MidiPorts.h"
#include "standalone/StandaloneSettings.h"
#include "standalone/WavRecorder.h"

namespace vl {

class StandaloneApp;

// An audio output that calls renderBlock from its own thread, block after block.
class AudioOutput {
public:
    virtual ~AudioOutput() = default;
    // Starts calling renderBlock. False when the output cannot run.
    virtual bool start() = 0;
    // Stops and waits until renderBlock is no longer running; harmless when stopped.
    virtual void stop() = 0;
    virtual int sampleRate() const = 0;
    virtual int blockFrames() const = 0;
};

// A MIDI input feeding a MidiPorts; destroying it stops the feeding.
class MidiInput {
public:
    virtual ~MidiInput() = default;
};

// What the platform provides to the application.
class AppShell {
public:
    virtual ~AppShell() = default;
    // Audio thread: asks the user-interface thread to call StandaloneApp::handleUiNotice.
    // Must not block.
    virtual void postUiNotice() = 0;
    // User-interface thread: the system's file dialog for a selector request (the path
    // goes into its return path). True when a file was chosen.
    virtual bool chooseFile(VstFileSelect* selection) = 0;
    // User-interface thread: the modal setup dialog on values; true when it ended with OK
    // (the values are then changed and stored).
    virtual bool runSetupDialog(SettingsValues& values) = 0;
    // (Re)creates the audio output and MIDI input from the app's settings and starts them
    // through StandaloneApp::closeDevices, installDevices and startDevices.
    virtual void openDevices(StandaloneApp& app) = 0;
};

class StandaloneApp : public Instrument {
public:
    static constexpr int kSettingsButtonTag = panel::kSettingsButtonTag;
    static constexpr int kRecordButtonTag = panel::kRecordButtonTag;

    StandaloneApp(AppShell& shell, const SettingsValues& settings);
    // Stops the audio output and closes MIDI, then closes the panel and finishes any recording.
    ~StandaloneApp() override;

    // Tag 41 on release (value 0): the setup dialog, then the devices are reopened.
    // Tag 42, on every change: starts or stops recording.
    void panelControlChanged(int tag, float value) override;

    // ---- Devices (user-interface thread) ----

    // Stops the audio output (waiting for its thread), then closes the MIDI input and
    // the event lists it fed.
    void closeDevices();
    // Takes new devices; the audio output must not be running yet. midi may be null.
    // Recordings started from now on take the output's rate.
    void installDevices(std::unique_ptr<AudioOutput> audio, std::unique_ptr<MidiPorts> midi,
                        std::unique_ptr<MidiInput> input);
    // Sets the instrument's sample rate to the output's and starts the output.
    bool startDevices();

    MidiPorts* midiPorts() const { return midi.get(); }
    AudioOutput* audioOutput() const { return audio.get(); }
    // Rate of the installed output (the settings' rate before there is one).
    int currentSampleRate() const { return rate.load(std::memory_order_relaxed); }

    // ---- Recording (user-interface thread) ----

    // Asks for a file through the host's file selector and starts recording to it, or
    // finishes the running recording.
    void toggleRecording();
    // Starts recording to path at the current rate in recordFormat; failures are shown
    // ("Error opening file") and answer false.
    bool startRecording(const std::string& path);
    // Detaches and finishes the recording; "Error writing file" when the final header
    // could not be written or the file not closed. False then. Frames the disk was too
    // slow for are reported as "Recording lost 1.52 s: the disk was too slow".
    bool finishRecording();
    bool recording() const { return recorder.recording(); }
    RecorderSlot& recorderSlot() { return recorder; }

    // ---- Notices from the audio thread ----

    // User-interface thread: the notice posted by renderBlock arrived; the panel gets
    // its idle call here.
    void handleUiNotice();
    // Audio thread: posts a notice unless one is still on its way.
    void postUiNoticeOnce();
    // Whether a notice was posted and not handled yet (any thread).
    bool uiNoticePosted() const { return uiNoticePending.load(std::memory_order_acquire); }

    AppShell& appShell() { return shell; }

    SettingsValues settings;
    // The sample format of recordings started from now on.
    SampleFormat recordFormat = SampleFormat::Pcm16;
    // The record the host callback answers audioMasterGetTime with.
    VstTimeInfo timeInfo{};

private:
    void switchRecordButtonOff();
    bool finishRecorder(std::unique_ptr<WavRecorder> done);

    AppShell& shell;
    RecorderSlot recorder;
    std::unique_ptr<AudioOutput> audio;
    std::unique_ptr<MidiInput> midiInput;
    std::unique_ptr<MidiPorts> midi;
    std::atomic<int> rate;
    std::atomic<bool> uiNoticePending{false};
};

// The single application object, published once it is completely built.
extern std::atomic<StandaloneApp*> theApp;

// The host callback passed to the instrument. Until theApp is published every opcode
// answers 1.
VstIntPtr VSTCALLBACK standaloneHostCallback(AEffect* effect, VstInt32 opcode, VstInt32 index, VstIntPtr value,
                                             void* ptr, float opt);

// The block callback of every audio output: silence until theApp is published; then the
// MIDI lists are exchanged and handed to the instrument, the block is rendered as
// interleaved 16-bit stereo, handed to the recording, and one notice is posted to the
// user-interface thread. Nothing here waits for the disk or another thread.
void renderBlock(std::int16_t* samples, std::int32_t frames);
// The same for outputs that take the instrument's float samples (JACK, float devices).
void renderBlock(float* left, float* right, std::int32_t frames);

// The text shown when a recording lost frames at rate: "Recording lost 1.52 s: the disk
// was too slow" (seconds with two decimals).
std::string lostRecordingText(std::uint64_t frames, std::uint32_t rate);

// The program's millisecond clock (MIDI time stamps and list start times).
std::uint32_t millisecondClock();

} // namespace vl
