// Controls: value mapping, drawing and mouse behaviour, driven through a scripted view.
#include <gtest/gtest.h>

#include <cmath>
#include <cstring>

#include "GuiTestSupport.h"

using namespace guitest;

namespace {

struct ControlFixture : ::testing::Test {
    RecordingListener listener; // outlives the controls, which the frame's editor holds
    FakeViewScope scope;
    TestFrame frame;
    TestEditor* editor = new TestEditor(&frame);
    void SetUp() override {
        TestHost::reset();
        setGlobalKnobMode(0);
    }
    void TearDown() override { setGlobalKnobMode(0); }
    FakeView& view() { return *FakeView::current(); }
    RootView& root() { return *editor->getRoot(); }
    void open(std::function<void(RootView&)> build) {
        editor->build = std::move(build);
        editor->open(reinterpret_cast<void*>(1));
        view().paint();
        editor->idle(); // the root's own first update: a full draw
    }
    // A knob 40 x 40 at (100, 50): centre (120, 70).
    RotaryKnob* addKnob(RootView& r, int32_t tag = 3) {
        auto* k = new RotaryKnob(Rect{100, 50, 140, 90}, &listener, tag, nullptr, nullptr, Point{});
        r.addView(k);
        return k;
    }
};

// Moves the pointer in steps with the left button (plus extra) held, then releases.
std::vector<InputStep> dragTo(std::vector<Point> points, ButtonState held = kLeftButton) {
    std::vector<InputStep> steps;
    for (auto& p : points) steps.push_back({p, held});
    steps.push_back({points.back(), 0});
    return steps;
}

} // namespace

TEST_F(ControlFixture, FilmstripShowsTheFrameOfTheValueAndTheLastFrameAboveOne) {
    PictureRef strip(kStrip);
    FilmstripKnob* knob = nullptr;
    open([&](RootView& r) {
        knob = new FilmstripKnob(Rect{10, 10, 16, 16}, &listener, 0, kStripFrames, kStripFrameSize, strip, Point{});
        r.addView(knob);
    });
    // 64 frames of 6 pixels: total 378; 0.5 gives 189, the frame starting at 186 (31).
    const struct {
        float value;
        int32_t frame;
    } cases[] = {{0.0f, 0}, {0.5f, 31}, {1.0f, 63}, {1.5f, 63}, {-0.5f, 0}, {0.999f, 62}, {1e30f, 63}};
    for (auto& c : cases) {
        knob->setValue(c.value);
        EXPECT_EQ(knob->frameSourceV(), c.frame * kStripFrameSize) << c.value;
        editor->idle();
        EXPECT_FALSE(knob->isDirty());
        for (Point p : {Point{10, 10}, Point{15, 15}})
            EXPECT_TRUE(view().pixel(p.h, p.v).sameRgb(stripColor(c.frame))) << c.value << " at " << p.h;
    }
}

TEST_F(ControlFixture, DigitDisplayClampsToItsDigits) {
    PictureRef digits(kDigits);
    DigitDisplay* display = nullptr;
    const int32_t lefts[3] = {20, 30, 40}, tops[3] = {5, 5, 5};
    open([&](RootView& r) {
        display = new DigitDisplay(Rect{20, 5, 50, 16}, &listener, 13, 0, 3, lefts, tops, 10, 11, digits);
        r.addView(display);
    });
    EXPECT_EQ(display->getMax(), 999.0f);
    const struct {
        float value;
        int32_t d[3];
        float normalized;
    } cases[] = {{1234.0f, {9, 9, 9}, 1.0f},           {-5.0f, {0, 0, 0}, 0.0f},
                 {42.7f, {0, 4, 2}, 42.7f / 999.0f},   {999.0f, {9, 9, 9}, 1.0f},
                 {100.0f, {1, 0, 0}, 100.0f / 999.0f}, {NAN, {0, 0, 0}, 0.0f}};
    for (auto& c : cases) {
        display->setValue(c.value);
        int32_t shown[7];
        EXPECT_EQ(display->shownDigits(shown), 3);
        EXPECT_FLOAT_EQ(display->getNormalizedValue(), c.normalized) << c.value;
        display->setDirty(true);
        editor->idle();
        for (int i = 0; i < 3; ++i) {
            EXPECT_EQ(shown[i], c.d[i]) << c.value << " digit " << i;
            EXPECT_TRUE(view().pixel(lefts[i] + 5, 10).sameRgb(digitColor(c.d[i]))) << c.value << " digit " << i;
        }
    }
    // Counts above 7 are taken as 7.
    auto* wide = new DigitDisplay(Rect{}, nullptr, 0, 5, 9, nullptr, nullptr, 1, 1, nullptr);
    EXPECT_EQ(wide->getMax(), 9999999.0f);
    wide->release();
}

