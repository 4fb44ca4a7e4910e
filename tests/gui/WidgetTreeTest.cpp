// The widget tree: hit tests, dirty redraw only after the first full draw, focus, groups.
#include <gtest/gtest.h>

#include "GuiTestSupport.h"

using namespace guitest;

namespace {

// A widget that logs its draws and presses.
class ProbeWidget : public Widget {
public:
    ProbeWidget(const Rect& r, std::string name, std::vector<std::string>* log) : Widget(r), name(name), log(log) {}
    ~ProbeWidget() override { log->push_back(name + " destroyed"); }
    void draw(Canvas&) override { log->push_back(name + " draw"); }
    void onMouseDown(Canvas&, Point& where) override {
        log->push_back(name + " press " + std::to_string(where.h) + "," + std::to_string(where.v));
    }
    void loseFocus(Canvas*) override { log->push_back(name + " loseFocus"); }
    bool onDrop(char**, int32_t count, int32_t kind, Point&) override {
        log->push_back(name + " drop " + std::to_string(count) + " " + std::to_string(kind));
        return acceptDrop;
    }
    std::string name;
    std::vector<std::string>* log;
    bool acceptDrop = true;
};

struct TreeFixture : ::testing::Test {
    std::vector<std::string> log; // outlives the widgets, which the frame's editor holds
    FakeViewScope scope;
    TestFrame frame;
    TestEditor* editor = new TestEditor(&frame);
    void SetUp() override { TestHost::reset(); }
    FakeView& view() { return *FakeView::current(); }
    RootView& root() { return *editor->getRoot(); }
    ProbeWidget* probe(const Rect& r, const char* name) { return new ProbeWidget(r, name, &log); }
    // The frame deletes its editor.
};

} // namespace

TEST_F(TreeFixture, PressGoesToTheLastWidgetContainingThePointEdgesIncluded) {
    editor->build = [&](RootView& r) {
        r.addView(probe(Rect{10, 10, 50, 50}, "A"));
        r.addView(probe(Rect{40, 40, 80, 80}, "B"));
        auto* off = probe(Rect{0, 0, 300, 200}, "disabled");
        off->setMouseEnabled(false);
        r.addView(off);
    };
    editor->open(reinterpret_cast<void*>(1));
    const struct {
        Point p;
        const char* expect;
    } cases[] = {
        {{45, 45}, "B press 45,45"}, // overlap: the later widget
        {{50, 50}, "B press 50,50"},
        {{10, 10}, "A press 10,10"},
        {{39, 50}, "A press 39,50"},
        {{80, 80}, "B press 80,80"}, // right and bottom edges are inside
        {{81, 80}, ""},
        {{9, 30}, ""},
    };
    for (auto& c : cases) {
        log.clear();
        view().press(c.p, kLeftButton);
        EXPECT_EQ(log.empty() ? std::string() : log.front(), c.expect) << c.p.h << "," << c.p.v;
        EXPECT_LE(log.size(), 1u);
    }
}

TEST_F(TreeFixture, IdleRedrawsDirtyWidgetsOnlyAfterTheFirstFullDraw) {
    ProbeWidget* a = nullptr;
    editor->build = [&](RootView& r) {
        a = probe(Rect{0, 0, 10, 10}, "A");
        r.addView(a);
        r.addView(probe(Rect{20, 0, 30, 10}, "B"));
    };
    editor->open(reinterpret_cast<void*>(1));
    editor->idle();
    editor->idle();
    EXPECT_TRUE(log.empty()) << "no idle redraw before the first paint";
    EXPECT_TRUE(root().isFirstDrawPending());

    view().paint();
    EXPECT_EQ(log, (std::vector<std::string>{"A draw", "B draw"}));
    EXPECT_FALSE(root().isFirstDrawPending());
    EXPECT_TRUE(a->isDirty()) << "a full draw keeps the dirty flags";

    log.clear();
    editor->idle(); // the root itself is still dirty: a full draw, which keeps the flags
    EXPECT_EQ(log, (std::vector<std::string>{"A draw", "B draw"}));
    log.clear();
    editor->idle(); // the widgets' own updates, which clear their flags
    EXPECT_EQ(log, (std::vector<std::string>{"A draw", "B draw"}));
    log.clear();
    editor->idle(); // nothing dirty any more
    EXPECT_TRUE(log.empty());
    a->setDirty(true);
    editor->idle();
    EXPECT_EQ(log, (std::vector<std::string>{"A draw"}));
}

