// A host opens a toolkit editor with a few controls in a real window and works it with
// posted presses (clicks that are over before their message is handled), real input
// through SendInput (a knob drag, typing into the text field) and idle calls, checking
// what the listener and the host hear.

#include <gtest/gtest.h>

#include <atomic>
#include <string>
#include <thread>
#include <vector>

#include "tests/support/Win32TestSupport.h"
#include "gui/Canvas.h"
#include "gui/Controls.h"
#include "gui/Picture.h"
#include "gui/RootView.h"
#include "gui/ToolkitEditor.h"
#include "gui/win32/NativeWindow.h"
#include "vst/EffectFrame.h"

namespace vl {
namespace {

using test::PixelGrid;
using test::pumpMessages;

constexpr Color offColor{20, 40, 160, 0};
constexpr Color onColor{250, 220, 0, 0};

struct HostLog {
    std::vector<std::pair<VstInt32, VstInt32>> edits; // opcode, parameter index
    int idles = 0;
    std::atomic<bool> dragStarted{false};
};
HostLog* hostLog = nullptr;

VstIntPtr VSTCALLBACK recordingHost(AEffect*, VstInt32 opcode, VstInt32 index, VstIntPtr, void*, float) {
    if (!hostLog) return 0;
    if (opcode == audioMasterBeginEdit || opcode == audioMasterEndEdit) {
        hostLog->edits.emplace_back(opcode, index);
        if (opcode == audioMasterBeginEdit) hostLog->dragStarted = true;
    }
    if (opcode == audioMasterIdle) ++hostLog->idles;
    return 0;
}

class HostFrame final : public ExtendedEffectFrame {
public:
    HostFrame() : ExtendedEffectFrame(recordingHost, 1, 8) {}
    void process(float**, float**, VstInt32) override {}
};

// Two stacked 30 x 30 images: off on top, on below.
Picture* makeButtonPicture() {
    std::vector<uint8_t> rgb;
    for (int v = 0; v < 60; ++v) {
        const Color& c = v < 30 ? offColor : onColor;
        for (int h = 0; h < 30; ++h) rgb.insert(rgb.end(), {c.red, c.green, c.blue});
    }
    return new Picture(30, 60, rgb.data());
}

class PanelEditor final : public ToolkitEditor, public ValueListener {
public:
    explicit PanelEditor(EffectFrame* effect) : ToolkitEditor(effect) { rect = ERect{0, 0, 200, 300}; }

    VstInt32 open(void* window) override {
        ToolkitEditor::open(window);
        root = new RootView(Rect{0, 0, 300, 200}, window, this);
        Picture* picture = makeButtonPicture();
        toggle = new ToggleButton(Rect{10, 10, 40, 40}, this, 1, picture);
        momentary = new MomentaryButton(Rect{50, 10, 80, 40}, this, 2, 30, picture, Point{0, 0});
        knob = new RotaryKnob(Rect{100, 10, 160, 70}, this, 3, nullptr, nullptr, Point{0, 0});
        field = new TextField(Rect{10, 100, 150, 120}, this, 5, "start", nullptr, 0);
        picture->release(); // the controls hold their own references
        for (Widget* w : std::initializer_list<Widget*>{toggle, momentary, knob, field}) root->addView(w);
        return 1;
    }

    void close() override {
        if (root) root->release();
        root = nullptr;
    }

    void valueChanged(Canvas&, Widget* control) override {
        auto* value = static_cast<ValueWidget*>(control);
        changes.emplace_back(value->getTag(), value->getValue());
        if (control == field) {
            char text[256];
            field->getText(text, sizeof text);
            fieldTexts.emplace_back(text);
        }
    }

    HWND panelWindow() const { return root ? static_cast<HWND>(root->getView()->nativeHandle()) : nullptr; }

