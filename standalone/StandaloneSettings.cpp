#include "standalone/StandaloneSettings.h"

#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstdlib>

namespace vl {

std::string formatInt(int value) { return std::to_string(value); }

std::string formatBool(bool value) { return value ? "Yes" : "No"; }

std::string formatTempo(float value) {
    char text[48];
    std::snprintf(text, sizeof text, "%#.6g", static_cast<double>(value));
    std::string s = text;
    // Drop the fraction's trailing zeros (before any exponent), keeping the point.
    const std::size_t exponent = s.find_first_of("eE");
    std::string mantissa = s.substr(0, exponent);
    const std::string rest = exponent == std::string::npos ? std::string() : s.substr(exponent);
    if (mantissa.find('.') != std::string::npos)
        while (!mantissa.empty() && mantissa.back() == '0') mantissa.pop_back();
    return mantissa + rest;
}

bool parseInt(const std::string& text, int& value) {
    std::size_t i = 0;
    const bool negative = !text.empty() && text[0] == '-';
    if (negative) i = 1;
    if (i == text.size() || text.size() - i > 9) return false;
    long v = 0;
    for (; i < text.size(); ++i) {
        if (text[i] < '0' || text[i] > '9') return false;
        v = v * 10 + (text[i] - '0');
    }
    value = static_cast<int>(negative ? -v : v);
    return true;
}

bool parseBool(const std::string& text, bool& value) {
    if (text == "Yes") value = true;
    else if (text == "No") value = false;
    else return false;
    return true;
}

bool parseTempo(const std::string& text, float& value) {
    if (text.empty() || text.size() > 40) return false;
    for (char c : text)
        if (!((c >= '0' && c <= '9') || c == '.' || c == '-' || c == '+' || c == 'e' || c == 'E')) return false;
    errno = 0;
    char* end = nullptr;
    const double v = std::strtod(text.c_str(), &end);
    if (errno != 0 || end != text.c_str() + text.size() || !std::isfinite(v)) return false;
    value = static_cast<float>(v);
    return true;
}

namespace {

class Reader {
public:
    Reader(SettingsStore& s, std::vector<std::string>& w) : store(s), warnings(w) {}

    int readInt(const char* name, int fallback, int lo, int hi) {
        const auto text = store.readString(name);
        if (!text) return fallback;
        int v = 0;
        if (parseInt(*text, v) && v >= lo && v <= hi) return v;
        warn(name, *text, formatInt(fallback));
        return fallback;
    }

    bool readBool(const char* name, bool fallback) {
        const auto text = store.readString(name);
        if (!text) return fallback;
        bool v = false;
        if (parseBool(*text, v)) return v;
        warn(name, *text, formatBool(fallback));
        return fallback;
    }

    float readTempo(const char* name, float fallback) {
        const auto text = store.readString(name);
        if (!text) return fallback;
        float v = 0.0f;
        if (parseTempo(*text, v) && v > 0.0f && v <= kMaxTempo) return v;
        warn(name, *text, formatTempo(fallback));
        return fallback;
    }

private:
    void warn(const char* name, const std::string& text, const std::string& fallback) {
        std::string shown = text.substr(0, 40);
        for (char& c : shown)
            if (static_cast<unsigned char>(c) < 0x20) c = '?';
        warnings.push_back(std::string("bad value '") + shown + "' for " + name + ", using " + fallback);
    }

    SettingsStore& store;
    std::vector<std::string>& warnings;
};

constexpr int kMaxPosition = 0x7FFFFFFF;

} // namespace

SettingsValues readSettings(SettingsStore& store, std::vector<std::string>& warnings) {
    const SettingsValues d;
    SettingsValues v;
    Reader r(store, warnings);
    v.midiInDevice = r.readInt(kMidiInDeviceName, d.midiInDevice, 0, kMaxPosition);
    v.midiOutDevice = r.readInt(kMidiOutDeviceName, d.midiOutDevice, 0, kMaxPosition);
    v.inputChannel = r.readInt(kInputChannelName, d.inputChannel, -1, 15);
    v.outputChannel = r.readInt(kOutputChannelName, d.outputChannel, -1, 15);
    v.audioDevice = r.readInt(kAudioDeviceName, d.audioDevice, 0, kMaxPosition);
    v.latency = r.readInt(kLatencyName, d.latency, kMinLatency, kMaxLatency);
    v.primary = r.readBool(kPrimaryName, d.primary);
    v.sampleRate = r.readInt(kSampleRateName, d.sampleRate, kMinSampleRate, kMaxSampleRate);
    v.tempo = r.readTempo(kTempoName, d.tempo);
    return v;
}

void writeSettings(SettingsStore& store, const SettingsValues& v) {
    store.writeString(kMidiInDeviceName, formatInt(v.midiInDevice));
    store.writeString(kMidiOutDeviceName, formatInt(v.midiOutDevice));
    store.writeString(kInputChannelName, formatInt(v.inputChannel));
    store.writeString(kOutputChannelName, formatInt(v.outputChannel));
    store.writeString(kAudioDeviceName, formatInt(v.audioDevice));
    store.writeString(kLatencyName, formatInt(v.latency));
    store.writeString(kPrimaryName, formatBool(v.primary));
    store.writeString(kSampleRateName, formatInt(v.sampleRate));
    store.writeString(kTempoName, formatTempo(v.tempo));
}

} // namespace vl
