#include "standalone/linux/SettingsFile.h"

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace vl::linuxapp {
namespace {

constexpr std::size_t kMaxFileSize = 1 << 16;

std::string trim(const std::string& s) {
    std::size_t b = 0, e = s.size();
    while (b < e && (s[b] == ' ' || s[b] == '\t' || s[b] == '\r')) ++b;
    while (e > b && (s[e - 1] == ' ' || s[e - 1] == '\t' || s[e - 1] == '\r')) --e;
    return s.substr(b, e - b);
}

bool makeFolders(const std::string& folder) {
    if (folder.empty()) return true;
    struct stat st {};
    if (::stat(folder.c_str(), &st) == 0) return S_ISDIR(st.st_mode);
    const std::size_t slash = folder.find_last_of('/');
    if (slash != std::string::npos && slash > 0 && !makeFolders(folder.substr(0, slash))) return false;
    return ::mkdir(folder.c_str(), 0700) == 0 || errno == EEXIST;
}

bool writeAll(int fd, const std::string& text) {
    std::size_t done = 0;
    while (done < text.size()) {
        const ssize_t n = ::write(fd, text.data() + done, text.size() - done);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) return false;
        done += std::size_t(n);
    }
    return true;
}

} // namespace

bool SettingsFile::load(std::vector<std::string>& warnings) {
    values.clear();
    std::FILE* f = std::fopen(filePath.c_str(), "rb");
    if (!f) return false;
    std::string text;
    char buffer[4096];
    std::size_t n;
    while ((n = std::fread(buffer, 1, sizeof buffer, f)) > 0 && text.size() < kMaxFileSize) text.append(buffer, n);
    const bool failed = std::ferror(f) != 0;
    std::fclose(f);
    if (failed) {
        warnings.push_back("cannot read " + filePath);
        return false;
    }
    std::size_t start = 0;
    int lineNumber = 0;
    while (start < text.size()) {
        std::size_t end = text.find('\n', start);
        if (end == std::string::npos) end = text.size();
        const std::string line = trim(text.substr(start, end - start));
        start = end + 1;
        ++lineNumber;
        if (line.empty() || line[0] == '#') continue;
        const std::size_t eq = line.find('=');
        if (eq == std::string::npos || eq == 0) {
            warnings.push_back(filePath + ":" + std::to_string(lineNumber) + ": not a name=value line, skipped");
            continue;
        }
        writeString(trim(line.substr(0, eq)), trim(line.substr(eq + 1)));
    }
    return true;
}

bool SettingsFile::save(std::string& error) const {
    const std::size_t slash = filePath.find_last_of('/');
    const std::string folder = slash == std::string::npos ? std::string() : filePath.substr(0, slash);
    if (!makeFolders(folder)) {
        error = "cannot create the folder " + folder + ": " + std::strerror(errno);
        return false;
    }
    std::string text = "# Velmor Loom settings: one name=value line each\n";
    for (const auto& [name, value] : values) text += name + "=" + value + "\n";
    std::string temp = filePath + ".XXXXXX";
    const int fd = ::mkstemp(temp.data());
    if (fd < 0) {
        error = "cannot write " + filePath + ": " + std::strerror(errno);
        return false;
    }
    bool ok = writeAll(fd, text) && ::fsync(fd) == 0;
    const int savedErrno = errno;
    ok = ::close(fd) == 0 && ok;
    if (ok && ::rename(temp.c_str(), filePath.c_str()) != 0) ok = false;
    if (!ok) {
        error = "cannot write " + filePath + ": " + std::strerror(errno ? errno : savedErrno);
        ::unlink(temp.c_str());
        return false;
    }
    return true;
}

std::optional<std::string> SettingsFile::readString(const std::string& name) {
    for (const auto& [n, v] : values)
        if (n == name) return v;
    return std::nullopt;
}

void SettingsFile::writeString(const std::string& name, const std::optional<std::string>& text) {
    for (auto it = values.begin(); it != values.end(); ++it) {
        if (it->first != name) continue;
        if (text) it->second = *text;
        else values.erase(it);
        return;
    }
    if (text) values.emplace_back(name, *text);
}

std::string settingsPath() {
    const char* config = std::getenv("XDG_CONFIG_HOME");
    std::string base;
    if (config && config[0] == '/') {
        base = config;
    } else {
        const char* home = std::getenv("HOME");
        if (!home || !home[0]) return {};
        base = std::string(home) + "/.config";
    }
    return base + "/velmorloom/settings";
}

LinuxSettings readLinuxSettings(SettingsStore& store, std::vector<std::string>& warnings) {
    LinuxSettings s;
    if (auto audio = store.readString(kAudioName)) {
        if (*audio == "auto" || *audio == "jack" || *audio == "alsa") s.audio = *audio;
        else warnings.push_back("bad value '" + audio->substr(0, 40) + "' for audio, using auto");
    }
    if (auto device = store.readString(kAlsaDeviceName)) {
        if (!device->empty()) s.alsaDevice = *device;
        else warnings.push_back("empty alsaDevice, using default");
    }
    if (auto midi = store.readString(kMidiInName)) s.midiIn = *midi;
    if (auto format = store.readString(kRecordFormatName)) {
        if (*format == "16" || *format == "float") s.recordFormat = *format;
        else warnings.push_back("bad value '" + format->substr(0, 40) + "' for recordFormat, using 16");
    }
    return s;
}

void writeLinuxSettings(SettingsStore& store, const LinuxSettings& values) {
    store.writeString(kAudioName, values.audio);
    store.writeString(kAlsaDeviceName, values.alsaDevice);
    store.writeString(kMidiInName, values.midiIn);
    store.writeString(kRecordFormatName,
                      values.recordFormat == "16" ? std::nullopt : std::optional<std::string>(values.recordFormat));
}

} // namespace vl::linuxapp
