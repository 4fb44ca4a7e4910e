#include "tools/render/sys/SystemIo.h"

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <io.h>
#include <windows.h>
#include <shellapi.h>

namespace vl::render::sys {
namespace {

DWORD lastError = 0;

std::wstring widen(const std::string& s) {
    if (s.empty()) return std::wstring();
    const int n = MultiByteToWideChar(CP_UTF8, MB_ERR_INVALID_CHARS, s.data(), int(s.size()), nullptr, 0);
    if (n <= 0) return std::wstring();
    std::wstring w(std::size_t(n), L'\0');
    MultiByteToWideChar(CP_UTF8, MB_ERR_INVALID_CHARS, s.data(), int(s.size()), w.data(), n);
    return w;
}

std::string narrow(const wchar_t* w) {
    const int n = WideCharToMultiByte(CP_UTF8, 0, w, -1, nullptr, 0, nullptr, nullptr);
    if (n <= 1) return std::string();
    std::string s(std::size_t(n), '\0');
    WideCharToMultiByte(CP_UTF8, 0, w, -1, s.data(), n, nullptr, nullptr);
    s.resize(std::size_t(n - 1));
    return s;
}

std::string errorText(DWORD code) {
    char* text = nullptr;
    const DWORD n = FormatMessageA(FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM |
                                       FORMAT_MESSAGE_IGNORE_INSERTS,
                                   nullptr, code, 0, reinterpret_cast<char*>(&text), 0, nullptr);
    std::string s = n && text ? std::string(text, n) : "system error " + std::to_string(code);
    if (text) LocalFree(text);
    while (!s.empty() && (s.back() == '\n' || s.back() == '\r' || s.back() == ' ' || s.back() == '.')) s.pop_back();
    return s;
}

} // namespace

std::vector<std::string> arguments(int argc, char** argv) {
    int n = 0;
    wchar_t** wargv = CommandLineToArgvW(GetCommandLineW(), &n);
    if (!wargv) return std::vector<std::string>(argv, argv + argc);
    std::vector<std::string> out;
    for (int i = 0; i < n; ++i) out.push_back(narrow(wargv[i]));
    LocalFree(wargv);
    return out;
}

std::FILE* openForReading(const std::string& path) {
    const std::wstring w = widen(path);
    if (w.empty()) {
        errno = ENOENT;
        return nullptr;
    }
    return _wfopen(w.c_str(), L"rb");
}

std::FILE* createNew(const std::string& path, bool& alreadyExists) {
    alreadyExists = false;
    const std::wstring w = widen(path);
    if (w.empty()) {
        errno = EINVAL;
        return nullptr;
    }
    HANDLE h = CreateFileW(w.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (h == INVALID_HANDLE_VALUE) {
        lastError = GetLastError();
        alreadyExists = lastError == ERROR_FILE_EXISTS || lastError == ERROR_ALREADY_EXISTS;
        errno = alreadyExists ? EEXIST : EACCES;
        return nullptr;
    }
    const int fd = _open_osfhandle(reinterpret_cast<intptr_t>(h), _O_WRONLY | _O_BINARY);
    if (fd < 0) {
        CloseHandle(h);
        DeleteFileW(w.c_str());
        return nullptr;
    }
    std::FILE* f = _fdopen(fd, "wb");
    if (!f) {
        _close(fd);
        DeleteFileW(w.c_str());
    }
    return f;
}

bool replaceFile(const std::string& from, const std::string& to, std::string& error) {
    if (MoveFileExW(widen(from).c_str(), widen(to).c_str(), MOVEFILE_REPLACE_EXISTING)) return true;
    error = errorText(GetLastError());
    return false;
}

bool removeFile(const std::string& path) { return DeleteFileW(widen(path).c_str()) != 0; }

bool isDirectory(const std::string& path) {
    const DWORD a = GetFileAttributesW(widen(path).c_str());
    return a != INVALID_FILE_ATTRIBUTES && (a & FILE_ATTRIBUTE_DIRECTORY);
}

bool stderrIsTerminal() { return _isatty(_fileno(stderr)) != 0; }

unsigned long processId() { return static_cast<unsigned long>(GetCurrentProcessId()); }

std::string lastErrorText() {
    if (lastError != 0) {
        const DWORD code = lastError;
        lastError = 0;
        return errorText(code);
    }
    return std::strerror(errno);
}

} // namespace vl::render::sys
