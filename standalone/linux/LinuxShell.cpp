#include "standalone/linux/LinuxShell.h"

#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <memory>
#include <unistd.h>
#include <vector>

#include "instrument/PatchFiles.h"
#include "standalone/linux/AlsaOutput.h"
#include "standalone/linux/AlsaSequencer.h"
#include "standalone/linux/JackOutput.h"
#include "standalone/linux/SetupDialog.h"

namespace vl::linuxapp {
namespace {

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

} // namespace

int wakeFd() { return wakePipe[0]; }

bool installSignals() {
    if (::pipe2(wakePipe, O_CLOEXEC | O_NONBLOCK) != 0) return false;
    struct sigaction action {};
    action.sa_handler = &onSignal;
    sigemptyset(&action.sa_mask);
    for (int s : {SIGINT, SIGTERM, SIGUSR1, SIGHUP}) sigaction(s, &action, nullptr);
    std::signal(SIGPIPE, SIG_IGN);
    return true;
}

void say(const std::string& line) {
    std::fprintf(stderr, "velmorloom: %s\n", line.c_str());
    std::fflush(stderr);
}

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

void LinuxShell::reloadSettings(StandaloneApp& app) {
    loadSettings(options, false, app.settings, linuxSettings);
    openDevices(app);
}

bool LinuxShell::chooseFile(VstFileSelect* selection) {
    if (!chooseFileFallback(selection, reinterpret_cast<void*>(ownerWindow))) return false;
    if (selection->command == kVstFileSave && selection->nbFileTypes > 0 && selection->fileTypes &&
        std::strcmp(selection->fileTypes[0].dosType, "wav") == 0) {
        std::printf("velmorloom: recording to %s\n", selection->returnPath);
        std::fflush(stdout);
    }
    return true;
}

bool LinuxShell::runSetupDialog(SettingsValues& values) {
#ifdef VL_WITH_PANEL
    LinuxSettings shown = linuxSettings;
    if (options.audio) shown.audio = *options.audio;
    if (options.device) shown.alsaDevice = *options.device;
    if (options.midiIn) shown.midiIn = *options.midiIn;
    if (options.recordFormat) shown.recordFormat = *options.recordFormat;
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

void LinuxShell::openDevices(StandaloneApp& app) {
    std::string error;
    if (open(app, error)) {
        std::printf("velmorloom: playing through %s\n", what.c_str());
        std::fflush(stdout);
    } else {
        say(error);
    }
}

bool LinuxShell::open(StandaloneApp& app, std::string& error) {
    app.closeDevices();
    const std::string format = options.recordFormat ? *options.recordFormat : linuxSettings.recordFormat;
    app.recordFormat = format == "float" ? SampleFormat::Float32 : SampleFormat::Pcm16;
    const std::string audio = options.audio ? *options.audio : linuxSettings.audio;
    if (audio != "alsa") {
        if (openJack(app, error)) return true;
        if (audio == "jack" || !noServer) return false;
        error.clear();
    }
    return openAlsa(app, error);
}

bool LinuxShell::startPendingRecording(StandaloneApp& app, std::string& error) {
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

bool LinuxShell::openJack(StandaloneApp& app, std::string& error) {
    auto out = JackOutput::open("velmorloom", error);
    noServer = !out;
    if (!out) {
        error += " (start one, or use --audio alsa)";
        return false;
    }
    out->setAutoConnect(!options.noConnect);
    out->setMidiSource(midiSource());
    out->setShutdownHook(&onJackShutdown);
    auto ports = std::make_unique<MidiPorts>(app.settings.inputChannel, app.settings.outputChannel, out->sampleRate(),
                                             out->blockFrames());
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

bool LinuxShell::openAlsa(StandaloneApp& app, std::string& error) {
    const std::string device = options.device ? *options.device : linuxSettings.alsaDevice;
    auto out = AlsaOutput::open(device, app.settings.sampleRate, app.settings.latency, error);
    if (!out) return false;
    auto ports = std::make_unique<MidiPorts>(app.settings.inputChannel, app.settings.outputChannel, out->sampleRate(),
                                             out->blockFrames());
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

bool LinuxShell::dialogPoll() {
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

} // namespace vl::linuxapp
