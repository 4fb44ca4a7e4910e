#include "tests/support/Win32TestSupport.h"

#include <atomic>
#include <thread>

namespace vl::test {

PixelGrid::PixelGrid(HDC dc, int width, int height) : width_(width), height_(height) {
    pixels_.assign(static_cast<size_t>(width) * static_cast<size_t>(height), 0);
    HDC copyDc = CreateCompatibleDC(dc);
    HBITMAP copy = CreateCompatibleBitmap(dc, width, height);
    HGDIOBJ previous = SelectObject(copyDc, copy);
    BitBlt(copyDc, 0, 0, width, height, dc, 0, 0, SRCCOPY);
    SelectObject(copyDc, previous);
    BITMAPINFO info{};
    info.bmiHeader.biSize = sizeof info.bmiHeader;
    info.bmiHeader.biWidth = width;
    info.bmiHeader.biHeight = -height;
    info.bmiHeader.biPlanes = 1;
    info.bmiHeader.biBitCount = 32;
    info.bmiHeader.biCompression = BI_RGB;
    GetDIBits(copyDc, copy, 0, static_cast<UINT>(height), pixels_.data(), &info, DIB_RGB_COLORS);
    DeleteDC(copyDc);
    DeleteObject(copy);
}

Color PixelGrid::at(int h, int v) const {
    const uint32_t p = pixels_[static_cast<size_t>(v) * static_cast<size_t>(width_) + static_cast<size_t>(h)];
    return Color{uint8_t(p >> 16), uint8_t(p >> 8), uint8_t(p), 0};
}

TopWindow::TopWindow(int width, int height) {
    window_ = CreateWindowExA(0, "STATIC", "toolkit test host", WS_OVERLAPPEDWINDOW | WS_VISIBLE, 40, 40, width, height,
                              nullptr, nullptr, GetModuleHandleA(nullptr), nullptr);
    pumpMessages();
}

TopWindow::~TopWindow() {
    if (window_ && IsWindow(window_)) DestroyWindow(window_);
    pumpMessages();
}

void pumpMessages() {
    MSG message;
    while (PeekMessageA(&message, nullptr, 0, 0, PM_REMOVE)) {
        TranslateMessage(&message);
        DispatchMessageA(&message);
    }
}

void sendMouseMove(int x, int y) { SetCursorPos(x, y); }

void sendMouseButton(DWORD flag) {
    INPUT input{};
    input.type = INPUT_MOUSE;
    input.mi.dwFlags = flag;
    SendInput(1, &input, sizeof input);
}

void dragUp(POINT from, const std::function<bool()>& pressed, const std::function<void()>& idle) {
    std::atomic<bool> done{false};
    std::thread hand([&] {
        for (int i = 0; i < 300 && !pressed(); ++i) Sleep(10);
        for (int step = 1; step <= 8; ++step) {
            SetCursorPos(from.x, from.y - 5 * step);
            Sleep(30);
        }
        Sleep(100);
        sendMouseButton(MOUSEEVENTF_LEFTUP);
        done = true;
    });
    sendMouseButton(MOUSEEVENTF_LEFTDOWN);
    while (!done) { // the press enters the knob's tracking loop from here
        idle();
        Sleep(5);
    }
    hand.join();
}

void sendKey(WORD key, bool down) {
    INPUT input{};
    input.type = INPUT_KEYBOARD;
    input.ki.wVk = key;
    input.ki.dwFlags = down ? 0 : KEYEVENTF_KEYUP;
    SendInput(1, &input, sizeof input);
}

long gdiObjectCount() {
    const DWORD count = GetGuiResources(GetCurrentProcess(), GR_GDIOBJECTS);
    if (count != 0) return static_cast<long>(count);
    // Without the system's count (wine answers 0): the process's GDI handle table has a
    // fixed size, so the objects in use are that size minus the pens that can still be
    // made.
    constexpr long limit = 200000;
    std::vector<HPEN> pens;
    pens.reserve(20000);
    while (static_cast<long>(pens.size()) < limit) {
        HPEN pen = CreatePen(PS_SOLID, 1, RGB(1, 2, 3));
        if (!pen) break;
        pens.push_back(pen);
    }
    const long free = static_cast<long>(pens.size());
    for (HPEN pen : pens) DeleteObject(pen);
    return free >= limit ? -1 : limit - free;
}

} // namespace vl::test
