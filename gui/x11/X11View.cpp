// The X11 native view: a child window of the host's window on a connection of its own,
// events handled when the editor idles, pointer and modifier state polled with
// XQueryPointer, an own single-line text editor, and XDND drops.
#include <X11/Xatom.h>
#include <X11/Xutil.h>
#include <X11/cursorfont.h>
#include <X11/keysym.h>

#include <chrono>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <mutex>
#include <new>
#include <string>
#include <thread>
#include <vector>

#include "gui/x11/X11Backend.h"
#include "gui/x11/X11Connection.h"

namespace vl::x11 {

namespace {

ButtonState stateFromMask(unsigned int mask) {
    ButtonState s = 0;
    if (mask & Button1Mask) s |= kLeftButton;
    if (mask & Button2Mask) s |= kMiddleButton;
    if (mask & Button3Mask) s |= kRightButton;
    if (mask & ShiftMask) s |= kShift;
    if (mask & ControlMask) s |= kControl;
    if (mask & Mod1Mask) s |= kAlt;
    return s;
}

// Virtual key codes of forwarded host keys.
enum : int {
    vkBack = 1,
    vkTab = 2,
    vkReturn = 4,
    vkEscape = 6,
    vkSpace = 7,
    vkEnd = 9,
    vkHome = 10,
    vkLeft = 11,
    vkRight = 13,
    vkEnter = 19,
    vkDelete = 22,
};

// Editing actions, from X key events and from forwarded host keys alike.
enum class EditKey { none, character, backspace, del, left, right, home, end, commit, cancel };

} // namespace

class X11View;

// ---- The single-line editor ----

class X11LineEditor final : public LineEditor {
public:
    X11LineEditor(X11View& view, const LineEditorSetup& setup, LineEditorClient* client);
    ~X11LineEditor() override;
    int32_t getText(char* buffer, int32_t size) override;

    bool create();
    Window windowId() const { return window; }
    void paint();
    // Applies one key; may end the editing (the client then usually deletes this editor,
    // so nothing of the object is touched after done()).
    void key(EditKey action, char character);
    void pressAt(int x);
    void done() { client->lineEditorDone(); }

private:
    void deleteSelection();
    // Where the text starts: as aligned when it fits, else scrolled so that the caret
    // stays in view (the text then starts at the left and moves as the caret does).
    double textX(double advance, double caretAdvance);

    X11View& view;
    LineEditorSetup setup;
    LineEditorClient* client;
    std::string initial;
    std::string text;
    size_t caret = 0;
    size_t selectionStart = 0, selectionEnd = 0; // all of the text is selected at first
    Window window = 0;
    Window previousFocus = None; // who had the keyboard before the editor took it
    double scroll = 0.0; // pixels of a long text scrolled out on the left
    double origin = 1.0; // where the text started at the last paint
};

// ---- The view ----

class X11View final : public NativeView, public SurfaceSink {
public:
    X11View(NativeViewClient* client) : client(client) {}
    ~X11View() override;
    bool create(Window parentWindow, int32_t w, int32_t h);

    void* nativeHandle() const override { return reinterpret_cast<void*>(uintptr_t(window)); }
    DrawSurface* createSurface() override;
    Point screenOrigin() override;
    Point cursorScreenPosition() override;
    ButtonState buttonState() override;
    void processEvents() override;
    void dispatchPendingPaint() override;
    void setCursor(int32_t kind) override;
    void* findHostWindow() override;
    bool setDropTarget(bool enable) override;
    LineEditor* createLineEditor(const LineEditorSetup& setup, LineEditorClient* editorClient) override;
    bool forwardKey(const VstKeyCode& key, bool down) override;

    // False once the connection is lost (the panel's client was killed): from then on the
    // view and its line editor make no Xlib call, and the window counts as gone.
    bool connected() {
        if (display && !lost && connectionLost(display)) {
            lost = true;
            alive = false;
        }
        return display && !lost;
    }

    // Copies the part r of a memory image (RGB24) to the view's window.
    void present(cairo_surface_t* image, const Rect& r) override { put(window, image, r); }
    // Copies the part r of image to the window target (the view's or the line editor's).
    void put(Window target, cairo_surface_t* image, const Rect& r);

