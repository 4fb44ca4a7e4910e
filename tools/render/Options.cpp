#include "tools/render/Options.h"

#include <charconv>

#include "platform/OptionScanner.h"

namespace vl::render {
namespace {

enum class Id { Output, Rate, Block, Program, Bank, Patch, Param, Tail, Float, Quiet, Help, Version };

constexpr OptionDef kOptions[] = {
    {"output", 'o', true, int(Id::Output)}, {"rate", 'r', true, int(Id::Rate)},
    {"block", 'b', true, int(Id::Block)},   {"program", 'p', true, int(Id::Program)},
    {"param", 0, true, int(Id::Param)},     {"tail", 0, true, int(Id::Tail)},
    {"bank", 0, true, int(Id::Bank)},       {"patch", 0, true, int(Id::Patch)},
    {"float", 0, false, int(Id::Float)},    {"quiet", 'q', false, int(Id::Quiet)},
    {"help", 'h', false, int(Id::Help)},    {"version", 0, false, int(Id::Version)},
};

// Decimal integer made of digits only, within [lo, hi].
bool parseInteger(const std::string& text, long lo, long hi, long& value) {
    if (text.empty() || text.size() > 9) return false;
    for (char c : text)
        if (c < '0' || c > '9') return false;
    value = std::stol(text);
    return value >= lo && value <= hi;
}

// Exact decimal "123", "1.25", ".5", "2." with at most 9 decimals, as units / scale.
bool parseDecimal(const std::string& text, uint64_t& units, uint64_t& scale) {
    units = 0;
    scale = 1;
    bool dot = false;
    int digits = 0, decimals = 0;
    for (char c : text) {
        if (c == '.') {
            if (dot) return false;
            dot = true;
            continue;
        }
        if (c < '0' || c > '9') return false;
        if (dot && ++decimals > 9) return false;
        if (++digits > 15) return false;
        units = units * 10 + uint64_t(c - '0');
        if (dot) scale *= 10;
    }
    return digits > 0;
}

class Parser {
public:
    Parser(Options& o, std::string& e) : options(o), error(e) {}

    bool apply(Id id, const std::string& shown, const std::string& value) {
        long n = 0;
        switch (id) {
        case Id::Output:
            if (value.empty()) return bad(shown, value, "a file name");
            options.output = value;
            return true;
        case Id::Rate:
            if (!parseInteger(value, kMinRate, kMaxRate, n)) return bad(shown, value, "an integer from 8000 to 192000");
            options.rate = uint32_t(n);
            return true;
        case Id::Block:
            if (!parseInteger(value, 1, kMaxBlock, n)) return bad(shown, value, "an integer from 1 to 8192");
            options.block = int(n);
            return true;
        case Id::Program:
            if (!parseInteger(value, 0, 7, n)) return bad(shown, value, "an integer from 0 to 7");
            options.program = int(n);
            return true;
        case Id::Bank:
            return setFile(options.bank, shown, value);
        case Id::Patch:
            return setFile(options.patch, shown, value);
        case Id::Param: {
            const std::size_t eq = value.find('=');
            if (eq == std::string::npos || !parseInteger(value.substr(0, eq), 0, 12, n))
                return bad(shown, value, "INDEX=VALUE with INDEX from 0 to 12");
            const std::string number = value.substr(eq + 1);
            float v = 0.0f;
            const char* first = number.data();
            const char* last = first + number.size();
            const auto r = std::from_chars(first, last, v);
            if (number.empty() || r.ec != std::errc() || r.ptr != last || !(v >= 0.0f && v <= 1.0f))
                return bad(shown, value, "INDEX=VALUE with VALUE from 0 to 1");
            options.params.emplace_back(int(n), v);
            return true;
        }
        case Id::Tail: {
            uint64_t units = 0, scale = 1;
            if (!parseDecimal(value, units, scale) || units > uint64_t(kMaxTailSeconds) * scale)
                return bad(shown, value, "a number of seconds from 0 to 600");
            options.tailUnits = units;
            options.tailScale = scale;
            return true;
        }
        case Id::Float:
            options.floatOutput = true;
            return true;
        case Id::Quiet:
            options.quiet = true;
            return true;
        case Id::Help:
            options.help = true;
            return true;
        case Id::Version:
            options.version = true;
            return true;
        }
        return false;
    }

