#pragma once
// The X connections the panel code opens for itself (the view, its dialogs), each behind
// one error trap shared by all of them.
//
// Xlib's default handlers end the process: on an X error (a window the host destroyed
// before closing the editor, a bad parent window id) and on the loss of a connection (the
// server closed it: the panel's client was killed, e.g. with xkill). Neither is worth
// ending the host for. While one of these connections is open, a handler counts the X
// errors of each of them and passes every other connection's errors on to the handler
// that was installed before. When one of them is lost, it is marked lost and Xlib returns
// to its caller instead of exiting; the code that owns it makes no further Xlib call on
// it. The host's own connections keep the handlers they had: their errors and losses go
// to the handlers installed before ours. The handlers are taken out again when the last
// connection closes (unless someone installed others since), so that nothing of an
// unloaded plug-in is left behind in the host.

#include <X11/Xlib.h>

namespace vl::x11 {

// Opens a connection to the default display and enters it in the trap; null when there
// is no display.
Display* openConnection();
// Takes the connection out of the trap and closes it. A lost connection gets no Xlib
// call: only its socket is closed.
void closeConnection(Display* display);
// The connection was lost; from then on no Xlib call may be made on it.
bool connectionLost(Display* display);
// What Xlib allocated for a lost connection (its Display record, a GC) stays allocated:
// giving it back would take an Xlib call. Under the leak checker it is marked as kept on
// purpose.
void keepAfterLoss(const void* memory);

// Tells whether the requests made while it exists failed (an X error, or the connection
// was lost).
class ErrorTrap {
public:
    explicit ErrorTrap(Display* display);
    ~ErrorTrap();
    ErrorTrap(const ErrorTrap&) = delete;
    ErrorTrap& operator=(const ErrorTrap&) = delete;
    bool failed();

private:
    Display* display;
    int start;
};

} // namespace vl::x11
