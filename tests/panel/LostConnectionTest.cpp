// The host survives its panel's lost X connection. A host (this program, with the built
// plug-in loaded through dlopen) opens the panel in its window and kills the panel's X
// client with XKillClient from its own connection, as xkill does. The plug-in must then
// keep playing, idle and take automation without a word to the dead connection, close
// its editor when asked and open a fresh panel that draws the same pixels as before. The
// host's own connections keep their handlers: the loss of one of them still reaches the
// handler the host installed.
#include <gtest/gtest.h>

#include <X11/Xlib.h>
#include <X11/Xutil.h>

#include <chrono>
#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <thread>
#include <vector>

#include "tests/panel/HostSupport.h"
#include "tests/support/PluginHost.h"
#include "tests/support/Skip.h"

using namespace plugtest;

namespace {

constexpr int kFrames = 256;

VstIntPtr dispatch(AEffect* effect, VstInt32 opcode, VstInt32 index = 0, VstIntPtr value = 0, void* ptr = nullptr,
                   float opt = 0.0f) {
    return effect->dispatcher(effect, opcode, index, value, ptr, opt);
}

// A connection to the display; asked again for a while, as the server refuses
// connections while it resets after its last client left.
// The host's own connections: which of them reached the host's I/O error handler.
std::vector<Display*> hostLosses;
int hostIOErrorHandler(Display* display) {
    hostLosses.push_back(display);
    return 0;
}
// Keeps Xlib from ending this program when the host's handler returns.
void hostIOErrorExit(Display*, void*) {}

class LostConnection : public ::testing::Test {
protected:
    void SetUp() override {
        if (!std::getenv("DISPLAY")) VL_SKIP_UNAVAILABLE("no X display");
        display = vltest::x11::openDisplay(40, 50);
        if (!display) VL_SKIP_UNAVAILABLE("no X display");
        parent = XCreateSimpleWindow(display, DefaultRootWindow(display), 0, 0, 760, 320, 0, 0, 0x303030);
        XMapWindow(display, parent);
        XSync(display, False);
        ASSERT_NE(library.pluginMain, nullptr);
        effect = library.pluginMain(recordingHost);
        ASSERT_NE(effect, nullptr);
        dispatch(effect, effOpen);
        dispatch(effect, effSetSampleRate, 0, 0, nullptr, 48000.0f);
        dispatch(effect, effSetBlockSize, 0, kFrames);
        dispatch(effect, effMainsChanged, 0, 1);
    }

    void TearDown() override {
        if (effect) {
            dispatch(effect, effMainsChanged, 0, 0);
            dispatch(effect, effClose);
        }
        if (display) {
            XDestroyWindow(display, parent);
            XCloseDisplay(display);
        }
    }

    // effEditOpen, asked again when the server refused the panel's connection now and then.
    bool openEditor() {
        for (int attempt = 0; attempt < 20; ++attempt) {
            if (dispatch(effect, effEditOpen, 0, 0, reinterpret_cast<void*>(static_cast<std::uintptr_t>(parent))) == 1)
                return true;
            std::this_thread::sleep_for(std::chrono::milliseconds(50));
        }
        return false;
    }

    void idle(int times) {
        for (int i = 0; i < times; ++i) {
            dispatch(effect, effEditIdle);
            XSync(display, False);
            std::this_thread::sleep_for(std::chrono::milliseconds(5));
        }
    }

    std::vector<Window> children() { return childWindows(display, parent); }

    // The panel's pixels, read from the host's connection; empty unless it has one window.
    std::vector<std::uint32_t> grab() { return panelPixels(display, parent); }

    // A held note rendered for blocks blocks; the loudest sample.
    float render(int blocks) {
        float left[kFrames], right[kFrames];
        float* outputs[2] = {left, right};
        float peak = 0.0f;
        for (int b = 0; b < blocks; ++b) {
            effect->processReplacing(effect, nullptr, outputs, kFrames);
            for (int i = 0; i < kFrames; ++i) peak = std::fmax(peak, std::fabs(left[i]));
        }
        return peak;
    }

    void noteOn() {
        VstMidiEvent note{};
        note.type = kVstMidiType;
        note.byteSize = sizeof note;
        note.midiData[0] = char(0x90);
        note.midiData[1] = 60;
        note.midiData[2] = 100;
        VstEvents list{1, 0, {reinterpret_cast<VstEvent*>(&note), nullptr}};
        dispatch(effect, effProcessEvents, 0, 0, &list);
    }

