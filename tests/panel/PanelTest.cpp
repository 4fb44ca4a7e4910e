// The built plug-in's panel in a host window: loaded with dlopen, opened into a real X11
// parent window (under xvfb-run), read back from the screen's pixels and worked with
// XTest presses, drags, keys and the wheel. Skipped when no X display is available.
#include <gtest/gtest.h>

// after GoogleTest, whose templates use names that Xlib defines as macros
#include <X11/Xlib.h>
#include <X11/Xutil.h>
#include <X11/extensions/XTest.h>
#include <X11/keysym.h>

#include <atomic>
#include <chrono>
#include <cstdint>
#include <cstdlib>
#include <functional>
#include <string>
#include <thread>
#include <vector>

#include <cairo.h>

#include "resources/BitmapResources.h"
#include "tests/gui_x11/IdleWatchdog.h"
#include "tests/panel/HostSupport.h"
#include "tests/support/PanelScreen.h"
#include "tests/support/PluginHost.h"
#include "tests/support/Skip.h"
#include "tests/support/X11Driver.h"

using namespace plugtest;

namespace {

Library& library() {
    static Library lib;
    return lib;
}

using vltest::kKnobCentre;
using vltest::Pixels;
using vltest::x11::button;
using vltest::x11::key;
using vltest::x11::moveTo;
using vltest::x11::openDisplay;
using vltest::x11::pause;

class Panel : public ::testing::Test {
protected:
    void SetUp() override {
        display = openDisplay();
        if (!display) VL_SKIP_UNAVAILABLE("no X display");
        int event, error, major, minor;
        ASSERT_TRUE(XTestQueryExtension(display, &event, &error, &major, &minor));
        ASSERT_NE(library().pluginMain, nullptr);
        parent = XCreateSimpleWindow(display, DefaultRootWindow(display), 0, 0, 760, 320, 0, 0, 0x303030);
        XMapWindow(display, parent);
        XSync(display, False);
        recorder().take();
        effect = library().pluginMain(recordingHost);
        ASSERT_NE(effect, nullptr);
        ASSERT_TRUE(reader.ready());
    }

    void TearDown() override {
        if (effect) dispatch(effect, effClose);
        if (display) {
            XDestroyWindow(display, parent);
            XCloseDisplay(display);
        }
    }

    // effEditOpen; the panel answers 0 when the server refused its connection, which
    // happens now and then while other tests come and go: then it is asked again.
    VstIntPtr open() {
        VstIntPtr answer = 0;
        for (int attempt = 0; attempt < 20 && answer != 1; ++attempt) {
            answer = dispatch(effect, effEditOpen, 0, reinterpret_cast<VstIntPtr>(display),
                              reinterpret_cast<void*>(static_cast<std::uintptr_t>(parent)));
            if (answer != 1) std::this_thread::sleep_for(std::chrono::milliseconds(50));
        }
        return answer;
    }
    void idle(int times = 3) {
        for (int i = 0; i < times; ++i) {
            watchdog.run([&] { dispatch(effect, effEditIdle); });
            XSync(display, False);
            std::this_thread::sleep_for(std::chrono::milliseconds(5));
        }
    }

    std::vector<Window> children() { return childWindows(display, parent); }

    // With VL_PANEL_SCREENSHOT set, the panel as grabbed goes to that PNG file (to look at).
    static void screenshot(const Pixels& p) {
        const char* path = std::getenv("VL_PANEL_SCREENSHOT");
        if (!path || p.width == 0) return;
        cairo_surface_t* s = cairo_image_surface_create(CAIRO_FORMAT_RGB24, p.width, p.height);
        auto* data = reinterpret_cast<std::uint32_t*>(cairo_image_surface_get_data(s));
        const int stride = cairo_image_surface_get_stride(s) / 4;
        for (int y = 0; y < p.height; ++y)
            for (int x = 0; x < p.width; ++x) data[y * stride + x] = p.at(x, y);
        cairo_surface_mark_dirty(s);
        cairo_surface_write_to_png(s, path);
        cairo_surface_destroy(s);
    }

