// velmorloom: the standalone program on Linux. Plays the instrument from MIDI through
// JACK or ALSA, records to WAV, keeps its settings in a text file.
#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstring>
#include <exception>
#include <fcntl.h>
#include <memory>
#include <new>
#include <poll.h>
#include <string>
#include <unistd.h>
#include <vector>

#include "instrument/PatchFiles.h"
#include "standalone/StandaloneApp.h"
#include "standalone/linux/AlsaOutput.h"
#include "standalone/linux/AlsaSequencer.h"
#include "standalone/linux/CommandLine.h"
#include "standalone/linux/JackOutput.h"
#include "standalone/linux/MainWindow.h"
#include "standalone/linux/SetupDialog.h"
#include "standalone/linux/SettingsFile.h"
#include "standalone/linux/SingleInstance.h"
#include "vst/EditorBase.h"
#ifdef VL_WITH_PANEL
#include "gui/Controls.h"
#include "gui/Picture.h"
#include "instrument/InstrumentEditor.h"
#include "resources/PanelLayout.h"
#endif

namespace vl::linuxapp {
namespace {

// The main loop sleeps on this pipe. Signal handlers, the audio thread and JACK's
// shutdown notice each write one byte to it: 'q' quit, 'r' raise the window, 'h' read
// the settings again, 'n' a notice from the audio thread, 'x' the JACK server went away.
int wakePipe[2] = {-1, -1};

void wake(char what) {
    const int saved = errno;
    if (::write(wakePipe[1], &what, 1) < 0) {
        // A full pipe already holds a wake-up for the main loop.
    }
    errno = saved;
}

extern "C" void onSignal(int signal) { wake(signal == SIGUSR1 ? 'r' : signal == SIGHUP ? 'h' : 'q'); }
void onJackShutdown() { wake('x'); }

void say(const std::string& line) {
    std::fprintf(stderr, "velmorloom: %s\n", line.c_str());
    std::fflush(stderr);
}

// Reads the settings file (a missing one is created with the defaults when create is
// set, so that there is one to edit) and lays the command-line options over it.
void loadSettings(const CommandLine& options, bool create, SettingsValues& settings, LinuxSettings& linuxSettings) {
    SettingsFile file(settingsPath());
    std::vector<std::string> warnings;
    const bool existed = !file.path().empty() && file.load(warnings);
    settings = readSettings(file, warnings);
    linuxSettings = readLinuxSettings(file, warnings);
    for (const std::string& w : warnings) say("settings: " + w);
    if (create && !existed && !file.path().empty()) {
        writeSettings(file, settings);
        writeLinuxSettings(file, linuxSettings);
        std::string error;
        if (!file.save(error)) say(error);
    }
    if (options.rate) settings.sampleRate = *options.rate;
    if (options.latency) settings.latency = *options.latency;
    if (options.midiChannel) settings.inputChannel = *options.midiChannel;
}

class LinuxShell : public AppShell {
public:
    LinuxShell(const CommandLine& o, const LinuxSettings& s) : options(o), linuxSettings(s) {}

    // Reads the settings file again (the command line still laid over it) and reopens
    // the devices.
    void reloadSettings(StandaloneApp& app) {
        loadSettings(options, false, app.settings, linuxSettings);
        openDevices(app);
    }

    void postUiNotice() override { wake('n'); }

    // The file chooser of the panel (zenity, kdialog or a small dialog of its own), owned
    // by the main window. Nothing is chosen without an open panel.
    bool chooseFile(VstFileSelect* selection) override {
        if (!chooseFileFallback(selection, reinterpret_cast<void*>(ownerWindow))) return false;
        if (selection->command == kVstFileSave && selection->nbFileTypes > 0 && selection->fileTypes &&
            std::strcmp(selection->fileTypes[0].dosType, "wav") == 0) {
            std::printf("velmorloom: recording to %s\n", selection->returnPath);
            std::fflush(stdout);
        }
        return true;
    }

    unsigned long ownerWindow = 0;

