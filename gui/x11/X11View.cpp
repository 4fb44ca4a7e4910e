// The X11 native view: a child window of the host's window (or a top-level window) on a
// connection of its own, events handled when the editor idles, pointer and modifier state
// polled with XQueryPointer; the line editor and the XDND drops have files of their own.
#include "gui/x11/X11View.h"

#include <X11/Xatom.h>
#include <X11/Xutil.h>
#include <X11/cursorfont.h>
#include <poll.h>

#include <chrono>
#include <cstdlib>
#include <memory>
#include <new>
#include <thread>

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

} // namespace

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
        if (inputContext) XDestroyIC(inputContext);
        if (inputMethod) XCloseIM(inputMethod);
        copier.destroy();
        XSync(display, False);
    } else {
        copier.destroy();
    }
    closeConnection(display);
    if (backbuffer) cairo_surface_destroy(backbuffer);
}

bool X11View::create(Window parentWindow, int32_t w, int32_t h, const TopLevel* top) {
    display = openConnection();
    if (!display) return false;
    width = w > 0 ? w : 1;
    height = h > 0 ? h : 1;
    topLevel = top != nullptr;
    utf8Text = top && top->utf8;
    {
        ErrorTrap trap(display);
        if (!createWindow(parentWindow, top) || trap.failed()) return false;
    }
    if (top && top->owner) {
        // the owner may be gone or foreign: its errors are not fatal
        ErrorTrap trap(display);
        XSetTransientForHint(display, window, top->owner);
    }
    {
        ErrorTrap trap(display);
        if (top) XMapRaised(display, window);
        else XMapWindow(display, window);
        XWindowAttributes own;
        if (!XGetWindowAttributes(display, window, &own) || trap.failed()) return false;
        if (!copier.create(display, window, own.visual, own.depth) || trap.failed()) return false;
    }
    backbuffer = cairo_image_surface_create(CAIRO_FORMAT_RGB24, width, height);
    if (cairo_surface_status(backbuffer) != CAIRO_STATUS_SUCCESS) return false;
    if (utf8Text) {
        // Only for its lookup of characters (any keysym to UTF-8); without one, the keysyms
        // that are Unicode or Latin-1 characters still type.
        inputMethod = XOpenIM(display, nullptr, nullptr, nullptr);
        if (inputMethod)
            inputContext = XCreateIC(inputMethod, XNInputStyle, XIMPreeditNothing | XIMStatusNothing, XNClientWindow,
                                     window, XNFocusWindow, window, nullptr);
    }
    alive = true;
    const char* names[] = {"XdndAware",    "XdndEnter",      "XdndPosition",  "XdndStatus",
                           "XdndLeave",    "XdndDrop",       "XdndFinished",  "XdndSelection",
                           "XdndTypeList", "XdndActionCopy", "text/uri-list", "text/plain;charset=utf-8",
                           "text/plain",   "UTF8_STRING",    "VL_DROP_DATA"};
    Atom atoms[15];
    XInternAtoms(display, const_cast<char**>(names), 15, False, atoms);
    aXdndAware = atoms[0], aXdndEnter = atoms[1], aXdndPosition = atoms[2], aXdndStatus = atoms[3];
    aXdndLeave = atoms[4], aXdndDrop = atoms[5], aXdndFinished = atoms[6], aXdndSelection = atoms[7];
    aXdndTypeList = atoms[8], aXdndActionCopy = atoms[9], aUriList = atoms[10], aUtf8Text = atoms[11];
    aTextPlain = atoms[12], aUtf8String = atoms[13], aDropData = atoms[14];
    XFlush(display);
    return true;
}

