#include "gui/Widget.h"

namespace vl {

Widget::Widget(const Rect& r) : size(r), mouseArea(r) {}

Widget::~Widget() = default;

void Widget::draw(Canvas&) {}

void Widget::onMouseDown(Canvas&, Point&) {}

void Widget::update(Canvas& canvas) {
    if (isDirty()) {
        draw(canvas);
        setDirty(false);
    }
}

bool Widget::onDrop(char**, int32_t, int32_t, Point&) { return false; }

bool Widget::onWheel(Canvas&, Point&, float) { return false; }

void Widget::loseFocus(Canvas*) {}

void Widget::takeFocus(Canvas*) {}

bool Widget::isDirty() { return dirty; }

void Widget::setDirty(bool state) { dirty = state; }

void Widget::setMouseEnabled(bool enabled) { mouseEnabled = enabled; }

bool Widget::isMouseEnabled() { return mouseEnabled; }

void Widget::setMouseArea(const Rect& area) { mouseArea = area; }

Rect& Widget::getMouseArea(Rect& area) {
    area = mouseArea;
    return area;
}

void Widget::setTransparent(bool state) { transparent = state; }

bool Widget::isTransparent() { return transparent; }

void Widget::setSize(const Rect& r) {
    size = r;
    setDirty(true);
}

void Widget::setRoot(RootView* newRoot) { root = newRoot; }

void Widget::release() {
    if (refCount <= 0) return;
    if (--refCount == 0) delete this;
}

void Widget::retain() { ++refCount; }

int32_t Widget::getRefCount() { return refCount; }

} // namespace vl
