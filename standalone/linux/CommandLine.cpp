#include "standalone/linux/CommandLine.h"

#include "standalone/StandaloneSettings.h"

namespace vl::linuxapp {
namespace {

enum class Id { Audio, Device, Rate, Latency, MidiIn, MidiChannel, Program, Patch, Bank, Record, NoGui, NoConnect, Help, Version };

struct Option {
    const char* name;
    bool hasValue;
    Id id;
};

// clang-format off
constexpr Option kOptions[] = {
    {"audio", true, Id::Audio},       {"device", true, Id::Device},       {"rate", true, Id::Rate},
    {"latency", true, Id::Latency},   {"midi-in", true, Id::MidiIn},      {"midi-channel", true, Id::MidiChannel},
    {"program", true, Id::Program},   {"patch", true, Id::Patch},         {"bank", true, Id::Bank},
    {"record", true, Id::Record},     {"no-gui", false, Id::NoGui},       {"no-connect", false, Id::NoConnect},
    {"help", false, Id::Help},        {"version", false, Id::Version},
};
// clang-format on

bool number(const std::string& text, int lo, int hi, int& value) {
    int v = 0;
    if (text.empty() || text[0] == '-' || !parseInt(text, v) || v < lo || v > hi) return false;
    value = v;
    return true;
}

bool apply(Id id, const std::string& shown, const std::string& value, CommandLine& o, std::string& error) {
    auto bad = [&](const char* expected) {
        error = "invalid value '" + value + "' for " + shown + " (expected " + expected + ")";
        return false;
    };
    int n = 0;
    switch (id) {
    case Id::Audio:
        if (value != "jack" && value != "alsa") return bad("jack or alsa");
        o.audio = value;
        return true;
    case Id::Device:
        if (value.empty()) return bad("an ALSA device name");
        o.device = value;
        return true;
    case Id::Rate:
        if (!number(value, kMinSampleRate, kMaxSampleRate, n)) return bad("a sample rate from 8000 to 192000");
        o.rate = n;
        return true;
    case Id::Latency:
        if (!number(value, kMinLatency, kMaxLatency, n)) return bad("milliseconds from 1 to 2000");
        o.latency = n;
        return true;
    case Id::MidiIn:
        if (value.empty()) return bad("a MIDI port name");
        o.midiIn = value;
        return true;
    case Id::MidiChannel:
        if (value == "all") o.midiChannel = -1;
        else if (number(value, 1, 16, n)) o.midiChannel = n - 1;
        else return bad("1 to 16 or all");
        return true;
    case Id::Program:
        if (!number(value, 0, 7, n)) return bad("0 to 7");
        o.program = n;
        return true;
    case Id::Patch:
    case Id::Bank:
    case Id::Record:
        if (value.empty()) return bad("a file name");
        (id == Id::Patch ? o.patch : id == Id::Bank ? o.bank : o.record) = value;
        return true;
    case Id::NoGui:
        o.noGui = true;
        return true;
    case Id::NoConnect:
        o.noConnect = true;
        return true;
    case Id::Help:
        o.help = true;
        return true;
    case Id::Version:
        o.version = true;
        return true;
    }
    return false;
}

} // namespace

bool parseCommandLine(const std::vector<std::string>& args, CommandLine& options, std::string& error) {
    for (std::size_t i = 0; i < args.size(); ++i) {
        const std::string& arg = args[i];
        if (arg.size() < 3 || arg.compare(0, 2, "--") != 0) {
            error = arg.size() > 1 && arg[0] == '-' ? "unknown option '" + arg + "'" : "unexpected argument '" + arg + "'";
            return false;
        }
        const std::size_t eq = arg.find('=');
        const std::string name = arg.substr(2, eq == std::string::npos ? std::string::npos : eq - 2);
        const Option* found = nullptr;
        for (const Option& o : kOptions)
            if (name == o.name) found = &o;
        if (!found) {
            error = "unknown option '--" + name + "'";
            return false;
        }
        const std::string shown = "--" + name;
        std::string value;
        if (found->hasValue) {
            if (eq != std::string::npos) {
                value = arg.substr(eq + 1);
            } else if (i + 1 < args.size()) {
                value = args[++i];
            } else {
                error = "option " + shown + " needs a value";
                return false;
            }
        } else if (eq != std::string::npos) {
            error = "option " + shown + " takes no value";
            return false;
        }
        if (!apply(found->id, shown, value, options, error)) return false;
    }
    return true;
}

std::string usageText() {
    return "Usage: velmorloom [options]\n"
           "Plays the Velmor Loom string ensemble from MIDI through JACK or ALSA.\n"
           "\n"
           "  --audio jack|alsa      audio system (default: JACK when a server runs, else ALSA)\n"
           "  --device NAME          ALSA PCM device (default: default)\n"
           "  --rate HZ              ALSA sample rate, 8000 to 192000 (JACK uses the server's)\n"
           "  --latency MS           ALSA block length in milliseconds, 1 to 2000\n"
           "  --midi-in PORT         connect this MIDI source at start (JACK port name, or\n"
           "                         ALSA sequencer client:port)\n"
           "  --midi-channel N|all   play MIDI channel N (1 to 16) only, or all channels\n"
           "  --program N            select program N (0 to 7)\n"
           "  --bank FILE.fxb        load a bank of eight programs\n"
           "  --patch FILE.fxp       load a patch into the selected program\n"
           "  --record FILE.wav      record what plays from the start\n"
           "  --no-gui               run without a window\n"
           "  --no-connect           do not connect the JACK outputs to the playback ports\n"
           "  --help                 this text\n"
           "  --version              the version\n"
           "\n"
           "Settings are kept in $XDG_CONFIG_HOME/velmorloom/settings (default ~/.config).\n"
           "SIGHUP reads the settings file again and reopens the devices.\n"
           "SIGINT or SIGTERM end the program; a recording is finished first.\n";
}

} // namespace vl::linuxapp