bool X11View::createWindow(Window parentWindow, const TopLevel* top) {
    int x = 0, y = 0;
    if (top) {
        const int screen = DefaultScreen(display);
        parentWindow = RootWindow(display, screen);
        x = (DisplayWidth(display, screen) - width) / 2;
        y = (DisplayHeight(display, screen) - height) / 3;
    } else {
        XWindowAttributes parentAttributes;
        if (!XGetWindowAttributes(display, parentWindow, &parentAttributes)) return false;
    }
    parent = parentWindow;
    XSetWindowAttributes attributes{};
    attributes.event_mask = ExposureMask | ButtonPressMask | ButtonReleaseMask | KeyPressMask | KeyReleaseMask |
                            FocusChangeMask | StructureNotifyMask;
    attributes.background_pixmap = None;
    window = XCreateWindow(display, parent, x, y, unsigned(width), unsigned(height), 0, CopyFromParent, InputOutput,
                           CopyFromParent, CWEventMask | CWBackPixmap, &attributes);
    if (!window || !top) return window != 0;

    XStoreName(display, window, top->title ? top->title : "");
    const char* names[] = {"WM_DELETE_WINDOW", "_NET_WM_WINDOW_TYPE", "_NET_WM_WINDOW_TYPE_DIALOG", "_NET_WM_STATE",
                           "_NET_WM_STATE_MODAL"};
    Atom atoms[5];
    XInternAtoms(display, const_cast<char**>(names), 5, False, atoms);
    aDeleteWindow = atoms[0];
    XSetWMProtocols(display, window, &aDeleteWindow, 1);
    XChangeProperty(display, window, atoms[1], XA_ATOM, 32, PropModeReplace,
                    reinterpret_cast<const unsigned char*>(&atoms[2]), 1);
    XChangeProperty(display, window, atoms[3], XA_ATOM, 32, PropModeReplace,
                    reinterpret_cast<const unsigned char*>(&atoms[4]), 1);
    XSizeHints hints{};
    hints.flags = PPosition | PMinSize | PMaxSize;
    hints.x = x;
    hints.y = y;
    hints.min_width = hints.max_width = width;
    hints.min_height = hints.max_height = height;
    XSetWMNormalHints(display, window, &hints);
    return true;
}

void X11View::waitForEvents(int milliseconds) {
    if (!connected() || XPending(display) > 0) return;
    pollfd wait{ConnectionNumber(display), POLLIN, 0};
    poll(&wait, 1, milliseconds);
}

DrawSurface* X11View::createSurface() {
    if (!alive || !backbuffer) return nullptr;
    auto* surface = new (std::nothrow)
        CairoSurface(cairo_surface_reference(backbuffer), width, height, this, display, window);
    if (surface) surface->setUtf8(utf8Text);
    return surface;
}

