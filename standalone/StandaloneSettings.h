#pragma once
// The standalone program's nine settings, their stored names and text forms.
//
// Every value is stored as text: integers in decimal, the bool as "Yes" or "No", the
// tempo with 6 significant digits (trailing fraction zeros dropped, the point kept:
// "120."). Where they are kept is the platform's business (the registry on Windows, a
// text file on Linux) behind SettingsStore.
//
// Reading never fails: a missing value takes its default, and a value that is present
// but not valid (not a number, "yes" for "Yes", a channel outside -1..15, a negative
// device position, a rate or latency out of range) takes its default with a warning.
#include <optional>
#include <string>
#include <vector>

namespace vl {

// One open store of named text values.
class SettingsStore {
public:
    virtual ~SettingsStore() = default;
    // The text of a value; none when it is missing or cannot be read.
    virtual std::optional<std::string> readString(const std::string& name) = 0;
    // Stores text under name; none deletes the value.
    virtual void writeString(const std::string& name, const std::optional<std::string>& text) = 0;
};

struct SettingsValues {
    int midiInDevice = 0; // position in the MIDI input list
    int midiOutDevice = 0; // position in the MIDI output list
    int inputChannel = 0; // -1 = all channels, 0..15
    int outputChannel = 0; // -1 = no MIDI output, 0..15
    int audioDevice = 0; // position in the audio device list (0 = the system's default)
    int latency = 50; // milliseconds per audio block
    bool primary = false; // write straight into the device's primary buffer
    int sampleRate = 44100;
    float tempo = 120.0f; // beats per minute, answered to the instrument's time queries

    bool operator==(const SettingsValues&) const = default;
};

// Stored names, in the order the values are written.
inline constexpr const char* kMidiInDeviceName = "midiInDevice";
inline constexpr const char* kMidiOutDeviceName = "midiOutDevice";
inline constexpr const char* kInputChannelName = "inputChannel";
inline constexpr const char* kOutputChannelName = "outputChannel";
inline constexpr const char* kAudioDeviceName = "audioDevice";
inline constexpr const char* kLatencyName = "latency";
inline constexpr const char* kPrimaryName = "primary";
inline constexpr const char* kSampleRateName = "sampleRate";
inline constexpr const char* kTempoName = "tempo";

// Ranges a stored value must lie in.
inline constexpr int kMinLatency = 1;
inline constexpr int kMaxLatency = 2000;
inline constexpr int kMinSampleRate = 8000;
inline constexpr int kMaxSampleRate = 192000;
inline constexpr float kMaxTempo = 999.0f;

// The rates the setup dialog offers, in its order.
inline constexpr int kDialogSampleRates[] = {44100, 48000, 64000, 88200, 96000};

// Text forms.
std::string formatInt(int value);
std::string formatBool(bool value);
std::string formatTempo(float value);
// Strict readers: the whole text must be the form above (an optional minus sign and
// decimal digits; "Yes" or "No"; a decimal number). False for anything else.
bool parseInt(const std::string& text, int& value);
bool parseBool(const std::string& text, bool& value);
bool parseTempo(const std::string& text, float& value);

// Reads all nine values; each warning is one line naming the value, the bad text and
// the default taken.
SettingsValues readSettings(SettingsStore& store, std::vector<std::string>& warnings);
// Writes all nine values in the stored order.
void writeSettings(SettingsStore& store, const SettingsValues& values);

} // namespace vl