    ToggleButton* toggle = nullptr;
    MomentaryButton* momentary = nullptr;
    RotaryKnob* knob = nullptr;
    TextField* field = nullptr;
    std::vector<std::pair<int32_t, float>> changes;
    std::vector<std::string> fieldTexts;
};

class EditorHostTest : public ::testing::Test {
protected:
    void SetUp() override {
        hostLog = &log;
        editor = new PanelEditor(&frame); // the frame owns it from now on
        ERect* rect = nullptr;
        ASSERT_EQ(frame.dispatcher(effEditGetRect, 0, 0, &rect, 0.0f), 1);
        ASSERT_NE(rect, nullptr);
        EXPECT_EQ(rect->right, 300);
        frame.dispatcher(effEditOpen, 0, 0, host.handle(), 0.0f);
        ASSERT_NE(editor->panelWindow(), nullptr);
        SetForegroundWindow(host.handle());
        settle();
    }
    void TearDown() override {
        frame.dispatcher(effEditClose, 0, 0, nullptr, 0.0f);
        hostLog = nullptr;
    }

    // What a host does between user actions: its message loop and the editor's idle.
    void settle() {
        for (int i = 0; i < 5; ++i) {
            pumpMessages();
            frame.dispatcher(effEditIdle, 0, 0, nullptr, 0.0f);
            Sleep(10);
        }
    }
    void postPress(int h, int v, WPARAM keys = MK_LBUTTON) {
        PostMessageA(editor->panelWindow(), WM_LBUTTONDOWN, keys, MAKELPARAM(h, v));
        settle();
    }
    Color panelPixel(int h, int v) {
        HWND window = editor->panelWindow();
        HDC dc = GetDC(window);
        PixelGrid grid(dc, 300, 200);
        ReleaseDC(window, dc);
        return grid.at(h, v);
    }
    POINT screenPoint(int h, int v) {
        POINT p{h, v};
        ClientToScreen(editor->panelWindow(), &p);
        return p;
    }

