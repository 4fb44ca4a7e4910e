#pragma once
// Command line of velmorloom-render, in the usual GNU form: "--rate 48000",
// "--rate=48000", "-r 48000", "-r48000", grouped short flags ("-qh"), unambiguous
// prefixes of long options ("--prog 3"), and "--" to end the options.
#include <cstdint>
#include <string>
#include <utility>
#include <vector>

namespace vl::render {

struct Options {
    std::string input; // MIDI file; empty renders the built-in phrase
    std::string output; // empty: derived from the input (see defaultOutputFor)
    uint32_t rate = 44100;
    int block = 512;
    int program = 0;
    std::string bank; // bank file (.fxb) loaded before the program is chosen
    std::string patch; // patch file (.fxp) loaded into the chosen program
    std::vector<std::pair<int, float>> params; // in command-line order
    // Tail after the last event as the exact decimal tailUnits / tailScale seconds.
    uint64_t tailUnits = 3;
    uint64_t tailScale = 1;
    bool floatOutput = false;
    bool quiet = false;
    bool help = false;
    bool version = false;

    // Tail length in frames at the chosen rate, rounded down.
    int64_t tailFrames() const;
};

constexpr uint32_t kMinRate = 8000;
constexpr uint32_t kMaxRate = 192000;
constexpr int kMaxBlock = 8192;
constexpr int kMaxTailSeconds = 600;
constexpr const char* kVersionText = "velmorloom-render 1.0.0";

// args excludes the program name. false with a one-line message on a usage error.
bool parseOptions(const std::vector<std::string>& args, Options& options, std::string& error);

// The --help text.
std::string usageText();

} // namespace vl::render
