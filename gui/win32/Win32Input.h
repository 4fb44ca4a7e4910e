#pragma once
// Live input state for the toolkit on Windows: the mouse buttons and modifier keys as a
// bit set, the cursor position, window positions and the system cursors.

#include <windows.h>

#include "gui/Types.h"

namespace vl::win32 {

// kLeftButton is the primary button, kRightButton the secondary one. GetAsyncKeyState
// reports physical buttons, so with the buttons swapped in the system settings the
// physical right button is read for kLeftButton.
ButtonState liveButtonState();

// The cursor position in screen coordinates.
POINT cursorPosition();
// Left/top of a window's rectangle in screen coordinates; (0, 0) without a window.
POINT windowOrigin(HWND window);

// Cursor kinds: 0 the cursor that was current at the first call, 1 wait, 2 west-east,
// 3 north-south, 4 all directions, 5 north-east/south-west, 6 north-west/south-east.
// Other kinds do nothing.
void setCursorKind(int kind);

} // namespace vl::win32
