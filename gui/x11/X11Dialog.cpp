#include "gui/x11/X11Dialog.h"

#include <X11/Xatom.h>
#include <X11/Xutil.h>
#include <X11/keysym.h>
#include <poll.h>

#include <cstdlib>
#include <vector>

#include "gui/x11/X11Backend.h"
#include "gui/x11/X11Connection.h"

namespace vl::x11dialog {

using x11::ErrorTrap;

namespace {

constexpr int kWidth = 400;
constexpr int kMargin = 14;
constexpr int kLineHeight = 17;
constexpr int kFieldHeight = 24;
constexpr int kButtonWidth = 84, kButtonHeight = 26;

// Colours of the panel: the name field's khaki and olive.
constexpr double kBack[3] = {186 / 255.0, 195 / 255.0, 137 / 255.0};
constexpr double kInk[3] = {44 / 255.0, 50 / 255.0, 26 / 255.0};
constexpr double kField[3] = {232 / 255.0, 236 / 255.0, 210 / 255.0};
constexpr double kButton[3] = {118 / 255.0, 124 / 255.0, 84 / 255.0};
constexpr double kButtonText[3] = {240 / 255.0, 236 / 255.0, 210 / 255.0};
constexpr double kHint[3] = {150 / 255.0, 40 / 255.0, 24 / 255.0};

struct Box {
    int x, y, w, h;
    bool contains(int px, int py) const { return px >= x && px < x + w && py >= y && py < y + h; }
};

class Dialog {
public:
    Dialog(Display* d, Request& r) : display(d), request(r) {}

    int run()
    {
        buttonCount = request.buttons[1] ? 2 : 1;
        layout();
        const int screen = DefaultScreen(display);
        const int x = (DisplayWidth(display, screen) - kWidth) / 2;
        const int y = (DisplayHeight(display, screen) - height) / 3;
        XSetWindowAttributes a{};
        a.event_mask = ExposureMask | ButtonPressMask | ButtonReleaseMask | KeyPressMask | StructureNotifyMask;
        a.background_pixel = 0xBAC389;
        window = XCreateWindow(display, RootWindow(display, screen), x, y, kWidth, height, 0, CopyFromParent,
                               InputOutput, CopyFromParent, CWEventMask | CWBackPixel, &a);
        if (!window) return -2;
        XStoreName(display, window, request.title);
        Atom deleteWindow = XInternAtom(display, "WM_DELETE_WINDOW", False);
        XSetWMProtocols(display, window, &deleteWindow, 1);
        Atom type = XInternAtom(display, "_NET_WM_WINDOW_TYPE", False);
        Atom dialogType = XInternAtom(display, "_NET_WM_WINDOW_TYPE_DIALOG", False);
        XChangeProperty(display, window, type, XA_ATOM, 32, PropModeReplace,
                        reinterpret_cast<unsigned char*>(&dialogType), 1);
        Atom state = XInternAtom(display, "_NET_WM_STATE", False);
        Atom modal = XInternAtom(display, "_NET_WM_STATE_MODAL", False);
        XChangeProperty(display, window, state, XA_ATOM, 32, PropModeReplace, reinterpret_cast<unsigned char*>(&modal),
                        1);
        XSizeHints hints{};
        hints.flags = PPosition | PMinSize | PMaxSize;
        hints.x = x;
        hints.y = y;
        hints.min_width = hints.max_width = kWidth;
        hints.min_height = hints.max_height = height;
        XSetWMNormalHints(display, window, &hints);
        if (request.owner) {
            // the owner may be gone or foreign: its errors are not fatal
            ErrorTrap trap(display);
            XSetTransientForHint(display, window, request.owner);
        }
        XMapRaised(display, window);
        // drawn in memory and put on the window as an image (no cairo device per display)
        surface = cairo_image_surface_create(CAIRO_FORMAT_RGB24, kWidth, height);
        copier.create(display, window, DefaultVisual(display, screen), DefaultDepth(display, screen));

        int answer = -1;
        int pressed = -1;
        for (bool done = false; !done;) {
            if (!nextEvent()) {
                // the connection was lost (the dialog's client killed): no further call
                cairo_surface_destroy(surface);
                surface = nullptr;
                copier.destroy();
                return -1;
            }
            XEvent e;
            XNextEvent(display, &e);
            switch (e.type) {
            case MapNotify: {
                ErrorTrap trap(display);
                XSetInputFocus(display, window, RevertToParent, CurrentTime);
                break;
            }
            case Expose:
                if (e.xexpose.count == 0) draw();
                break;
            case ButtonPress:
                if (e.xbutton.button == 1) pressed = buttonAt(e.xbutton.x, e.xbutton.y);
                break;
            case ButtonRelease:
                if (e.xbutton.button == 1 && pressed >= 0 && buttonAt(e.xbutton.x, e.xbutton.y) == pressed) {
                    if (accept(pressed)) {
                        answer = pressed;
                        done = true;
                    }
                }
                pressed = -1;
                break;
            case KeyPress: {
                char text[16] = {};
                KeySym sym = NoSymbol;
                const int n = XLookupString(&e.xkey, text, sizeof text - 1, &sym, nullptr);
                if (sym == XK_Return || sym == XK_KP_Enter) {
                    if (accept(0)) {
                        answer = 0;
                        done = true;
                    }
                } else if (sym == XK_Escape) {
                    answer = -1;
                    done = true;
                } else if (request.withField && sym == XK_BackSpace) {
                    if (!request.field.empty()) request.field.pop_back();
                    hint.clear();
                    draw();
                } else if (request.withField && n == 1 && static_cast<unsigned char>(text[0]) >= 32 &&
                           text[0] != 127 && request.field.size() < 1000) {
                    request.field.push_back(text[0]);
                    hint.clear();
                    draw();
                }
                break;
            }
            case ClientMessage:
                if (static_cast<Atom>(e.xclient.data.l[0]) == deleteWindow) {
                    answer = -1;
                    done = true;
                }
                break;
            case DestroyNotify:
                if (e.xdestroywindow.window == window) {
                    window = 0;
                    answer = -1;
                    done = true;
                }
                break;
            default:
                break;
            }
        }
        // the window may be gone already (destroyed from outside): its errors are not fatal
        cairo_surface_destroy(surface);
        surface = nullptr;
        ErrorTrap trap(display);
        copier.destroy();
        if (window) XDestroyWindow(display, window);
        return answer;
    }

private:
    // Waits until an event is queued; false when the connection was lost.
    bool nextEvent()
    {
        for (;;) {
            if (x11::connectionLost(display)) return false;
            if (XPending(display) > 0) return true;
            if (x11::connectionLost(display)) return false;
            pollfd wait{ConnectionNumber(display), POLLIN, 0};
            poll(&wait, 1, 100);
        }
    }