    // The settings button: the setup dialog; OK stores its values in the settings file,
    // and they replace the command line's for the rest of the run. Where the dialog
    // cannot be shown the settings file is read again instead.
    bool runSetupDialog(SettingsValues& values) override {
#ifdef VL_WITH_PANEL
        LinuxSettings shown = linuxSettings;
        if (options.audio) shown.audio = *options.audio;
        if (options.device) shown.alsaDevice = *options.device;
        if (options.midiIn) shown.midiIn = *options.midiIn;
        SettingsValues edited = values;
        if (!linuxapp::runSetupDialog(edited, shown, &dialogPoll)) return false;
        values = edited;
        linuxSettings = shown;
        const bool noConnect = options.noConnect; // not a setting: it holds for the whole run
        options = CommandLine{};
        options.noConnect = noConnect;
        SettingsFile file(settingsPath());
        std::vector<std::string> warnings;
        file.load(warnings);
        writeSettings(file, values);
        writeLinuxSettings(file, linuxSettings);
        std::string error;
        if (!file.path().empty() && !file.save(error)) say(error);
        return true;
#else
        LinuxSettings fresh;
        loadSettings(options, false, values, fresh);
        linuxSettings = fresh;
        return true;
#endif
    }
    void openDevices(StandaloneApp& app) override {
        std::string error;
        if (open(app, error)) {
            std::printf("velmorloom: playing through %s\n", what.c_str());
            std::fflush(stdout);
        } else {
            say(error);
        }
    }

    // Opens the audio system chosen by the option or the settings ("auto": JACK when a
    // server runs, else ALSA) and the MIDI input, and starts playing. A recording asked
    // for on the command line starts before the first block.
    bool open(StandaloneApp& app, std::string& error) {
        app.closeDevices();
        const std::string audio = options.audio ? *options.audio : linuxSettings.audio;
        if (audio != "alsa") {
            if (openJack(app, error)) return true;
            if (audio == "jack" || !noServer) return false;
            error.clear();
        }
        return openAlsa(app, error);
    }

    const std::string& description() const { return what; }

    // Recording to start with the first block (--record); cleared once started.
    std::string pendingRecording;

private:
    bool startPendingRecording(StandaloneApp& app, std::string& error) {
        if (pendingRecording.empty()) return true;
        if (!app.startRecording(pendingRecording)) {
            error = "cannot record to " + pendingRecording;
            app.closeDevices();
            return false;
        }
        std::printf("velmorloom: recording to %s\n", pendingRecording.c_str());
        std::fflush(stdout);
        pendingRecording.clear();
        return true;
    }

    std::string midiSource() const { return options.midiIn ? *options.midiIn : linuxSettings.midiIn; }

    bool openJack(StandaloneApp& app, std::string& error) {
        auto out = JackOutput::open("velmorloom", error);
        noServer = !out;
        if (!out) {
            error += " (start one, or use --audio alsa)";
            return false;
        }
        out->setAutoConnect(!options.noConnect);
        out->setMidiSource(midiSource());
        out->setShutdownHook(&onJackShutdown);
        auto ports = std::make_unique<MidiPorts>(app.settings.inputChannel, app.settings.outputChannel,
                                                 out->sampleRate(), out->blockFrames());
        ports->inputOpened(millisecondClock());
        JackOutput* jack = out.get();
        app.installDevices(std::move(out), std::move(ports), nullptr);
        if (!startPendingRecording(app, error)) return false;
        if (!app.startDevices()) {
            error = "cannot activate the JACK client";
            app.closeDevices();
            return false;
        }
        for (const std::string& w : jack->takeWarnings()) say(w);
        what = "JACK at " + std::to_string(jack->sampleRate()) + " Hz, " + std::to_string(jack->blockFrames()) +
               " frames per period; MIDI input velmorloom:midi_in";
        return true;
    }