TEST_F(TreeFixture, FocusChangesAndRemovalOfTheFocusWidget) {
    ProbeWidget *a = nullptr, *b = nullptr;
    editor->build = [&](RootView& r) {
        a = probe(Rect{0, 0, 10, 10}, "A");
        b = probe(Rect{20, 0, 30, 10}, "B");
        r.addView(a);
        r.addView(b);
    };
    editor->open(reinterpret_cast<void*>(1));
    root().setFocus(a);
    EXPECT_EQ(root().getFocus(), a);
    EXPECT_TRUE(log.empty()) << "setFocus does not call takeFocus or loseFocus on the new widget";
    root().setFocus(b);
    EXPECT_EQ(log, (std::vector<std::string>{"A loseFocus"}));
    EXPECT_EQ(root().getFocus(), b);

    // A press anywhere ends the focus first.
    log.clear();
    view().press(Point{5, 5}, kLeftButton);
    EXPECT_EQ(log, (std::vector<std::string>{"B loseFocus", "A press 5,5"}));
    EXPECT_EQ(root().getFocus(), nullptr);

    // A drop is refused while a widget has the focus.
    root().setFocus(a);
    log.clear();
    Point where{25, 5};
    EXPECT_FALSE(root().onDrop(nullptr, 2, 0, where));
    root().setFocus(nullptr);
    log.clear();
    EXPECT_TRUE(root().onDrop(nullptr, 2, 0, where));
    EXPECT_EQ(log, (std::vector<std::string>{"B drop 2 0"}));

    // Removing the focus widget clears the focus before the widget goes.
    root().setFocus(a);
    log.clear();
    a->retain();
    root().removeView(a, true);
    EXPECT_EQ(root().getFocus(), nullptr);
    EXPECT_EQ(log, (std::vector<std::string>{"A loseFocus"}));
    EXPECT_FALSE(root().isChild(a));
    EXPECT_TRUE(root().isChild(b));
    a->release();
    EXPECT_EQ(log.back(), "A destroyed");
}

TEST_F(TreeFixture, WidgetsAreReleasedWithTheRootAndTheListGrows) {
    std::vector<ProbeWidget*> widgets;
    editor->build = [&](RootView& r) {
        for (int i = 0; i < 25; ++i) {
            widgets.push_back(probe(Rect{i, 0, i + 1, 1}, "W"));
            ASSERT_TRUE(r.addView(widgets.back()));
        }
    };
    editor->open(reinterpret_cast<void*>(1));
    EXPECT_EQ(root().getViewCount(), 25);
    EXPECT_EQ(root().getViewAt(24), widgets[24]);
    widgets[3]->retain(); // one survives the root
    editor->close();
    EXPECT_EQ(std::count(log.begin(), log.end(), "W destroyed"), 24);
    EXPECT_EQ(widgets[3]->getRoot(), nullptr);
    widgets[3]->release();
    EXPECT_EQ(std::count(log.begin(), log.end(), "W destroyed"), 25);
}

TEST_F(TreeFixture, GroupViewMakesEventsLocalAndComposesItsBuffer) {
    GroupView* group = nullptr;
    ProbeWidget* inner = nullptr;
    PictureRef backdrop(kBackdrop);
    editor->build = [&](RootView& r) {
        group = new GroupView(Rect{50, 20, 150, 120}, &r, backdrop);
        group->setBackgroundOffset(Point{5, 6});
        inner = probe(Rect{10, 10, 20, 20}, "inner");
        group->addView(inner, Rect{10, 10, 20, 20}, true); // the group takes the creator's reference too
        r.addView(group);
    };
    editor->open(reinterpret_cast<void*>(1));
    EXPECT_EQ(inner->getRoot(), &root());
    EXPECT_EQ(inner->getParentGroup(), group);

    view().press(Point{65, 35}, kLeftButton); // group-local (15, 15)
    EXPECT_EQ(log, (std::vector<std::string>{"inner press 15,15"}));

    view().paint();
    // The group's buffer shows the background from its offset and is copied to its place.
    EXPECT_TRUE(view().pixel(50, 20).sameRgb(backdropColor(5, 6)));
    EXPECT_TRUE(view().pixel(149, 119).sameRgb(backdropColor(104, 105)));
    EXPECT_TRUE(view().pixel(150, 120).sameRgb(kBlackColor));
    EXPECT_TRUE(group->isDirty()) << "the child is still dirty";

    editor->idle(); // the root's own first update draws everything
    // Mode 1: a clean group updates its children into the buffer.
    group->setMode(1);
    group->setDirty(false);
    log.clear();
    editor->idle();
    EXPECT_EQ(log, (std::vector<std::string>{"inner draw"}));
    EXPECT_FALSE(group->isDirty());
}

TEST_F(TreeFixture, CursorAndDropTargetGoThroughTheView) {
    editor->open(reinterpret_cast<void*>(1));
    EXPECT_TRUE(view().dropEnabled) << "a root with a window accepts drops";
    root().setCursor(3);
    root().setCursor(0);
    EXPECT_EQ(view().cursorKinds, (std::vector<int32_t>{3, 0}));
    EXPECT_TRUE(root().setDropTarget(false));
    EXPECT_FALSE(view().dropEnabled);
}

TEST(RootWithoutWindow, HasNoViewAndCannotTakeDrops) {
    RootView* r = new RootView(Rect{0, 0, 10, 10}, nullptr, nullptr);
    EXPECT_EQ(r->getView(), nullptr);
    EXPECT_FALSE(r->setDropTarget(true));
    EXPECT_TRUE(r->setDropTarget(false));
    r->idle();
    r->release();
}
