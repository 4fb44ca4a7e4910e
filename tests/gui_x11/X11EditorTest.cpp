// A test host opens a ToolkitEditor in a parent window of its own on a real X server and
// works it as a person would, with XTest: quick clicks, drags, the wheel, keys, drops.
// Pixels are read back from the panel's window. Without a display the tests are skipped.
// GoogleTest and the toolkit come before the X headers, whose macros (None, Bool, ...)
// would clash with them.
#include <gtest/gtest.h>

#include <atomic>
#include <cstdlib>
#include <cstring>
#include <thread>

#include "GuiTestSupport.h"
#include "IdleWatchdog.h"
#include "tests/support/Skip.h"
#include "tests/support/X11Driver.h"

#include <X11/Xatom.h>
#include <X11/Xlib.h>
#include <X11/Xutil.h>
#include <X11/extensions/XTest.h>
#include <X11/keysym.h>
#include <cairo.h>
#include <dirent.h>

using namespace guitest;

namespace {

// Two threads use X in the drag tests (each with its own connection).
const bool xThreads = XInitThreads() != 0;

enum Tags : int32_t {
    kKnobTag = 2,
    kToggleTag = 33,
    kMomentaryTag = 28,
    kFieldTag = 27,
    kStripTag = 5,
    kDigitTag = 18
};

// A widget that takes drops.
class DropTarget : public Widget {
public:
    explicit DropTarget(const Rect& r) : Widget(r) {}
    bool onDrop(char** items, int32_t count, int32_t kind, Point& where) override {
        dropped.clear();
        this->kind = kind;
        this->count = count;
        this->where = where;
        if (kind == 0)
            for (int32_t i = 0; i < count; ++i) dropped.push_back(items[i]);
        else dropped.push_back(std::string(items[0], size_t(count)));
        return true;
    }
    std::vector<std::string> dropped;
    int32_t kind = -1, count = 0;
    Point where;
};

int openDescriptors() {
    int n = 0;
    if (DIR* d = opendir("/proc/self/fd")) {
        while (readdir(d)) ++n;
        closedir(d);
    }
    return n;
}

struct X11Fixture : ::testing::Test {
    RecordingListener listener; // outlives the controls
    IdleWatchdog watchdog{std::chrono::seconds(20)};
    TestFrame frame;
    TestEditor* editor = new TestEditor(&frame, 300, 200); // deleted by the frame
    Display* d = nullptr; // the test host's own connection
    Window parent = 0;
    // Widgets of the standard panel (see build()).
    RotaryKnob* knob = nullptr;
    ToggleButton* toggle = nullptr;
    MomentaryButton* momentary = nullptr;
    TextField* field = nullptr;
    FilmstripKnob* strip = nullptr;
    DigitDisplay* digits = nullptr;
    DropTarget* dropTarget = nullptr;
    Picture* backdrop = nullptr;
    Picture* togglePicture = nullptr;
    Picture* stripPicture = nullptr;
    Picture* digitPicture = nullptr;

    void SetUp() override {
        ASSERT_TRUE(xThreads);
        // A server that has only just been started may refuse the first connections.
        d = vltest::x11::openDisplay(30, 100);
        if (!d) VL_SKIP_UNAVAILABLE("no X display");
        int event, error, major, minor;
        ASSERT_TRUE(XTestQueryExtension(d, &event, &error, &major, &minor)) << "XTest missing";
        TestHost::reset();
        setGlobalKnobMode(0);
        installTestPictures();
        backdrop = new Picture(kBackdrop);
        togglePicture = new Picture(kToggle);
        stripPicture = new Picture(kStrip);
        digitPicture = new Picture(kDigits);
        parent = XCreateSimpleWindow(d, DefaultRootWindow(d), 0, 0, 400, 300, 0, 0, 0x202020);
        XMapWindow(d, parent);
        XSync(d, False);
        editor->build = [this](RootView& r) { build(r); };
    }

    void TearDown() override {
        if (!d) return;
        frame.dispatcher(effEditClose, 0, 0, nullptr, 0.0f);
        for (Picture* p : {backdrop, togglePicture, stripPicture, digitPicture})
            if (p) p->release();
        XDestroyWindow(d, parent);
        XCloseDisplay(d);
        setGlobalKnobMode(0);
    }