    bool openAlsa(StandaloneApp& app, std::string& error) {
        const std::string device = options.device ? *options.device : linuxSettings.alsaDevice;
        auto out = AlsaOutput::open(device, app.settings.sampleRate, app.settings.latency, error);
        if (!out) return false;
        auto ports = std::make_unique<MidiPorts>(app.settings.inputChannel, app.settings.outputChannel,
                                                 out->sampleRate(), out->blockFrames());
        std::string midiError, warning;
        auto input = AlsaSequencerInput::open(*ports, midiSource(), midiError, warning);
        if (!input) say("running without MIDI input: " + midiError);
        if (!warning.empty()) say(warning);
        const int rate = out->sampleRate(), frames = out->blockFrames();
        app.installDevices(std::move(out), std::move(ports), std::move(input));
        if (!startPendingRecording(app, error)) return false;
        if (!app.startDevices()) {
            error = "cannot start the ALSA output";
            app.closeDevices();
            return false;
        }
        what = "ALSA device " + device + " at " + std::to_string(rate) + " Hz, " + std::to_string(frames) +
               " frames per block" + (midiError.empty() ? "; MIDI input velmorloom:midi_in" : "");
        return true;
    }

    // While the dialog runs: false when the program is asked to quit (the request is
    // put back for the main loop).
    static bool dialogPoll() {
        char bytes[64];
        const ssize_t n = ::read(wakePipe[0], bytes, sizeof bytes);
        for (ssize_t i = 0; i < n; ++i) {
            if (bytes[i] == 'q' || bytes[i] == 'x') {
                wake(bytes[i]);
                return false;
            }
        }
        return true;
    }

