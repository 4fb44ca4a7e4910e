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

#include "tests/panel/HostSupport.h"
#include "tests/support/PluginHost.h"
#include "tests/support/Skip.h"
#include "tests/support/X11Driver.h"

using namespace plugtest;

namespace {

Library& plugin() {
    static Library library;
    return library;
}

// A host window on the display and a new instance of the plug-in; skipped without a display.
class PanelConcurrency : public ::testing::Test {
protected:
    void SetUp() override {
        if (!(display = vltest::x11::openDisplay())) VL_SKIP_UNAVAILABLE("no X display");
        parent = XCreateSimpleWindow(display, DefaultRootWindow(display), 0, 0, 760, 320, 0, 0, 0);
        XMapWindow(display, parent);
        XSync(display, False);
        parentPtr = reinterpret_cast<void*>(static_cast<std::uintptr_t>(parent));
        ASSERT_NE(plugin().pluginMain, nullptr);
        effect = plugin().pluginMain(recordingHost);
        ASSERT_NE(effect, nullptr);
    }
    void TearDown() override {
        if (effect) effect->dispatcher(effect, effClose, 0, 0, nullptr, 0.0f);
        if (display) {
            XDestroyWindow(display, parent);
            XCloseDisplay(display);
        }
    }

    Display* display = nullptr;
    Window parent = 0;
    void* parentPtr = nullptr;
    AEffect* effect = nullptr;
};

TEST_F(PanelConcurrency, AutomationWhileThePanelOpensAndClosesAThousandTimes) {

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
}

// MIDI program changes on the render thread while the user-interface thread opens, idles
// and closes the panel and asks for the current program: clean under ThreadSanitizer, and
// the panel and the host see the last program received once the render thread is done.
TEST_F(PanelConcurrency, ProgramChangesOnTheRenderThreadWhileThePanelReadsTheProgram) {
    dispatch(effect, effMainsChanged, 0, 1);
    const VstInt32 programs = effect->numPrograms;
    ASSERT_EQ(dispatch(effect, effEditOpen, 0, 0, parentPtr), 1);

    std::atomic<bool> stop{false};
    std::atomic<int> lastSent{-1};
    std::thread render([&] {
        EventList<1> events;
        float left[64], right[64];
        float* outputs[2] = {left, right};
        for (int block = 0; !stop.load(); ++block) {
            const int program = (block * 3 + 1) % programs;
            events.clear();
            events.add(block % 64, 0xC0, program, 0);
            dispatch(effect, effProcessEvents, 0, 0, events.get());
            effect->processReplacing(effect, nullptr, outputs, 64);
            lastSent = program;
            if (block % 16 == 0) std::this_thread::yield();
        }
    });
    long outOfRange = 0;
    for (int round = 0; round < 200; ++round) {
        dispatch(effect, effEditIdle);
        const VstIntPtr program = dispatch(effect, effGetProgram);
        if (program < 0 || program >= programs) ++outOfRange;
        if (round % 20 == 19) {
            // the panel shows the current program when it opens
            dispatch(effect, effEditClose);
            ASSERT_EQ(dispatch(effect, effEditOpen, 0, 0, parentPtr), 1) << round;
        }
    }
    stop = true;
    render.join();
    EXPECT_EQ(outOfRange, 0);
    dispatch(effect, effEditIdle);
    EXPECT_EQ(dispatch(effect, effGetProgram), lastSent.load());
    dispatch(effect, effEditClose);
}

} // namespace