    Display* display = nullptr;
    Window window = 0;
    Visual* visual = nullptr;
    int depth = 0;
    X11LineEditor* editor = nullptr; // not owned (the text field owns it)

private:
    void handle(XEvent& event);
    void paintNow();
    void paintQueued();
    void handleKey(XKeyEvent& event);
    void handleClientMessage(XClientMessageEvent& event);
    void handleSelection(XSelectionEvent& event);
    void finishDrop(bool accepted);

    NativeViewClient* client;
    cairo_surface_t* backbuffer = nullptr; // what the window shows, drawn in memory
    GC gc = nullptr;
    bool directCopy = false; // the window's pixel layout equals cairo's RGB24 layout
    Window parent = 0;
    int32_t width = 0, height = 0;
    bool alive = false; // the window exists
    bool lost = false;  // the connection was lost
    int dispatchDepth = 0;
    // The press being handled (viewMouseDown): until the control's first yield the button
    // counts as held at the press's place with the press's modifiers; when its release is
    // already queued, from then on as released where it was released. A press and release
    // that both arrived between two idle calls so act as a click, where it was made.
    bool inPress = false;
    bool pressHeld = false;
    ButtonState pressState = 0;
    Point pressRoot;
    bool releaseQueued = false;
    ButtonState releaseState = 0;
    Point releaseRoot;
    Cursor cursors[7] = {};
    bool cursorSet = false;

