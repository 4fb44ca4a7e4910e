#include "gui/win32/NativeWindow.h"

#include "gui/win32/GdiPicture.h"
#include "gui/win32/LineEdit.h"

#include <cstdint>
#include <cstdio>

namespace vl::win32 {

namespace {

int classUsers = 0;

HINSTANCE module() { return resourceModule(); }

} // namespace

void NativeWindow::className(char* buffer, int size) {
    if (!buffer || size <= 0) return;
    std::snprintf(buffer, static_cast<size_t>(size), "Plugin%08x",
                  static_cast<unsigned>(reinterpret_cast<std::uintptr_t>(module())));
}

int NativeWindow::registrationCount() { return classUsers; }

bool NativeWindow::registerClass() {
    if (classUsers > 0) {
        ++classUsers;
        return true;
    }
    char name[32];
    className(name, sizeof name);
    WNDCLASSA windowClass{};
    windowClass.style = CS_GLOBALCLASS;
    windowClass.lpfnWndProc = windowProcedure;
    windowClass.hInstance = module();
    windowClass.hCursor = LoadCursorA(nullptr, MAKEINTRESOURCEA(32512)); // IDC_ARROW
    windowClass.hbrBackground = reinterpret_cast<HBRUSH>(static_cast<INT_PTR>(COLOR_BTNFACE + 1));
    windowClass.lpszClassName = name;
    if (!RegisterClassA(&windowClass)) {
        // A class left behind by an earlier registration of this module is ours too.
        WNDCLASSA existing{};
        if (!GetClassInfoA(module(), name, &existing)) return false;
    }
    classUsers = 1;
    return true;
}

void NativeWindow::unregisterClass() {
    if (classUsers <= 0) return;
    if (--classUsers == 0) {
        char name[32];
        className(name, sizeof name);
        UnregisterClassA(name, module());
    }
}

NativeWindow::NativeWindow(HWND parent, int width, int height, NativeWindowHandler* handler)
    : parent_(parent), handler_(handler) {
    if (!parent) return;
    if (!registerClass()) return;
    registered_ = true;
    char name[32];
    className(name, sizeof name);
    window_ = CreateWindowExA(0, name, "Window", WS_CHILD | WS_VISIBLE, 0, 0, width, height, parent, nullptr, module(),
                              nullptr);
    if (!window_) {
        unregisterClass();
        registered_ = false;
        return;
    }
    open_ = true;
    SetWindowLongPtrA(window_, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(this));
}

NativeWindow::~NativeWindow() {
    handler_ = nullptr;
    if (window_) {
        SetWindowLongPtrA(window_, GWLP_USERDATA, 0);
        if (open_) DestroyWindow(window_);
        window_ = nullptr;
    }
    if (registered_) unregisterClass();
}

LRESULT CALLBACK NativeWindow::windowProcedure(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    auto* self = reinterpret_cast<NativeWindow*>(GetWindowLongPtrA(window, GWLP_USERDATA));
    if (!self) return DefWindowProcA(window, message, wParam, lParam);
    try {
        switch (message) {
        case WM_DESTROY:
            self->open_ = false;
            self->parent_ = nullptr;
            if (self->handler_) self->handler_->onNativeDestroy();
            break;
        case WM_NCDESTROY:
            // Last message of the window: nothing refers to it any more.
            SetWindowLongPtrA(window, GWLP_USERDATA, 0);
            self->window_ = nullptr;
            self->open_ = false;
            break;
        case WM_PAINT: {
            RECT area;
            if (!GetUpdateRect(window, &area, FALSE)) break;
            PAINTSTRUCT paint;
            HDC dc = BeginPaint(window, &paint);
            if (dc && self->handler_) self->handler_->onNativePaint(dc);
            EndPaint(window, &paint);
            return 0;
        }
        case WM_CTLCOLOREDIT: {
            HBRUSH brush = LineEdit::colorize(reinterpret_cast<HWND>(lParam), reinterpret_cast<HDC>(wParam));
            if (brush) return reinterpret_cast<LRESULT>(brush);
            break;
        }
        case WM_LBUTTONDOWN:
        case WM_RBUTTONDOWN:
        case WM_MBUTTONDOWN: {
            // Window messages name the buttons as they are used: WM_LBUTTONDOWN is the
            // primary button even when the system swaps them.
            ButtonState press = message == WM_LBUTTONDOWN   ? kLeftButton
                                : message == WM_MBUTTONDOWN ? kMiddleButton
                                                            : kRightButton;
            if (wParam & MK_SHIFT) press |= kShift;
            if (wParam & MK_CONTROL) press |= kControl;
            if (GetKeyState(VK_MENU) < 0) press |= kAlt;
            const int x = static_cast<short>(LOWORD(lParam));
            const int y = static_cast<short>(HIWORD(lParam));
            if (self->handler_) self->handler_->onNativeMouseDown(x, y, press);
            return 0;
        }
        case WM_MOUSEWHEEL:
        case WM_MOUSEHWHEEL: {
            // Positive vertical deltas turn away from the user (up), positive horizontal
            // ones to the right.
            const float notches = static_cast<float>(GET_WHEEL_DELTA_WPARAM(wParam)) / WHEEL_DELTA;
            if (self->handler_ && self->handler_->onNativeWheel(notches)) return 0;
            break;
        }
        default:
            break;
        }
    } catch (...) {
        // Nothing may leave a window procedure; the message is then treated as unhandled.
    }
    return DefWindowProcA(window, message, wParam, lParam);
}

} // namespace vl::win32