TEST_F(ControlFixture, KnobGeometryFollowsTheDefaultSweep) {
    RotaryKnob* knob = nullptr;
    open([&](RootView& r) { knob = addKnob(r); });
    // Radius 20; the sweep runs clockwise from lower left (0) over the top to lower right (1).
    const struct {
        Point p;
        float value;
    } cases[] = {
        {{20, 0}, 0.5f}, // top: the middle of the sweep
        {{0, 20}, 1.0f / 6.0f}, // left: 45 degrees after the start
        {{40, 20}, 5.0f / 6.0f}, // right
        {{18, 40}, 0.0f}, // in the gap, left of straight down: the minimum
        {{22, 40}, 1.0f}, // right of straight down: the maximum
    };
    for (auto& c : cases) {
        Point p = c.p;
        EXPECT_NEAR(knob->valueFromPoint(p), c.value, 0.02f) << c.p.h << "," << c.p.v;
    }
    // A sweep counter-clockwise from the right (start 0) over the top to the left (range
    // pi): the gap below splits at 270 degrees.
    knob->setStartAngle(0.0f);
    knob->setRangeAngle(3.14159265f);
    const struct {
        Point p;
        float value;
    } positive[] = {{{40, 20}, 0.0f}, {{20, 0}, 0.5f}, {{0, 20}, 1.0f}, {{10, 38}, 1.0f}, {{30, 38}, 0.0f}};
    for (auto& c : positive) {
        Point p = c.p;
        EXPECT_NEAR(knob->valueFromPoint(p), c.value, 0.02f) << c.p.h << "," << c.p.v;
    }
    knob->setStartAngle(3.9269908f);
    knob->setRangeAngle(-4.712389f);
    // valueToPoint puts the handle on the circle (radius - inset 3 = 17).
    const struct {
        float value;
        Point p;
    } points[] = {{0.5f, {20, 3}}, {0.0f, {8, 32}}, {1.0f, {32, 32}}};
    for (auto& c : points) {
        knob->setValue(c.value);
        Point p;
        knob->valueToPoint(p);
        EXPECT_EQ(p.h, c.p.h) << c.value;
        EXPECT_EQ(p.v, c.p.v) << c.value;
    }
}

TEST_F(ControlFixture, LinearDragSweepsTheRangeIn200PixelsOr300WithShift) {
    RotaryKnob* knob = nullptr;
    open([&](RootView& r) { knob = addKnob(r); });
    setGlobalKnobMode(2);
    const struct {
        const char* name;
        ButtonState held;
        std::vector<Point> path;
        std::vector<float> values;
    } cases[] = {
        {"right 100 then 200", kLeftButton, {{220, 70}, {320, 70}}, {0.0f, 0.5f, 1.0f}},
        {"up counts like right", kLeftButton, {{120, 20}, {170, 20}}, {0.0f, 0.25f, 0.5f}},
        {"left and down clamp at 0", kLeftButton, {{100, 90}}, {0.0f}},
        {"shift: 300 pixels", kLeftButton | kShift, {{270, 70}, {420, 70}}, {0.0f, 0.5f, 1.0f}},
    };
    for (auto& c : cases) {
        knob->setValue(0.0f);
        editor->idle();
        listener.changes.clear();
        TestHost::reset();
        view().press(Point{120, 70}, c.held, dragTo(c.path, c.held));
        std::vector<float> got = listener.values(3);
        // The first pass reports the press itself only when it changes the value.
        if (!got.empty() && got.front() != 0.0f) got.insert(got.begin(), 0.0f);
        if (got.empty()) got.push_back(0.0f);
        ASSERT_EQ(got.size(), c.values.size()) << c.name;
        for (size_t i = 0; i < got.size(); ++i) EXPECT_NEAR(got[i], c.values[i], 1e-6f) << c.name << " " << i;
        EXPECT_EQ(TestHost::edits(), "b3 e3 ") << c.name;
    }
}

