#pragma once
// The child windows of a host window, as the host's connection sees them.
#include <X11/Xlib.h>

#include <vector>

inline std::vector<Window> childWindows(Display* display, Window parent)
{
    Window rootReturn, parentReturn, *list = nullptr;
    unsigned count = 0;
    std::vector<Window> out;
    if (XQueryTree(display, parent, &rootReturn, &parentReturn, &list, &count)) {
        out.assign(list, list + count);
        if (list) XFree(list);
    }
    return out;
}
