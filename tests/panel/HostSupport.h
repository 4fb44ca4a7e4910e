#pragma once
// What the panel tests' hosts look at besides the plug-in.
#include <X11/Xlib.h>
#include <dirent.h>

#include <vector>

// The number of file descriptors this process has open.
inline int openDescriptors()
{
    int count = 0;
    if (DIR* dir = opendir("/proc/self/fd")) {
        while (readdir(dir)) ++count;
        closedir(dir);
    }
    return count;
}

// The child windows of a host window, as the host's connection sees them.
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
