// Host automation from another thread while the user-interface thread opens, idles and
// closes the plug-in's panel a thousand times: clean under ThreadSanitizer (the tsan preset
// runs it), and no X connection or file descriptor is left behind.
#include <gtest/gtest.h>

#include <X11/Xlib.h>
#include <dirent.h>

#include <atomic>
#include <chrono>
#include <cstdint>
#include <cstdlib>
#include <thread>

#include "tests/support/PluginHost.h"
#include "tests/support/Skip.h"
#include "tests/support/X11Driver.h"

using namespace plugtest;

namespace {

int openDescriptors()
{
    int count = 0;
    if (DIR* dir = opendir("/proc/self/fd")) {
        while (readdir(dir)) ++count;
        closedir(dir);
    }
    return count;
}

TEST(PanelConcurrency, AutomationWhileThePanelOpensAndClosesAThousandTimes)
{
    Display* display = vltest::x11::openDisplay();
    if (!display) VL_SKIP_UNAVAILABLE("no X display");
    Window parent = XCreateSimpleWindow(display, DefaultRootWindow(display), 0, 0, 760, 320, 0, 0, 0);
    XMapWindow(display, parent);
    XSync(display, False);

    static Library library;
    ASSERT_NE(library.pluginMain, nullptr);
    AEffect* effect = library.pluginMain(recordingHost);
    ASSERT_NE(effect, nullptr);
    void* parentPtr = reinterpret_cast<void*>(static_cast<std::uintptr_t>(parent));

    // one round first, so that what the first open sets up once (fonts, caches) is counted out
    ASSERT_EQ(effect->dispatcher(effect, effEditOpen, 0, 0, parentPtr, 0.0f), 1);
    // (a refused connection is retried in the rounds below)
    effect->dispatcher(effect, effEditIdle, 0, 0, nullptr, 0.0f);
    effect->dispatcher(effect, effEditClose, 0, 0, nullptr, 0.0f);
    const int descriptors = openDescriptors();

    std::atomic<bool> stop{false};
    std::atomic<long> automated{0};
    std::thread automation([&] {
        long i = 0;
        while (!stop.load()) {
            const int index = static_cast<int>(i % 13);
            effect->setParameter(effect, index, static_cast<float>((i * 7) % 100) / 100.0f);
            ++i;
            if (i % 64 == 0) std::this_thread::yield();
        }
        automated = i;
    });
    auto open = [&] {
        // the server may refuse a connection now and then: the panel answers 0, asked again
        for (int attempt = 0; attempt < 20; ++attempt) {
            if (effect->dispatcher(effect, effEditOpen, 0, 0, parentPtr, 0.0f) == 1) return true;
            std::this_thread::sleep_for(std::chrono::milliseconds(50));
        }
        return false;
    };
    for (int round = 0; round < 1000; ++round) {
        ASSERT_TRUE(open()) << round;
        effect->dispatcher(effect, effEditIdle, 0, 0, nullptr, 0.0f);
        if (round % 100 == 0) std::this_thread::sleep_for(std::chrono::milliseconds(2));
        effect->dispatcher(effect, effEditIdle, 0, 0, nullptr, 0.0f);
        effect->dispatcher(effect, effEditClose, 0, 0, nullptr, 0.0f);
    }
    stop = true;
    automation.join();
    EXPECT_GT(automated.load(), 1000);
    EXPECT_EQ(openDescriptors(), descriptors);

    // the panel still opens and follows the last automated values
    ASSERT_TRUE(open());
    effect->dispatcher(effect, effEditIdle, 0, 0, nullptr, 0.0f);
    effect->dispatcher(effect, effEditClose, 0, 0, nullptr, 0.0f);
    effect->dispatcher(effect, effClose, 0, 0, nullptr, 0.0f);
    XDestroyWindow(display, parent);
    XCloseDisplay(display);
}

} // namespace