    // The panel: a page (group) with the backdrop holding every control.
    void build(RootView& r) {
        r.setBackground(backdrop);
        auto* page = new GroupView(Rect{0, 0, 300, 200}, &r, backdrop);
        knob = new RotaryKnob(Rect{20, 20, 60, 60}, &listener, kKnobTag, nullptr, nullptr, Point{});
        page->addView(knob);
        toggle = new ToggleButton(Rect{80, 20, 88, 28}, &listener, kToggleTag, togglePicture);
        page->addView(toggle);
        momentary = new MomentaryButton(Rect{100, 20, 108, 28}, &listener, kMomentaryTag, 8, togglePicture, Point{});
        page->addView(momentary);
        field = new TextField(Rect{150, 100, 280, 120}, &listener, kFieldTag, "Strings", nullptr, 0);
        field->setBackColor(Color{186, 195, 137, 0});
        field->setFontColor(Color{126, 132, 91, 0});
        page->addView(field);
        strip = new FilmstripKnob(Rect{200, 20, 206, 26}, &listener, kStripTag, kStripFrames, kStripFrameSize,
                                  stripPicture, Point{});
        strip->setValue(0.5f);
        page->addView(strip);
        const int32_t lefts[3] = {200, 210, 220}, tops[3] = {40, 40, 40};
        digits = new DigitDisplay(Rect{200, 40, 230, 51}, &listener, kDigitTag, 705, 3, lefts, tops, 10, 11,
                                  digitPicture);
        page->addView(digits);
        dropTarget = new DropTarget(Rect{20, 130, 120, 190});
        page->addView(dropTarget);
        r.addView(page);
    }

    void idle() {
        watchdog.run([&] { frame.dispatcher(effEditIdle, 0, 0, nullptr, 0.0f); });
    }

    // Opens the panel as a host does and idles until it has been painted.
    void open() {
        ASSERT_EQ(frame.dispatcher(effEditOpen, 0, 0, reinterpret_cast<void*>(parent), 0.0f), 1);
        ASSERT_NE(editor->getRoot(), nullptr);
        ASSERT_NE(editor->getRoot()->getView(), nullptr) << "no native view";
        for (int i = 0; i < 200 && editor->getRoot()->isFirstDrawPending(); ++i) {
            idle();
            std::this_thread::sleep_for(std::chrono::milliseconds(5));
        }
        ASSERT_FALSE(editor->getRoot()->isFirstDrawPending()) << "never exposed";
        idle();
        idle();
    }

    Window viewWindow() { return Window(reinterpret_cast<uintptr_t>(editor->getRoot()->getView()->nativeHandle())); }

    Point screen(Point p) {
        int x = 0, y = 0;
        Window child;
        XTranslateCoordinates(d, viewWindow(), DefaultRootWindow(d), p.h, p.v, &x, &y, &child);
        return Point{x, y};
    }

    void moveTo(Display* c, Point p) {
        const Point s = screen(p);
        XTestFakeMotionEvent(c, -1, s.h, s.v, 0);
    }
    // Press and release, both sent before the panel's next idle.
    void quickClick(Point p, unsigned button = 1, std::vector<KeySym> modifiers = {}) {
        moveTo(d, p);
        for (KeySym k : modifiers) XTestFakeKeyEvent(d, XKeysymToKeycode(d, k), True, 0);
        XTestFakeButtonEvent(d, button, True, 0);
        XTestFakeButtonEvent(d, button, False, 0);
        for (KeySym k : modifiers) XTestFakeKeyEvent(d, XKeysymToKeycode(d, k), False, 0);
        XSync(d, False);
        std::this_thread::sleep_for(std::chrono::milliseconds(30));
    }
    void typeKey(KeySym k) {
        XTestFakeKeyEvent(d, XKeysymToKeycode(d, k), True, 0);
        XTestFakeKeyEvent(d, XKeysymToKeycode(d, k), False, 0);
        XSync(d, False);
    }
    void settle() {
        std::this_thread::sleep_for(std::chrono::milliseconds(30));
        idle();
    }

    Color pixel(int32_t h, int32_t v) {
        Color c{1, 2, 3, 4};
        std::unique_ptr<DrawSurface> s(editor->getRoot()->getView()->createSurface());
        if (s) s->readPixel(h, v, &c);
        return c;
    }

    std::string fieldText() {
        char text[300];
        field->getText(text, sizeof text);
        return text;
    }