TEST_F(ControlFixture, ShiftPressedInTheMiddleOfALinearDragDoesNotJump) {
    RotaryKnob* knob = nullptr;
    open([&](RootView& r) { knob = addKnob(r); });
    setGlobalKnobMode(2);
    knob->setValue(0.0f);
    editor->idle();
    listener.changes.clear();
    view().press(Point{120, 70}, kLeftButton,
                 {{{220, 70}, kLeftButton},
                  {{250, 70}, kLeftButton | kShift},
                  {{280, 70}, kLeftButton | kShift},
                  {{280, 70}, 0}});
    const std::vector<float> got = listener.values(3);
    ASSERT_EQ(got.size(), 3u);
    EXPECT_NEAR(got[0], 0.5f, 1e-6f);
    // Shift is noticed at 100 pixels: the value stays 0.5 there, and each further 30
    // pixels add 0.1.
    EXPECT_NEAR(got[1], 0.6f, 1e-6f);
    EXPECT_NEAR(got[2], 0.7f, 1e-6f);
}

TEST_F(ControlFixture, KnobModeAndAltChooseLinearOrCircular) {
    RotaryKnob* knob = nullptr;
    open([&](RootView& r) { knob = addKnob(r); });
    // A press at the top of the knob without moving: circular jumps to the middle,
    // linear keeps the value.
    const struct {
        int32_t mode;
        ButtonState held;
        float value;
    } cases[] = {{0, kLeftButton, 0.5f},
                 {1, kLeftButton, 0.5f},
                 {2, kLeftButton, 0.0f},
                 {2, kLeftButton | kAlt, 0.5f},
                 {0, kLeftButton | kAlt, 0.0f}};
    for (auto& c : cases) {
        EXPECT_EQ(editor->setKnobMode(c.mode), 1);
        knob->setValue(0.0f);
        view().press(Point{120, 52}, c.held);
        EXPECT_NEAR(knob->getValue(), c.value, 0.02f) << c.mode << " " << c.held;
    }
}

TEST_F(ControlFixture, CircularDragThroughTheGapSticksAtTheEndItCameFrom) {
    RotaryKnob* knob = nullptr;
    open([&](RootView& r) { knob = addKnob(r); });
    knob->setValue(0.0f);
    // Near the maximum (lower right), then through the gap to left of straight down.
    view().press(Point{131, 80}, kLeftButton, dragTo({{126, 88}, {118, 89}, {110, 87}}));
    EXPECT_EQ(knob->getValue(), 1.0f);
    // From near the minimum through the gap to the right: stays at the minimum.
    view().press(Point{109, 80}, kLeftButton, dragTo({{114, 88}, {122, 89}, {130, 87}}));
    EXPECT_EQ(knob->getValue(), 0.0f);
}

TEST_F(ControlFixture, ControlClickSetsTheDefaultWithoutEditCalls) {
    RotaryKnob* knob = nullptr;
    open([&](RootView& r) { knob = addKnob(r); });
    setGlobalKnobMode(2);
    knob->setDefault(0.25f);
    knob->setValue(0.9f);
    editor->idle();
    view().press(Point{125, 75}, kLeftButton | kControl);
    EXPECT_EQ(knob->getValue(), 0.25f);
    EXPECT_EQ(listener.values(3), (std::vector<float>{0.25f}));
    EXPECT_EQ(TestHost::edits(), "");
    // Control + Shift (state 25) is a drag, with its edit calls.
    view().press(Point{125, 75}, kLeftButton | kControl | kShift, dragTo({{155, 75}}, kLeftButton | kControl | kShift));
    EXPECT_NEAR(knob->getValue(), 0.35f, 1e-6f);
    EXPECT_EQ(TestHost::edits(), "b3 e3 ");
    // Other buttons and disabled knobs do nothing.
    listener.changes.clear();
    view().press(Point{125, 75}, kRightButton);
    knob->setMouseEnabled(false);
    view().press(Point{125, 75}, kLeftButton | kControl);
    EXPECT_TRUE(listener.changes.empty());
}

