// File access for patch and bank files on Windows. Paths arrive as 8-bit text: UTF-8 when
// they are valid UTF-8, otherwise the ANSI code page (what the ANSI file dialogs return).
#include "instrument/PatchFiles.h"

#include <atomic>
#include <cerrno>
#include <cstdio>
#include <fcntl.h>
#include <io.h>
#include <string>
#include <sys/stat.h>
#include <windows.h>

namespace vl::fileaccess {

namespace {

std::atomic<unsigned> tempCounter{0};

std::wstring widen(const char* text) {
    if (text == nullptr || *text == '\0') return std::wstring();
    UINT codePage = CP_UTF8;
    int length = MultiByteToWideChar(codePage, MB_ERR_INVALID_CHARS, text, -1, nullptr, 0);
    if (length <= 0) {
        codePage = CP_ACP;
        length = MultiByteToWideChar(codePage, 0, text, -1, nullptr, 0);
        if (length <= 0) return std::wstring();
    }
    std::wstring wide(static_cast<std::size_t>(length), L'\0');
    MultiByteToWideChar(codePage, codePage == CP_UTF8 ? MB_ERR_INVALID_CHARS : 0, text, -1, wide.data(), length);
    wide.resize(static_cast<std::size_t>(length - 1));
    return wide;
}

std::string folderOf(const std::string& path) {
    const auto slash = path.find_last_of("/\\:");
    return slash == std::string::npos ? std::string() : path.substr(0, slash + 1);
}

bool isRegularFile(const std::wstring& path, bool& exists) {
    const DWORD attributes = GetFileAttributesW(path.c_str());
    exists = attributes != INVALID_FILE_ATTRIBUTES;
    return exists && (attributes & (FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_DEVICE)) == 0;
}

} // namespace

std::FILE* openForReading(const char* path) {
    const std::wstring wide = widen(path);
    if (wide.empty()) return nullptr;
    bool exists = false;
    if (!isRegularFile(wide, exists)) return nullptr;
    std::FILE* file = _wfopen(wide.c_str(), L"rb");
    if (file == nullptr) return nullptr;
    // Reject device names (NUL, CON, ...) that open without being files on a disk.
    if (GetFileType(reinterpret_cast<HANDLE>(_get_osfhandle(_fileno(file)))) != FILE_TYPE_DISK) {
        std::fclose(file);
        return nullptr;
    }
    return file;
}

std::string resolveTarget(const char* path) { return path; }

bool canBeReplaced(const char* target) {
    const std::wstring wide = widen(target);
    if (wide.empty()) return false;
    bool exists = false;
    return isRegularFile(wide, exists) || !exists;
}

std::FILE* createBeside(const char* target, std::string& tempPath) {
    const std::string folder = folderOf(target);
    for (int attempt = 0; attempt < 100; ++attempt) {
        const unsigned serial = tempCounter.fetch_add(1);
        char name[96];
        std::snprintf(name, sizeof name, ".vl-save-%lu-%u-%lx.tmp", static_cast<unsigned long>(GetCurrentProcessId()),
                      serial, static_cast<unsigned long>(GetTickCount()));
        tempPath = folder + name;
        const std::wstring wide = widen(tempPath.c_str());
        if (wide.empty()) break;
        const int fd = _wopen(wide.c_str(), _O_RDWR | _O_CREAT | _O_EXCL | _O_BINARY | _O_NOINHERIT,
                              _S_IREAD | _S_IWRITE);
        if (fd < 0) {
            if (errno == EEXIST) continue;
            break;
        }
        std::FILE* file = _fdopen(fd, "wb+");
        if (file == nullptr) {
            _close(fd);
            _wunlink(wide.c_str());
            break;
        }
        return file;
    }
    tempPath.clear();
    return nullptr;
}

bool finishFile(std::FILE* file) {
    bool ok = std::fflush(file) == 0 && std::ferror(file) == 0;
    if (ok && _commit(_fileno(file)) != 0) ok = false;
    if (std::fclose(file) != 0) ok = false;
    return ok;
}

bool replaceFile(const char* from, const char* to) {
    const std::wstring wideFrom = widen(from);
    const std::wstring wideTo = widen(to);
    if (wideFrom.empty() || wideTo.empty()) return false;
    return MoveFileExW(wideFrom.c_str(), wideTo.c_str(), MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH) != 0;
}

void removeFile(const char* path) {
    const std::wstring wide = widen(path);
    if (!wide.empty()) DeleteFileW(wide.c_str());
}

} // namespace vl::fileaccess
