// velmorloom: the standalone program on Linux. Plays the instrument from MIDI through
// JACK or ALSA, records to WAV, keeps its settings in a text file.
#include <cerrno>
#include <csignal>
#include <cstdio>
#include <exception>
#include <memory>
#include <new>
#include <poll.h>
#include <string>
#include <unistd.h>
#include <vector>

#include "instrument/PatchFiles.h"
#include "platform/OptionScanner.h"
#include "standalone/PanelButtons.h"
#include "standalone/StandaloneApp.h"
#include "standalone/linux/CommandLine.h"
#include "standalone/linux/LinuxShell.h"
#include "standalone/linux/MainWindow.h"
#include "standalone/linux/SettingsFile.h"
#include "standalone/linux/SingleInstance.h"
#include "vst/EditorBase.h"

namespace vl::linuxapp {
namespace {

// Opens the main window in the panel's size (or the default rectangle); the panel opens
// into it with the program's two buttons.
bool openWindow(StandaloneApp& app, MainWindow& window, PanelButtons& buttons) {
    const WindowPlace place = mainWindowPlace(app.getEditor());
    std::string error;
    if (!window.create("Velmor Loom", place.left, place.top, place.width(), place.height(), error)) {
        say(error + ": running without a window");
        return false;
    }
    EditorBase* panel = app.getEditor();
    if (!panel) return true;
    if (!panel->open(reinterpret_cast<void*>(window.nativeWindow()))) {
        say("the panel could not be opened");
        return true;
    }
    buttons.add(app);
    return true;
}

// Waits for the end; answers the exit status. SIGHUP reads the settings file again and
// reopens the devices with it, as the setup dialog's OK does.
int mainLoop(StandaloneApp& app, LinuxShell& shell, MainWindow& window) {
    for (;;) {
        pollfd fds[2] = {{wakeFd(), POLLIN, 0}, {window.fd(), POLLIN, 0}};
        // An open panel is idled at least every 40 ms, also when no audio runs.
        const bool panelShown = window.fd() >= 0 && app.getEditor();
        const int ready = ::poll(fds, window.fd() >= 0 ? 2 : 1, panelShown ? 40 : -1);
        if (ready < 0 && errno != EINTR) return 1;
        if (!window.handleEvents()) return 0; // closed
        if (ready == 0 || app.uiNoticePosted()) app.handleUiNotice();
        char bytes[64];
        const ssize_t n = ::read(wakeFd(), bytes, sizeof bytes);
        for (ssize_t i = 0; i < n; ++i) {
            switch (bytes[i]) {
            case 'q':
                return 0;
            case 'x':
                say("the JACK server stopped");
                return 1;
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
    if (options.help) return printAnswer(usageText());
    if (options.version) return printAnswer(std::string(kVersionText) + "\n");

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
    PanelButtons buttons;
    MainWindow window;
    if (!options.noGui && openWindow(*app, window, buttons)) shell.ownerWindow = window.nativeWindow();

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