    // Breaks the message into lines that fit the window.
    void layout()
    {
        cairo_surface_t* probe = cairo_image_surface_create(CAIRO_FORMAT_RGB24, 1, 1);
        cairo_t* cr = cairo_create(probe);
        font(cr);
        const std::string text = request.message ? request.message : "";
        std::string line, word;
        auto width = [&](const std::string& s) {
            cairo_text_extents_t e;
            cairo_text_extents(cr, s.c_str(), &e);
            return e.x_advance;
        };
        auto flushWord = [&] {
            if (word.empty()) return;
            const std::string candidate = line.empty() ? word : line + " " + word;
            if (!line.empty() && width(candidate) > kWidth - 2 * kMargin) {
                lines.push_back(line);
                line = word;
            } else {
                line = candidate;
            }
            word.clear();
        };
        for (char c : text) {
            if (c == ' ') {
                flushWord();
            } else if (c == '\n') {
                flushWord();
                lines.push_back(line);
                line.clear();
            } else {
                word.push_back(c);
            }
        }
        flushWord();
        if (!line.empty() || lines.empty()) lines.push_back(line);
        cairo_destroy(cr);
        cairo_surface_destroy(probe);

        int y = kMargin + static_cast<int>(lines.size()) * kLineHeight + 6;
        if (request.withField) {
            fieldBox = {kMargin, y, kWidth - 2 * kMargin, kFieldHeight};
            y += kFieldHeight + kLineHeight + 4; // room for a hint
        }
        const int total = buttonCount * kButtonWidth + (buttonCount - 1) * 10;
        for (int i = 0; i < buttonCount; ++i)
            buttonBox[i] = {kWidth - kMargin - total + i * (kButtonWidth + 10), y, kButtonWidth, kButtonHeight};
        height = y + kButtonHeight + kMargin;
    }

    static void font(cairo_t* cr)
    {
        cairo_select_font_face(cr, "sans-serif", CAIRO_FONT_SLANT_NORMAL, CAIRO_FONT_WEIGHT_NORMAL);
        cairo_set_font_size(cr, 12.5);
    }

