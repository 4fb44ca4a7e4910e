// The record's entry functions: forwarding, effClose ending the frame, and no exception
// getting through to the host.

#include <gtest/gtest.h>

#include "FrameProbe.h"

namespace vltest {
namespace {

using Log = std::vector<std::string>;

TEST(FrameThunks, EntryFunctionsForwardToTheFrame) {
    Log log;
    ProbeFrame probe(&log, RecordingHost::callback);
    RecordingHost::reset(1);
    AEffect* e = probe.getAeffect();
    float left[8] = {}, right[8] = {};
    float* outs[2] = {left, right};

    e->process(e, nullptr, outs, 8);
    e->processReplacing(e, nullptr, outs, 5);
    e->setParameter(e, 3, 0.25f);
    probe.floatAnswer = 0.75f;
    EXPECT_EQ(e->getParameter(e, 9), 0.75f);
    EXPECT_EQ(log, (Log{"process 8", "processReplacing 5", "setParameter 3 0.25", "getParameter 9"}));
    // The host's own parameter change is not reported back to it as automation.
    EXPECT_TRUE(RecordingHost::requests().empty());
}

TEST(FrameThunks, EntryFunctionsWithoutAFrameDoNothing) {
    AEffect empty{};
    PlainFrame frame;
    AEffect* e = frame.getAeffect();
    EXPECT_EQ(e->dispatcher(&empty, effIdentify, 0, 0, nullptr, 0.0f), 0);
    EXPECT_EQ(e->dispatcher(nullptr, effIdentify, 0, 0, nullptr, 0.0f), 0);
    EXPECT_EQ(e->getParameter(nullptr, 0), 0.0f);
    e->setParameter(nullptr, 0, 1.0f);
    e->process(&empty, nullptr, nullptr, 16);
    e->processReplacing(nullptr, nullptr, nullptr, 16);
}

TEST(FrameThunks, CloseCallsCloseThenDeletesTheFrameOnceAndAnswersOne) {
    Log log;
    auto* probe = new ProbeFrame(&log);
    auto* editor = new ProbeEditor(probe, &log);
    probe->setEditor(editor);
    AEffect* e = probe->getAeffect();
    EXPECT_EQ(dispatch(e, effClose), 1);
    EXPECT_EQ(log, (Log{"close", "destroy", "editor destroy"}));
}

TEST(FrameThunks, CloseOfAFrameWhoseCloseThrowsStillEndsIt) {
    Log log;
    auto* probe = new ProbeFrame(&log);
    probe->throwInDispatch = true;
    EXPECT_EQ(dispatch(probe->getAeffect(), effClose), 1);
    EXPECT_EQ(log, Log{"destroy"});
}

TEST(FrameThunks, ExceptionsStopAtTheEntryFunctions) {
    Log log;
    ProbeFrame probe(&log);
    probe.throwInDispatch = true;
    AEffect* e = probe.getAeffect();
    EXPECT_EQ(dispatch(e, effIdentify), 0);

    float left[4] = {1, 1, 1, 1}, right[4] = {1, 1, 1, 1};
    float* outs[2] = {left, right};
    e->processReplacing(e, nullptr, outs, 4);
    for (int i = 0; i < 4; ++i) {
        EXPECT_EQ(left[i], 0.0f) << i; // the replacing call leaves silence
        EXPECT_EQ(right[i], 0.0f) << i;
    }
    left[0] = 1.0f;
    e->process(e, nullptr, outs, 4); // accumulating call: returns, no crash
    EXPECT_EQ(left[0], 7.0f);
}

} // namespace
} // namespace vltest