    // A drag performed by a second connection while the panel idles: press at from, move
    // in steps through the points, release. Modifiers are held throughout.
    void drag(Point from, std::vector<Point> path, std::vector<KeySym> modifiers = {}) {
        std::atomic<bool> done{false};
        std::vector<Point> screenPath;
        for (auto& p : path) screenPath.push_back(screen(p));
        const Point start = screen(from);
        std::thread user([&] {
            Display* c = XOpenDisplay(nullptr);
            for (KeySym k : modifiers) XTestFakeKeyEvent(c, XKeysymToKeycode(c, k), True, 0);
            XTestFakeMotionEvent(c, -1, start.h, start.v, 0);
            XTestFakeButtonEvent(c, 1, True, 0);
            XSync(c, False);
            std::this_thread::sleep_for(std::chrono::milliseconds(150));
            for (auto& p : screenPath) {
                XTestFakeMotionEvent(c, -1, p.h, p.v, 0);
                XSync(c, False);
                std::this_thread::sleep_for(std::chrono::milliseconds(60));
            }
            std::this_thread::sleep_for(std::chrono::milliseconds(150));
            XTestFakeButtonEvent(c, 1, False, 0);
            for (KeySym k : modifiers) XTestFakeKeyEvent(c, XKeysymToKeycode(c, k), False, 0);
            XSync(c, False);
            XCloseDisplay(c);
            done = true;
        });
        while (!done) {
            idle(); // the press is handled here and tracked until the release
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
        }
        user.join();
        for (int i = 0; i < 3; ++i) settle();
    }
};

} // namespace

TEST_F(X11Fixture, PixelsOfTheWindowMatchThePictures) {
    open();
    // Backdrop where no control is, the filmstrip frame of 0.5 (frame 31), the digits 7 0 5,
    // the toggle's off image.
    const struct {
        Point p;
        Color c;
    } cases[] = {
        {{295, 195}, backdropColor(295, 195)},
        {{5, 5}, backdropColor(5, 5)},
        {{200, 20}, stripColor(31)},
        {{205, 25}, stripColor(31)},
        {{205, 45}, digitColor(7)},
        {{215, 45}, digitColor(0)},
        {{225, 50}, digitColor(5)},
        {{84, 24}, kToggleOff},
        {{104, 24}, kToggleOff},
    };
    for (auto& c : cases) {
        const Color got = pixel(c.p.h, c.p.v);
        EXPECT_TRUE(got.sameRgb(c.c)) << c.p.h << "," << c.p.v << ": " << int(got.red) << "," << int(got.green) << ","
                                      << int(got.blue);
    }
    // A changed value is drawn at the next idle.
    strip->setValue(1.5f);
    digits->setValue(1234.0f);
    idle();
    EXPECT_TRUE(pixel(203, 23).sameRgb(stripColor(63)));
    for (int32_t h : {205, 215, 225}) EXPECT_TRUE(pixel(h, 45).sameRgb(digitColor(9)));

    if (const char* shot = std::getenv("VL_GUI_SCREENSHOT")) {
        cairo_surface_t* image = cairo_image_surface_create(CAIRO_FORMAT_RGB24, 300, 200);
        unsigned char* data = cairo_image_surface_get_data(image);
        const int stride = cairo_image_surface_get_stride(image);
        for (int v = 0; v < 200; ++v)
            for (int h = 0; h < 300; ++h) {
                const Color c = pixel(h, v);
                reinterpret_cast<uint32_t*>(data + v * stride)[h] = uint32_t(c.red) << 16 | uint32_t(c.green) << 8 |
                                                                    c.blue;
            }
        cairo_surface_mark_dirty(image);
        cairo_surface_write_to_png(image, shot);
        cairo_surface_destroy(image);
    }
}

TEST_F(X11Fixture, ExposeRepaintsTheWholePanel) {
    open();
    GC gc = XCreateGC(d, viewWindow(), 0, nullptr);
    XSetForeground(d, gc, 0);
    XFillRectangle(d, viewWindow(), gc, 0, 0, 300, 200);
    XFreeGC(d, gc);
    XSync(d, False);
    EXPECT_TRUE(pixel(205, 25).sameRgb(kBlackColor));
    XClearArea(d, viewWindow(), 0, 0, 0, 0, True); // the window system asks for a repaint
    XSync(d, False);
    settle();
    EXPECT_TRUE(pixel(205, 25).sameRgb(stripColor(31)));
    EXPECT_TRUE(pixel(295, 195).sameRgb(backdropColor(295, 195)));
}

