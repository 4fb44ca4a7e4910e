#pragma once
// The standalone program on Windows: the windows, the message loop, the registry, the
// setup dialog, DirectSound and winmm around the shared application object.
//
// The user-interface thread owns the windows, the panel, the dialog, device changes and
// the start and stop of recording. The audio thread asks it to idle the panel through
// one private window message at a time (posted, never sent), and the stream is stopped
// before the panel and the windows close.
#include <windows.h>

#include <atomic>

#include "standalone/StandaloneApp.h"
#include "standalone/win32/RegistryStore.h"

namespace vl {

inline constexpr const char* kWindowTitle = "Velmor Loom";
inline constexpr const char* kOuterClassName = "Velmor Loom core - Standalone VSTI class";
inline constexpr const char* kInnerClassName = "Velmor Loom - Standalone VSTI class";
// Posted by the audio thread: idle the panel once on the user-interface thread.
inline constexpr UINT kPanelIdleMessage = WM_APP + 1;
inline constexpr UINT_PTR kIdleTimer = 1;
inline constexpr UINT kIdleTimerMs = 100;

class WindowsShell : public AppShell {
public:
    explicit WindowsShell(HINSTANCE module);

    void postUiNotice() override;
    bool chooseFile(VstFileSelect* selection) override;
    bool runSetupDialog(SettingsValues& values) override;
    // A new stream on the main window (the desktop before it exists) and new MIDI ports.
    void openDevices(StandaloneApp& app) override;

    // User-interface thread, every kIdleTimerMs: idles the panel when no notice came
    // from the audio thread since the last tick (no stream, a stalled device), so the
    // panel keeps answering the mouse.
    void idleWhenQuiet(StandaloneApp& app);

    // Settings as stored (defaults for anything missing or bad).
    SettingsValues readStoredSettings();

    HWND mainWindow() const { return main.load(); }
    void setMainWindow(HWND window);
    HINSTANCE module() const { return instance; }
    RegistryStore& store() { return registry; }

private:
    HINSTANCE instance;
    std::atomic<HWND> main{nullptr};
    std::atomic<bool> noticeWaiting{false};
    std::atomic<unsigned> noticesPosted{0};
    unsigned noticesSeen = 0;
    RegistryStore registry;
};

HWND createAppWindow(HINSTANCE module, HWND parent, const char* title, const char* className, int x, int y, int width,
                     int height, DWORD style, LONG_PTR userData);

// The whole program: single instance, windows, message loop; answers the exit code.
// A second start brings the first one's window to the front and answers 0.
int runStandaloneProgram(HINSTANCE module);

} // namespace vl