    // XDND
    Atom aXdndAware = 0, aXdndEnter = 0, aXdndPosition = 0, aXdndStatus = 0, aXdndLeave = 0, aXdndDrop = 0,
         aXdndFinished = 0, aXdndSelection = 0, aXdndTypeList = 0, aXdndActionCopy = 0, aUriList = 0,
         aUtf8Text = 0, aTextPlain = 0, aUtf8String = 0, aDropData = 0;
    bool dropEnabled = false;
    Window dragSource = 0;
    Atom dragType = 0;
    Point dragWhere;
    bool dropPending = false;
};

// ---------------------------------------------------------------------------------------

X11View::~X11View() {
    if (!display) return;
    if (connected()) {
        if (alive) {
            if (dropEnabled) XDeleteProperty(display, window, aXdndAware);
            XDestroyWindow(display, window);
        }
        for (Cursor c : cursors)
            if (c) XFreeCursor(display, c);
        if (gc) XFreeGC(display, gc);
        XSync(display, False);
    }
    closeConnection(display);
    if (backbuffer) cairo_surface_destroy(backbuffer);
}

bool X11View::create(Window parentWindow, int32_t w, int32_t h) {
    display = openConnection();
    if (!display) return false;
    parent = parentWindow;
    width = w > 0 ? w : 1;
    height = h > 0 ? h : 1;
    {
        ErrorTrap trap(display);
        XWindowAttributes parentAttributes;
        if (!XGetWindowAttributes(display, parent, &parentAttributes) || trap.failed()) return false;
        XSetWindowAttributes attributes{};
        attributes.event_mask = ExposureMask | ButtonPressMask | ButtonReleaseMask | KeyPressMask | KeyReleaseMask |
                                FocusChangeMask | StructureNotifyMask;
        attributes.background_pixmap = None;
        window = XCreateWindow(display, parent, 0, 0, unsigned(width), unsigned(height), 0, CopyFromParent,
                               InputOutput, CopyFromParent, CWEventMask | CWBackPixmap, &attributes);
        if (trap.failed() || !window) return false;
        XMapWindow(display, window);
        XWindowAttributes own;
        if (!XGetWindowAttributes(display, window, &own) || trap.failed()) return false;
        visual = own.visual;
        depth = own.depth;
        gc = XCreateGC(display, window, 0, nullptr);
        if (trap.failed() || !gc) return false;
    }
    backbuffer = cairo_image_surface_create(CAIRO_FORMAT_RGB24, width, height);
    if (cairo_surface_status(backbuffer) != CAIRO_STATUS_SUCCESS) return false;
    {
        // Cairo's RGB24 pixels can go to the window as they are when the window stores
        // 32-bit pixels 0x00RRGGBB in this machine's byte order.
        const uint16_t probe = 1;
        const int hostOrder = *reinterpret_cast<const uint8_t*>(&probe) ? LSBFirst : MSBFirst;
        XImage* test = XCreateImage(display, visual, unsigned(depth), ZPixmap, 0, nullptr, 1, 1, 32, 0);
        directCopy = test && test->bits_per_pixel == 32 && test->byte_order == hostOrder &&
                     visual->red_mask == 0xFF0000 && visual->green_mask == 0xFF00 && visual->blue_mask == 0xFF;
        if (test) XDestroyImage(test);
    }
    alive = true;
    const char* names[] = {"XdndAware",     "XdndEnter",      "XdndPosition",   "XdndStatus",
                           "XdndLeave",     "XdndDrop",       "XdndFinished",   "XdndSelection",
                           "XdndTypeList",  "XdndActionCopy", "text/uri-list",  "text/plain;charset=utf-8",
                           "text/plain",    "UTF8_STRING",    "VL_DROP_DATA"};
    Atom atoms[15];
    XInternAtoms(display, const_cast<char**>(names), 15, False, atoms);
    aXdndAware = atoms[0], aXdndEnter = atoms[1], aXdndPosition = atoms[2], aXdndStatus = atoms[3];
    aXdndLeave = atoms[4], aXdndDrop = atoms[5], aXdndFinished = atoms[6], aXdndSelection = atoms[7];
    aXdndTypeList = atoms[8], aXdndActionCopy = atoms[9], aUriList = atoms[10], aUtf8Text = atoms[11];
    aTextPlain = atoms[12], aUtf8String = atoms[13], aDropData = atoms[14];
    XFlush(display);
    return true;
}

DrawSurface* X11View::createSurface() {
    if (!alive || !backbuffer) return nullptr;
    return new (std::nothrow)
        CairoSurface(cairo_surface_reference(backbuffer), width, height, this, display, window);
}

void X11View::put(Window target, cairo_surface_t* image, const Rect& r) {
    if (!connected()) return;
    if (!alive || !target || r.right <= r.left || r.bottom <= r.top) return;
    cairo_surface_flush(image);
    unsigned char* data = cairo_image_surface_get_data(image);
    const int stride = cairo_image_surface_get_stride(image);
    const int w = cairo_image_surface_get_width(image), h = cairo_image_surface_get_height(image);
    if (!data) return;
    if (directCopy) {
        XImage* xi = XCreateImage(display, visual, unsigned(depth), ZPixmap, 0, reinterpret_cast<char*>(data),
                                  unsigned(w), unsigned(h), 32, stride);
        if (!xi) return;
        XPutImage(display, target, gc, xi, r.left, r.top, r.left, r.top, unsigned(r.width()), unsigned(r.height()));
        xi->data = nullptr; // cairo's memory
        XDestroyImage(xi);
    } else {
        // Any other visual: each pixel converted through the visual's masks.
        XImage* xi = XCreateImage(display, visual, unsigned(depth), ZPixmap, 0, nullptr, unsigned(r.width()),
                                  unsigned(r.height()), 32, 0);
        if (!xi) return;
        xi->data = static_cast<char*>(std::malloc(size_t(xi->bytes_per_line) * size_t(r.height())));
        if (!xi->data) {
            XDestroyImage(xi);
            return;
        }
        auto scale = [](unsigned long mask, unsigned value) -> unsigned long {
            if (!mask) return 0;
            int shift = 0;
            while (!((mask >> shift) & 1)) ++shift;
            const unsigned long bits = mask >> shift;
            return ((value * bits + 127) / 255) << shift;
        };
        for (int y = 0; y < r.height(); ++y) {
            const uint32_t* row = reinterpret_cast<const uint32_t*>(data + size_t(r.top + y) * stride);
            for (int x = 0; x < r.width(); ++x) {
                const uint32_t p = row[r.left + x];
                XPutPixel(xi, x, y,
                          scale(visual->red_mask, (p >> 16) & 0xFF) | scale(visual->green_mask, (p >> 8) & 0xFF) |
                              scale(visual->blue_mask, p & 0xFF));
            }
        }
        XPutImage(display, target, gc, xi, 0, 0, r.left, r.top, unsigned(r.width()), unsigned(r.height()));
        XDestroyImage(xi); // frees the pixels too
    }
    XFlush(display);
}

Point X11View::screenOrigin() {
    if (!connected() || !alive) return Point{};
    int x = 0, y = 0;
    Window child;
    XTranslateCoordinates(display, window, DefaultRootWindow(display), 0, 0, &x, &y, &child);
    return Point{x, y};
}

Point X11View::cursorScreenPosition() {
    if (pressHeld) return pressRoot;
    if (inPress && releaseQueued) return releaseRoot;
    if (!connected()) return {};
    Window rootReturn, childReturn;
    int rootX = 0, rootY = 0, winX = 0, winY = 0;
    unsigned int mask = 0;
    XQueryPointer(display, DefaultRootWindow(display), &rootReturn, &childReturn, &rootX, &rootY, &winX, &winY, &mask);
    return Point{rootX, rootY};
}

ButtonState X11View::buttonState() {
    if (pressHeld) return pressState;
    if (inPress && releaseQueued) return releaseState;
    if (!connected()) return {};
    Window rootReturn, childReturn;
    int rootX = 0, rootY = 0, winX = 0, winY = 0;
    unsigned int mask = 0;
    XQueryPointer(display, DefaultRootWindow(display), &rootReturn, &childReturn, &rootX, &rootY, &winX, &winY, &mask);
    return stateFromMask(mask);
}

void X11View::paintNow() {
    std::unique_ptr<DrawSurface> surface(createSurface());
    if (surface) client->viewPaint(*surface);
    if (editor) editor->paint();
}

void X11View::paintQueued() {
    if (!connected()) return;
    XEvent event;
    bool any = false;
    while (alive && XCheckTypedWindowEvent(display, window, Expose, &event)) any = true;
    if (editor)
        while (XCheckTypedWindowEvent(display, editor->windowId(), Expose, &event)) any = true;
    if (any && alive) paintNow();
}

void X11View::processEvents() {
    if (!display) return;
    if (dispatchDepth > 0) {
        // Called from a control's drag loop: the press being handled counts as released
        // from here on (the live state takes over), and only paint waits for no one.
        pressHeld = false;
        paintQueued();
        return;
    }
    ++dispatchDepth;
    // Events already queued are handled in order; a press and its release that arrived
    // between two idle calls are both here.
    while (connected() && XPending(display) > 0) {
        XEvent event;
        XNextEvent(display, &event);
        handle(event);
    }
    --dispatchDepth;
}

void X11View::dispatchPendingPaint() {
    if (!display) return;
    pressHeld = false;
    paintQueued();
}

void X11View::handle(XEvent& event) {
    switch (event.type) {
    case Expose: {
        if (event.xexpose.count != 0) break;
        // Every exposure repaints the whole view; exposures queued behind it are merged.
        paintQueued();
        paintNow();
        break;
    }
    case ButtonPress: {
        XButtonEvent& b = event.xbutton;
        if (editor && b.window == editor->windowId()) {
            if (b.button == Button1) editor->pressAt(b.x);
            break;
        }
        if (b.window != window) break;
        if (b.button >= 4 && b.button <= 7) {
            client->viewWheel((b.button == 4 || b.button == 7) ? 1.0f : -1.0f);
            break;
        }
        ButtonState held = stateFromMask(b.state);
        if (b.button == Button1) held |= kLeftButton;
        if (b.button == Button2) held |= kMiddleButton;
        if (b.button == Button3) held |= kRightButton;
        pressState = held;
        pressRoot = Point{b.x_root, b.y_root};
        // Is the release already here? (It is taken from the queue; releases do nothing
        // else.)
        XEvent release;
        struct Match {
            Window window;
            unsigned int button;
        } match{b.window, b.button};
        releaseQueued = XCheckIfEvent(
            display, &release,
            [](Display*, XEvent* e, XPointer arg) -> Bool {
                const auto* m = reinterpret_cast<const Match*>(arg);
                return e->type == ButtonRelease && e->xbutton.window == m->window && e->xbutton.button == m->button;
            },
            reinterpret_cast<XPointer>(&match));
        if (releaseQueued) {
            // The state after the release: its modifiers, and the other buttons still down.
            ButtonState after = stateFromMask(release.xbutton.state);
            if (b.button == Button1) after &= ~kLeftButton;
            if (b.button == Button2) after &= ~kMiddleButton;
            if (b.button == Button3) after &= ~kRightButton;
            releaseState = after;
            releaseRoot = Point{release.xbutton.x_root, release.xbutton.y_root};
        }
        inPress = true;
        pressHeld = true;
        client->viewMouseDown(Point{b.x, b.y});
        pressHeld = false;
        inPress = false;
        releaseQueued = false;
        break;
    }
    case KeyPress:
        handleKey(event.xkey);
        break;
    case FocusOut:
        // The editor commits when the keyboard focus goes elsewhere (not for the focus
        // moves of pointer grabs).
        if (editor && event.xfocus.window == editor->windowId() && event.xfocus.mode != NotifyGrab &&
            event.xfocus.mode != NotifyUngrab && event.xfocus.detail != NotifyInferior &&
            event.xfocus.detail != NotifyPointer)
            editor->done();
        break;
    case ClientMessage:
        handleClientMessage(event.xclient);
        break;
    case SelectionNotify:
        handleSelection(event.xselection);
        break;
    case DestroyNotify:
        if (event.xdestroywindow.window == window && alive) {
            alive = false;
            client->viewDestroyed();
        }
        break;
    default:
        break;
    }
}

void X11View::handleKey(XKeyEvent& event) {
    if (!editor) return;
    char buffer[8] = {};
    KeySym sym = 0;
    const int n = XLookupString(&event, buffer, sizeof buffer, &sym, nullptr);
    EditKey action = EditKey::none;
    char character = 0;
    switch (sym) {
    case XK_Return:
    case XK_KP_Enter:
        action = EditKey::commit;
        break;
    case XK_Escape:
        action = EditKey::cancel;
        break;
    case XK_BackSpace:
        action = EditKey::backspace;
        break;
    case XK_Delete:
    case XK_KP_Delete:
        action = EditKey::del;
        break;
    case XK_Left:
    case XK_KP_Left:
        action = EditKey::left;
        break;
    case XK_Right:
    case XK_KP_Right:
        action = EditKey::right;
        break;
    case XK_Home:
    case XK_KP_Home:
        action = EditKey::home;
        break;
    case XK_End:
    case XK_KP_End:
        action = EditKey::end;
        break;
    default:
        if (n == 1 && !(event.state & ControlMask)) {
            const unsigned char c = static_cast<unsigned char>(buffer[0]);
            if ((c >= 0x20 && c < 0x7F) || c >= 0xA0) {
                action = EditKey::character;
                character = char(c);
            }
        }
        break;
    }
    if (action != EditKey::none) editor->key(action, character);
}

bool X11View::forwardKey(const VstKeyCode& key, bool down) {
    if (!editor) return false;
    if (!down) return true; // the key's press was ours
    EditKey action = EditKey::none;
    char character = 0;
    switch (key.virt) {
    case vkBack:
        action = EditKey::backspace;
        break;
    case vkReturn:
    case vkEnter:
        action = EditKey::commit;
        break;
    case vkEscape:
        action = EditKey::cancel;
        break;
    case vkSpace:
        action = EditKey::character;
        character = ' ';
        break;
    case vkEnd:
        action = EditKey::end;
        break;
    case vkHome:
        action = EditKey::home;
        break;
    case vkLeft:
        action = EditKey::left;
        break;
    case vkRight:
        action = EditKey::right;
        break;
    case vkDelete:
        action = EditKey::del;
        break;
    case vkTab:
        return false;
    case 0: {
        const int c = key.character;
        if ((c >= 0x20 && c < 0x7F) || (c >= 0xA0 && c <= 0xFF)) {
            action = EditKey::character;
            character = char(c);
        }
        break;
    }
    default:
        break;
    }
    if (action == EditKey::none) return false;
    editor->key(action, character);
    return true;
}

void X11View::setCursor(int32_t kind) {
    if (!connected() || !alive) return;
    static const unsigned int shapes[7] = {0, XC_watch, XC_sb_h_double_arrow, XC_sb_v_double_arrow, XC_fleur,
                                           XC_bottom_left_corner, XC_bottom_right_corner};
    if (kind == 0) {
        if (cursorSet) XUndefineCursor(display, window);
        cursorSet = false;
    } else if (kind >= 1 && kind <= 6) {
        if (!cursors[kind]) cursors[kind] = XCreateFontCursor(display, shapes[kind]);
        XDefineCursor(display, window, cursors[kind]);
        cursorSet = true;
    } else {
        return;
    }
    XFlush(display);
}

void* X11View::findHostWindow() {
    if (!connected() || !alive) return nullptr;
    // Up from the view: the first window much larger than the view (more than 60 pixels in
    // either direction), else the top-level window that holds it.
    ErrorTrap trap(display);
    Window current = window;
    const Window rootWindow = DefaultRootWindow(display);
    for (int depth = 0; depth < 64; ++depth) {
        Window rootReturn = 0, parentReturn = 0;
        Window* children = nullptr;
        unsigned int count = 0;
        if (!XQueryTree(display, current, &rootReturn, &parentReturn, &children, &count)) return nullptr;
        if (children) XFree(children);
        if (!parentReturn || parentReturn == rootWindow) return reinterpret_cast<void*>(uintptr_t(current));
        XWindowAttributes a;
        if (!XGetWindowAttributes(display, parentReturn, &a)) return nullptr;
        if (std::abs(a.width - width) > 60 || std::abs(a.height - height) > 60)
            return reinterpret_cast<void*>(uintptr_t(parentReturn));
        current = parentReturn;
    }
    return nullptr;
}

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

LineEditor* X11View::createLineEditor(const LineEditorSetup& setup, LineEditorClient* editorClient) {
    if (!connected() || !alive || editor || !editorClient) return nullptr;
    auto* created = new (std::nothrow) X11LineEditor(*this, setup, editorClient);
    if (!created) return nullptr;
    editor = created; // before create(): the window's first paint looks it up
    if (!created->create()) {
        delete created;
        return nullptr;
    }
    return created;
}

// ---- XDND ----

void X11View::handleClientMessage(XClientMessageEvent& m) {
    if (m.window != window || m.format != 32) return;
    auto reply = [&](Atom type, long l1, long l4) {
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
    };
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
        reply(aXdndStatus, accept ? 1 : 0, accept ? long(aXdndActionCopy) : 0);
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
                auto hex = [](char c) { return c >= '0' && c <= '9' ? c - '0' : (c | 32) >= 'a' && (c | 32) <= 'f' ? (c | 32) - 'a' + 10 : -1; };
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
    XEvent e{};
    e.xclient.type = ClientMessage;
    e.xclient.display = display;
    e.xclient.window = dragSource;
    e.xclient.message_type = aXdndFinished;
    e.xclient.format = 32;
    e.xclient.data.l[0] = long(window);
    e.xclient.data.l[1] = accepted ? 1 : 0;
    e.xclient.data.l[2] = accepted ? long(aXdndActionCopy) : 0;
    {
        ErrorTrap trap(display);
        XSendEvent(display, dragSource, False, NoEventMask, &e);
    }
    dragSource = 0;
    dragType = 0;
}

// ---------------------------------------------------------------------------------------
// Line editor

X11LineEditor::X11LineEditor(X11View& view, const LineEditorSetup& s, LineEditorClient* client)
    : view(view), setup(s), client(client) {
    initial = s.text ? s.text : "";
    if (setup.maxLength < 0) setup.maxLength = 0;
    if (initial.size() > size_t(setup.maxLength)) initial.resize(size_t(setup.maxLength));
    text = initial;
    caret = text.size();
    selectionStart = 0;
    selectionEnd = text.size();
    setup.text = nullptr;
}

X11LineEditor::~X11LineEditor() {
    if (view.editor == this) view.editor = nullptr;
    if (window && view.connected()) {
        // The keyboard goes back to whoever had it before (the host's window), unless it
        // has moved on already.
        Window focus = None;
        int revert = 0;
        XGetInputFocus(view.display, &focus, &revert);
        if (focus == window) {
            ErrorTrap trap(view.display); // that window may be gone by now
            XSetInputFocus(view.display, previousFocus != None ? previousFocus : PointerRoot, RevertToPointerRoot,
                           CurrentTime);
        }
        XDestroyWindow(view.display, window);
        XFlush(view.display);
    }
}

bool X11LineEditor::create() {
    Display* d = view.display;
    const int w = setup.frame.width() > 0 ? setup.frame.width() : 1;
    const int h = setup.frame.height() > 0 ? setup.frame.height() : 1;
    XSetWindowAttributes a{};
    a.event_mask = ExposureMask | KeyPressMask | KeyReleaseMask | FocusChangeMask | ButtonPressMask;
    a.background_pixmap = None;
    window = XCreateWindow(d, view.window, setup.frame.left, setup.frame.top, unsigned(w), unsigned(h), 0,
                           CopyFromParent, InputOutput, CopyFromParent, CWEventMask | CWBackPixmap, &a);
    if (!window) return false;
    XMapRaised(d, window);
    int revert = 0;
    XGetInputFocus(d, &previousFocus, &revert);
    if (previousFocus == PointerRoot) previousFocus = None;
    // The keyboard focus moves only to a viewable window (else X reports an error).
    XWindowAttributes state;
    if (XGetWindowAttributes(d, window, &state) && state.map_state == IsViewable)
        XSetInputFocus(d, window, RevertToParent, CurrentTime);
    paint();
    return true;
}

int32_t X11LineEditor::getText(char* buffer, int32_t size) {
    if (!buffer || size <= 0) return 0;
    const size_t n = text.size() < size_t(size - 1) ? text.size() : size_t(size - 1);
    std::memcpy(buffer, text.data(), n);
    buffer[n] = 0;
    return int32_t(n);
}

double X11LineEditor::textX(double advance, double caretAdvance) {
    const double w = setup.frame.width();
    const double room = w - 3.0; // one pixel each side and one for the caret
    if (advance <= room) {
        scroll = 0.0;
        if (setup.alignment == 1) return double(int((w - advance) / 2.0 + 0.5));
        if (setup.alignment == 2) return w - advance - 1.0;
        return 1.0;
    }
    if (caretAdvance - scroll > room) scroll = caretAdvance - room;
    if (caretAdvance - scroll < 0.0) scroll = caretAdvance;
    if (scroll > advance - room) scroll = advance - room;
    if (scroll < 0.0) scroll = 0.0;
    return 1.0 - double(int(scroll + 0.5));
}

void X11LineEditor::paint() {
    if (!window) return;
    const int w = setup.frame.width() > 0 ? setup.frame.width() : 1;
    const int h = setup.frame.height() > 0 ? setup.frame.height() : 1;
    cairo_surface_t* s = cairo_image_surface_create(CAIRO_FORMAT_RGB24, w, h);
    cairo_t* cr = cairo_create(s);
    auto rgb = [&](const Color& c) { cairo_set_source_rgb(cr, c.red / 255.0, c.green / 255.0, c.blue / 255.0); };
    rgb(setup.backColor);
    cairo_paint(cr);
    selectFont(cr, setup.font, fontEntry(setup.font).height, true);
    const std::string all = latin1ToUtf8(text.c_str());
    cairo_text_extents_t te;
    cairo_text_extents(cr, all.c_str(), &te);
    cairo_font_extents_t fe;
    cairo_font_extents(cr, &fe);
    const double top = double(int((h - (fe.ascent + fe.descent)) / 2.0 + 0.5));
    auto advanceTo = [&](size_t index) {
        const std::string part = latin1ToUtf8(text.substr(0, index).c_str());
        cairo_text_extents_t pe;
        cairo_text_extents(cr, part.c_str(), &pe);
        return pe.x_advance;
    };
    const double x0 = textX(te.x_advance, advanceTo(caret));
    origin = x0;
    if (selectionEnd > selectionStart) {
        const double a = x0 + advanceTo(selectionStart), b = x0 + advanceTo(selectionEnd);
        rgb(setup.textColor);
        cairo_rectangle(cr, a, top, b - a, fe.ascent + fe.descent);
        cairo_fill(cr);
    }
    // The text, then the selected part again in the background colour over its highlight.
    rgb(setup.textColor);
    cairo_move_to(cr, x0, top + fe.ascent);
    cairo_show_text(cr, all.c_str());
    if (selectionEnd > selectionStart) {
        const double a = x0 + advanceTo(selectionStart), b = x0 + advanceTo(selectionEnd);
        cairo_save(cr);
        cairo_rectangle(cr, a, 0, b - a, h);
        cairo_clip(cr);
        rgb(setup.backColor);
        cairo_move_to(cr, x0, top + fe.ascent);
        cairo_show_text(cr, all.c_str());
        cairo_restore(cr);
    } else {
        const double cx = double(int(x0 + advanceTo(caret)));
        cairo_set_antialias(cr, CAIRO_ANTIALIAS_NONE);
        rgb(setup.textColor);
        cairo_rectangle(cr, cx, top, 1, fe.ascent + fe.descent);
        cairo_fill(cr);
    }
    cairo_destroy(cr);
    view.put(window, s, Rect{0, 0, w, h});
    cairo_surface_destroy(s);
}

void X11LineEditor::deleteSelection() {
    text.erase(selectionStart, selectionEnd - selectionStart);
    caret = selectionStart;
    selectionEnd = selectionStart;
}

void X11LineEditor::key(EditKey action, char character) {
    const bool selected = selectionEnd > selectionStart;
    switch (action) {
    case EditKey::character:
        if (selected) deleteSelection();
        if (text.size() < size_t(setup.maxLength)) {
            text.insert(caret, 1, character);
            ++caret;
        }
        break;
    case EditKey::backspace:
        if (selected)
            deleteSelection();
        else if (caret > 0)
            text.erase(--caret, 1);
        break;
    case EditKey::del:
        if (selected)
            deleteSelection();
        else if (caret < text.size())
            text.erase(caret, 1);
        break;
    case EditKey::left:
        caret = selected ? selectionStart : (caret > 0 ? caret - 1 : 0);
        break;
    case EditKey::right:
        caret = selected ? selectionEnd : (caret < text.size() ? caret + 1 : caret);
        break;
    case EditKey::home:
        caret = 0;
        break;
    case EditKey::end:
        caret = text.size();
        break;
    case EditKey::commit:
        done();
        return;
    case EditKey::cancel:
        text = initial;
        done();
        return;
    case EditKey::none:
        return;
    }
    selectionStart = selectionEnd = 0;
    paint();
}

void X11LineEditor::pressAt(int x) {
    // The caret goes to the character boundary nearest to the press.
    const int w = setup.frame.width() > 0 ? setup.frame.width() : 1;
    const int h = setup.frame.height() > 0 ? setup.frame.height() : 1;
    cairo_surface_t* s = cairo_image_surface_create(CAIRO_FORMAT_RGB24, w, h);
    cairo_t* cr = cairo_create(s);
    selectFont(cr, setup.font, fontEntry(setup.font).height, true);
    const double x0 = origin; // as the text was last shown
    size_t best = 0;
    double bestDistance = 1e9;
    for (size_t i = 0; i <= text.size(); ++i) {
        const std::string part = latin1ToUtf8(text.substr(0, i).c_str());
        cairo_text_extents_t pe;
        cairo_text_extents(cr, part.c_str(), &pe);
        const double d = std::abs(x0 + pe.x_advance - x);
        if (d < bestDistance) {
            bestDistance = d;
            best = i;
        }
    }
    cairo_destroy(cr);
    cairo_surface_destroy(s);
    caret = best;
    selectionStart = selectionEnd = 0;
    XWindowAttributes state;
    if (view.connected() && XGetWindowAttributes(view.display, window, &state) && state.map_state == IsViewable)
        XSetInputFocus(view.display, window, RevertToParent, CurrentTime);
    paint();
}

} // namespace vl::x11

// ---------------------------------------------------------------------------------------

namespace vl {

NativeView* createNativeView(void* parentWindow, const Rect& size, NativeViewClient* client) {
    if (!parentWindow || !client) return nullptr;
    try {
        auto view = std::make_unique<x11::X11View>(client);
        if (!view->create(Window(reinterpret_cast<uintptr_t>(parentWindow)), size.width(), size.height()))
            return nullptr;
        return view.release();
    } catch (...) {
        return nullptr;
    }
}

uint32_t tickCount() {
    using namespace std::chrono;
    return uint32_t(duration_cast<milliseconds>(steady_clock::now().time_since_epoch()).count());
}

void sleepMilliseconds(uint32_t milliseconds) { std::this_thread::sleep_for(std::chrono::milliseconds(milliseconds)); }

uint32_t doubleClickTime() { return 400; }

void* attachUiThread() {
    static int token;
    return &token;
}

void detachUiThread(void*) {}

} // namespace vl
