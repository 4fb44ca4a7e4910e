#pragma once
// The program's top-level X11 window "Velmor Loom": the window the editor panel opens
// into. Closing it through the window manager ends the program; a second start of the
// program raises it.
#include <string>

typedef struct _XDisplay Display;

namespace vl::linuxapp {

class MainWindow {
public:
    MainWindow() = default;
    ~MainWindow();
    MainWindow(const MainWindow&) = delete;
    MainWindow& operator=(const MainWindow&) = delete;

    // Connects to the X display and shows a window of the given client size at (x, y).
    // False with a message when there is no display.
    bool create(const std::string& title, int x, int y, int width, int height, std::string& error);

    // The connection's file descriptor, for the main loop to wait on (-1 without one).
    int fd() const;
    // Handles the pending events; false once the window was closed.
    bool handleEvents();
    // Shows the window above the others and asks the window manager to activate it.
    void raise();

    // The native window (an X11 Window id) a panel opens into, and its display.
    unsigned long nativeWindow() const { return window; }
    Display* display() const { return dpy; }

private:
    Display* dpy = nullptr;
    unsigned long window = 0;
    unsigned long deleteAtom = 0;
};

} // namespace vl::linuxapp