TEST_F(X11Fixture, QuickClicksBetweenTwoIdlesStillAct) {
    open();
    listener.changes.clear();
    quickClick(Point{84, 24});
    idle();
    EXPECT_EQ(listener.values(kToggleTag), (std::vector<float>{1.0f}));
    EXPECT_TRUE(pixel(84, 24).sameRgb(kToggleOn));

    quickClick(Point{104, 24});
    idle();
    EXPECT_EQ(listener.values(kMomentaryTag), (std::vector<float>{1.0f, 0.0f}));
    EXPECT_EQ(TestHost::edits(), "b28 e28 ");

    // A quick Ctrl-click on the knob sets the default, without edit calls.
    TestHost::reset();
    knob->setDefault(0.25f);
    quickClick(Point{40, 40}, 1, {XK_Control_L});
    idle();
    EXPECT_EQ(knob->getValue(), 0.25f);
    EXPECT_EQ(TestHost::edits(), "");
    EXPECT_EQ(listener.changes.back().state, kLeftButton | kControl);

    // A quick circular click at the top of the knob: the middle of the sweep, also when the
    // pointer has moved on before the panel's idle.
    quickClick(Point{40, 22});
    moveTo(d, Point{58, 58});
    XSync(d, False);
    idle();
    EXPECT_NEAR(knob->getValue(), 0.5f, 0.02f);
    EXPECT_EQ(TestHost::edits(), "b2 e2 ");
}

TEST_F(X11Fixture, LinearDragFollowsThePointerAlsoOutsideThePanel) {
    open();
    EXPECT_EQ(frame.dispatcher(effSetEditKnobMode, 0, 2, nullptr, 0.0f), 1);
    const struct {
        const char* name;
        std::vector<Point> path;
        std::vector<KeySym> modifiers;
        float value;
    } cases[] = {
        {"100 pixels right", {{60, 40}, {90, 40}, {140, 40}}, {}, 0.5f},
        {"30 up and 120 right with Shift", {{40, 10}, {100, 10}, {160, 10}}, {XK_Shift_L}, 0.5f},
        {"out of the panel to the right", {{200, 40}, {390, 40}}, {}, 1.0f},
    };
    for (auto& c : cases) {
        knob->setValue(0.0f);
        idle();
        TestHost::reset();
        listener.changes.clear();
        drag(Point{40, 40}, c.path, c.modifiers);
        EXPECT_NEAR(knob->getValue(), c.value, 1e-5f) << c.name;
        ASSERT_FALSE(listener.values(kKnobTag).empty()) << c.name;
        EXPECT_NEAR(listener.values(kKnobTag).back(), c.value, 1e-5f) << c.name;
        EXPECT_EQ(TestHost::edits(), "b2 e2 ") << c.name;
        EXPECT_GT(TestHost::count(audioMasterIdle), 0) << c.name << ": the host keeps its idle during the drag";
    }
}

TEST_F(X11Fixture, WheelButtonsReachTheEditor) {
    open();
    knob->setValue(0.5f);
    quickClick(Point{40, 40}, 4);
    idle();
    EXPECT_NEAR(knob->getValue(), 0.6f, 1e-6f);
    quickClick(Point{40, 40}, 5);
    quickClick(Point{40, 40}, 5);
    idle();
    EXPECT_NEAR(knob->getValue(), 0.4f, 1e-6f);
    quickClick(Point{40, 40}, 7);
    idle();
    EXPECT_NEAR(knob->getValue(), 0.5f, 1e-6f);
    EXPECT_EQ(TestHost::edits(), "");
}

