#include "gui/Canvas.h"

#include "gui/RootView.h"

namespace vl {

Canvas::Canvas(RootView* root, DrawSurface* surface, NativeView* view, bool ownsSurface)
    : surface(surface), view(view), root(root), ownsSurface(ownsSurface) {
    if (view) windowOrigin = view->screenOrigin();
    if (surface) {
        setFrameColor(frameColor);
        setLineStyle(lineStyle);
        setFillColor(fillColor);
        setFontColor(fontColor);
    }
}

Canvas::~Canvas() {
    if (ownsSurface) delete surface;
}

void Canvas::moveTo(const Point& p) {
    if (surface) surface->moveTo(p.h + offset.h, p.v + offset.v);
}

void Canvas::lineTo(const Point& p) {
    if (surface) surface->lineTo(p.h + offset.h, p.v + offset.v);
}

void Canvas::drawRect(const Rect& r) {
    if (!surface) return;
    const Rect o = r.offset(offset.h, offset.v);
    const Point path[5] = {{o.left, o.top}, {o.right, o.top}, {o.right, o.bottom}, {o.left, o.bottom}, {o.left, o.top}};
    surface->polyline(path, 5);
}

void Canvas::fillRect(const Rect& r) {
    if (!surface) return;
    surface->fillRect(Rect{r.left + 1, r.top + 1, r.right, r.bottom}.offset(offset.h, offset.v));
}

void Canvas::setFrameColor(const Color& c) {
    frameColor = c;
    if (surface) surface->setPen(frameColor, lineWidth, lineStyle == 1 ? 1 : 0);
}

void Canvas::setLineStyle(int32_t style) {
    lineStyle = style;
    if (surface) surface->setPen(frameColor, lineWidth, lineStyle == 1 ? 1 : 0);
}

void Canvas::setFillColor(const Color& c) {
    fillColor = c;
    if (!surface) return;
    surface->setTextBackground(c);
    surface->setBrush(c); // a failed brush keeps the previous one; nothing is reported
}

void Canvas::setFontColor(const Color& c) {
    fontColor = c;
    if (surface) surface->setTextColor(c);
}

void Canvas::setFont(FontId id, int32_t size) {
    if (id < 0 || id >= kFontCount) id = 0;
    if (size == 0) size = kFontTable[id].height;
    fontSize = size;
    if (surface && size > 0) surface->setFont(id, size);
}

void Canvas::drawString(const char* text, const Rect& r, bool opaque, int32_t alignment) {
    if (!surface || !text) return;
    Rect o = r.offset(offset.h, offset.v);
    if (alignment == 0) o.left += 1;
    surface->drawText(text, o, opaque, alignment);
}

ButtonState Canvas::getButtonState() {
    NativeView* v = view ? view : (root ? root->getView() : nullptr);
    return v ? v->buttonState() : 0;
}

void Canvas::getMouseLocation(Point& where) {
    NativeView* v = view ? view : (root ? root->getView() : nullptr);
    if (!v) {
        where = Point{};
        return;
    }
    const Point cursor = v->cursorScreenPosition();
    where.h = cursor.h - windowOrigin.h;
    where.v = cursor.v - windowOrigin.v;
}

OffscreenCanvas::OffscreenCanvas(RootView* root, int32_t width, int32_t height, const Color& background)
    : Canvas(root, nullptr, nullptr, true), height(height), width(width), background(background) {
    surface = createOffscreenSurface(root ? root->getView() : nullptr, width, height);
    if (surface) {
        setFrameColor(frameColor);
        setLineStyle(lineStyle);
        setFillColor(fillColor);
        setFontColor(fontColor);
    }
    setFillColor(background);
    setFrameColor(background);
    // fillRect leaves the top row and left column to the outline, which drawRect paints.
    fillRect(Rect{0, 0, width, height});
    drawRect(Rect{0, 0, width, height});
}

OffscreenCanvas::~OffscreenCanvas() = default; // the canvas deletes the surface it owns

void OffscreenCanvas::copyTo(Canvas& target, const Rect& destination, const Point& source) {
    if (!surface || !target.surface) return;
    target.surface->copyFrom(*surface, destination.offset(target.offset.h, target.offset.v), source);
}

} // namespace vl
