// The plain editor interface on its own and as the frame drives it.

#include <gtest/gtest.h>

#include <cstdint>

#include "FrameProbe.h"

namespace vltest {
namespace {

class CountingEditor : public EditorBase {
public:
    using EditorBase::EditorBase;
    int updates = 0;
    void update() override { ++updates; }
};

TEST(EditorBase, PostedUpdateRunsOnceOnTheNextIdle) {
    CountingEditor editor(nullptr);
    editor.idle();
    EXPECT_EQ(editor.updates, 0);
    editor.postUpdate();
    EXPECT_TRUE(editor.isUpdatePending());
    editor.idle();
    editor.idle();
    EXPECT_EQ(editor.updates, 1);
    EXPECT_FALSE(editor.isUpdatePending());
    editor.postUpdate();
    editor.postUpdate();
    editor.idle();
    EXPECT_EQ(editor.updates, 2);
}

TEST(EditorBase, DefaultAnswers) {
    PlainFrame frame;
    EditorBase editor(&frame);
    EXPECT_EQ(editor.getEffect(), &frame);
    EXPECT_EQ(editor.getSystemWindow(), nullptr);
    EXPECT_FALSE(editor.isUpdatePending());

    ERect stale{};
    ERect* rect = &stale;
    EXPECT_EQ(editor.getRect(&rect), 0);
    EXPECT_EQ(rect, nullptr);

    void* parent = reinterpret_cast<void*>(static_cast<std::uintptr_t>(0xABC0));
    EXPECT_EQ(editor.open(parent), 0);
    EXPECT_EQ(editor.getSystemWindow(), parent);

    VstKeyCode key{65, 0, 0};
    EXPECT_EQ(editor.onKeyDown(key), -1);
    EXPECT_EQ(editor.onKeyUp(key), -1);
    EXPECT_EQ(editor.setKnobMode(2), 0);
    EXPECT_FALSE(editor.onWheel(1.0f));
    editor.close();
}

TEST(EditorBase, FrameAnswersForAPlainEditor) {
    auto* frame = new PlainFrame;
    auto* editor = new CountingEditor(frame);
    frame->setEditor(editor);
    AEffect* e = frame->getAeffect();
    EXPECT_EQ(e->flags, effFlagsHasEditor);

    ERect stale{};
    ERect* rect = &stale;
    EXPECT_EQ(dispatch(e, effEditGetRect, 0, 0, &rect), 0);
    EXPECT_EQ(rect, nullptr);
    void* parent = reinterpret_cast<void*>(static_cast<std::uintptr_t>(0xABC0));
    EXPECT_EQ(dispatch(e, effEditOpen, 0, 0, parent), 0);
    EXPECT_EQ(editor->getSystemWindow(), parent);
    EXPECT_EQ(dispatch(e, effEditKeyDown, 'x', 0, nullptr, 0.0f), -1);
    EXPECT_EQ(dispatch(e, effEditKeyUp, 'x', 0, nullptr, 0.0f), -1);
    EXPECT_EQ(dispatch(e, effSetEditKnobMode, 0, 1), 0);

    editor->postUpdate();
    EXPECT_EQ(dispatch(e, effEditIdle), 0);
    EXPECT_EQ(dispatch(e, effEditIdle), 0);
    EXPECT_EQ(editor->updates, 1);
    EXPECT_EQ(dispatch(e, effEditClose), 0);
    EXPECT_EQ(dispatch(e, effClose), 1); // deletes the frame and with it the editor
}

} // namespace
} // namespace vltest
