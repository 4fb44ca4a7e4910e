#pragma once
// Driving a panel on an X server (run under xvfb-run): a connection that tolerates a busy
// server, and pointer and key input through XTest, paced so that the panel's window
// sees each step. Header only: the test programs that use it link X11 and Xtst.
#include <X11/Xlib.h>
#include <X11/extensions/XTest.h>

#include <chrono>
#include <cstdlib>
#include <thread>

namespace vltest::x11 {

inline void pause(int ms) { std::this_thread::sleep_for(std::chrono::milliseconds(ms)); }

// A new connection to $DISPLAY, null without one. The server may refuse a connection now
// and then while other tests' connections come and go: it is asked again a few times.
inline Display* openDisplay(int attempts = 20, int waitMs = 50) {
    const char* name = std::getenv("DISPLAY");
    if (!name || !*name) return nullptr;
    for (int attempt = 0; attempt < attempts; ++attempt) {
        if (Display* d = XOpenDisplay(nullptr)) return d;
        pause(waitMs);
    }
    return nullptr;
}

inline void moveTo(Display* d, int x, int y) {
    XTestFakeMotionEvent(d, -1, x, y, 0);
    XFlush(d);
    pause(15);
}

inline void button(Display* d, unsigned b, bool down) {
    XTestFakeButtonEvent(d, b, down, 0);
    XFlush(d);
    pause(15);
}

inline void key(Display* d, KeySym sym, bool down) {
    XTestFakeKeyEvent(d, XKeysymToKeycode(d, sym), down, 0);
    XFlush(d);
    pause(5);
}

} // namespace vltest::x11
