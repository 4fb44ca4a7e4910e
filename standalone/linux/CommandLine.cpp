#include "standalone/linux/CommandLine.h"

#include "platform/OptionScanner.h"
#include "standalone/StandaloneSettings.h"

namespace vl::linuxapp {
namespace {

enum class Id {
    Audio,
    Device,
    Rate,
    Latency,
    MidiIn,
    MidiChannel,
    Program,
    Patch,
    Bank,
    Record,
    RecordFormat,
    NoGui,
    NoConnect,
    Help,
    Version
};

// clang-format off
constexpr OptionDef kOptions[] = {
    {"audio", 0, true, int(Id::Audio)},         {"device", 0, true, int(Id::Device)},
    {"rate", 0, true, int(Id::Rate)},           {"latency", 0, true, int(Id::Latency)},
    {"midi-in", 0, true, int(Id::MidiIn)},      {"midi-channel", 0, true, int(Id::MidiChannel)},
    {"program", 0, true, int(Id::Program)},     {"patch", 0, true, int(Id::Patch)},
    {"bank", 0, true, int(Id::Bank)},           {"record", 0, true, int(Id::Record)},
    {"record-format", 0, true, int(Id::RecordFormat)},
    {"no-gui", 0, false, int(Id::NoGui)},       {"no-connect", 0, false, int(Id::NoConnect)},
    {"help", 0, false, int(Id::Help)},          {"version", 0, false, int(Id::Version)},
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
    case Id::RecordFormat:
        if (value != "16" && value != "float") return bad("16 or float");
        o.recordFormat = value;
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
    ScanFailure failure;
    const bool scanned = scanOptions(
        args, kOptions, ScanRules{},
        [&](const OptionDef& o, const std::string& shown, const std::string& value) {
            return apply(Id(o.id), shown, value, options, error);
        },
        [](const std::string&) {}, failure);
    if (scanned) return true;
    using Kind = ScanFailure::Kind;
    switch (failure.kind) {
    case Kind::unknownOption:
    case Kind::unknownLetter:
    case Kind::ambiguous:
        error = "unknown option '" + failure.text + "'";
        break;
    case Kind::unexpectedArgument:
        error = "unexpected argument '" + failure.text + "'";
        break;
    case Kind::missingValue:
        error = "option " + failure.text + " needs a value";
        break;
    case Kind::unexpectedValue:
        error = "option " + failure.text + " takes no value";
        break;
    case Kind::rejected:
        break; // apply() has said what was wrong
    }
    return false;
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
           "  --record-format 16|float  record 16-bit samples (the default) or 32-bit float\n"
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