    static Library library;
    Display* display = nullptr;
    Window parent = 0;
    AEffect* effect = nullptr;
};

Library LostConnection::library;

TEST_F(LostConnection, HostKillsThePanelsClientAndGoesOn) {
    ASSERT_TRUE(openEditor());
    idle(10);
    const int descriptors = openDescriptors(); // the panel's connection among them
    const std::vector<std::uint32_t> before = grab();
    ASSERT_EQ(before.size(), 727u * 301u);
    const Window panelWindow = children().at(0);
    float values[13];
    for (int i = 0; i < 13; ++i) values[i] = effect->getParameter(effect, i);
    noteOn();
    ASSERT_GT(render(20), 0.01f);

    XKillClient(display, panelWindow);
    XSync(display, False);
    // The server destroyed the killed client's window; the host's connection works on.
    EXPECT_TRUE(children().empty());

    // Playing, idling and automation go on for a while (the panel stores the values).
    float peak = 0.0f;
    for (int round = 0; round < 100; ++round) {
        dispatch(effect, effEditIdle);
        effect->setParameter(effect, round % 13, float(round % 10) / 10.0f);
        peak = std::fmax(peak, render(2));
        std::this_thread::sleep_for(std::chrono::milliseconds(2));
    }
    EXPECT_GT(peak, 0.01f);
    ERect* rect = nullptr;
    EXPECT_EQ(dispatch(effect, effEditGetRect, 0, 0, &rect), 1);
    dispatch(effect, effEditClose);
    EXPECT_TRUE(children().empty());

    // A fresh panel, with the values of before, draws the same pixels.
    for (int i = 0; i < 13; ++i) effect->setParameter(effect, i, values[i]);
    ASSERT_TRUE(openEditor());
    idle(10);
    const std::vector<std::uint32_t> after = grab();
    ASSERT_EQ(after.size(), before.size());
    EXPECT_TRUE(after == before);
    // The lost connection's socket was closed.
    EXPECT_EQ(openDescriptors(), descriptors);
    EXPECT_GT(render(4), 0.0f);
    dispatch(effect, effEditClose);
    EXPECT_TRUE(children().empty());
    EXPECT_EQ(openDescriptors(), descriptors - 1);
}

TEST_F(LostConnection, ANoticeWindowWhoseClientIsKilledEndsAlone) {
    ASSERT_TRUE(openEditor());
    idle(10);
    const std::vector<std::uint32_t> before = grab();
    ASSERT_EQ(before.size(), 727u * 301u);
    {
        // A refused chunk while the panel is open brings up the error window; its client is
        // killed instead of the window being answered.
        WindowDriver driver("Velmor Loom Error", [](Display* d, Window w) { XKillClient(d, w); });
        unsigned char garbage[88] = {};
        EXPECT_EQ(dispatch(effect, effSetChunk, 1, sizeof garbage, garbage), 0);
        EXPECT_TRUE(driver.found);
    }
    // The panel, on its own connection, works on.
    noteOn();
    EXPECT_GT(render(20), 0.01f);
    idle(5);
    EXPECT_TRUE(grab() == before);
    dispatch(effect, effEditClose);
}

TEST_F(LostConnection, TheHostsOwnConnectionsKeepTheirHandler) {
    XIOErrorHandler previous = XSetIOErrorHandler(hostIOErrorHandler);
    Display* other = vltest::x11::openDisplay(40, 50);
    ASSERT_NE(other, nullptr);
    XSetIOErrorExitHandler(other, hostIOErrorExit, nullptr);
    Window otherWindow = XCreateSimpleWindow(other, DefaultRootWindow(other), 0, 0, 10, 10, 0, 0, 0);
    XSync(other, False);

    ASSERT_TRUE(openEditor());
    idle(3);
    // Another of the host's connections is lost while the panel is open: the host's
    // handler hears of it, the panel goes on.
    hostLosses.clear();
    XKillClient(display, otherWindow);
    XSync(display, False);
    XSync(other, False);
    ASSERT_EQ(hostLosses.size(), 1u);
    EXPECT_EQ(hostLosses[0], other);
    idle(3);
    EXPECT_EQ(children().size(), 1u);
    dispatch(effect, effEditClose);

    // With the panel closed the host's handler is in place again.
    EXPECT_EQ(XSetIOErrorHandler(previous), hostIOErrorHandler);
}

} // namespace
