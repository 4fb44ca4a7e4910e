#pragma once
// What a host receives from one knob drag on the CLAP plug-in's panel: one gesture begin,
// value events, one gesture end, in that order, all for the knob's parameter.
#include <gtest/gtest.h>

#include <vector>

#include "tests/clap/ClapTestHost.h"

namespace claptest {

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