void X11View::put(Window target, cairo_surface_t* image, const Rect& r) {
    if (!connected() || !alive || !target || r.right <= r.left || r.bottom <= r.top) return;
    copier.put(target, image, r);
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
    case MapNotify:
        if (topLevel && event.xmap.window == window) {
            ErrorTrap trap(display); // the window may be gone again already
            XSetInputFocus(display, editor ? editor->windowId() : window, RevertToParent, CurrentTime);
        }
        break;
    case FocusOut:
        // The editor of a child view commits when the keyboard focus goes elsewhere (not for
        // the focus moves of pointer grabs).
        if (editor && !topLevel && event.xfocus.window == editor->windowId() && event.xfocus.mode != NotifyGrab &&
            event.xfocus.mode != NotifyUngrab && event.xfocus.detail != NotifyInferior &&
            event.xfocus.detail != NotifyPointer)
            editor->done();
        break;
    case ClientMessage:
        if (topLevel && event.xclient.window == window && event.xclient.format == 32 &&
            Atom(event.xclient.data.l[0]) == aDeleteWindow) {
            XDestroyWindow(display, window); // its DestroyNotify tells the client
            XFlush(display);
            break;
        }
        handleClientMessage(event.xclient);
        break;
    case SelectionNotify:
        handleSelection(event.xselection);
        break;
    case MappingNotify: // the keyboard's layout changed: keys are looked up anew
        XRefreshKeyboardMapping(&event.xmapping);
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

namespace {

// The Unicode character of a keysym: Latin-1 keysyms are their own code points, and the
// keysyms 0x01000000 + U stand for any other; 0 for keys that type no character.
char32_t keysymCharacter(KeySym sym) {
    if ((sym >= 0x20 && sym < 0x7F) || (sym >= 0xA0 && sym <= 0xFF)) return char32_t(sym);
    if ((sym & 0xFF000000UL) == 0x01000000UL) return char32_t(sym & 0x00FFFFFFUL);
    return 0;
}

// The first character of UTF-8 bytes (0 for none or a broken sequence).
char32_t firstCharacter(const unsigned char* p, int n) {
    if (n <= 0) return 0;
    if (p[0] < 0x80) return p[0];
    const int length = p[0] >= 0xF0 ? 4 : p[0] >= 0xE0 ? 3 : p[0] >= 0xC0 ? 2 : 0;
    if (length == 0 || length > n) return 0;
    char32_t c = p[0] & (0x7F >> length);
    for (int i = 1; i < length; ++i) {
        if ((p[i] & 0xC0) != 0x80) return 0;
        c = (c << 6) | (p[i] & 0x3F);
    }
    return c;
}

} // namespace

char32_t X11View::typedCharacter(XKeyEvent& event, KeySym sym) {
    if (inputContext) {
        unsigned char bytes[16] = {};
        KeySym looked = 0;
        Status status = 0;
        const int n = Xutf8LookupString(inputContext, &event, reinterpret_cast<char*>(bytes), sizeof bytes - 1, &looked,
                                        &status);
        if (status == XLookupChars || status == XLookupBoth) return firstCharacter(bytes, n);
        return 0;
    }
    return keysymCharacter(sym);
}

void X11View::handleKey(XKeyEvent& event) {
    char buffer[8] = {};
    KeySym sym = 0;
    const int n = XLookupString(&event, buffer, sizeof buffer, &sym, nullptr);
    // As a host would forward it: a virtual key, or the character typed.
    VstKeyCode key{0, 0, 0};
    switch (sym) {
    case XK_Return:
        key.virt = vkReturn;
        break;
    case XK_KP_Enter:
        key.virt = vkEnter;
        break;
    case XK_Escape:
        key.virt = vkEscape;
        break;
    case XK_BackSpace:
        key.virt = vkBack;
        break;
    case XK_Delete:
    case XK_KP_Delete:
        key.virt = vkDelete;
        break;
    case XK_Left:
    case XK_KP_Left:
        key.virt = vkLeft;
        break;
    case XK_Right:
    case XK_KP_Right:
        key.virt = vkRight;
        break;
    case XK_Home:
    case XK_KP_Home:
        key.virt = vkHome;
        break;
    case XK_End:
    case XK_KP_End:
        key.virt = vkEnd;
        break;
    default:
        if (event.state & ControlMask) break;
        if (utf8Text) key.character = int32_t(typedCharacter(event, sym));
        else if (n == 1) key.character = static_cast<unsigned char>(buffer[0]);
        break;
    }
    if (key.virt == 0 && key.character == 0) return;
    if (client->viewKey(key)) return;
    forwardKey(key, true);
}

bool X11View::forwardKey(const VstKeyCode& key, bool down) {
    if (!editor) return false;
    if (!down) return true; // the key's press was ours
    EditKey action = EditKey::none;
    char32_t character = 0;
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
        const int32_t c = key.character;
        const bool printable = (c >= 0x20 && c < 0x7F) || (c >= 0xA0 && c <= 0xFF) ||
                               (utf8Text && c > 0xFF && c <= 0x10FFFF && !(c >= 0xD800 && c <= 0xDFFF));
        if (printable) {
            action = EditKey::character;
            character = char32_t(c);
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
    static const unsigned int shapes[7] = {0,
                                           XC_watch,
                                           XC_sb_h_double_arrow,
                                           XC_sb_v_double_arrow,
                                           XC_fleur,
                                           XC_bottom_left_corner,
                                           XC_bottom_right_corner};
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