    test::TopWindow host{420, 320};
    HostLog log;
    HostFrame frame;
    PanelEditor* editor = nullptr;
};

TEST_F(EditorHostTest, OpensAChildWindowAndDrawsTheControls) {
    HWND panel = editor->panelWindow();
    EXPECT_EQ(GetParent(panel), host.handle());
    EXPECT_TRUE(editor->getRoot()->isOpen());
    EXPECT_FALSE(editor->getRoot()->isFirstDrawPending()) << "the first WM_PAINT drew the panel";
    EXPECT_EQ(panelPixel(25, 25), offColor);
    EXPECT_EQ(panelPixel(65, 25), offColor);
    EXPECT_EQ(win32::NativeWindow::registrationCount(), 1);
}

// Posted presses arrive after their button is up again: each still acts once.
TEST_F(EditorHostTest, QuickClicksAct) {
    struct Case {
        const char* name;
        int h, v;
        WPARAM keys;
        float knobBefore;
        std::vector<std::pair<int32_t, float>> changes;
        std::vector<std::pair<VstInt32, VstInt32>> edits;
    };
    const Case cases[] = {
        {"toggle on", 20, 20, MK_LBUTTON, 0.0f, {{1, 1.0f}}, {}},
        {"toggle off", 39, 39, MK_LBUTTON, 0.0f, {{1, 0.0f}}, {}},
        {"momentary",
         60,
         20,
         MK_LBUTTON,
         0.0f,
         {{2, 1.0f}, {2, 0.0f}},
         {{audioMasterBeginEdit, 2}, {audioMasterEndEdit, 2}}},
        {"knob to its default with Control", 130, 40, MK_LBUTTON | MK_CONTROL, 0.9f, {{3, 0.5f}}, {}},
        {"right button does nothing", 20, 20, MK_RBUTTON, 0.0f, {}, {}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        editor->knob->setValue(c.knobBefore);
        settle();
        editor->changes.clear();
        log.edits.clear();
        if (c.keys & MK_RBUTTON) {
            PostMessageA(editor->panelWindow(), WM_RBUTTONDOWN, c.keys, MAKELPARAM(c.h, c.v));
            settle();
        } else {
            postPress(c.h, c.v, c.keys);
        }
        EXPECT_EQ(editor->changes, c.changes);
        EXPECT_EQ(log.edits, c.edits);
    }
    // The toggle's second click turned it off; a third draws the on image at the next idle.
    postPress(20, 20);
    EXPECT_EQ(panelPixel(25, 25), onColor);
    EXPECT_EQ(panelPixel(65, 25), offColor) << "the momentary button is released again";
}

// Real input: the button goes down and up again before the press message is handled.
TEST_F(EditorHostTest, RealQuickClicksAct) {
    struct Case {
        const char* name;
        int h, v;
        std::vector<std::pair<int32_t, float>> changes;
    };
    const Case cases[] = {
        {"toggle", 25, 25, {{1, 1.0f}}},
        {"momentary", 65, 25, {{2, 1.0f}, {2, 0.0f}}},
        {"toggle again", 25, 25, {{1, 0.0f}}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        editor->changes.clear();
        const POINT p = screenPoint(c.h, c.v);
        SetCursorPos(p.x, p.y);
        test::sendMouseButton(MOUSEEVENTF_LEFTDOWN);
        test::sendMouseButton(MOUSEEVENTF_LEFTUP);
        Sleep(20);
        settle();
        EXPECT_EQ(editor->changes, c.changes);
    }
}

TEST_F(EditorHostTest, KnobFollowsARealDragWithBeginAndEndEdit) {
    frame.dispatcher(effSetEditKnobMode, 0, 2, nullptr, 0.0f); // linear dragging
    editor->knob->setValue(0.25f);
    settle();
    editor->changes.clear();
    log.edits.clear();
    log.idles = 0;
    const POINT start = screenPoint(130, 40);
    SetCursorPos(start.x, start.y);
    std::atomic<bool> done{false};
    std::thread hand([&] {
        for (int i = 0; i < 300 && !log.dragStarted; ++i) Sleep(10);
        // 100 pixels up: half the range in linear mode.
        for (int step = 1; step <= 10; ++step) {
            SetCursorPos(start.x, start.y - 10 * step);
            Sleep(30);
        }
        Sleep(150);
        test::sendMouseButton(MOUSEEVENTF_LEFTUP);
        done = true;
    });
    test::sendMouseButton(MOUSEEVENTF_LEFTDOWN);
    while (!done) { // the press message enters the knob's tracking loop from here
        pumpMessages();
        Sleep(5);
    }
    hand.join();
    settle();
    frame.dispatcher(effSetEditKnobMode, 0, 0, nullptr, 0.0f);
    ASSERT_TRUE(log.dragStarted) << "the real press reached the knob";
    EXPECT_NEAR(editor->knob->getValue(), 0.75f, 1e-4f);
    const std::vector<std::pair<VstInt32, VstInt32>> edits{{audioMasterBeginEdit, 3}, {audioMasterEndEdit, 3}};
    EXPECT_EQ(log.edits, edits);
    ASSERT_FALSE(editor->changes.empty());
    EXPECT_GE(editor->changes.size(), 3u) << "the listener follows the drag";
    for (const auto& change : editor->changes) EXPECT_EQ(change.first, 3);
    EXPECT_NEAR(editor->changes.back().second, 0.75f, 1e-4f);
    EXPECT_GE(log.idles, 3) << "the host keeps getting its idle calls during the drag";
}

TEST_F(EditorHostTest, TypingIntoTheTextFieldCommitsOnReturn) {
    postPress(50, 110);
    ASSERT_TRUE(editor->field->isEditing());
    HWND edit = GetFocus();
    ASSERT_NE(edit, nullptr);
    EXPECT_EQ(GetParent(edit), editor->panelWindow());
    for (WORD key : {WORD('A'), WORD('B')}) {
        test::sendKey(key, true);
        test::sendKey(key, false);
    }
    test::sendKey(VK_RETURN, true);
    test::sendKey(VK_RETURN, false);
    for (int i = 0; i < 50 && editor->field->isEditing(); ++i) settle();
    EXPECT_FALSE(editor->field->isEditing());
    EXPECT_FALSE(IsWindow(edit));
    ASSERT_EQ(editor->fieldTexts.size(), 1u);
    EXPECT_EQ(editor->fieldTexts[0], "ab") << "typing replaced the selected text";

    // Opening again and leaving without a change: no listener call, the field is redrawn.
    postPress(50, 110);
    ASSERT_TRUE(editor->field->isEditing());
    postPress(20, 20); // a press elsewhere in the panel ends the editing first
    EXPECT_FALSE(editor->field->isEditing());
    EXPECT_EQ(editor->fieldTexts.size(), 1u);
}

TEST_F(EditorHostTest, TheWheelTurnsTheKnobUnderTheMouse) {
    editor->knob->setValue(0.5f);
    settle();
    editor->changes.clear();
    const POINT overKnob = screenPoint(130, 40);
    SetCursorPos(overKnob.x, overKnob.y);
    SendMessageA(editor->panelWindow(), WM_MOUSEWHEEL, MAKEWPARAM(0, WHEEL_DELTA), MAKELPARAM(overKnob.x, overKnob.y));
    EXPECT_NEAR(editor->knob->getValue(), 0.6f, 1e-6f);
    SendMessageA(editor->panelWindow(), WM_MOUSEWHEEL, MAKEWPARAM(0, static_cast<WORD>(-2 * WHEEL_DELTA)),
                 MAKELPARAM(overKnob.x, overKnob.y));
    EXPECT_NEAR(editor->knob->getValue(), 0.4f, 1e-6f);
    EXPECT_EQ(editor->changes.size(), 2u);
    const POINT nowhere = screenPoint(250, 180);
    SetCursorPos(nowhere.x, nowhere.y);
    SendMessageA(editor->panelWindow(), WM_MOUSEWHEEL, MAKEWPARAM(0, WHEEL_DELTA), MAKELPARAM(nowhere.x, nowhere.y));
    EXPECT_NEAR(editor->knob->getValue(), 0.4f, 1e-6f);
    EXPECT_EQ(log.edits.size(), 0u) << "the wheel sends no begin/end edit";
}

// The host idles the editor all the time; each pass with something dirty makes a canvas
// on the window and draws (the toggle with the keyed blit): nothing may be left behind.
TEST_F(EditorHostTest, ThousandsOfIdlePassesLeakNoGdiObject) {
    editor->toggle->setTransparent(true);
    editor->toggle->setDirty(true);
    settle(); // the first keyed blit makes the picture's mask, kept from then on
    const long before = test::gdiObjectCount();
    ASSERT_GT(before, 0);
    for (int i = 0; i < 2000; ++i) {
        editor->knob->setValue(i % 2 ? 0.2f : 0.8f);
        editor->toggle->setDirty(true);
        frame.dispatcher(effEditIdle, 0, 0, nullptr, 0.0f);
    }
    EXPECT_EQ(test::gdiObjectCount(), before);
    editor->toggle->setValue(1.0f);
    frame.dispatcher(effEditIdle, 0, 0, nullptr, 0.0f);
    EXPECT_EQ(panelPixel(25, 25), onColor);
}

TEST_F(EditorHostTest, ClosingWhileEditingAndReopeningLeaveNothingBehind) {
    postPress(50, 110);
    ASSERT_TRUE(editor->field->isEditing());
    HWND edit = GetFocus();
    frame.dispatcher(effEditClose, 0, 0, nullptr, 0.0f);
    EXPECT_FALSE(IsWindow(edit));
    EXPECT_EQ(win32::NativeWindow::registrationCount(), 0);
    frame.dispatcher(effEditOpen, 0, 0, host.handle(), 0.0f);
    settle();
    EXPECT_EQ(win32::NativeWindow::registrationCount(), 1);
    EXPECT_EQ(panelPixel(25, 25), offColor);
}

TEST_F(EditorHostTest, TheHostDestroyingItsWindowFirstIsHarmless) {
    postPress(50, 110);
    ASSERT_TRUE(editor->field->isEditing());
    DestroyWindow(host.handle());
    pumpMessages();
    EXPECT_FALSE(editor->getRoot()->isOpen());
    frame.dispatcher(effEditIdle, 0, 0, nullptr, 0.0f);
    frame.dispatcher(effEditClose, 0, 0, nullptr, 0.0f);
    EXPECT_EQ(win32::NativeWindow::registrationCount(), 0);
}

} // namespace
} // namespace vl
