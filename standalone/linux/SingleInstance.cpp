#include "standalone/linux/SingleInstance.h"

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

namespace vl::linuxapp {

SingleInstance::~SingleInstance() {
    if (fd >= 0) ::close(fd);
}

std::string SingleInstance::lockPath() {
    const char* runtime = std::getenv("XDG_RUNTIME_DIR");
    struct stat st {};
    if (runtime && runtime[0] == '/' && ::stat(runtime, &st) == 0 && S_ISDIR(st.st_mode))
        return std::string(runtime) + "/velmorloom.lock";
    const std::string folder = "/tmp/velmorloom-" + std::to_string(::getuid());
    ::mkdir(folder.c_str(), 0700);
    return folder + "/velmorloom.lock";
}

SingleInstance::Result SingleInstance::acquire(pid_t& otherPid, std::string& error) {
    otherPid = 0;
    const std::string path = lockPath();
    if (path.rfind("/tmp/", 0) == 0) {
        // The fallback folder must be ours and private, or anyone could hold our lock.
        struct stat st {};
        const std::string folder = path.substr(0, path.find_last_of('/'));
        if (::lstat(folder.c_str(), &st) != 0 || !S_ISDIR(st.st_mode) || st.st_uid != ::getuid()) {
            error = "unsafe lock folder " + folder;
            return Result::failed;
        }
    }
    fd = ::open(path.c_str(), O_RDWR | O_CREAT | O_CLOEXEC | O_NOFOLLOW, 0600);
    if (fd < 0) {
        error = "cannot open " + path + ": " + std::strerror(errno);
        return Result::failed;
    }
    if (::flock(fd, LOCK_EX | LOCK_NB) != 0) {
        const bool held = errno == EWOULDBLOCK;
        if (held) {
            char text[32] = {};
            const ssize_t n = ::pread(fd, text, sizeof text - 1, 0);
            if (n > 0) otherPid = static_cast<pid_t>(std::strtol(text, nullptr, 10));
        } else {
            error = "cannot lock " + path + ": " + std::strerror(errno);
        }
        ::close(fd);
        fd = -1;
        return held ? Result::another : Result::failed;
    }
    const std::string pid = std::to_string(::getpid()) + "\n";
    if (::ftruncate(fd, 0) != 0 || ::pwrite(fd, pid.data(), pid.size(), 0) != static_cast<ssize_t>(pid.size())) {
        // The lock holds all the same; only the raise request would not find us.
    }
    return Result::first;
}

} // namespace vl::linuxapp
