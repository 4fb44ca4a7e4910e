#pragma once
// What the panel tests' hosts look at besides the plug-in.
#include <X11/Xlib.h>
#include <X11/Xutil.h>
#include <dirent.h>

#include <atomic>
#include <chrono>
#include <cstdint>
#include <functional>
#include <string>
#include <thread>
#include <vector>

#include "tests/support/X11Driver.h"

// The number of file descriptors this process has open.
inline int openDescriptors() {
    int count = 0;
    if (DIR* dir = opendir("/proc/self/fd")) {
        while (readdir(dir)) ++count;
        closedir(dir);
    }
    return count;
}

// The child windows of a host window, as the host's connection sees them.
inline std::vector<Window> childWindows(Display* display, Window parent) {
    Window rootReturn, parentReturn, *list = nullptr;
    unsigned count = 0;
    std::vector<Window> out;
    if (XQueryTree(display, parent, &rootReturn, &parentReturn, &list, &count)) {
        out.assign(list, list + count);
        if (list) XFree(list);
    }
    return out;
}

// A mapped 760 x 320 top-level window at (0, y), for a panel to be parented in.
inline Window panelHostWindow(Display* display, int y) {
    const Window window = XCreateSimpleWindow(display, DefaultRootWindow(display), 0, y, 760, 320, 0, 0, 0x303030);
    XMapWindow(display, window);
    return window;
}

// The panel's 727 x 301 pixels (0xRRGGBB) in window, read from the host's connection;
// empty when they cannot be read.
inline std::vector<std::uint32_t> windowPixels(Display* display, Window window) {
    std::vector<std::uint32_t> pixels;
    XImage* image = XGetImage(display, window, 0, 0, 727, 301, AllPlanes, ZPixmap);
    if (!image) return pixels;
    for (int y = 0; y < 301; ++y)
        for (int x = 0; x < 727; ++x) pixels.push_back(static_cast<std::uint32_t>(XGetPixel(image, x, y)) & 0xFFFFFF);
    XDestroyImage(image);
    return pixels;
}

// The panel's pixels out of the one child window of parent; empty unless it has exactly one.
inline std::vector<std::uint32_t> panelPixels(Display* display, Window parent) {
    const std::vector<Window> kids = childWindows(display, parent);
    if (kids.size() != 1) return {};
    return windowPixels(display, kids[0]);
}

// Runs input on a connection of its own against the top-level window titled title, once
// it appears, while this thread is inside a modal call.
class WindowDriver {
public:
    WindowDriver(std::string title, std::function<void(Display*, Window)> input)
        : thread([this, title = std::move(title), input = std::move(input)] {
              Display* d = vltest::x11::openDisplay();
              if (!d) return;
              for (int i = 0; i < 300 && !found; ++i) {
                  Window rootReturn, parentReturn, *list = nullptr;
                  unsigned count = 0;
                  XQueryTree(d, DefaultRootWindow(d), &rootReturn, &parentReturn, &list, &count);
                  for (unsigned k = 0; k < count && !found; ++k) {
                      char* name = nullptr;
                      XWindowAttributes a;
                      if (XFetchName(d, list[k], &name) && name && title == name &&
                          XGetWindowAttributes(d, list[k], &a) && a.map_state == IsViewable) {
                          found = true;
                          std::this_thread::sleep_for(std::chrono::milliseconds(100));
                          input(d, list[k]);
                          // a dialog that did not take the input must not hold the test
                          std::this_thread::sleep_for(std::chrono::milliseconds(1500));
                          XSync(d, False);
                          auto previous = XSetErrorHandler([](Display*, XErrorEvent*) { return 0; });
                          XDestroyWindow(d, list[k]);
                          XSync(d, False);
                          XSetErrorHandler(previous);
                      }
                      if (name) XFree(name);
                  }
                  if (list) XFree(list);
                  std::this_thread::sleep_for(std::chrono::milliseconds(20));
              }
              XCloseDisplay(d);
          }) {}
    ~WindowDriver() { thread.join(); }
    std::atomic<bool> found{false};

private:
    std::thread thread;
};
