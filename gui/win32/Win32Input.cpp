#include "gui/win32/Win32Input.h"

namespace vl::win32 {

namespace {

bool isDown(int key) { return GetAsyncKeyState(key) < 0; }

HCURSOR defaultCursor = nullptr;
bool defaultCursorTaken = false;

} // namespace

ButtonState liveButtonState() {
    // GetAsyncKeyState reports physical buttons; the primary one is the right button
    // when the system swaps them.
    const bool swapped = GetSystemMetrics(SM_SWAPBUTTON) != 0;
    ButtonState state = 0;
    if (isDown(swapped ? VK_RBUTTON : VK_LBUTTON)) state |= kLeftButton;
    if (isDown(VK_MBUTTON)) state |= kMiddleButton;
    if (isDown(swapped ? VK_LBUTTON : VK_RBUTTON)) state |= kRightButton;
    if (isDown(VK_SHIFT)) state |= kShift;
    if (isDown(VK_CONTROL)) state |= kControl;
    if (isDown(VK_MENU)) state |= kAlt;
    return state;
}

POINT cursorPosition() {
    POINT where{0, 0};
    GetCursorPos(&where);
    return where;
}

POINT windowOrigin(HWND window) {
    RECT area{0, 0, 0, 0};
    if (window) GetWindowRect(window, &area);
    return POINT{area.left, area.top};
}

void setCursorKind(int kind) {
    if (!defaultCursorTaken) {
        defaultCursor = GetCursor();
        defaultCursorTaken = true;
    }
    LPCSTR name = nullptr;
    switch (kind) {
    case 0:
        SetCursor(defaultCursor);
        return;
    // clang-format off
    case 1: name = MAKEINTRESOURCEA(32514); break; // IDC_WAIT
    case 2: name = MAKEINTRESOURCEA(32644); break; // IDC_SIZEWE
    case 3: name = MAKEINTRESOURCEA(32645); break; // IDC_SIZENS
    case 4: name = MAKEINTRESOURCEA(32646); break; // IDC_SIZEALL
    case 5: name = MAKEINTRESOURCEA(32643); break; // IDC_SIZENESW
    case 6: name = MAKEINTRESOURCEA(32642); break; // IDC_SIZENWSE
    default: return;
    }
    // clang-format on
    SetCursor(LoadCursorA(nullptr, name));
}

} // namespace vl::win32
