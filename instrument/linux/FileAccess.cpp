// File access for patch and bank files on POSIX systems.
#include "instrument/PatchFiles.h"

#include <atomic>
#include <cerrno>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <fcntl.h>
#include <string>
#include <sys/stat.h>
#include <unistd.h>

namespace vl::fileaccess {

namespace {

std::atomic<unsigned> tempCounter{0};

// Folder part of path including its final separator ("" for a bare file name).
std::string folderOf(const std::string& path) {
    const auto slash = path.find_last_of('/');
    return slash == std::string::npos ? std::string() : path.substr(0, slash + 1);
}

} // namespace

std::FILE* openForReading(const char* path) {
    if (path == nullptr || *path == '\0') return nullptr;
    // Look before opening: opening a FIFO or a device could block or have side effects.
    struct stat before {};
    if (::stat(path, &before) != 0 || !S_ISREG(before.st_mode)) return nullptr;
    const int fd = ::open(path, O_RDONLY | O_CLOEXEC | O_NONBLOCK);
    if (fd < 0) return nullptr;
    struct stat after {};
    if (::fstat(fd, &after) != 0 || !S_ISREG(after.st_mode)) {
        ::close(fd);
        return nullptr;
    }
    // Regular files never block; drop the flag so reads behave normally.
    const int flags = ::fcntl(fd, F_GETFL);
    if (flags != -1) ::fcntl(fd, F_SETFL, flags & ~O_NONBLOCK);
    std::FILE* file = ::fdopen(fd, "rb");
    if (file == nullptr) ::close(fd);
    return file;
}

std::string resolveTarget(const char* path) {
    std::string target = path;
    struct stat link {};
    if (::lstat(path, &link) == 0 && S_ISLNK(link.st_mode)) {
        // Replace the file the link points at, not the link itself, as an in-place
        // write would.
        if (char* real = ::realpath(path, nullptr)) {
            target = real;
            std::free(real);
        }
    }
    return target;
}

bool canBeReplaced(const char* target) {
    struct stat st {};
    if (::stat(target, &st) != 0) return errno == ENOENT;
    return S_ISREG(st.st_mode);
}

std::FILE* createBeside(const char* target, std::string& tempPath) {
    const std::string folder = folderOf(target);
    struct stat existing {};
    const bool keepMode = ::stat(target, &existing) == 0 && S_ISREG(existing.st_mode);
    for (int attempt = 0; attempt < 100; ++attempt) {
        const unsigned serial = tempCounter.fetch_add(1);
        char name[96];
        std::snprintf(name, sizeof name, ".vl-save-%ld-%u-%lx.tmp", static_cast<long>(::getpid()), serial,
                      static_cast<unsigned long>(std::time(nullptr)));
        tempPath = folder + name;
        // 0666 under the umask, like any newly created file.
        const int fd = ::open(tempPath.c_str(), O_RDWR | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
        if (fd < 0) {
            if (errno == EEXIST) continue;
            tempPath.clear();
            return nullptr;
        }
        // The replacement keeps the permissions of the file it replaces.
        if (keepMode) (void)::fchmod(fd, existing.st_mode & 07777);
        std::FILE* file = ::fdopen(fd, "wb+");
        if (file == nullptr) {
            ::close(fd);
            ::unlink(tempPath.c_str());
            tempPath.clear();
        }
        return file;
    }
    tempPath.clear();
    return nullptr;
}

bool finishFile(std::FILE* file) {
    bool ok = std::fflush(file) == 0 && std::ferror(file) == 0;
    // The data must be on the disk before the rename makes it the file of record.
    if (ok && ::fsync(::fileno(file)) != 0 && errno != EINVAL && errno != EROFS) ok = false;
    if (std::fclose(file) != 0) ok = false;
    return ok;
}

bool replaceFile(const char* from, const char* to) { return std::rename(from, to) == 0; }

void removeFile(const char* path) { ::unlink(path); }

} // namespace vl::fileaccess