TEST_F(ControlFixture, WheelStepsTheKnobAndOnlyTheKnob) {
    RotaryKnob* knob = nullptr;
    ToggleButton* toggle = nullptr;
    PictureRef pic(kToggle);
    open([&](RootView& r) {
        knob = addKnob(r);
        toggle = new ToggleButton(Rect{10, 10, 18, 18}, &listener, 7, pic);
        r.addView(toggle);
    });
    view().cursor = Point{120, 70};
    const struct {
        float start, distance;
        ButtonState state;
        float result;
    } cases[] = {{0.0f, 1.0f, 0, 0.1f},
                 {0.5f, -1.0f, 0, 0.4f},
                 {0.5f, 1.0f, kShift, 0.51f},
                 {0.95f, 1.0f, 0, 1.0f},
                 {0.05f, -2.0f, 0, 0.0f}};
    for (auto& c : cases) {
        knob->setValue(c.start);
        view().state = c.state;
        EXPECT_TRUE(editor->onWheel(c.distance));
        EXPECT_NEAR(knob->getValue(), c.result, 1e-6f) << c.start << " " << c.distance;
    }
    view().state = 0;
    view().cursor = Point{12, 12};
    EXPECT_FALSE(editor->onWheel(1.0f)); // the toggle does not take the wheel
    view().cursor = Point{250, 150};
    EXPECT_FALSE(editor->onWheel(1.0f)); // nothing under the mouse
    EXPECT_EQ(TestHost::edits(), "");
}

TEST_F(ControlFixture, ToggleButtonFlipsOnTheTruncatedValue) {
    PictureRef pic(kToggle);
    ToggleButton* toggle = nullptr;
    open([&](RootView& r) {
        toggle = new ToggleButton(Rect{10, 10, 18, 18}, &listener, 7, pic);
        r.addView(toggle);
    });
    const struct {
        float start;
        Color drawnBefore;
        float after;
    } cases[] = {{0.0f, kToggleOff, 1.0f}, {1.0f, kToggleOn, 0.0f}, {0.3f, kToggleOn, 1.0f}, {2.0f, kToggleOn, 0.0f}};
    for (auto& c : cases) {
        toggle->setValue(c.start);
        editor->idle();
        EXPECT_TRUE(view().pixel(12, 12).sameRgb(c.drawnBefore)) << c.start;
        listener.changes.clear();
        view().press(Point{14, 14}, kLeftButton);
        EXPECT_EQ(listener.values(7), (std::vector<float>{c.after})) << c.start;
        // Drawn at once, before the next idle.
        EXPECT_TRUE(view().pixel(12, 12).sameRgb(c.after != 0.0f ? kToggleOn : kToggleOff)) << c.start;
    }
    EXPECT_EQ(TestHost::edits(), "");
}

TEST_F(ControlFixture, MomentaryButtonActsOnceOnItsRelease) {
    PictureRef pic(kToggle);
    MomentaryButton* button = nullptr;
    open([&](RootView& r) {
        button = new MomentaryButton(Rect{10, 10, 18, 18}, &listener, 28, 8, pic, Point{});
        r.addView(button);
    });
    const struct {
        const char* name;
        std::vector<InputStep> script;
        std::vector<float> values;
    } cases[] = {
        {"click", {}, {1.0f, 0.0f}},
        {"held", {{{14, 14}, kLeftButton}, {{15, 15}, kLeftButton}}, {1.0f, 0.0f}},
        {"leaves while held", {{{40, 40}, kLeftButton}, {{41, 40}, kLeftButton}}, {1.0f, 0.0f}},
        {"leaves and comes back",
         {{{40, 40}, kLeftButton}, {{40, 40}, kLeftButton}, {{14, 14}, kLeftButton}, {{14, 14}, kLeftButton}},
         {1.0f, 1.0f, 0.0f}},
    };
    for (auto& c : cases) {
        listener.changes.clear();
        TestHost::reset();
        view().press(Point{14, 14}, kLeftButton, c.script);
        EXPECT_EQ(listener.values(28), c.values) << c.name;
        EXPECT_EQ(button->getValue(), 0.0f) << c.name;
        EXPECT_EQ(TestHost::edits(), "b28 e28 ") << c.name;
    }
    // A press whose button is up before the first poll still gives one press and release.
    listener.changes.clear();
    view().state = 0;
    Canvas canvas(&root(), nullptr, nullptr);
    Point where{14, 14};
    button->onMouseDown(canvas, where); // no button down: ignored
    EXPECT_TRUE(listener.changes.empty());
}

