#pragma once
// A minimal VST 2 host for the tests: loads the built plug-in library as a host does
// (dlopen on Linux, LoadLibrary on Windows) and finds its entry points; the callbacks that
// answer and record the plug-in's calls are HostRecorder.h's. On Linux it also captures
// what the plug-in writes to stderr (where its notices go there).
#if defined(_WIN32)
#include <windows.h>
#else
#include <dlfcn.h>
#include <fcntl.h>
#include <unistd.h>
#endif

#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "tests/support/EventList.h"
#include "tests/support/HostRecorder.h"
#include "vst/VstAbi.h"

namespace plugtest {

using EntryPoint = AEffect* (*)(audioMasterCallback);
using vltest::EventList;
using vltest::HostCall;
using vltest::quietHost;
using vltest::recorder;
using vltest::recordingHost;
using vltest::silentHost;

#if defined(_WIN32)
// The DLL by its path; a path of the build machine (starting with "/") is reached through
// wine's drive Z:, which maps the machine's root.
class Library {
public:
    Library() {
        std::string path = VL_PLUGIN_PATH;
        if (!path.empty() && path[0] == '/') path = "Z:" + path;
        for (char& c : path)
            if (c == '/') c = '\\';
        handle = LoadLibraryA(path.c_str());
        if (!handle) return;
        // A Windows host finds the old entry point "main", the only export of the DLL.
        legacyMain = reinterpret_cast<EntryPoint>(reinterpret_cast<void*>(GetProcAddress(handle, "main")));
        pluginMain = legacyMain;
    }
    ~Library() {
        if (handle) FreeLibrary(handle);
    }
    Library(const Library&) = delete;
    Library& operator=(const Library&) = delete;

    HMODULE handle = nullptr;
    EntryPoint pluginMain = nullptr;
    EntryPoint legacyMain = nullptr;
};
#else
class Library {
public:
    Library() {
        handle = dlopen(VL_PLUGIN_PATH, RTLD_NOW | RTLD_LOCAL);
        if (!handle) return;
        pluginMain = reinterpret_cast<EntryPoint>(dlsym(handle, "VSTPluginMain"));
        legacyMain = reinterpret_cast<EntryPoint>(dlsym(handle, "main"));
    }
    ~Library() {
        if (handle) dlclose(handle);
    }
    Library(const Library&) = delete;
    Library& operator=(const Library&) = delete;

    void* handle = nullptr;
    EntryPoint pluginMain = nullptr;
    EntryPoint legacyMain = nullptr;
};

#endif

#if !defined(_WIN32)
// Captures everything written to fd 2 while it lives.
class StderrCapture {
public:
    StderrCapture() {
        std::fflush(stderr);
        file = std::tmpfile();
        fileFd = fileno(file);
        savedFd = dup(2);
        dup2(fileFd, 2);
    }
    ~StderrCapture() { restore(); }
    StderrCapture(const StderrCapture&) = delete;
    StderrCapture& operator=(const StderrCapture&) = delete;

    // Restores stderr and answers the captured lines.
    std::vector<std::string> lines() {
        restore();
        std::vector<std::string> out;
        std::string line;
        for (char c : text) {
            if (c == '\n') {
                out.push_back(line);
                line.clear();
            } else {
                line += c;
            }
        }
        if (!line.empty()) out.push_back(line);
        return out;
    }

private:
    void restore() {
        if (savedFd < 0) return;
        std::fflush(stderr);
        dup2(savedFd, 2);
        close(savedFd);
        savedFd = -1;
        lseek(fileFd, 0, SEEK_SET);
        char buffer[4096];
        ssize_t n;
        while ((n = read(fileFd, buffer, sizeof buffer)) > 0) text.append(buffer, static_cast<std::size_t>(n));
        std::fclose(file);
    }

    std::FILE* file = nullptr;
    int fileFd = -1;
    int savedFd = -1;
    std::string text;
};

#endif

inline VstIntPtr dispatch(AEffect* effect, VstInt32 opcode, VstInt32 index = 0, VstIntPtr value = 0,
                          void* ptr = nullptr, float opt = 0.0f) {
    return effect->dispatcher(effect, opcode, index, value, ptr, opt);
}

} // namespace plugtest
