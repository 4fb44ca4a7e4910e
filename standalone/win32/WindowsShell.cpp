#include "standalone/win32/WindowsShell.h"

#include <cstring>
#include <new>
#include <vector>

#include "instrument/PatchFiles.h"
#include "standalone/win32/AudioOutputStream.h"
#include "standalone/PanelButtons.h"
#include "standalone/win32/SetupDialog.h"
#include "standalone/win32/WindowsMidiPorts.h"
#include "vst/EditorBase.h"
#include "vst/Module.h"

namespace vl {

namespace {

WindowsShell* activeShell = nullptr; // the shell of the running program (user-interface thread)

constexpr DWORD kOuterStyle = WS_CAPTION | WS_SYSMENU | WS_MINIMIZEBOX;

LRESULT CALLBACK windowProcedure(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    try {
        StandaloneApp* app = theApp.load();
        switch (message) {
        case kPanelIdleMessage:
            if (app) app->handleUiNotice();
            return 0;
        case WM_TIMER:
            if (wParam == kIdleTimer && app && activeShell) {
                activeShell->idleWhenQuiet(*app);
                return 0;
            }
            break;
        case WM_CLOSE:
            // The audio thread ends before the panel and the windows go.
            if (app && GetParent(window) == nullptr) app->closeDevices();
            break;
        case WM_DESTROY:
            if (GetParent(window) == nullptr) PostQuitMessage(0);
            break;
        default:
            break;
        }
    } catch (...) {
    }
    return DefWindowProcA(window, message, wParam, lParam);
}

bool registerWindowClass(HINSTANCE module, const char* name) {
    WNDCLASSA windowClass;
    std::memset(&windowClass, 0, sizeof windowClass);
    windowClass.style = CS_HREDRAW | CS_VREDRAW;
    windowClass.lpfnWndProc = windowProcedure;
    windowClass.hInstance = module;
    windowClass.hCursor = LoadCursorA(nullptr, reinterpret_cast<LPCSTR>(IDC_ARROW));
    windowClass.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_BTNFACE + 1);
    windowClass.lpszClassName = name;
    return RegisterClassA(&windowClass) != 0;
}

int runMainWindow(StandaloneApp& app, WindowsShell& shell, HWND parent) {
    EditorBase* panel = app.getEditor();
    const WindowPlace place = mainWindowPlace(panel);
    const int left = place.left, top = place.top, width = place.width(), height = place.height();
    const auto userData = reinterpret_cast<LONG_PTR>(panel);
    HWND outer = createAppWindow(shell.module(), parent, kWindowTitle, kOuterClassName, left, top, width, height,
                                 kOuterStyle, userData);
    shell.setMainWindow(outer);
    HWND inner = outer ? createAppWindow(shell.module(), outer, kWindowTitle, kInnerClassName, 1, 0, width, height,
                                         WS_CHILD, userData)
                       : nullptr;
    if (panel && inner) panel->open(inner);
    app.setProgram(0);
    PanelButtons buttons;
    if (panel && inner) buttons.add(app);
    if (panel && outer) SetTimer(outer, kIdleTimer, kIdleTimerMs, nullptr);

    HACCEL accelerators = LoadAcceleratorsA(shell.module(), kWindowTitle);
    MSG message;
    int quitCode = 0;
    for (;;) {
        const BOOL got = GetMessageA(&message, nullptr, 0, 0);
        if (got == 0) {
            quitCode = static_cast<int>(message.wParam);
            break;
        }
        if (got == -1) break;
        if (accelerators && TranslateAcceleratorA(message.hwnd, accelerators, &message)) continue;
        TranslateMessage(&message);
        DispatchMessageA(&message);
    }
    if (accelerators) DestroyAcceleratorTable(accelerators);
    return quitCode;
}

} // namespace

// ---- Shell ----

WindowsShell::WindowsShell(HINSTANCE module) : instance(module) {}

SettingsValues WindowsShell::readStoredSettings() {
    std::vector<std::string> warnings; // a bad stored value just takes its default
    return readSettings(registry, warnings);
}