    Pixels grab() {
        Pixels p;
        const std::vector<Window> kids = children();
        if (kids.size() != 1) return p;
        XImage* image = XGetImage(display, kids[0], 0, 0, 727, 301, AllPlanes, ZPixmap);
        if (!image) return p;
        p.width = 727;
        p.height = 301;
        for (int y = 0; y < 301; ++y)
            for (int x = 0; x < 727; ++x)
                p.rgb.push_back(static_cast<std::uint32_t>(XGetPixel(image, x, y)) & 0xFFFFFF);
        XDestroyImage(image);
        return p;
    }

    int readDisplay(const Pixels& screen, int parameter) const { return reader.readDisplay(screen, parameter); }
    std::vector<int> litPrograms(const Pixels& screen) const { return reader.litPrograms(screen); }

    // Runs input on a connection of its own while this thread keeps idling the panel, as
    // a host's user-interface thread does.
    void gesture(const std::function<void(Display*)>& input) {
        std::atomic<bool> done{false};
        std::thread actor([&] {
            Display* d = openDisplay();
            EXPECT_NE(d, nullptr);
            if (d) {
                input(d);
                XSync(d, False);
                XCloseDisplay(d);
            }
            done = true;
        });
        while (!done) idle(1);
        actor.join();
        idle(5);
    }

    float parameter(int index) { return effect->getParameter(effect, index); }
    int program() { return static_cast<int>(dispatch(effect, effGetProgram)); }