TEST_F(ControlFixture, TextFieldEditsThroughTheLineEditor) {
    TextField* field = nullptr;
    GroupView* page = nullptr;
    open([&](RootView& r) {
        page = new GroupView(Rect{0, 0, 300, 200}, &r, nullptr);
        page->setMode(0);
        field = new TextField(Rect{30, 40, 130, 56}, &listener, 27, "Soft Pad", nullptr, 0);
        field->setFont(3);
        field->setAlignment(0);
        page->addView(field);
        r.addView(page);
    });
    view().press(Point{50, 45}, kLeftButton);
    ASSERT_TRUE(field->isEditing());
    EXPECT_EQ(root().getFocus(), field);
    EXPECT_EQ(view().lastSetupText, "Soft Pad");
    EXPECT_EQ(view().lastSetup.frame.left, 30);
    EXPECT_EQ(view().lastSetup.frame.right, 131) << "one pixel wider and taller than the field";
    EXPECT_EQ(view().lastSetup.frame.bottom, 57);
    EXPECT_EQ(view().lastSetup.alignment, 0);
    EXPECT_EQ(view().lastSetup.maxLength, 254);

    // A second press into the field ends the editing (unchanged: nothing reported) and
    // opens it again.
    view().press(Point{50, 45}, kLeftButton);
    EXPECT_TRUE(field->isEditing());
    EXPECT_TRUE(listener.changes.empty());

    // Return (the editor ends) with a changed text: one valueChanged.
    view().editor->text = "Warm Strings";
    view().editor->finish();
    EXPECT_FALSE(field->isEditing());
    EXPECT_EQ(root().getFocus(), nullptr);
    EXPECT_EQ(listener.changes.size(), 1u);
    char text[8];
    EXPECT_EQ(field->getText(text, sizeof text), 7);
    EXPECT_STREQ(text, "Warm St") << "cut to the caller's buffer";
    EXPECT_EQ(field->getText(nullptr, 10), 0);

    // Unchanged text: no valueChanged.
    view().press(Point{50, 45}, kLeftButton);
    view().editor->finish();
    EXPECT_EQ(listener.changes.size(), 1u);

    // A press elsewhere ends the editing and commits.
    view().press(Point{50, 45}, kLeftButton);
    view().editor->text = "Pad Lead";
    view().press(Point{250, 150}, kLeftButton);
    EXPECT_FALSE(field->isEditing());
    EXPECT_EQ(listener.changes.size(), 2u);

    // Removing the page with the editing field ends the editing first.
    view().press(Point{50, 45}, kLeftButton);
    ASSERT_TRUE(field->isEditing());
    view().editor->text = "Solo Strings";
    root().removeView(page, true);
    EXPECT_EQ(root().getFocus(), nullptr);
    EXPECT_EQ(view().editor, nullptr);
    EXPECT_EQ(listener.changes.size(), 3u);
}

TEST_F(ControlFixture, TextFieldTextIsLimitedTo255Characters) {
    TextField* field = new TextField(Rect{0, 0, 10, 10}, nullptr, 1, std::string(300, 'x').c_str(), nullptr, 0);
    char buffer[400];
    EXPECT_EQ(field->getText(buffer, sizeof buffer), 255);
    field->setDirty(false);
    field->setText(std::string(255, 'x').c_str());
    EXPECT_FALSE(field->isDirty()) << "the same text after cutting";
    field->setText("y");
    EXPECT_TRUE(field->isDirty());
    field->setText(nullptr);
    EXPECT_EQ(field->getText(buffer, sizeof buffer), 1);
    field->release();
}

