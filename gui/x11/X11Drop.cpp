// XDND drops on the X11 view: files (text/uri-list) and text, offered by the source
// window and fetched through the selection.
#include <X11/Xatom.h>

#include <cstring>
#include <string>
#include <vector>

#include "gui/x11/X11View.h"

namespace vl::x11 {

bool X11View::setDropTarget(bool enable) {
    if (!connected() || !alive) return false;
    if (enable) {
        const long version = 5;
        XChangeProperty(display, window, aXdndAware, XA_ATOM, 32, PropModeReplace,
                        reinterpret_cast<const unsigned char*>(&version), 1);
    } else {
        XDeleteProperty(display, window, aXdndAware);
    }
    dropEnabled = enable;
    XFlush(display);
    return true;
}

// ---- XDND ----

// XdndStatus (l4: the action) or XdndFinished (l4: the action performed) to the source.
void X11View::replyToSource(Atom type, long l1, long l4) {
    XEvent e{};
    e.xclient.type = ClientMessage;
    e.xclient.display = display;
    e.xclient.window = dragSource;
    e.xclient.message_type = type;
    e.xclient.format = 32;
    e.xclient.data.l[0] = long(window);
    e.xclient.data.l[1] = l1;
    e.xclient.data.l[2] = type == aXdndFinished ? l4 : 0;
    e.xclient.data.l[4] = type == aXdndFinished ? 0 : l4;
    ErrorTrap trap(display);
    XSendEvent(display, dragSource, False, NoEventMask, &e);
}

void X11View::handleClientMessage(XClientMessageEvent& m) {
    if (m.window != window || m.format != 32) return;
    if (m.message_type == aXdndEnter) {
        dragSource = Window(m.data.l[0]);
        dragType = 0;
        dropPending = false;
        std::vector<Atom> offered;
        if (m.data.l[1] & 1) {
            ErrorTrap trap(display);
            Atom type = 0;
            int format = 0;
            unsigned long count = 0, after = 0;
            unsigned char* data = nullptr;
            if (XGetWindowProperty(display, dragSource, aXdndTypeList, 0, 64, False, XA_ATOM, &type, &format, &count,
                                   &after, &data) == Success &&
                data && format == 32)
                for (unsigned long i = 0; i < count; ++i) offered.push_back(reinterpret_cast<Atom*>(data)[i]);
            if (data) XFree(data);
        } else {
            for (int i = 2; i <= 4; ++i)
                if (m.data.l[i]) offered.push_back(Atom(m.data.l[i]));
        }
        for (Atom wanted : {aUriList, aUtf8Text, aUtf8String, aTextPlain, Atom(XA_STRING)}) {
            for (Atom a : offered)
                if (a == wanted) {
                    dragType = wanted;
                    break;
                }
            if (dragType) break;
        }
    } else if (m.message_type == aXdndPosition) {
        dragSource = Window(m.data.l[0]);
        const Point origin = screenOrigin();
        dragWhere = Point{int32_t((m.data.l[2] >> 16) & 0xFFFF) - origin.h, int32_t(m.data.l[2] & 0xFFFF) - origin.v};
        const bool accept = dropEnabled && dragType != 0;
        replyToSource(aXdndStatus, accept ? 1 : 0, accept ? long(aXdndActionCopy) : 0);
    } else if (m.message_type == aXdndLeave) {
        dragSource = 0;
        dragType = 0;
    } else if (m.message_type == aXdndDrop) {
        dragSource = Window(m.data.l[0]);
        if (!dropEnabled || !dragType) {
            finishDrop(false);
            return;
        }
        dropPending = true;
        XConvertSelection(display, aXdndSelection, dragType, aDropData, window, Time(m.data.l[2]));
        XFlush(display);
    }
}

void X11View::handleSelection(XSelectionEvent& s) {
    if (!dropPending || s.requestor != window) return;
    dropPending = false;
    if (s.property == None) {
        finishDrop(false);
        return;
    }
    std::string data;
    {
        Atom type = 0;
        int format = 0;
        unsigned long count = 0, after = 0;
        unsigned char* bytes = nullptr;
        if (XGetWindowProperty(display, window, aDropData, 0, 1 << 20, True, AnyPropertyType, &type, &format, &count,
                               &after, &bytes) == Success &&
            bytes && format == 8)
            data.assign(reinterpret_cast<char*>(bytes), count);
        if (bytes) XFree(bytes);
    }
    bool accepted = false;
    if (dragType == aUriList) {
        // One URI per line; file URIs become paths with their %-escapes decoded.
        std::vector<std::string> names;
        size_t start = 0;
        while (start < data.size()) {
            size_t end = data.find('\n', start);
            if (end == std::string::npos) end = data.size();
            std::string line = data.substr(start, end - start);
            start = end + 1;
            if (!line.empty() && line.back() == '\r') line.pop_back();
            if (line.empty() || line[0] == '#') continue;
            if (line.compare(0, 7, "file://") != 0) continue;
            size_t pathStart = line.find('/', 7);
            if (pathStart == std::string::npos) continue;
            std::string path;
            for (size_t i = pathStart; i < line.size(); ++i) {
                auto hex = [](char c) {
                    return c >= '0' && c <= '9'                 ? c - '0'
                           : (c | 32) >= 'a' && (c | 32) <= 'f' ? (c | 32) - 'a' + 10
                                                                : -1;
                };
                if (line[i] == '%' && i + 2 < line.size() && hex(line[i + 1]) >= 0 && hex(line[i + 2]) >= 0) {
                    path += char(hex(line[i + 1]) * 16 + hex(line[i + 2]));
                    i += 2;
                } else {
                    path += line[i];
                }
            }
            if (path.size() < 1024) names.push_back(path);
        }
        if (!names.empty()) {
            std::vector<char*> items;
            for (auto& n : names) items.push_back(n.data());
            accepted = client->viewDrop(items.data(), int32_t(items.size()), 0, dragWhere);
        }
    } else if (!data.empty()) {
        char* text = data.data();
        accepted = client->viewDrop(&text, int32_t(data.size()), 1, dragWhere);
    }
    finishDrop(accepted);
}

void X11View::finishDrop(bool accepted) {
    if (!dragSource) return;
    replyToSource(aXdndFinished, accepted ? 1 : 0, accepted ? long(aXdndActionCopy) : 0);
    dragSource = 0;
    dragType = 0;
}

} // namespace vl::x11
