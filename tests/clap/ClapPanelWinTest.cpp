// The CLAP plug-in's panel in a Win32 window of the test host (wine64 under xvfb-run):
// created, parented, shown and idled by the host's timer; its pixels against the VST 2
// DLL's panel in a window of the same size; a knob drag with real input reaching the host
// as one gesture.
#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <thread>
#include <vector>

#include "tests/clap/ClapTestHost.h"
#include "tests/clap/PanelGesture.h"
#include "tests/support/Win32TestSupport.h"
#include "tests/support/PluginHost.h"

using namespace claptest;

namespace {

constexpr int kWidth = 727;
constexpr int kHeight = 301;

std::vector<std::uint32_t> grab(HWND parent) {
    std::vector<std::uint32_t> rgb;
    HWND window = GetWindow(parent, GW_CHILD);
    if (!window) return rgb;
    HDC dc = GetDC(window);
    vl::test::PixelGrid grid(dc, kWidth, kHeight);
    ReleaseDC(window, dc);
    for (int y = 0; y < kHeight; ++y)
        for (int x = 0; x < kWidth; ++x) {
            const vl::Color c = grid.at(x, y);
            rgb.push_back(std::uint32_t(c.red) << 16 | std::uint32_t(c.green) << 8 | c.blue);
        }
    return rgb;
}

class ClapPanelWin : public PanelHostTest {
protected:
    void SetUp() override {
        createPlugin();
        SetForegroundWindow(clapWindow.handle());
        vl::test::pumpMessages();
    }
    void TearDown() override {
        if (plugin) plugin->destroy(plugin);
        vl::test::pumpMessages();
    }
    bool openPanel() {
        if (!gui->create(plugin, CLAP_WINDOW_API_WIN32, false)) return false;
        clap_window_t window{};
        window.api = CLAP_WINDOW_API_WIN32;
        window.win32 = clapWindow.handle();
        const bool shown = gui->set_parent(plugin, &window) && gui->show(plugin);
        settle();
        return shown;
    }
    // The host's message loop and timer.
    void settle(int times = 5) {
        for (int i = 0; i < times; ++i) {
            vl::test::pumpMessages();
            for (const auto& t : host.timers) timer->on_timer(plugin, t.first);
            Sleep(10);
        }
    }

    vl::test::TopWindow clapWindow{760, 340};
};

TEST_F(ClapPanelWin, ShowsTheVstPanelPixelForPixel) {
    ASSERT_TRUE(openPanel());
    const std::vector<std::uint32_t> fromClap = grab(clapWindow.handle());
    ASSERT_EQ(fromClap.size(), static_cast<std::size_t>(kWidth) * kHeight);

    vl::test::TopWindow vstWindow(760, 340);
    const std::vector<std::uint32_t> fromVst = vstPanelPixels(
        [&](AEffect* effect) { return plugtest::dispatch(effect, effEditOpen, 0, 0, vstWindow.handle()) == 1; },
        [] {
            vl::test::pumpMessages();
            Sleep(10);
        },
        [&] { return grab(vstWindow.handle()); });
    EXPECT_TRUE(fromClap == fromVst);
    EXPECT_GT(std::count_if(fromClap.begin(), fromClap.end(), [&](std::uint32_t p) { return p != fromClap[0]; }),
              10000);

    ASSERT_TRUE(gui->hide(plugin));
    vl::test::pumpMessages();
    EXPECT_EQ(GetWindow(clapWindow.handle(), GW_CHILD), nullptr);
    ASSERT_TRUE(gui->show(plugin));
    settle();
    EXPECT_TRUE(grab(clapWindow.handle()) == fromClap);
}

TEST_F(ClapPanelWin, KnobDragReachesTheHostAsOneGesture) {
    ASSERT_TRUE(openPanel());
    double start = -1.0;
    ASSERT_TRUE(params->get_value(plugin, 3, &start));
    host.takeCalls();
    POINT centre{341, 95}; // Brightness
    ClientToScreen(GetWindow(clapWindow.handle(), GW_CHILD), &centre);
    SetCursorPos(centre.x, centre.y);
    settle(2);
    // The drag starts once the panel asked the host for its first flush (the gesture).
    vl::test::dragUp(
        centre, [&] { return host.count("params.request_flush") > 0; },
        [&] {
            vl::test::pumpMessages();
            for (const auto& t : host.timers) timer->on_timer(plugin, t.first);
        });
    settle();
    double end = -1.0;
    ASSERT_TRUE(params->get_value(plugin, 3, &end));
    EXPECT_NEAR(end, start + 0.2, 0.03);
    InputEvents in;
    OutputEvents out;
    params->flush(plugin, in.get(), out.get());
    expectOneGesture(out.events, 3, end);
}

} // namespace

// Under wine without an X display there is no window to show the panel in: reported to
// CTest as a skip (exit code 77).
int main(int argc, char** argv) {
    ::testing::InitGoogleTest(&argc, argv);
    HMODULE ntdll = GetModuleHandleA("ntdll.dll");
    const bool underWine = ntdll && GetProcAddress(ntdll, "wine_get_version");
    const char* display = std::getenv("DISPLAY");
    if (underWine && (!display || !*display)) {
        std::printf("no X display for wine: skipped\n");
        return 77;
    }
    return RUN_ALL_TESTS();
}