TEST_F(ControlFixture, DoubleClickToEditNeedsTwoClicksInTime) {
    TextField* field = nullptr;
    open([&](RootView& r) {
        field = new TextField(Rect{30, 40, 130, 56}, &listener, 27, "", nullptr, kDoubleClickToEdit);
        r.addView(field);
    });
    view().press(Point{50, 45}, kLeftButton);
    EXPECT_FALSE(field->isEditing()) << "one click does nothing";
    view().press(Point{50, 45}, kLeftButton);
    EXPECT_TRUE(field->isEditing()) << "the second click in time opens the editor";
    view().editor->finish();

    view().press(Point{50, 45}, kLeftButton);
    sleepMilliseconds(doubleClickTime() + 60);
    view().press(Point{50, 45}, kLeftButton);
    EXPECT_FALSE(field->isEditing()) << "too late: only clears the pending click";
    view().press(Point{50, 45}, kLeftButton);
    EXPECT_FALSE(field->isEditing()) << "starts a new pair";
    view().press(Point{50, 45}, kLeftButton);
    EXPECT_TRUE(field->isEditing());
    view().editor->finish();
}

TEST_F(ControlFixture, DirtyRuleOfControls) {
    auto* label = new ValueLabel(Rect{0, 0, 10, 10}, nullptr, 0);
    EXPECT_TRUE(label->isDirty()) << "new: value 0, drawn 1";
    EXPECT_EQ(label->getDrawnValue(), 1.0f);
    label->setDirty(false);
    EXPECT_FALSE(label->isDirty());
    EXPECT_EQ(label->getDrawnValue(), 0.0f);
    label->setValue(-1.0f);
    label->setDirty(true);
    EXPECT_EQ(label->getDrawnValue(), 0.0f);
    label->setValue(0.3f);
    label->setDirty(true);
    EXPECT_EQ(label->getDrawnValue(), -1.0f);
    label->setDirty(false);
    // Setters that change the look mark the label dirty; equal values do not.
    const struct {
        const char* name;
        std::function<void()> change;
        bool dirty;
    } cases[] = {
        {"same font", [&] { label->setFont(3); }, false},
        {"font", [&] { label->setFont(1); }, true},
        {"same colour, other reserved byte",
         [&] {
             label->setFontColor(Color{255, 255, 255, 9});
         },
         false},
        {"colour", [&] { label->setBackColor(kRedColor); }, true},
        {"alignment", [&] { label->setAlignment(2); }, true},
        {"style", [&] { label->setStyle(kNoText); }, true},
        {"back offset only stores",
         [&] {
             label->setBackOffset(Point{3, 3});
         },
         false},
    };
    for (auto& c : cases) {
        c.change();
        EXPECT_EQ(label->isDirty(), c.dirty) << c.name;
        label->setDirty(false);
    }
    label->release();
}

TEST_F(ControlFixture, ValueLabelDrawsItsCellAndFormattedText) {
    ValueLabel* label = nullptr;
    open([&](RootView& r) {
        label = new ValueLabel(Rect{10, 10, 60, 30}, nullptr, 0);
        label->setBackColor(kBlueColor);
        label->setFrameColor(kRedColor);
        label->setSimpleFormatter([](float v, char* text) { std::snprintf(text, 256, "%d", int(v * 100)); });
        label->setValue(0.5f);
        r.addView(label);
    });
    editor->idle();
    EXPECT_TRUE(view().pixel(10, 10).sameRgb(kRedColor)) << "outline";
    EXPECT_TRUE(view().pixel(60, 30).sameRgb(kRedColor));
    EXPECT_TRUE(view().pixel(12, 12).sameRgb(kBlueColor)) << "cell";
    // Some pixel of the text differs from the cell colour.
    int textPixels = 0;
    for (int32_t v = 11; v < 30; ++v)
        for (int32_t h = 11; h < 60; ++h) textPixels += !view().pixel(h, v).sameRgb(kBlueColor);
    EXPECT_GT(textPixels, 10);
    // noDraw draws nothing.
    label->setStyle(kNoDraw);
    label->setBackColor(kGreenColor);
    editor->idle();
    EXPECT_TRUE(view().pixel(12, 12).sameRgb(kBlueColor));
    EXPECT_FALSE(label->isDirty());
}