void WindowsShell::postUiNotice() {
    HWND window = mainWindow();
    // Without a window to carry it (the stream starts before the window exists) the
    // notice waits for the window; until it is handled no other notice is posted.
    noticesPosted.fetch_add(1);
    if (!window || !PostMessageA(window, kPanelIdleMessage, 0, 0)) noticeWaiting.store(true);
}

void WindowsShell::idleWhenQuiet(StandaloneApp& app) {
    const unsigned posted = noticesPosted.load();
    if (posted != noticesSeen) {
        noticesSeen = posted;
        return;
    }
    if (EditorBase* panel = app.getEditor()) panel->idle();
}

void WindowsShell::setMainWindow(HWND window) {
    main.store(window);
    if (window && noticeWaiting.exchange(false)) PostMessageA(window, kPanelIdleMessage, 0, 0);
}

bool WindowsShell::chooseFile(VstFileSelect* selection) { return chooseFileFallback(selection, mainWindow()); }

bool WindowsShell::runSetupDialog(SettingsValues& values) {
    return vl::runSetupDialog(instance, mainWindow(), values, registry);
}

void WindowsShell::openDevices(StandaloneApp& app) {
    app.closeDevices();
    const SettingsValues& settings = app.settings;
    HWND cooperative = mainWindow() ? mainWindow() : GetDesktopWindow();
    std::unique_ptr<AudioOutputStream> stream(new (std::nothrow) AudioOutputStream(
        cooperative, settings.audioDevice, settings.latency, settings.primary, settings.sampleRate));
    if (!stream) {
        showError(ErrorCode::outOfMemory);
        return;
    }
    OpenedMidi midi = openMidi(settings, stream->blockFrames());
    if (!midi.ports || !midi.input) {
        showError(ErrorCode::outOfMemory);
        return; // the stream is destroyed unstarted
    }
    app.installDevices(std::move(stream), std::move(midi.ports), std::move(midi.input));
    app.startDevices();
}

// ---- Windows ----

HWND createAppWindow(HINSTANCE module, HWND parent, const char* title, const char* className, int x, int y, int width,
                     int height, DWORD style, LONG_PTR userData) {
    RECT rectangle{x, y, x + width, y + height};
    AdjustWindowRect(&rectangle, style, FALSE);
    if (!(style & WS_CHILD)) {
        // The panel's rectangle starts at 0, 0: moved by the frame, the caption would lie
        // above the screen, out of reach. The frame stays on the screen instead.
        if (rectangle.left < 0) OffsetRect(&rectangle, -rectangle.left, 0);
        if (rectangle.top < 0) OffsetRect(&rectangle, 0, -rectangle.top);
    }
    HWND window = CreateWindowExA(0, className, title, style, rectangle.left, rectangle.top,
                                  rectangle.right - rectangle.left, rectangle.bottom - rectangle.top, parent, nullptr,
                                  module, nullptr);
    if (!window) return nullptr;
    SetWindowLongPtrA(window, GWLP_USERDATA, userData);
    ShowWindow(window, SW_SHOWNORMAL);
    UpdateWindow(window);
    return window;
}

int runStandaloneProgram(HINSTANCE module) {
    if (HWND existing = FindWindowA(kOuterClassName, kWindowTitle)) {
        if (IsIconic(existing)) ShowWindow(existing, SW_RESTORE);
        SetForegroundWindow(existing);
        return 0;
    }
    moduleInstance = module;
    HWND desktop = GetDesktopWindow();
    registerWindowClass(module, kOuterClassName);
    registerWindowClass(module, kInnerClassName);

    int exitCode = 0;
    {
        WindowsShell shell(module);
        activeShell = &shell;
        StandaloneApp* app = nullptr;
        try {
            app = new (std::nothrow) StandaloneApp(shell, shell.readStoredSettings());
        } catch (...) {
            app = nullptr;
        }
        if (!app) {
            showError(ErrorCode::outOfMemory);
        } else {
            // The stream may start before the object is published: it renders silence.
            shell.openDevices(*app);
            theApp.store(app);
            exitCode = runMainWindow(*app, shell, desktop);
            theApp.store(nullptr);
            delete app; // stops the devices before anything else goes
        }
        activeShell = nullptr;
    }
    UnregisterClassA(kOuterClassName, module);
    UnregisterClassA(kInnerClassName, module);
    return exitCode & 0xFFFF;
}

} // namespace vl
