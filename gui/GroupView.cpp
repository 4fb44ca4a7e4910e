#include "gui/GroupView.h"

#include <new>

#include "gui/Canvas.h"
#include "gui/Picture.h"
#include "gui/RootView.h"

namespace vl {

namespace {

// Ends the root's focus when the focus widget is w or lies inside w.
void releaseFocusWithin(RootView* root, Widget* w) {
    if (!root || !root->getFocus()) return;
    Widget* f = root->getFocus();
    bool inside = f == w;
    for (GroupView* g = f->getParentGroup(); g && !inside; g = g->getParentGroup()) inside = g == w;
    if (inside) root->setFocus(nullptr);
}

} // namespace

GroupView::GroupView(const Rect& r, RootView* rootView, Picture* picture) : Widget(r), background(picture) {
    if (background) background->retain();
    root = rootView;
    buffer = new (std::nothrow) OffscreenCanvas(root, r.width(), r.height(), kBlackColor);
}

GroupView::~GroupView() {
    if (background) background->release();
    background = nullptr;
    delete buffer;
    buffer = nullptr;
    removeAll(true);
}

void GroupView::draw(Canvas& canvas) {
    if (buffer) {
        const Rect whole{0, 0, size.width(), size.height()};
        if (background) {
            background->draw(*buffer, whole, backgroundOffset);
        } else {
            buffer->setFillColor(backgroundColor);
            buffer->fillRect(whole);
        }
        for (Node* n = first; n; n = n->next) n->widget->draw(*buffer);
        buffer->copyTo(canvas, size, Point{0, 0});
    }
    setDirty(false);
}

void GroupView::update(Canvas& canvas) {
    if (mode == 0) {
        if (isDirty()) draw(canvas);
    } else if (mode == 1) {
        if (dirty) {
            draw(canvas);
        } else if (buffer) {
            for (Node* n = first; n; n = n->next) n->widget->update(*buffer);
            buffer->copyTo(canvas, size, Point{0, 0});
        }
    }
}

bool GroupView::isDirty() {
    if (dirty) return true;
    for (Node* n = first; n; n = n->next)
        if (n->widget->isDirty()) return true;
    return false;
}

void GroupView::rebase(Canvas& canvas) {
    Point origin = canvas.view ? canvas.view->screenOrigin() : canvas.windowOrigin;
    canvas.windowOrigin = Point{origin.h + size.left, origin.v + size.top};
    canvas.offset = Point{size.left, size.top};
}

void GroupView::onMouseDown(Canvas& canvas, Point& where) {
    Point local{where.h - size.left, where.v - size.top};
    rebase(canvas);
    for (Node* n = first; n; n = n->next) {
        Widget* w = n->widget;
        Rect area;
        if (w->isMouseEnabled() && w->getMouseArea(area).pointInside(local)) {
            w->retain();
            w->onMouseDown(canvas, local);
            w->release();
            return;
        }
    }
}

bool GroupView::onDrop(char** items, int32_t count, int32_t kind, Point& where) {
    if (!root) return false;
    Point local{where.h - size.left, where.v - size.top};
    for (Node* n = first; n; n = n->next) {
        Widget* w = n->widget;
        Rect area;
        if (w->isMouseEnabled() && w->getMouseArea(area).pointInside(local) && w->onDrop(items, count, kind, local))
            return true;
    }
    return false;
}

bool GroupView::onWheel(Canvas& canvas, Point& where, float distance) {
    if (!root) return false;
    Point mouse;
    root->getMouseLocation(mouse);
    mouse.h -= size.left;
    mouse.v -= size.top;
    for (Node* n = first; n; n = n->next) {
        Widget* w = n->widget;
        Rect area;
        if (!w->getMouseArea(area).pointInside(mouse)) continue;
        Point local{where.h - size.left, where.v - size.top};
        rebase(canvas);
        return w->onWheel(canvas, local, distance);
    }
    return false;
}

void GroupView::loseFocus(Canvas* canvas) {
    for (Node* n = first; n; n = n->next) n->widget->loseFocus(canvas);
}

void GroupView::takeFocus(Canvas* canvas) {
    for (Node* n = first; n; n = n->next) n->widget->takeFocus(canvas);
}

void GroupView::setSize(const Rect& r) {
    Widget::setSize(r);
    delete buffer;
    buffer = new (std::nothrow) OffscreenCanvas(root, r.width(), r.height(), kBlackColor);
}

void GroupView::setRoot(RootView* newRoot) {
    Widget::setRoot(newRoot);
    for (Node* n = first; n; n = n->next) n->widget->setRoot(newRoot);
}

void GroupView::addView(Widget* widget, const Rect& area, bool enabled) {
    if (!widget) return;
    widget->setMouseEnabled(enabled);
    widget->setMouseArea(area);
    addView(widget);
}

void GroupView::addView(Widget* widget) {
    if (!widget) return;
    Node* node = new (std::nothrow) Node{widget, nullptr, last};
    if (!node) return;
    widget->retain();
    if (last) last->next = node;
    else first = node;
    last = node;
    widget->setParentGroup(this);
    widget->setRoot(root);
}

void GroupView::removeView(Widget* widget, bool releaseIt) {
    if (!widget) return;
    releaseFocusWithin(root, widget);
    Node* n = first;
    while (n) {
        Node* next = n->next;
        if (n->widget == widget) {
            if (n->previous) n->previous->next = n->next;
            else first = n->next;
            if (n->next) n->next->previous = n->previous;
            else last = n->previous;
            if (releaseIt) widget->release();
            widget->release();
            delete n;
        }
        n = next;
    }
}

void GroupView::removeAll(bool releaseIt) {
    releaseFocusWithin(root, this);
    Node* n = first;
    first = last = nullptr;
    while (n) {
        Node* next = n->next;
        if (releaseIt) n->widget->release();
        n->widget->release();
        delete n;
        n = next;
    }
}

bool GroupView::isChild(Widget* widget) {
    for (Node* n = first; n; n = n->next)
        if (n->widget == widget) return true;
    return false;
}

void GroupView::setBackgroundColor(const Color& c) { backgroundColor = c; }

void GroupView::setBackground(Picture* picture) {
    if (picture) picture->retain();
    if (background) background->release();
    background = picture;
}

Picture* GroupView::getBackground() { return background; }

void GroupView::setBackgroundOffset(const Point& p) { backgroundOffset = p; }

void GroupView::setMode(int32_t newMode) { mode = newMode; }

int32_t GroupView::getMode() { return mode; }

} // namespace vl