TEST_F(X11Fixture, TextFieldTypingReturnEscapeAndFocusLoss) {
    open();
    const struct {
        const char* name;
        std::vector<KeySym> keys;
        bool clickAway; // end by a press elsewhere on the panel instead of a key
        const char* text;
        size_t reports;
    } cases[] = {
        {"typing replaces the selected text", {XK_a, XK_b, XK_Return}, false, "ab", 1},
        {"escape cancels", {XK_x, XK_Escape}, false, "ab", 0},
        {"end, backspace, home, delete", {XK_End, XK_BackSpace, XK_Home, XK_Delete, XK_c, XK_Return}, false, "c", 1},
        {"focus loss commits", {XK_End, XK_d}, true, "cd", 1},
        {"unchanged", {XK_Return}, false, "cd", 0},
    };
    XSetInputFocus(d, parent, RevertToParent, CurrentTime); // the host's window has the keys
    XSync(d, False);
    for (auto& c : cases) {
        listener.changes.clear();
        quickClick(Point{200, 110});
        idle();
        ASSERT_TRUE(field->isEditing()) << c.name;
        Window focus = 0;
        int revert = 0;
        XGetInputFocus(d, &focus, &revert);
        EXPECT_NE(focus, parent) << c.name << ": the editor takes the keyboard";
        for (KeySym k : c.keys) typeKey(k);
        if (c.clickAway) quickClick(Point{250, 180});
        settle();
        EXPECT_FALSE(field->isEditing()) << c.name;
        EXPECT_EQ(fieldText(), c.text) << c.name;
        EXPECT_EQ(listener.values(kFieldTag).size(), c.reports) << c.name;
        EXPECT_EQ(editor->getRoot()->getFocus(), nullptr) << c.name;
        XGetInputFocus(d, &focus, &revert);
        EXPECT_EQ(focus, parent) << c.name << ": the keyboard goes back to the host's window";
    }
}

TEST_F(X11Fixture, KeysForwardedByTheHostEditTheField) {
    open();
    EXPECT_EQ(frame.dispatcher(effEditKeyDown, 'q', 0, nullptr, 0.0f), -1) << "no editor open";
    quickClick(Point{200, 110});
    idle();
    ASSERT_TRUE(field->isEditing());
    const struct {
        int character, virt;
    } keys[] = {{'H', 0}, {'i', 0}, {0, 7 /* space */}, {'!', 0}, {0, 11 /* left */}, {0, 1 /* back */}};
    for (auto& k : keys) {
        EXPECT_EQ(frame.dispatcher(effEditKeyDown, k.character, k.virt, nullptr, 0.0f), 1);
        EXPECT_EQ(frame.dispatcher(effEditKeyUp, k.character, k.virt, nullptr, 0.0f), 1);
    }
    EXPECT_EQ(frame.dispatcher(effEditKeyDown, 0, 4 /* return */, nullptr, 0.0f), 1);
    EXPECT_FALSE(field->isEditing());
    EXPECT_EQ(fieldText(), "Hi!");
    EXPECT_EQ(listener.values(kFieldTag).size(), 1u);

    // At most 254 characters go in.
    quickClick(Point{200, 110});
    idle();
    for (int i = 0; i < 300; ++i) frame.dispatcher(effEditKeyDown, 'k', 0, nullptr, 0.0f);
    frame.dispatcher(effEditKeyDown, 0, 19 /* enter */, nullptr, 0.0f);
    EXPECT_EQ(fieldText(), std::string(254, 'k'));
}

