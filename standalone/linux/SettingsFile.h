#pragma once
// The Linux settings store: a text file of "name=value" lines, one per value, in
// $XDG_CONFIG_HOME/velmorloom/settings (default ~/.config/velmorloom/settings).
// Blank lines and lines starting with '#' are skipped. Saving writes a new file beside
// the old one and renames it over it, so a reader sees the old file or the new one,
// never a part of either.
//
// Besides the nine values of every system the file holds what Linux needs:
//   audio=auto|jack|alsa   audio system (auto: JACK when a server runs, else ALSA)
//   alsaDevice=NAME        ALSA PCM device
//   midiIn=PORT            MIDI source connected at start (empty: none)
//   recordFormat=float     recordings in 32-bit float (the line is absent for 16-bit)
#include <map>
#include <string>
#include <vector>

#include "standalone/StandaloneSettings.h"

namespace vl::linuxapp {

class SettingsFile : public SettingsStore {
public:
    explicit SettingsFile(std::string path) : filePath(std::move(path)) {}

    // Reads the file; false when it does not exist or cannot be read (no values then).
    // Lines that are not "name=value" add a warning.
    bool load(std::vector<std::string>& warnings);
    // Writes every value atomically; false with a message on failure.
    bool save(std::string& error) const;

    std::optional<std::string> readString(const std::string& name) override;
    void writeString(const std::string& name, const std::optional<std::string>& text) override;

    const std::string& path() const { return filePath; }

private:
    std::string filePath;
    std::vector<std::pair<std::string, std::string>> values; // in file order
};

// The settings file's path from the environment; empty when neither XDG_CONFIG_HOME nor
// HOME is set.
std::string settingsPath();

struct LinuxSettings {
    std::string audio = "auto";
    std::string alsaDevice = "default";
    std::string midiIn;
    std::string recordFormat = "16"; // "16" or "float"
};

inline constexpr const char* kAudioName = "audio";
inline constexpr const char* kAlsaDeviceName = "alsaDevice";
inline constexpr const char* kMidiInName = "midiIn";
inline constexpr const char* kRecordFormatName = "recordFormat";

LinuxSettings readLinuxSettings(SettingsStore& store, std::vector<std::string>& warnings);
void writeLinuxSettings(SettingsStore& store, const LinuxSettings& values);

} // namespace vl::linuxapp
