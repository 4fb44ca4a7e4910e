#include "gui/x11/X11Connection.h"

#include <unistd.h>

#include <mutex>
#include <vector>

#if defined(__SANITIZE_ADDRESS__)
#include <sanitizer/lsan_interface.h>
#endif

namespace vl::x11 {

namespace {

struct Connection {
    Display* display;
    int errors;
    bool lost;
};

// Guards the list and the handlers chained to; never held while calling into Xlib on one
// of the connections (the handlers run inside such calls).
std::mutex trapLock;
std::vector<Connection> connections;
XErrorHandler chainedErrorHandler = nullptr;
XIOErrorHandler chainedIOErrorHandler = nullptr;
bool handlersInstalled = false;

Connection* find(Display* display) {
    for (Connection& c : connections)
        if (c.display == display) return &c;
    return nullptr;
}

int errorHandler(Display* display, XErrorEvent* event) {
    XErrorHandler next = nullptr;
    {
        std::lock_guard<std::mutex> lock(trapLock);
        if (Connection* c = find(display)) {
            ++c->errors;
            return 0;
        }
        next = chainedErrorHandler;
    }
    return next ? next(display, event) : 0;
}

// Xlib calls the process-wide I/O error handler first, then the connection's exit
// handler. For our connections both only mark the loss and return, and Xlib returns to
// the caller; any other connection goes to the handler installed before ours (Xlib's
// default one prints the error and exits, as it always did).
int ioErrorHandler(Display* display) {
    XIOErrorHandler next = nullptr;
    {
        std::lock_guard<std::mutex> lock(trapLock);
        if (Connection* c = find(display)) {
            c->lost = true;
            return 0;
        }
        next = chainedIOErrorHandler;
    }
    return next ? next(display) : 0;
}

void ioErrorExit(Display* display, void*) {
    std::lock_guard<std::mutex> lock(trapLock);
    if (Connection* c = find(display)) c->lost = true;
}

int errorCount(Display* display) {
    std::lock_guard<std::mutex> lock(trapLock);
    const Connection* c = find(display);
    return c ? c->errors : 0;
}

} // namespace

Display* openConnection() {
    Display* display = XOpenDisplay(nullptr);
    if (!display) return nullptr;
    {
        std::lock_guard<std::mutex> lock(trapLock);
        connections.push_back({display, 0, false});
        if (!handlersInstalled) {
            chainedErrorHandler = XSetErrorHandler(errorHandler);
            chainedIOErrorHandler = XSetIOErrorHandler(ioErrorHandler);
            handlersInstalled = true;
        }
    }
    XSetIOErrorExitHandler(display, ioErrorExit, nullptr);
    return display;
}

void closeConnection(Display* display) {
    if (!display) return;
    bool lost = false;
    {
        std::lock_guard<std::mutex> lock(trapLock);
        for (std::size_t i = 0; i < connections.size(); ++i)
            if (connections[i].display == display) {
                lost = connections[i].lost;
                connections.erase(connections.begin() + long(i));
                break;
            }
        if (connections.empty() && handlersInstalled) {
            // Handlers installed by someone else since stay in place.
            XErrorHandler current = XSetErrorHandler(chainedErrorHandler);
            if (current != errorHandler) XSetErrorHandler(current);
            XIOErrorHandler currentIO = XSetIOErrorHandler(chainedIOErrorHandler);
            if (currentIO != ioErrorHandler) XSetIOErrorHandler(currentIO);
            handlersInstalled = false;
            chainedErrorHandler = nullptr;
            chainedIOErrorHandler = nullptr;
        }
    }
    if (lost) {
        close(ConnectionNumber(display));
        keepAfterLoss(display);
    } else {
        XCloseDisplay(display);
    }
}

bool connectionLost(Display* display) {
    std::lock_guard<std::mutex> lock(trapLock);
    const Connection* c = find(display);
    return c && c->lost;
}

void keepAfterLoss(const void* memory) {
#if defined(__SANITIZE_ADDRESS__)
    if (memory) __lsan_ignore_object(memory);
#else
    (void)memory;
#endif
}

ErrorTrap::ErrorTrap(Display* d) : display(d) {
    if (!connectionLost(display)) XSync(display, False);
    start = errorCount(display);
}

ErrorTrap::~ErrorTrap() {
    if (!connectionLost(display)) XSync(display, False);
}

bool ErrorTrap::failed() {
    if (!connectionLost(display)) XSync(display, False);
    return connectionLost(display) || errorCount(display) != start;
}

} // namespace vl::x11
