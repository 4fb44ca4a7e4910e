#pragma once
// The panel's native child window on Windows. One window class per module, named
// "Plugin%08x" after the module instance handle, registered by the first window and
// unregistered with the last. The window procedure passes paint, button presses, the
// wheel and destruction on to a handler and colours the line editor while it is open.

#include <windows.h>

#include "gui/Types.h"

namespace vl::win32 {

class NativeWindowHandler {
public:
    virtual ~NativeWindowHandler() = default;
    // A full repaint into the paint device context (between BeginPaint and EndPaint).
    virtual void onNativePaint(HDC dc) = 0;
    // A press at (x, y) in window coordinates. press holds the pressed button (kLeftButton
    // for the primary one) and the modifier keys as they were when it happened.
    virtual void onNativeMouseDown(int x, int y, ButtonState press) = 0;
    // The wheel turned over the window: +1 per notch up or right, -1 down or left. False
    // when nobody used it (the message then goes on to the parent).
    virtual bool onNativeWheel(float distance) = 0;
    // The window is being destroyed (by us or by the host destroying its parent).
    virtual void onNativeDestroy() = 0;
};

class NativeWindow {
public:
    // Registers the class (counted) and creates a visible child window of parent at (0, 0)
    // with the given size. Without a parent, or when creation fails, there is no window.
    NativeWindow(HWND parent, int width, int height, NativeWindowHandler* handler);
    // Detaches the handler, destroys the window (if it still exists) and unregisters the
    // class when this was the last window of the module.
    ~NativeWindow();
    NativeWindow(const NativeWindow&) = delete;
    NativeWindow& operator=(const NativeWindow&) = delete;

    HWND handle() const { return window_; }
    HWND parent() const { return parent_; }
    // True from creation until WM_DESTROY.
    bool isOpen() const { return window_ != nullptr && open_; }

    // The class name for the current module ("Plugin" and eight lower-case hex digits).
    static void className(char* buffer, int size);
    // How many windows hold the class registration (for tests).
    static int registrationCount();

private:
    static LRESULT CALLBACK windowProcedure(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
    static bool registerClass();
    static void unregisterClass();

    HWND window_ = nullptr;
    HWND parent_ = nullptr;
    NativeWindowHandler* handler_;
    bool open_ = false;
    bool registered_ = false;
};

} // namespace vl::win32
