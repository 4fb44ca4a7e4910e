#include "tools/render/sys/SystemIo.h"

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace vl::render::sys {

std::vector<std::string> arguments(int argc, char** argv) { return std::vector<std::string>(argv, argv + argc); }

std::FILE* openForReading(const std::string& path) { return std::fopen(path.c_str(), "rb"); }

std::FILE* createNew(const std::string& path, bool& alreadyExists) {
    alreadyExists = false;
    const int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
    if (fd < 0) {
        alreadyExists = errno == EEXIST;
        return nullptr;
    }
    std::FILE* f = ::fdopen(fd, "wb");
    if (!f) {
        const int saved = errno;
        ::close(fd);
        ::unlink(path.c_str());
        errno = saved;
    }
    return f;
}

bool replaceFile(const std::string& from, const std::string& to, std::string& error) {
    if (std::rename(from.c_str(), to.c_str()) == 0) return true;
    error = std::strerror(errno);
    return false;
}

bool removeFile(const std::string& path) { return ::unlink(path.c_str()) == 0; }

bool isDirectory(const std::string& path) {
    struct stat st;
    return ::stat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

bool stderrIsTerminal() { return ::isatty(STDERR_FILENO) == 1; }

unsigned long processId() { return static_cast<unsigned long>(::getpid()); }

std::string lastErrorText() { return std::strerror(errno); }

} // namespace vl::render::sys