    IdleWatchdog watchdog{std::chrono::seconds(20)};
    Display* display = nullptr;
    Window parent = 0;
    AEffect* effect = nullptr;
    const vltest::PanelReader reader{vltest::resourcePicture};
};

TEST_F(Panel, FreshPanelShowsTheFirstProgram) {
    vltest::expectPanelRect(effect);
    ASSERT_EQ(open(), 1);
    // one viewable child window of the panel's size at (0, 0)
    const std::vector<Window> kids = children();
    ASSERT_EQ(kids.size(), 1u);
    XWindowAttributes a;
    ASSERT_TRUE(XGetWindowAttributes(display, kids[0], &a));
    EXPECT_EQ(a.x, 0);
    EXPECT_EQ(a.y, 0);
    EXPECT_EQ(a.width, 727);
    EXPECT_EQ(a.height, 301);
    EXPECT_EQ(a.map_state, IsViewable);
    XSync(display, False);
    const Pixels atOnce = grab(); // painted by the open itself
    idle();
    const Pixels screen = grab();
    ASSERT_EQ(screen.width, 727);
    EXPECT_TRUE(atOnce == screen);
    screenshot(screen);
    reader.expectFreshPanel(screen);
    char name[64] = {};
    dispatch(effect, effGetProgramName, 0, 0, name);
    EXPECT_STREQ(name, "String Ensemble");
    dispatch(effect, effEditClose);
    EXPECT_TRUE(children().empty());
}

TEST_F(Panel, AutomationWhileOpenAndClosedShowsOnReopen) {
    ASSERT_EQ(open(), 1);
    effect->setParameter(effect, 3, 0.7f); // host automation
    effect->setParameter(effect, 12, 1.0f); // 32 voices
    effect->setParameter(effect, 40, 1.0f); // no such parameter: nothing
    idle();
    Pixels before = grab();
    EXPECT_EQ(readDisplay(before, 3), 88); // 0.7 x 127 = 88.9, drawn without the fraction
    EXPECT_EQ(readDisplay(before, 12), 32); // the voice count, not value x 127
    dispatch(effect, effEditClose);
    ASSERT_EQ(open(), 1);
    idle();
    EXPECT_TRUE(grab() == before);
    dispatch(effect, effEditClose);
    effect->setParameter(effect, 4, 0.2f); // while closed
    ASSERT_EQ(open(), 1);
    idle();
    EXPECT_EQ(readDisplay(grab(), 4), 25);
}

// A parameter and the program name set from another thread (a host's automation or
// audio thread) are stored for the panel and drawn at its next idle: after one idle the
// knob, its digits and the name field show them exactly as when they are set on the
// panel's own thread.
TEST_F(Panel, ValuesFromAnotherThreadAreDrawnAtTheNextIdle) {
    ASSERT_EQ(open(), 1);
    idle();
    const Pixels before = grab();
    ASSERT_EQ(readDisplay(before, 3), 50);
    auto sameArea = [](const Pixels& a, const Pixels& b, int left, int top, int right, int bottom) {
        for (int y = top; y < bottom; ++y)
            for (int x = left; x < right; ++x)
                if (a.at(x, y) != b.at(x, y)) return false;
        return true;
    };
    const int kx = kKnobCentre[3].x, ky = kKnobCentre[3].y;
    std::thread other([&] {
        effect->setParameter(effect, 3, 0.7f);
        char name[] = "Far Away Strings";
        dispatch(effect, effSetProgramName, 0, 0, name);
    });
    other.join();
    dispatch(effect, effEditIdle); // once
    XSync(display, False);
    const Pixels fromOtherThread = grab();
    EXPECT_EQ(readDisplay(fromOtherThread, 3), 88) << "the value set from another thread is not drawn";
    EXPECT_FALSE(sameArea(before, fromOtherThread, kx - 20, ky - 20, kx + 20, ky + 20)) << "the knob did not turn";
    EXPECT_FALSE(sameArea(before, fromOtherThread, 334, 20, 494, 36)) << "the name field was not redrawn";

    // the same values set on the panel's thread: the same pixels everywhere
    dispatch(effect, effEditClose);
    dispatch(effect, effSetProgram, 0, 0); // the program's own values and name again
    ASSERT_EQ(open(), 1);
    idle();
    ASSERT_TRUE(grab() == before);
    effect->setParameter(effect, 3, 0.7f);
    char name[] = "Far Away Strings";
    dispatch(effect, effSetProgramName, 0, 0, name);
    idle();
    EXPECT_TRUE(grab() == fromOtherThread);
}

TEST_F(Panel, DraggingAKnobAutomatesItsParameter) {
    ASSERT_EQ(open(), 1);
    idle();
    const float start = parameter(3);
    recorder().take();
    const int x = kKnobCentre[3].x, y = kKnobCentre[3].y;
    gesture([&](Display* d) {
        moveTo(d, x, y);
        button(d, 1, true);
        for (int i = 1; i <= 8; ++i) moveTo(d, x, y - 5 * i); // 40 pixels up: + 40/200
        button(d, 1, false);
    });
    EXPECT_NEAR(parameter(3), start + 0.2f, 0.03f);
    vltest::expectOneDrag(recorder().take(), effect, 3);
    EXPECT_EQ(readDisplay(grab(), 3), static_cast<int>(parameter(3) * 127.0f));
}

TEST_F(Panel, ControlClickSetsTheDefaultControlShiftClickDoesNot) {
    ASSERT_EQ(open(), 1);
    idle();
    effect->setParameter(effect, 5, 0.9f); // Ensemble Amount, default 0.4
    effect->setParameter(effect, 8, 0.9f); // Phaser Depth, default 0.6
    recorder().take();
    // a quick Ctrl-click (press and release between two idles)
    XTestFakeMotionEvent(display, -1, kKnobCentre[5].x, kKnobCentre[5].y, 0);
    XTestFakeKeyEvent(display, XKeysymToKeycode(display, XK_Control_L), True, 0);
    XTestFakeButtonEvent(display, 1, True, 0);
    XTestFakeButtonEvent(display, 1, False, 0);
    XTestFakeKeyEvent(display, XKeysymToKeycode(display, XK_Control_L), False, 0);
    XSync(display, False);
    idle(5);
    EXPECT_FLOAT_EQ(parameter(5), 0.4f);
    EXPECT_EQ(recorder().count(effect, audioMasterBeginEdit), 0);
    EXPECT_EQ(readDisplay(grab(), 5), 50);
    // Ctrl+Shift: a (fine) drag without movement, the value stays
    gesture([&](Display* d) {
        moveTo(d, kKnobCentre[8].x, kKnobCentre[8].y);
        key(d, XK_Control_L, true);
        key(d, XK_Shift_L, true);
        button(d, 1, true);
        button(d, 1, false);
        key(d, XK_Shift_L, false);
        key(d, XK_Control_L, false);
    });
    EXPECT_FLOAT_EQ(parameter(8), 0.9f);
}

TEST_F(Panel, ProgramButtonsSelectAndAltClickStores) {
    ASSERT_EQ(open(), 1);
    idle();
    const auto [bx, by] = vltest::programButtonCentre(5);
    // a quick click (press and release between two idles) selects program 5
    XTestFakeMotionEvent(display, -1, bx, by, 0);
    XTestFakeButtonEvent(display, 1, True, 0);
    XTestFakeButtonEvent(display, 1, False, 0);
    XSync(display, False);
    idle(5);
    EXPECT_EQ(program(), 5);
    EXPECT_EQ(litPrograms(grab()), std::vector<int>{5});
    const float factory = parameter(3);
    // an edit, then a plain click on 5 again discards it
    effect->setParameter(effect, 3, 0.9f);
    gesture([&](Display* d) {
        moveTo(d, bx, by);
        button(d, 1, true);
        button(d, 1, false);
    });
    EXPECT_EQ(program(), 5);
    EXPECT_EQ(parameter(3), factory);
    // Alt-click stores the edit into slot 5 and selects it
    effect->setParameter(effect, 3, 0.9f);
    gesture([&](Display* d) {
        moveTo(d, bx, by);
        key(d, XK_Alt_L, true);
        button(d, 1, true);
        button(d, 1, false);
        key(d, XK_Alt_L, false);
    });
    EXPECT_EQ(program(), 5);
    EXPECT_EQ(parameter(3), 0.9f);
    dispatch(effect, effSetProgram, 0, 0);
    dispatch(effect, effSetProgram, 0, 5);
    EXPECT_EQ(parameter(3), 0.9f);
    idle();
    EXPECT_EQ(litPrograms(grab()), std::vector<int>{5});
}

TEST_F(Panel, TypedNameKeepsTwentyFourCharacters) {
    ASSERT_EQ(open(), 1);
    idle();
    const std::string typed = "abcdefghijklmnopqrstuvwxyz0123"; // 30 characters
    gesture([&](Display* d) {
        moveTo(d, vltest::kNameFieldPoint.x, vltest::kNameFieldPoint.y);
        button(d, 1, true);
        button(d, 1, false);
        pause(50);
        for (char c : typed) {
            const std::string s(1, c);
            key(d, XStringToKeysym(s.c_str()), true);
            key(d, XStringToKeysym(s.c_str()), false);
        }
        key(d, XK_Return, true);
        key(d, XK_Return, false);
    });
    // the program's stored name (in the 88-byte program chunk, after id and version)
    void* data = nullptr;
    ASSERT_EQ(dispatch(effect, effGetChunk, 1, 0, &data), 88);
    const char* stored = static_cast<const char*>(data) + 8;
    EXPECT_EQ(std::string(stored), typed.substr(0, 24));
}

TEST_F(Panel, WheelChangesNothing) {
    ASSERT_EQ(open(), 1);
    idle();
    float before[13];
    for (int p = 0; p < 13; ++p) before[p] = parameter(p);
    const Pixels screen = grab();
    recorder().take();
    gesture([&](Display* d) {
        for (int p : {0, 3, 12}) {
            moveTo(d, kKnobCentre[p].x, kKnobCentre[p].y);
            for (unsigned b : {4u, 5u, 4u}) {
                button(d, b, true);
                button(d, b, false);
            }
        }
        moveTo(d, vltest::programButtonCentre(0).x, vltest::programButtonCentre(0).y); // and over a program button
        button(d, 5, true);
        button(d, 5, false);
    });
    for (int p = 0; p < 13; ++p) EXPECT_EQ(parameter(p), before[p]) << p;
    EXPECT_EQ(program(), 0);
    for (const HostCall& c : recorder().take())
        EXPECT_TRUE(c.opcode != audioMasterAutomate && c.opcode != audioMasterBeginEdit) << c.opcode;
    EXPECT_TRUE(grab() == screen);
}

TEST_F(Panel, CoveredPanelRepaints) {
    ASSERT_EQ(open(), 1);
    idle();
    const Pixels shown = grab();
    // a window over the panel, then gone: the exposed part is painted again
    Window cover = XCreateSimpleWindow(display, DefaultRootWindow(display), 100, 50, 300, 200, 0, 0, 0xFF00FF);
    XMapRaised(display, cover);
    XSync(display, False);
    idle();
    XDestroyWindow(display, cover);
    XSync(display, False);
    idle(5);
    EXPECT_TRUE(grab() == shown);
    // the host hides its window and shows it again
    XUnmapWindow(display, parent);
    XSync(display, False);
    idle();
    XMapWindow(display, parent);
    XSync(display, False);
    idle(5);
    EXPECT_TRUE(grab() == shown);
}

} // namespace