    int buttonAt(int x, int y) const
    {
        for (int i = 0; i < buttonCount; ++i)
            if (buttonBox[i].contains(x, y)) return i;
        return -1;
    }

    bool accept(int button)
    {
        if (button != 0 || !request.withField || !request.check) return true;
        hint = request.check(request.field, request.checkData);
        if (hint.empty()) return true;
        draw();
        return false;
    }

    void draw()
    {
        if (!surface) return;
        cairo_t* cr = cairo_create(surface);
        cairo_set_source_rgb(cr, kBack[0], kBack[1], kBack[2]);
        cairo_paint(cr);
        font(cr);
        cairo_set_source_rgb(cr, kInk[0], kInk[1], kInk[2]);
        for (std::size_t i = 0; i < lines.size(); ++i) {
            cairo_move_to(cr, kMargin, kMargin + 12 + static_cast<double>(i) * kLineHeight);
            cairo_show_text(cr, lines[i].c_str());
        }
        if (request.withField) {
            cairo_rectangle(cr, fieldBox.x + 0.5, fieldBox.y + 0.5, fieldBox.w - 1, fieldBox.h - 1);
            cairo_set_source_rgb(cr, kField[0], kField[1], kField[2]);
            cairo_fill_preserve(cr);
            cairo_set_source_rgb(cr, kInk[0], kInk[1], kInk[2]);
            cairo_set_line_width(cr, 1);
            cairo_stroke(cr);
            // the end of a long path stays in view
            cairo_save(cr);
            cairo_rectangle(cr, fieldBox.x + 3, fieldBox.y + 2, fieldBox.w - 6, fieldBox.h - 4);
            cairo_clip(cr);
            cairo_text_extents_t e;
            cairo_text_extents(cr, request.field.c_str(), &e);
            const double room = fieldBox.w - 12;
            const double start = fieldBox.x + 5 - (e.x_advance > room ? e.x_advance - room : 0);
            cairo_move_to(cr, start, fieldBox.y + 16);
            cairo_show_text(cr, request.field.c_str());
            const double caret = start + e.x_advance + 1;
            cairo_move_to(cr, caret + 0.5, fieldBox.y + 5);
            cairo_line_to(cr, caret + 0.5, fieldBox.y + fieldBox.h - 5);
            cairo_stroke(cr);
            cairo_restore(cr);
            if (!hint.empty()) {
                cairo_set_source_rgb(cr, kHint[0], kHint[1], kHint[2]);
                cairo_move_to(cr, kMargin, fieldBox.y + fieldBox.h + 14);
                cairo_show_text(cr, hint.c_str());
            }
        }
        for (int i = 0; i < buttonCount; ++i) {
            const Box& b = buttonBox[i];
            cairo_rectangle(cr, b.x + 0.5, b.y + 0.5, b.w - 1, b.h - 1);
            cairo_set_source_rgb(cr, kButton[0], kButton[1], kButton[2]);
            cairo_fill_preserve(cr);
            cairo_set_source_rgb(cr, kInk[0], kInk[1], kInk[2]);
            cairo_set_line_width(cr, i == 0 ? 2 : 1);
            cairo_stroke(cr);
            cairo_text_extents_t e;
            cairo_text_extents(cr, request.buttons[i], &e);
            cairo_set_source_rgb(cr, kButtonText[0], kButtonText[1], kButtonText[2]);
            cairo_move_to(cr, b.x + (b.w - e.x_advance) / 2, b.y + 17);
            cairo_show_text(cr, request.buttons[i]);
        }
        cairo_destroy(cr);
        cairo_surface_flush(surface);
        show();
    }

    // Copies the drawing to the window.
    void show()
    {
        if (!window || x11::connectionLost(display)) return;
        ErrorTrap trap(display);
        copier.put(window, surface, Rect{0, 0, kWidth, height});
    }

    Display* display;
    Request& request;
    Window window = 0;
    x11::ImageCopier copier;
    cairo_surface_t* surface = nullptr;
    std::vector<std::string> lines;
    std::string hint;
    int buttonCount = 1;
    Box fieldBox{};
    Box buttonBox[2]{};
    int height = 100;
};

} // namespace

int run(Request& request)
{
    const char* name = std::getenv("DISPLAY");
    if (!name || !*name) return -2;
    Display* display = x11::openConnection();
    if (!display) return -2;
    int answer = -2;
    try {
        Dialog dialog(display, request);
        answer = dialog.run();
    } catch (...) {
        answer = -2;
    }
    x11::closeConnection(display);
    return answer;
}

} // namespace vl::x11dialog
