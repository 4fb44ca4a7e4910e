#pragma once
// Helpers of the Windows toolkit tests: pixels read back through GetDIBits, a top-level
// window to parent the panel, message pumping and synthetic input.

#include <windows.h>

#include <cstdint>
#include <functional>
#include <ostream>
#include <vector>

#include "gui/Types.h"

namespace vl {

// Colours of read-back pixels compare on red, green and blue.
inline bool operator==(const Color& a, const Color& b) { return a.sameRgb(b); }
inline void PrintTo(const Color& c, std::ostream* out) {
    *out << "(" << int(c.red) << ", " << int(c.green) << ", " << int(c.blue) << ")";
}

} // namespace vl

namespace vl::test {

// Pixels of an area of a device context, read back through GetDIBits of a copy.
class PixelGrid {
public:
    PixelGrid(HDC dc, int width, int height);
    Color at(int h, int v) const;
    int width() const { return width_; }
    int height() const { return height_; }

private:
    int width_;
    int height_;
    std::vector<uint32_t> pixels_; // 0x00RRGGBB, rows top to bottom
};

// A visible top-level window that can parent the panel.
class TopWindow {
public:
    TopWindow(int width, int height);
    ~TopWindow();
    HWND handle() const { return window_; }

private:
    HWND window_;
};

// Dispatches the messages waiting for this thread.
void pumpMessages();
// Sends synthetic input: a mouse move to a screen point, button presses and key presses.
void sendMouseMove(int x, int y);
void sendMouseButton(DWORD flag); // MOUSEEVENTF_LEFTDOWN etc.
void sendKey(WORD key, bool down);
// A hand's drag 40 pixels up from the screen point from, where the cursor already is: the
// left button is pressed from this thread, which then runs idle() (the host's message loop)
// every 5 ms until the drag is over; another thread moves the cursor up in 5-pixel steps
// once pressed() says the press arrived (or after 3 seconds) and releases the button.
void dragUp(POINT from, const std::function<bool()>& pressed, const std::function<void()>& idle);

// Number of GDI objects of this process (GetGuiResources); -1 when the system does not
// count them.
long gdiObjectCount();

} // namespace vl::test