TEST_F(X11Fixture, FilesAndTextDroppedThroughXdnd) {
    open();
    Atom aware = XInternAtom(d, "XdndAware", False);
    Atom type;
    int format;
    unsigned long count, after;
    unsigned char* data = nullptr;
    ASSERT_EQ(XGetWindowProperty(d, viewWindow(), aware, 0, 1, False, XA_ATOM, &type, &format, &count, &after, &data),
              Success);
    ASSERT_NE(data, nullptr) << "the view accepts drops";
    EXPECT_EQ(*reinterpret_cast<long*>(data), 5);
    XFree(data);

    const Atom enter = XInternAtom(d, "XdndEnter", False), position = XInternAtom(d, "XdndPosition", False),
               drop = XInternAtom(d, "XdndDrop", False), status = XInternAtom(d, "XdndStatus", False),
               finished = XInternAtom(d, "XdndFinished", False), selection = XInternAtom(d, "XdndSelection", False),
               copy = XInternAtom(d, "XdndActionCopy", False), uriList = XInternAtom(d, "text/uri-list", False),
               textPlain = XInternAtom(d, "text/plain", False);
    const struct {
        Atom offered;
        std::string payload;
        int32_t kind;
        std::vector<std::string> expect;
    } cases[] = {
        {uriList,
         "file:///tmp/some%20patch.fxp\r\nfile:///tmp/bank.fxb\r\n",
         0,
         {"/tmp/some patch.fxp", "/tmp/bank.fxb"}},
        {textPlain, "Warm Strings", 1, {"Warm Strings"}},
    };
    Window source = XCreateSimpleWindow(d, DefaultRootWindow(d), 0, 0, 1, 1, 0, 0, 0);
    for (auto& c : cases) {
        XSetSelectionOwner(d, selection, source, CurrentTime);
        auto send = [&](Atom message, long l1, long l2, long l3, long l4) {
            XEvent e{};
            e.xclient.type = ClientMessage;
            e.xclient.window = viewWindow();
            e.xclient.message_type = message;
            e.xclient.format = 32;
            e.xclient.data.l[0] = long(source);
            e.xclient.data.l[1] = l1;
            e.xclient.data.l[2] = l2;
            e.xclient.data.l[3] = l3;
            e.xclient.data.l[4] = l4;
            XSendEvent(d, viewWindow(), False, NoEventMask, &e);
            XSync(d, False);
        };
        const Point at = screen(Point{60, 160});
        send(enter, 5L << 24, long(c.offered), 0, 0);
        send(position, 0, long(at.h) << 16 | at.v, CurrentTime, long(copy));
        bool accepted = false, done = false, acceptedDrop = false;
        for (int i = 0; i < 100 && !done; ++i) {
            idle();
            while (XPending(d)) {
                XEvent e;
                XNextEvent(d, &e);
                if (e.type == ClientMessage && e.xclient.message_type == status) {
                    accepted = e.xclient.data.l[1] & 1;
                    send(drop, 0, CurrentTime, 0, 0);
                } else if (e.type == SelectionRequest) {
                    XSelectionRequestEvent& r = e.xselectionrequest;
                    XChangeProperty(d, r.requestor, r.property, r.target, 8, PropModeReplace,
                                    reinterpret_cast<const unsigned char*>(c.payload.data()), int(c.payload.size()));
                    XEvent reply{};
                    reply.xselection.type = SelectionNotify;
                    reply.xselection.requestor = r.requestor;
                    reply.xselection.selection = r.selection;
                    reply.xselection.target = r.target;
                    reply.xselection.property = r.property;
                    reply.xselection.time = r.time;
                    XSendEvent(d, r.requestor, False, NoEventMask, &reply);
                    XSync(d, False);
                } else if (e.type == ClientMessage && e.xclient.message_type == finished) {
                    acceptedDrop = e.xclient.data.l[1] & 1;
                    done = true;
                }
            }
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
        }
        EXPECT_TRUE(accepted);
        EXPECT_TRUE(done) << "no XdndFinished";
        EXPECT_TRUE(acceptedDrop);
        EXPECT_EQ(dropTarget->kind, c.kind);
        EXPECT_EQ(dropTarget->dropped, c.expect);
        EXPECT_EQ(dropTarget->where.h, 60) << "where the pointer was";
        EXPECT_EQ(dropTarget->where.v, 160);
    }
    XDestroyWindow(d, source);
}

TEST_F(X11Fixture, OpenAndCloseThousandTimesLeaksNoConnection) {
    open();
    frame.dispatcher(effEditClose, 0, 0, nullptr, 0.0f);
    const int before = openDescriptors();
    for (int i = 0; i < 1000; ++i) {
        ASSERT_EQ(frame.dispatcher(effEditOpen, 0, 0, reinterpret_cast<void*>(parent), 0.0f), 1);
        idle();
        frame.dispatcher(effEditClose, 0, 0, nullptr, 0.0f);
    }
    EXPECT_EQ(openDescriptors(), before);
    Window rootReturn, parentReturn, *children = nullptr;
    unsigned int n = 0;
    XQueryTree(d, parent, &rootReturn, &parentReturn, &children, &n);
    if (children) XFree(children);
    EXPECT_EQ(n, 0u) << "every child window destroyed";
}

TEST_F(X11Fixture, ABadParentWindowGivesNoViewAndNoCrash) {
    Window gone = XCreateSimpleWindow(d, DefaultRootWindow(d), 0, 0, 10, 10, 0, 0, 0);
    XDestroyWindow(d, gone);
    XSync(d, False);
    EXPECT_EQ(frame.dispatcher(effEditOpen, 0, 0, reinterpret_cast<void*>(gone), 0.0f), 1);
    ASSERT_NE(editor->getRoot(), nullptr);
    EXPECT_EQ(editor->getRoot()->getView(), nullptr);
    idle();
}