    CommandLine options;
    LinuxSettings linuxSettings;
    bool noServer = false;
    std::string what;
};

bool installSignals() {
    if (::pipe2(wakePipe, O_CLOEXEC | O_NONBLOCK) != 0) return false;
    struct sigaction action {};
    action.sa_handler = &onSignal;
    sigemptyset(&action.sa_mask);
    for (int s : {SIGINT, SIGTERM, SIGUSR1, SIGHUP}) sigaction(s, &action, nullptr);
    std::signal(SIGPIPE, SIG_IGN);
    return true;
}

// The settings button and the record switch on the panel's page, at the places of
// panel::kStandaloneButtons. Both pictures hold two images stacked; the controls keep
// their own references to them.
void addPanelButtons(StandaloneApp& app) {
#ifdef VL_WITH_PANEL
    InstrumentEditor* panel = app.getPanel();
    if (!panel) return;
    const panel::ButtonPlace& settings = panel::kStandaloneButtons[0];
    const panel::ButtonPlace& record = panel::kStandaloneButtons[1];
    Picture* settingsPicture = new Picture(settings.picture);
    Picture* recordPicture = new Picture(record.picture);
    const Rect place{settings.left, settings.top, settings.left + settingsPicture->width,
                     settings.top + settingsPicture->height / 2};
    panel->addControl(new MomentaryButton(place, panel, settings.tag, settingsPicture->height / 2, settingsPicture,
                                          Point{}),
                      settings.tag);
    panel->addControl(new ToggleButton(place.offset(record.left - settings.left, record.top - settings.top), panel,
                                       record.tag, recordPicture),
                      record.tag);
    settingsPicture->release();
    recordPicture->release();
    // A recording started from the command line shows as a lit switch.
    if (app.recording()) panel->setParameter(StandaloneApp::kRecordButtonTag, 1.0f);
#else
    (void)app;
#endif
}

// Opens the main window: the panel's size when the instrument has a panel, else the
// default rectangle (10, 10) to (100, 100). The panel opens into it.
bool openWindow(StandaloneApp& app, MainWindow& window) {
    int left = 10, top = 10, right = 100, bottom = 100;
    EditorBase* panel = app.getEditor();
    ERect* rect = nullptr;
    if (panel && panel->getRect(&rect) && rect) {
        left = rect->left;
        top = rect->top;
        right = rect->right;
        bottom = rect->bottom;
    }
    std::string error;
    if (!window.create("Velmor Loom", left, top, right - left, bottom - top, error)) {
        say(error + ": running without a window");
        return false;
    }
    if (!panel) return true;
    if (!panel->open(reinterpret_cast<void*>(window.nativeWindow()))) {
        say("the panel could not be opened");
        return true;
    }
    addPanelButtons(app);
    return true;
}

// Waits for the end; answers the exit status. SIGHUP reads the settings file again and
// reopens the devices with it, as the setup dialog's OK does.
int mainLoop(StandaloneApp& app, LinuxShell& shell, MainWindow& window) {
    for (;;) {
        pollfd fds[2] = {{wakePipe[0], POLLIN, 0}, {window.fd(), POLLIN, 0}};
        // An open panel is idled at least every 40 ms, also when no audio runs.
        const bool panelShown = window.fd() >= 0 && app.getEditor();
        const int ready = ::poll(fds, window.fd() >= 0 ? 2 : 1, panelShown ? 40 : -1);
        if (ready < 0 && errno != EINTR) return 1;
        if (!window.handleEvents()) return 0; // closed
        if (ready == 0) app.handleUiNotice();
        char bytes[64];
        const ssize_t n = ::read(wakePipe[0], bytes, sizeof bytes);
        for (ssize_t i = 0; i < n; ++i) {
            switch (bytes[i]) {
            case 'q':
                return 0;
            case 'x':
                say("the JACK server stopped");
                return 1;
            case 'n':
                app.handleUiNotice();
                break;
            case 'r':
                window.raise();
                break;
            case 'h':
                shell.reloadSettings(app);
                break;
            default:
                break;
            }
        }
    }
}

int run(const std::vector<std::string>& args) {
    CommandLine options;
    std::string error;
    if (!parseCommandLine(args, options, error)) {
        say(error + " (see --help)");
        return 2;
    }
    if (options.help) {
        std::fputs(usageText().c_str(), stdout);
        return std::fflush(stdout) == 0 ? 0 : 1;
    }
    if (options.version) {
        std::printf("%s\n", kVersionText);
        return std::fflush(stdout) == 0 ? 0 : 1;
    }

    SingleInstance instance;
    pid_t other = 0;
    switch (instance.acquire(other, error)) {
    case SingleInstance::Result::another:
        if (other > 0) ::kill(other, SIGUSR1);
        std::printf("velmorloom is already running%s\n",
                    other > 0 ? (" (process " + std::to_string(other) + "); showing its window").c_str() : "");
        return 0;
    case SingleInstance::Result::failed:
        say(error + "; not checking for another instance");
        break;
    case SingleInstance::Result::first:
        break;
    }

    SettingsValues settings;
    LinuxSettings linuxSettings;
    loadSettings(options, true, settings, linuxSettings);

    if (!installSignals()) {
        say("cannot create a pipe");
        return 1;
    }
    LinuxShell shell(options, linuxSettings);
    std::unique_ptr<StandaloneApp> app(new (std::nothrow) StandaloneApp(shell, settings));
    if (!app || !app->engineReady()) {
        say("out of memory");
        return 1;
    }
    theApp.store(app.get(), std::memory_order_release);

    // Files and program before the sound starts: bank, program, patch.
    app->setProgram(0);
    if (!options.bank.empty() && !loadBankFile(*app, options.bank.c_str())) return 1;
    if (options.program) app->setProgram(*options.program);
    if (!options.patch.empty() && !loadPatchFile(*app, options.patch.c_str())) return 1;

    shell.pendingRecording = options.record;
    if (!shell.open(*app, error)) {
        say(error);
        return 1;
    }
    std::printf("velmorloom: playing through %s\n", shell.description().c_str());
    std::fflush(stdout);
    MainWindow window;
    if (!options.noGui && openWindow(*app, window)) shell.ownerWindow = window.nativeWindow();

    const int status = mainLoop(*app, shell, window);
    const bool finished = app->finishRecording();
    app.reset();
    return finished ? status : 1;
}

} // namespace
} // namespace vl::linuxapp

int main(int argc, char** argv) {
    try {
        std::vector<std::string> args(argv + (argc > 0 ? 1 : 0), argv + argc);
        return vl::linuxapp::run(args);
    } catch (const std::exception& e) {
        std::fprintf(stderr, "velmorloom: %s\n", e.what());
    } catch (...) {
        std::fprintf(stderr, "velmorloom: unexpected failure\n");
    }
    return 1;
}
