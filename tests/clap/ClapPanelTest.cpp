// The CLAP plug-in's panel in an X11 window of the test host (under xvfb-run): created,
// parented, idled by the host's timer; its pixels against the VST 2 plug-in's panel; a
// knob drag with XTest reaching the host as one gesture; hide, show and destroy.
// Without an X display the program reports a skip to CTest (exit code 77).
#include <gtest/gtest.h>

// after GoogleTest, whose templates use names that Xlib defines as macros
#include <X11/Xlib.h>
#include <X11/Xutil.h>
#include <X11/extensions/XTest.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <thread>
#include <vector>

#include "tests/clap/ClapTestHost.h"
#include "tests/clap/PanelGesture.h"
#include "tests/panel/HostSupport.h"
#include "tests/support/PluginHost.h"

using namespace claptest;

namespace {

constexpr int kSkip = 77;

void pause(int ms) { std::this_thread::sleep_for(std::chrono::milliseconds(ms)); }

class ClapPanel : public PanelHostTest {
protected:
    void SetUp() override {
        display = vltest::x11::openDisplay();
        ASSERT_NE(display, nullptr);
        createPlugin();
        clapParent = panelHostWindow(display, 0);
        vstParent = panelHostWindow(display, 400);
        XSync(display, False);
    }
    void TearDown() override {
        if (plugin) plugin->destroy(plugin);
        if (display) {
            XDestroyWindow(display, clapParent);
            XDestroyWindow(display, vstParent);
            XCloseDisplay(display);
        }
    }

    // create, set_parent and show as a host does; the panel's own X connection may be
    // refused now and then while other tests come and go, so the parenting is retried.
    bool openPanel() {
        if (!gui->create(plugin, CLAP_WINDOW_API_X11, false)) return false;
        clap_window_t window{};
        window.api = CLAP_WINDOW_API_X11;
        window.x11 = clapParent;
        bool parented = false;
        for (int attempt = 0; attempt < 20 && !parented; ++attempt) {
            parented = gui->set_parent(plugin, &window);
            if (!parented) pause(50);
        }
        return parented && gui->show(plugin);
    }
    // The host's timer, as its main loop would fire it.
    void idle(int times = 3) {
        for (int i = 0; i < times; ++i) {
            for (const auto& t : host.timers) timer->on_timer(plugin, t.first);
            XSync(display, False);
            pause(5);
        }
    }

    std::vector<Window> children(Window parent) { return childWindows(display, parent); }
    std::vector<std::uint32_t> grab(Window parent) { return panelPixels(display, parent); }

    Display* display = nullptr;
    Window clapParent = 0, vstParent = 0;
};

TEST_F(ClapPanel, ShowsTheVstPanelPixelForPixel) {
    ASSERT_TRUE(openPanel());
    ASSERT_EQ(host.timers.size(), 1u);
    idle(5);
    const std::vector<std::uint32_t> fromClap = grab(clapParent);
    ASSERT_EQ(fromClap.size(), 727u * 301u);

    const std::vector<std::uint32_t> fromVst = vstPanelPixels(
        [&](AEffect* effect) {
            // the editor's own X connection may be refused now and then, as the panel's
            for (int attempt = 0; attempt < 20; ++attempt) {
                if (plugtest::dispatch(effect, effEditOpen, 0, 0,
                                       reinterpret_cast<void*>(static_cast<std::uintptr_t>(vstParent))) == 1)
                    return true;
                pause(50);
            }
            return false;
        },
        [&] {
            XSync(display, False);
            pause(5);
        },
        [&] { return grab(vstParent); });
    ASSERT_EQ(fromVst.size(), fromClap.size());
    EXPECT_TRUE(fromClap == fromVst);
    // Not one flat colour: the pictures were drawn.
    EXPECT_GT(std::count_if(fromClap.begin(), fromClap.end(), [&](std::uint32_t p) { return p != fromClap[0]; }),
              10000);

    // Hidden, the panel's window goes; shown again it comes back the same; destroyed, the
    // timer is given back.
    ASSERT_TRUE(gui->hide(plugin));
    XSync(display, False);
    EXPECT_TRUE(children(clapParent).empty());
    ASSERT_TRUE(gui->show(plugin));
    idle(5);
    EXPECT_TRUE(grab(clapParent) == fromClap);
    gui->destroy(plugin);
    XSync(display, False);
    EXPECT_TRUE(children(clapParent).empty());
    EXPECT_TRUE(host.timers.empty());
}

TEST_F(ClapPanel, KnobDragReachesTheHostAsOneGesture) {
    int event, error, major, minor;
    ASSERT_TRUE(XTestQueryExtension(display, &event, &error, &major, &minor));
    ASSERT_TRUE(openPanel());
    idle(5);
    double start = -1.0;
    ASSERT_TRUE(params->get_value(plugin, 3, &start));
    host.takeCalls();

    // The hand moves on a connection of its own while the host's main loop fires the timer.
    const int x = 341, y = 95; // Brightness
    std::atomic<bool> done{false};
    std::thread hand([&] {
        Display* d = vltest::x11::openDisplay();
        if (d) {
            auto move = [&](int px, int py) {
                XTestFakeMotionEvent(d, -1, px, py, 0);
                XFlush(d);
                pause(15);
            };
            move(x, y);
            XTestFakeButtonEvent(d, 1, True, 0);
            XFlush(d);
            pause(15);
            for (int i = 1; i <= 8; ++i) move(x, y - 5 * i); // 40 pixels up
            XTestFakeButtonEvent(d, 1, False, 0);
            XFlush(d);
            pause(15);
            XCloseDisplay(d);
        }
        done = true;
    });
    while (!done) idle(1);
    hand.join();
    idle(5);

    double end = -1.0;
    ASSERT_TRUE(params->get_value(plugin, 3, &end));
    EXPECT_NEAR(end, start + 0.2, 0.03);
    // The host was asked for a flush from its main thread, and the flush brings the events.
    const std::vector<HostCall> calls = host.takeCalls();
    int flushRequests = 0;
    for (const HostCall& c : calls)
        if (c.name == "params.request_flush") {
            ++flushRequests;
            EXPECT_TRUE(c.onMainThread);
        }
    EXPECT_GT(flushRequests, 0);
    InputEvents in;
    OutputEvents out;
    params->flush(plugin, in.get(), out.get());
    expectOneGesture(out.events, 3, end);
    // Nothing is sent twice.
    OutputEvents again;
    params->flush(plugin, in.get(), again.get());
    EXPECT_TRUE(again.events.empty());
}

} // namespace

int main(int argc, char** argv) {
    ::testing::InitGoogleTest(&argc, argv);
    Display* d = vltest::x11::openDisplay();
    if (!d) {
        std::printf("no X display: skipped\n");
        return kSkip;
    }
    XCloseDisplay(d);
    return RUN_ALL_TESTS();
}