TEST(X11Pictures, PanelBitmapsLoadFromTheLibraryWithTheirSizes) {
    setBitmapSource(nullptr);
    const struct {
        int32_t id, width, height;
    } cases[] = {{134, 727, 301}, {166, 37, 2442}, {165, 48, 3168}, {145, 43, 50},  {146, 43, 50}, {151, 43, 50},
                 {152, 43, 50},   {157, 19, 36},   {164, 19, 36},   {168, 10, 110}, {149, 43, 50}, {150, 43, 50}};
    for (auto& c : cases) {
        Picture* p = new Picture(c.id);
        EXPECT_EQ(p->width, c.width) << c.id;
        EXPECT_EQ(p->height, c.height) << c.id;
        p->release();
    }
    Picture* missing = new Picture(135);
    EXPECT_EQ(missing->getHandle(), nullptr);
    missing->release();
    installTestPictures();
}

TEST_F(X11Fixture, FocusTakenByTheHostCommitsTheEdit) {
    open();
    quickClick(Point{200, 110});
    idle();
    ASSERT_TRUE(field->isEditing());
    typeKey(XK_z);
    settle();
    XSetInputFocus(d, parent, RevertToParent, CurrentTime); // the host's window takes the keys
    XSync(d, False);
    settle();
    EXPECT_FALSE(field->isEditing());
    EXPECT_EQ(fieldText(), "z");
    EXPECT_EQ(listener.values(kFieldTag).size(), 1u);
}

int hostErrors = 0;
int hostErrorHandler(Display*, XErrorEvent*) {
    ++hostErrors;
    return 0;
}

TEST_F(X11Fixture, HostWindowAndParentDestroyedBeforeClose) {
    // The host has an error handler of its own; the panel's errors never reach it, the
    // host's own errors still do, and it is the handler again after the panel closed.
    XErrorHandler before = XSetErrorHandler(hostErrorHandler);
    hostErrors = 0;
    open();
    EXPECT_EQ(editor->getRoot()->findHostWindow(), reinterpret_cast<void*>(uintptr_t(parent)))
        << "the parent is more than 60 pixels larger than the panel";
    editor->getRoot()->setCursor(1);
    editor->getRoot()->setCursor(0);
    XDestroyWindow(d, parent); // the host tears its window down first
    XSync(d, False);
    parent = XCreateSimpleWindow(d, DefaultRootWindow(d), 0, 0, 10, 10, 0, 0, 0); // for TearDown
    editor->getRoot()->redraw(nullptr); // before the panel has heard of it: X errors, no end
    EXPECT_EQ(hostErrors, 0);
    XMapWindow(d, 0x3FFFFFF); // an error of the host's own
    XSync(d, False);
    EXPECT_EQ(hostErrors, 1);
    settle();
    EXPECT_FALSE(editor->getRoot()->isOpen());
    idle();
    knob->setValue(0.7f);
    idle(); // nothing to draw into any more
    EXPECT_EQ(editor->getRoot()->findHostWindow(), nullptr);
    frame.dispatcher(effEditClose, 0, 0, nullptr, 0.0f);
    EXPECT_EQ(XSetErrorHandler(before), hostErrorHandler);
}

TEST_F(X11Fixture, LongTextScrollsToKeepTheCaretInView) {
    open();
    quickClick(Point{200, 110});
    idle();
    ASSERT_TRUE(field->isEditing());
    frame.dispatcher(effEditKeyDown, 'X', 0, nullptr, 0.0f);
    for (int i = 0; i < 80; ++i) frame.dispatcher(effEditKeyDown, '.', 0, nullptr, 0.0f);
    const Color back{186, 195, 137, 0};
    // Rows of the field's first columns that hold something besides the background: the
    // tall X glyph covers many rows, dots only the baseline.
    auto inkedRows = [&](int32_t from, int32_t to) {
        int rows = 0;
        for (int32_t v = 101; v < 120; ++v) {
            bool ink = false;
            for (int32_t h = from; h < to && !ink; ++h) ink = !pixel(h, v).sameRgb(back);
            rows += ink;
        }
        return rows;
    };
    EXPECT_LE(inkedRows(151, 161), 3) << "the start is scrolled out while typing at the end";
    EXPECT_GE(inkedRows(270, 281), 1) << "the end with the caret is in view";
    frame.dispatcher(effEditKeyDown, 0, 10 /* home */, nullptr, 0.0f);
    EXPECT_GE(inkedRows(151, 161), 6) << "home brings the X into view";
    frame.dispatcher(effEditKeyDown, 0, 6 /* escape */, nullptr, 0.0f);
    EXPECT_EQ(fieldText(), "Strings");
}
