#include "gui/Picture.h"

#include "gui/Canvas.h"

namespace vl {

Picture::Picture(int32_t resourceId) : resourceId(resourceId) {
    image = loadPlatformImage(resourceId);
    if (image) {
        width = image->width();
        height = image->height();
    }
}

Picture::Picture(int32_t w, int32_t h, const uint8_t* rgb) : resourceId(0) {
    if (rgb) image = createPlatformImage(w, h, rgb);
    if (image) {
        width = image->width();
        height = image->height();
    }
}

Picture::~Picture() { delete image; }

void Picture::retain() { ++refCount; }

void Picture::release() {
    if (refCount <= 0) return;
    if (--refCount == 0) delete this;
}

void Picture::draw(Canvas& canvas, const Rect& destination, const Point& source) {
    if (!image || !canvas.surface) return;
    canvas.surface->drawImage(*image, destination.offset(canvas.offset.h, canvas.offset.v), source, false);
}

void Picture::drawTransparent(Canvas& canvas, const Rect& destination, const Point& source) {
    if (!image || !canvas.surface) return;
    canvas.surface->drawImage(*image, destination.offset(canvas.offset.h, canvas.offset.v), source, true);
}

} // namespace vl
