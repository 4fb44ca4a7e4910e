#pragma once
// The Linux program's shell around the shared application object: the wake-up pipe that
// signals and JACK's shutdown notice write to, the settings policy (file, command line
// and setup dialog), and the opening of the audio and MIDI devices.
#include <string>

#include "standalone/StandaloneApp.h"
#include "standalone/linux/CommandLine.h"
#include "standalone/linux/SettingsFile.h"

namespace vl::linuxapp {

// The main loop sleeps on the read end of this pipe. Signal handlers and JACK's shutdown
// notice each write one byte to it: 'q' quit, 'r' raise the window, 'h' read the
// settings again, 'x' the JACK server went away.
int wakeFd();
// Creates the pipe and installs the handlers of SIGINT, SIGTERM, SIGUSR1 and SIGHUP;
// SIGPIPE is ignored. False when the pipe cannot be made.
bool installSignals();

// One line on stderr, prefixed with the program's name.
void say(const std::string& line);

// Reads the settings file (a missing one is created with the defaults when create is
// set, so that there is one to edit) and lays the command-line options over it.
void loadSettings(const CommandLine& options, bool create, SettingsValues& settings, LinuxSettings& linuxSettings);

class LinuxShell : public AppShell {
public:
    LinuxShell(const CommandLine& o, const LinuxSettings& s) : options(o), linuxSettings(s) {}

    // Reads the settings file again (the command line still laid over it) and reopens
    // the devices.
    void reloadSettings(StandaloneApp& app);

    // The notice is the application's flag alone: the main loop looks at it every time
    // it wakes (at least every 40 ms while a panel is shown), so the audio thread makes
    // no system call for it.
    void postUiNotice() override {}

    // The file chooser of the panel (zenity, kdialog or a small dialog of its own), owned
    // by the main window. Nothing is chosen without an open panel.
    bool chooseFile(VstFileSelect* selection) override;

    // The settings button: the setup dialog; OK stores its values in the settings file,
    // and they replace the command line's for the rest of the run. Where the dialog
    // cannot be shown the settings file is read again instead.
    bool runSetupDialog(SettingsValues& values) override;
    void openDevices(StandaloneApp& app) override;

    // Opens the audio system chosen by the option or the settings ("auto": JACK when a
    // server runs, else ALSA) and the MIDI input, and starts playing. A recording asked
    // for on the command line starts before the first block.
    bool open(StandaloneApp& app, std::string& error);

    const std::string& description() const { return what; }

    unsigned long ownerWindow = 0;
    // Recording to start with the first block (--record); cleared once started.
    std::string pendingRecording;

private:
    bool startPendingRecording(StandaloneApp& app, std::string& error);
    std::string midiSource() const { return options.midiIn ? *options.midiIn : linuxSettings.midiIn; }
    bool openJack(StandaloneApp& app, std::string& error);
    bool openAlsa(StandaloneApp& app, std::string& error);
    // While the dialog runs: false when the program is asked to quit (the request is
    // put back for the main loop).
    static bool dialogPoll();

    CommandLine options;
    LinuxSettings linuxSettings;
    bool noServer = false;
    std::string what;
};

} // namespace vl::linuxapp
