#include "gui/RootView.h"

#include <new>

#include "gui/Canvas.h"
#include "gui/GroupView.h"
#include "gui/Picture.h"
#include "gui/ToolkitEditor.h"
#include "vst/EffectFrame.h"

namespace vl {

namespace {

// Whether w is inside group (directly or through nested groups).
bool isInside(Widget* w, Widget* group) {
    for (GroupView* g = w ? w->getParentGroup() : nullptr; g; g = g->getParentGroup())
        if (g == group) return true;
    return false;
}

} // namespace

RootView::RootView(const Rect& r, void* parent, ToolkitEditor* editor)
    : Widget(r), editor(editor), parentWindow(parent) {
    if (parentWindow) {
        view = makeNativeView(parentWindow, r, this);
        if (view) setDropTarget(true);
    }
}

RootView::RootView(const Rect& r, ViewMaker makeView, void* data, ToolkitEditor* editor)
    : Widget(r), editor(editor), parentWindow(nullptr) {
    if (makeView) view = makeView(r, this, data);
}

RootView::~RootView() {
    setCursor(0);
    setDropTarget(false);
    removeAll(true);
    if (background) background->release();
    background = nullptr;
    delete view;
    view = nullptr;
}

void RootView::draw(Canvas& canvas) {
    firstDrawPending = false;
    if (background) background->draw(canvas, Rect{0, 0, background->width, background->height}, Point{0, 0});
    for (int32_t i = 0; i < count; ++i) {
        Widget* w = views[i];
        if (!w) continue;
        const bool wasDirty = w->isDirty();
        w->draw(canvas);
        w->setDirty(wasDirty);
    }
}

void RootView::onMouseDown(Canvas& canvas, Point& where) {
    if (focus) {
        Widget* f = focus;
        f->loseFocus(nullptr);
        focus = nullptr;
    }
    for (int32_t i = count - 1; i >= 0; --i) {
        Widget* w = views[i];
        if (w && w->isMouseEnabled() && w->getSize().pointInside(where)) {
            // The press may end with the widget removed from the tree (the listener
            // rebuilding the panel); it stays alive until the call returns.
            w->retain();
            w->onMouseDown(canvas, where);
            w->release();
            return;
        }
    }
}

void RootView::update(Canvas& canvas) {
    if (!open) return;
    if (dirty) {
        draw(canvas);
        dirty = false;
        return;
    }
    for (int32_t i = 0; i < count; ++i)
        if (views[i]) views[i]->update(canvas);
}

bool RootView::onDrop(char** items, int32_t itemCount, int32_t kind, Point& where) {
    if (focus) return false;
    for (int32_t i = count - 1; i >= 0; --i) {
        Widget* w = views[i];
        if (w && w->isMouseEnabled() && w->getSize().pointInside(where) && w->onDrop(items, itemCount, kind, where))
            return true;
    }
    return false;
}

bool RootView::onWheel(Canvas&, Point& where, float distance) {
    return onWheel(static_cast<Canvas*>(nullptr), where, distance);
}

bool RootView::onWheel(Canvas*, Point&, float distance) {
    Widget* w = viewUnderMouse();
    if (!w || !view) return false;
    Canvas canvas(this, view->createSurface(), view, true);
    Point location;
    getMouseLocation(location);
    return w->onWheel(canvas, location, distance);
}

bool RootView::addView(Widget* widget) {
    if (!widget) return false;
    if (count == capacity) {
        Widget** grown = new (std::nothrow) Widget*[size_t(capacity) + 10];
        if (!grown) return false;
        for (int32_t i = 0; i < count; ++i) grown[i] = views[i];
        delete[] views;
        views = grown;
        capacity += 10;
    }
    views[count++] = widget;
    widget->setRoot(this);
    return true;
}

bool RootView::removeView(Widget* widget, bool releaseIt) {
    if (!widget) return true;
    // The focus widget (or a group holding it) leaves the tree: its editing ends first.
    if (focus && (focus == widget || isInside(focus, widget))) setFocus(nullptr);
    for (int32_t i = 0; i < count; ++i) {
        if (views[i] != widget) continue;
        for (int32_t j = i + 1; j < count; ++j) views[j - 1] = views[j];
        --count;
        widget->setRoot(nullptr);
        if (releaseIt) widget->release();
        break;
    }
    return true;
}

bool RootView::removeAll(bool releaseIt) {
    if (focus) setFocus(nullptr);
    // Detach the list first, so that nothing released below finds a half-emptied root.
    Widget** list = views;
    const int32_t n = count;
    views = nullptr;
    count = 0;
    capacity = 0;
    for (int32_t i = 0; i < n; ++i) {
        if (!list[i]) continue;
        list[i]->setRoot(nullptr); // a widget that outlives the root must not reach it
        if (releaseIt) list[i]->release();
    }
    delete[] list;
    return true;
}

bool RootView::isChild(Widget* widget) {
    if (!widget) return false;
    for (int32_t i = 0; i < count; ++i)
        if (views[i] == widget) return true;
    return false;
}

void RootView::setBackground(Picture* picture) {
    if (picture) picture->retain();
    if (background) background->release();
    background = picture;
}

void RootView::redraw(Widget* widget) {
    if (!view) return;
    Canvas canvas(this, view->createSurface(), view, true);
    if (widget && isChild(widget)) widget->draw(canvas);
    else draw(canvas);
}

void RootView::idle() {
    if (view) view->processEvents();
    if (!open || firstDrawPending || !view) return;
    bool anyDirty = dirty;
    for (int32_t i = 0; i < count && !anyDirty; ++i)
        if (views[i] && views[i]->isDirty()) anyDirty = true;
    if (!anyDirty) return;
    Canvas canvas(this, view->createSurface(), view, true);
    update(canvas);
}

Widget* RootView::viewUnderMouse() {
    Point where;
    getMouseLocation(where);
    for (int32_t i = count - 1; i >= 0; --i)
        if (views[i] && views[i]->getSize().pointInside(where)) return views[i];
    return nullptr;
}

bool RootView::getMouseLocation(Point& where) {
    if (!view) {
        where = Point{};
        return true;
    }
    const Point cursor = view->cursorScreenPosition();
    const Point origin = view->screenOrigin();
    where.h = cursor.h - origin.h;
    where.v = cursor.v - origin.v;
    return true;
}

void RootView::setFocus(Widget* widget) {
    Widget* previous = focus;
    if (previous == widget) return;
    focus = widget;
    if (previous) previous->loseFocus(nullptr);
}

void RootView::beginEdit(int32_t tag) {
    if (!editor) return;
    if (auto* frame = dynamic_cast<ExtendedEffectFrame*>(editor->getEffect())) frame->beginEdit(tag);
}

void RootView::endEdit(int32_t tag) {
    if (!editor) return;
    if (auto* frame = dynamic_cast<ExtendedEffectFrame*>(editor->getEffect())) frame->endEdit(tag);
}

void RootView::setCursor(int32_t kind) {
    if (view) view->setCursor(kind);
}

void* RootView::findHostWindow() { return view ? view->findHostWindow() : nullptr; }

bool RootView::setDropTarget(bool enable) {
    if (!dropTargetRegistered && !enable) return true;
    if (!view) return false;
    if (!view->setDropTarget(enable)) return false;
    dropTargetRegistered = enable;
    return true;
}

void RootView::viewPaint(DrawSurface& surface) {
    Canvas canvas(this, &surface, view, false);
    draw(canvas);
}

void RootView::viewMouseDown(Point where) {
    if (!view) return;
    Canvas canvas(this, view->createSurface(), view, true);
    onMouseDown(canvas, where);
}

bool RootView::viewWheel(float distance) {
    if (editor) return editor->onWheel(distance);
    Point where;
    return onWheel(static_cast<Canvas*>(nullptr), where, distance);
}

bool RootView::viewDrop(char** items, int32_t itemCount, int32_t kind, Point where) {
    return onDrop(items, itemCount, kind, where);
}

bool RootView::viewKey(const VstKeyCode& key) { return keyHandler && keyHandler->onKey(key); }

void RootView::viewDestroyed() {
    open = false;
    parentWindow = nullptr;
}

} // namespace vl
