#include "tools/render/OutputFile.h"

#include <atomic>

#include "tools/render/sys/SystemIo.h"

namespace vl::render {
namespace {

bool isSeparator(char c) {
#ifdef _WIN32
    return c == '/' || c == '\\' || c == ':';
#else
    return c == '/';
#endif
}

std::atomic<unsigned> temporaryCounter{0};

} // namespace

std::string folderOf(const std::string& path) {
    for (std::size_t i = path.size(); i > 0; --i)
        if (isSeparator(path[i - 1])) return path.substr(0, i);
    return std::string();
}

std::string baseNameOf(const std::string& path) { return path.substr(folderOf(path).size()); }

std::string defaultOutputFor(const std::string& midiPath) {
    std::string name = baseNameOf(midiPath);
    const std::size_t dot = name.rfind('.');
    if (dot != std::string::npos && dot > 0) name.erase(dot);
    if (name.empty() || name == "." || name == "..") name = "velmorloom-render";
    return name + ".wav";
}

OutputFile::~OutputFile() { abandon(); }

bool OutputFile::open(const std::string& target, std::string& error) {
    abandon();
    if (target.empty()) {
        error = "empty output file name";
        return false;
    }
    if (sys::isDirectory(target)) {
        error = "cannot write '" + target + "': it is a directory";
        return false;
    }
    const std::string prefix = folderOf(target) + "." + baseNameOf(target) + "." + std::to_string(sys::processId()) +
                               ".";
    for (int attempt = 0; attempt < 1000; ++attempt) {
        const std::string candidate = prefix + std::to_string(temporaryCounter++) + ".tmp";
        bool exists = false;
        std::FILE* f = sys::createNew(candidate, exists);
        if (f) {
            file_ = f;
            target_ = target;
            temp_ = candidate;
            return true;
        }
        if (!exists) {
            error = "cannot create output file in '" +
                    (folderOf(target).empty() ? std::string(".") : folderOf(target)) + "': " + sys::lastErrorText();
            return false;
        }
    }
    error = "cannot find a free temporary name next to '" + target + "'";
    return false;
}

bool OutputFile::write(const void* data, std::size_t size, std::string& error) {
    if (!file_) {
        error = "output file is not open";
        return false;
    }
    if (size != 0 && std::fwrite(data, 1, size, file_) != size) {
        error = "cannot write '" + temp_ + "': " + sys::lastErrorText();
        abandon();
        return false;
    }
    return true;
}

bool OutputFile::commit(std::string& error) {
    if (!file_) {
        error = "output file is not open";
        return false;
    }
    std::FILE* f = file_;
    file_ = nullptr;
    const bool flushed = std::fflush(f) == 0;
    const std::string flushError = flushed ? std::string() : sys::lastErrorText();
    const bool closed = std::fclose(f) == 0;
    if (!flushed || !closed) {
        error = "cannot write '" + temp_ + "': " + (flushed ? sys::lastErrorText() : flushError);
        abandon();
        return false;
    }
    std::string why;
    if (!sys::replaceFile(temp_, target_, why)) {
        error = "cannot write '" + target_ + "': " + why;
        abandon();
        return false;
    }
    temp_.clear();
    return true;
}

void OutputFile::abandon() {
    if (file_) {
        std::fclose(file_);
        file_ = nullptr;
    }
    if (!temp_.empty()) {
        sys::removeFile(temp_);
        temp_.clear();
    }
}

} // namespace vl::render
