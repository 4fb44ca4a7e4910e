#include "standalone/linux/MainWindow.h"
#include "standalone/linux/WindowIcon.h"

#include <X11/Xatom.h>
#include <X11/Xlib.h>
#include <X11/Xutil.h>
#include <cstring>

namespace vl::linuxapp {

MainWindow::~MainWindow() {
    if (!dpy) return;
    if (window) XDestroyWindow(dpy, window);
    XCloseDisplay(dpy);
}

bool MainWindow::create(const std::string& title, int x, int y, int width, int height, std::string& error) {
    dpy = XOpenDisplay(nullptr);
    if (!dpy) {
        error = "no X display";
        return false;
    }
    const int screen = DefaultScreen(dpy);
    XSetWindowAttributes attributes{};
    attributes.background_pixel = WhitePixel(dpy, screen);
    attributes.event_mask = StructureNotifyMask | ExposureMask;
    window = XCreateWindow(dpy, RootWindow(dpy, screen), x, y, static_cast<unsigned>(width),
                           static_cast<unsigned>(height), 0, CopyFromParent, InputOutput, CopyFromParent,
                           CWBackPixel | CWEventMask, &attributes);
    if (!window) {
        error = "cannot create the window";
        return false;
    }
    // A fixed size, like the panel it carries.
    XSizeHints* size = XAllocSizeHints();
    if (size) {
        size->flags = PPosition | PMinSize | PMaxSize;
        size->x = x;
        size->y = y;
        size->min_width = size->max_width = width;
        size->min_height = size->max_height = height;
        XSetWMNormalHints(dpy, window, size);
        XFree(size);
    }
    XStoreName(dpy, window, title.c_str());
    const Atom utf8 = XInternAtom(dpy, "UTF8_STRING", False);
    XChangeProperty(dpy, window, XInternAtom(dpy, "_NET_WM_NAME", False), utf8, 8, PropModeReplace,
                    reinterpret_cast<const unsigned char*>(title.c_str()), static_cast<int>(title.size()));
    XClassHint* hint = XAllocClassHint();
    if (hint) {
        char name[] = "velmorloom", cls[] = "Velmorloom";
        hint->res_name = name;
        hint->res_class = cls;
        XSetClassHint(dpy, window, hint);
        XFree(hint);
    }
    // The icon the window manager and task bar show: the desktop entry's icon.
    const std::vector<unsigned long> icon = windowIconProperty();
    if (!icon.empty())
        XChangeProperty(dpy, window, XInternAtom(dpy, "_NET_WM_ICON", False), XA_CARDINAL, 32, PropModeReplace,
                        reinterpret_cast<const unsigned char*>(icon.data()), static_cast<int>(icon.size()));
    Atom protocols[] = {XInternAtom(dpy, "WM_DELETE_WINDOW", False)};
    deleteAtom = protocols[0];
    XSetWMProtocols(dpy, window, protocols, 1);
    XMapWindow(dpy, window);
    XFlush(dpy);
    return true;
}

int MainWindow::fd() const { return dpy ? ConnectionNumber(dpy) : -1; }

bool MainWindow::handleEvents() {
    if (!dpy) return true;
    while (XPending(dpy) > 0) {
        XEvent event;
        XNextEvent(dpy, &event);
        if (event.type == ClientMessage && event.xclient.window == window &&
            static_cast<unsigned long>(event.xclient.data.l[0]) == deleteAtom)
            return false;
        if (event.type == DestroyNotify && event.xdestroywindow.window == window) {
            window = 0;
            return false;
        }
    }
    return true;
}

void MainWindow::raise() {
    if (!dpy || !window) return;
    XMapRaised(dpy, window);
    XEvent event{};
    event.xclient.type = ClientMessage;
    event.xclient.window = window;
    event.xclient.message_type = XInternAtom(dpy, "_NET_ACTIVE_WINDOW", False);
    event.xclient.format = 32;
    event.xclient.data.l[0] = 2; // from a pager: the request is the user's own
    event.xclient.data.l[1] = CurrentTime;
    const Window root = DefaultRootWindow(dpy);
    XSendEvent(dpy, root, False, SubstructureRedirectMask | SubstructureNotifyMask, &event);
    XFlush(dpy);
}

} // namespace vl::linuxapp
