#pragma once
// What the CLAP panel tests share on every platform: the plug-in created in a test host with
// its panel's extensions; the VST 2 plug-in's panel to compare its pixels with; what a
// host receives from one knob drag (one gesture begin, value events, one gesture end, in
// that order, all for the knob's parameter).
#include <gtest/gtest.h>

#include <cstdint>
#include <vector>

#include "tests/clap/ClapTestHost.h"
#include "tests/support/PluginHost.h"

namespace claptest {

// A test host with the plug-in created and the extensions the panel tests use.
class PanelHostTest : public ::testing::Test {
protected:
    // From SetUp, which stops after a fatal failure here.
    void createPlugin() {
        static ClapLibrary library;
        ASSERT_TRUE(library.factory) << VL_CLAP_PATH;
        plugin = host.create(library);
        ASSERT_NE(plugin, nullptr);
        gui = extension<clap_plugin_gui_t>(plugin, CLAP_EXT_GUI);
        timer = extension<clap_plugin_timer_support_t>(plugin, CLAP_EXT_TIMER_SUPPORT);
        params = extension<clap_plugin_params_t>(plugin, CLAP_EXT_PARAMS);
        ASSERT_NE(gui, nullptr);
        ASSERT_NE(timer, nullptr);
    }

    TestHost host;
    const clap_plugin_t* plugin = nullptr;
    const clap_plugin_gui_t* gui = nullptr;
    const clap_plugin_timer_support_t* timer = nullptr;
    const clap_plugin_params_t* params = nullptr;
};

// The VST 2 plug-in's panel: opened by open(effect) in the host's window (true when
// effEditOpen succeeded), idled five times (effEditIdle, then idle() for the host's own
// loop), read by grab(), closed with the plug-in. Empty after a failure.
template <class Open, class Idle, class Grab>
std::vector<std::uint32_t> vstPanelPixels(Open open, Idle idle, Grab grab) {
    plugtest::Library vst;
    EXPECT_NE(vst.pluginMain, nullptr);
    AEffect* effect = vst.pluginMain ? vst.pluginMain(plugtest::recordingHost) : nullptr;
    EXPECT_NE(effect, nullptr);
    if (!effect) return {};
    std::vector<std::uint32_t> pixels;
    const bool opened = open(effect);
    EXPECT_TRUE(opened) << "the VST 2 editor did not open";
    if (opened) {
        for (int i = 0; i < 5; ++i) {
            plugtest::dispatch(effect, effEditIdle);
            idle();
        }
        pixels = grab();
        plugtest::dispatch(effect, effEditClose);
    }
    plugtest::dispatch(effect, effClose);
    return pixels;
}

inline void expectOneGesture(const std::vector<OutputEvents::Event>& events, clap_id param, double finalValue) {
    int begins = 0, ends = 0, values = 0, firstBegin = -1, firstValue = -1, lastValue = -1, lastEnd = -1;
    double last = -1.0;
    for (int i = 0; i < static_cast<int>(events.size()); ++i) {
        const OutputEvents::Event& e = events[static_cast<std::size_t>(i)];
        EXPECT_EQ(e.param, param) << "event " << i << " of type " << e.type;
        if (e.param != param) continue;
        if (e.type == CLAP_EVENT_PARAM_GESTURE_BEGIN && begins++ == 0) firstBegin = i;
        if (e.type == CLAP_EVENT_PARAM_GESTURE_END) {
            ++ends;
            lastEnd = i;
        }
        if (e.type == CLAP_EVENT_PARAM_VALUE) {
            if (values++ == 0) firstValue = i;
            lastValue = i;
            last = e.value;
        }
    }
    EXPECT_EQ(begins, 1);
    EXPECT_EQ(ends, 1);
    EXPECT_GT(values, 1);
    EXPECT_LT(firstBegin, firstValue);
    EXPECT_LT(lastValue, lastEnd);
    EXPECT_EQ(last, finalValue);
}

} // namespace claptest