    // A file option may be given once: a second one would silently win or be ignored.
    bool setFile(std::string& file, const std::string& shown, const std::string& value) {
        if (value.empty()) return bad(shown, value, "a file name");
        if (!file.empty()) {
            error = "option '" + shown + "' given more than once";
            return false;
        }
        file = value;
        return true;
    }

    bool bad(const std::string& shown, const std::string& value, const char* expected) {
        error = "invalid value '" + value + "' for " + shown + ": expected " + expected;
        return false;
    }

    Options& options;
    std::string& error;
};

} // namespace

int64_t Options::tailFrames() const { return int64_t(tailUnits * uint64_t(rate) / tailScale); }

bool parseOptions(const std::vector<std::string>& args, Options& options, std::string& error) {
    options = Options{};
    Parser parser(options, error);
    std::vector<std::string> positional;
    ScanFailure failure;
    const ScanRules rules{.abbreviations = true, .letters = true, .arguments = true};
    const bool scanned = scanOptions(
        args, kOptions, rules,
        [&](const OptionDef& o, const std::string& shown, const std::string& value) {
            return parser.apply(Id(o.id), shown, value);
        },
        [&](const std::string& word) { positional.push_back(word); }, failure);
    if (!scanned) {
        using Kind = ScanFailure::Kind;
        switch (failure.kind) {
        case Kind::unknownOption:
            error = "unrecognized option '" + failure.text + "'";
            break;
        case Kind::unknownLetter:
            error = "invalid option -- '" + failure.text + "'";
            break;
        case Kind::ambiguous:
            error = "option '" + failure.text + "' is ambiguous";
            break;
        case Kind::missingValue:
            error = "option '" + failure.text + "' requires an argument";
            break;
        case Kind::unexpectedValue:
            error = "option '" + failure.text + "' doesn't allow an argument";
            break;
        case Kind::unexpectedArgument:
        case Kind::rejected:
            break; // the parser has said what was wrong
        }
        return false;
    }
    if (positional.size() > 1) {
        error = "more than one MIDI file given ('" + positional[0] + "', '" + positional[1] + "')";
        return false;
    }
    if (!positional.empty()) options.input = positional[0];
    return true;
}

std::string usageText() {
    return "Usage: velmorloom-render [OPTION]... [FILE.mid]\n"
           "Render a Standard MIDI File (format 0 or 1) through the Velmor Loom instrument\n"
           "into a WAV file. Without FILE, a built-in demonstration phrase is rendered.\n"
           "\n"
           "  -o, --output=PATH      output file (default: FILE's name with .wav in the\n"
           "                         current folder, or velmorloom-demo.wav)\n"
           "  -r, --rate=HZ          sample rate, 8000 to 192000 (default 44100)\n"
           "  -b, --block=N          frames per render call, 1 to 8192 (default 512)\n"
           "  -p, --program=N        program 0 to 7 (default 0)\n"
           "      --bank=FILE.fxb    load a bank of eight programs first; then --program\n"
           "                         chooses among them\n"
           "      --patch=FILE.fxp   load a patch into the chosen program (after --bank)\n"
           "      --param=INDEX=VALUE  set parameter INDEX (0 to 12) to VALUE (0 to 1)\n"
           "                         after the program and files are loaded; may be\n"
           "                         repeated\n"
           "      --tail=SECONDS     time rendered after the last event, 0 to 600\n"
           "                         (default 3)\n"
           "      --float            write 32-bit float samples instead of 16-bit PCM\n"
           "  -q, --quiet            no progress display and no summary line\n"
           "  -h, --help             show this help and exit\n"
           "      --version          show the version and exit\n"
           "\n"
           "Exit status: 0 on success, 1 if the input or output failed, 2 on a usage error.\n";
}

} // namespace vl::render
