#pragma once
// Command line of velmorloom. Options override the settings file for one run. Both
// "--rate 48000" and "--rate=48000" are accepted.
#include <optional>
#include <string>
#include <vector>

namespace vl::linuxapp {

struct CommandLine {
    std::optional<std::string> audio; // "jack" or "alsa"
    std::optional<std::string> device; // ALSA PCM device
    std::optional<int> rate; // ALSA sample rate
    std::optional<int> latency; // ALSA block length in milliseconds
    std::optional<std::string> midiIn; // MIDI source connected at start
    std::optional<int> midiChannel; // -1 = all, 0..15
    std::optional<int> program; // 0..7
    std::string patch;
    std::string bank;
    std::string record;
    std::optional<std::string> recordFormat; // "16" or "float"
    bool noGui = false;
    bool noConnect = false;
    bool help = false;
    bool version = false;
};

inline constexpr const char* kVersionText = "velmorloom 1.0.0";

// args without the program name. False with a one-line message on a usage error.
bool parseCommandLine(const std::vector<std::string>& args, CommandLine& options, std::string& error);

std::string usageText();

} // namespace vl::linuxapp
