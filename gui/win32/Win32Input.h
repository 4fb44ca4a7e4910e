#pragma once
// Live input state and small system services for the toolkit on Windows: the mouse
// buttons and modifier keys as a bit set, the cursor position, the system cursors, the
// millisecond clock.

#include <windows.h>

#include <cstdint>

namespace vl::win32 {

// Bits of the button state: 1 primary (left) button, 2 middle, 4 secondary (right),
// 8 Shift, 16 Control, 32 Alt. Sampled from the live state, not from a message. With the
// mouse buttons swapped in the system settings the primary button is the physical right
// one, and it still reports as bit 1.
std::int32_t liveButtonState();

// The cursor position in screen coordinates.
POINT cursorPosition();
// Left/top of a window's rectangle in screen coordinates; (0, 0) without a window.
POINT windowOrigin(HWND window);

// Cursor kinds: 0 the cursor that was current at the first call, 1 wait, 2 west-east,
// 3 north-south, 4 all directions, 5 north-east/south-west, 6 north-west/south-east.
// Other kinds do nothing.
void setCursorKind(int kind);

std::uint32_t tickCount();
void sleepMilliseconds(std::uint32_t milliseconds);
std::uint32_t doubleClickTime();

} // namespace vl::win32
