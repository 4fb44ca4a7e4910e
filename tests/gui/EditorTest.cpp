// ToolkitEditor: update handling, idle pacing of drags, knob mode, host requests.
#include <gtest/gtest.h>

#include "GuiTestSupport.h"

using namespace guitest;

namespace {

struct EditorFixture : ::testing::Test {
    FakeViewScope scope;
    TestFrame frame;
    TestEditor* editor = new TestEditor(&frame); // deleted by the frame
    void SetUp() override { TestHost::reset(); }
    void TearDown() override { TestHost::reset(); }
};

} // namespace

TEST_F(EditorFixture, RegistersWithTheFrameAndAnswersTheHostRequests) {
    EXPECT_TRUE(frame.getAeffect()->flags & effFlagsHasEditor);
    ERect* r = nullptr;
    EXPECT_EQ(frame.dispatcher(effEditGetRect, 0, 0, &r, 0.0f), 1);
    ASSERT_NE(r, nullptr);
    EXPECT_EQ(r->right, 300);
    EXPECT_EQ(r->bottom, 200);
    EXPECT_EQ(frame.dispatcher(effEditOpen, 0, 0, reinterpret_cast<void*>(1), 0.0f), 1);
    EXPECT_NE(editor->getRoot(), nullptr);
    EXPECT_EQ(editor->getSystemWindow(), reinterpret_cast<void*>(1));
    EXPECT_EQ(frame.dispatcher(effSetEditKnobMode, 0, 2, nullptr, 0.0f), 1);
    EXPECT_EQ(getKnobMode(), 2);
    EXPECT_EQ(frame.dispatcher(effSetEditKnobMode, 0, 0, nullptr, 0.0f), 1);
    // No line editor open: keys are not taken.
    EXPECT_EQ(frame.dispatcher(effEditKeyDown, 'a', 0, nullptr, 0.0f), -1);
    EXPECT_EQ(frame.dispatcher(effEditKeyUp, 'a', 0, nullptr, 0.0f), -1);
    frame.dispatcher(effEditClose, 0, 0, nullptr, 0.0f);
    EXPECT_EQ(editor->getRoot(), nullptr);
    EXPECT_FALSE(editor->onWheel(1.0f)) << "no root";
}

TEST_F(EditorFixture, PostedUpdateRunsOnceAtTheNextIdle) {
    editor->setParameter(3, 0.5f);
    editor->idle();
    EXPECT_EQ(editor->updates, 1);
    editor->idle();
    EXPECT_EQ(editor->updates, 1);
    editor->open(reinterpret_cast<void*>(1)); // open posts an update too
    frame.dispatcher(effEditIdle, 0, 0, nullptr, 0.0f);
    EXPECT_EQ(editor->updates, 2);
}

TEST_F(EditorFixture, IdleDuringDragPacesPaintAndHostIdle) {
    editor->open(reinterpret_cast<void*>(1));
    FakeView& view = *FakeView::current();
    sleepMilliseconds(120);
    editor->idleDuringDrag(); // more than 100 ms since the last full pass: full pass at once
    EXPECT_EQ(TestHost::count(audioMasterIdle), 1);
    EXPECT_EQ(view.paintDispatches, 1);

    const uint32_t before = tickCount();
    editor->idleDuringDrag(); // right after: sleeps 4 ms and returns early
    EXPECT_GE(tickCount() - before, 4u);
    EXPECT_EQ(TestHost::count(audioMasterIdle), 1);
    EXPECT_EQ(view.paintDispatches, 1);

    sleepMilliseconds(70);
    editor->idleDuringDrag(); // between 50 and 100 ms: sleeps, then the full pass
    EXPECT_EQ(TestHost::count(audioMasterIdle), 2);
    EXPECT_EQ(view.paintDispatches, 2);
}

TEST_F(EditorFixture, HostIdleReenteringTheEditorReturnsAtOnce) {
    editor->open(reinterpret_cast<void*>(1));
    int reentries = 0;
    TestHost::onIdle() = [&] {
        ++reentries;
        EXPECT_TRUE(editor->isInIdle());
        editor->postUpdate();
        editor->idle(); // must not run the update
        EXPECT_EQ(editor->updates, 1);
    };
    editor->idle(); // runs open's update
    EXPECT_EQ(editor->updates, 1);
    sleepMilliseconds(110);
    editor->idleDuringDrag();
    EXPECT_EQ(reentries, 1);
    EXPECT_FALSE(editor->isInIdle());
    editor->idle(); // the update posted inside runs now
    EXPECT_EQ(editor->updates, 2);
}

TEST_F(EditorFixture, DrawRedrawsTheWholeRoot) {
    PictureRef backdrop(kBackdrop);
    editor->build = [&](RootView& r) { r.setBackground(backdrop); };
    editor->open(reinterpret_cast<void*>(1));
    FakeView& view = *FakeView::current();
    EXPECT_TRUE(view.pixel(150, 100).sameRgb(Color{1, 2, 3, 4}) ||
                !view.pixel(150, 100).sameRgb(backdropColor(150, 100)));
    editor->draw(nullptr);
    EXPECT_TRUE(view.pixel(150, 100).sameRgb(backdropColor(150, 100)));
    EXPECT_TRUE(view.pixel(299, 199).sameRgb(backdropColor(299, 199)));
    EXPECT_FALSE(editor->getRoot()->isFirstDrawPending());
}
