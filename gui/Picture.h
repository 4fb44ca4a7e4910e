#pragma once
// A reference-counted bitmap loaded by numeric id, drawn opaquely or with the white key
// colour (255, 255, 255) left out.

#include "gui/Platform.h"
#include "gui/Types.h"

namespace vl {

class Canvas;

class Picture {
public:
    // Loads the bitmap of this id; when it cannot be loaded the picture has no image and
    // size 0 x 0, and drawing it does nothing. Count 1.
    explicit Picture(int32_t resourceId);
    // A picture made from width x height RGB pixels (rows top to bottom); id 0.
    Picture(int32_t width, int32_t height, const uint8_t* rgb);
    Picture(const Picture&) = delete;
    Picture& operator=(const Picture&) = delete;

    void retain();
    // Nothing when the count is already 0 or less; frees the picture when it reaches 0.
    void release();
    int32_t getRefCount() const { return refCount; }
    int32_t getResourceId() const { return resourceId; }
    PlatformImage* getHandle() const { return image; }

    // Copies destination-size pixels from source to the destination plus the canvas offset.
    void draw(Canvas& canvas, const Rect& destination, const Point& source = Point{});
    // The same, leaving out the pixels equal to the transparent key colour.
    void drawTransparent(Canvas& canvas, const Rect& destination, const Point& source = Point{});

    int32_t width = 0;
    int32_t height = 0;

private:
    ~Picture();

    int32_t resourceId;
    int32_t refCount = 1;
    PlatformImage* image = nullptr; // owned
};

} // namespace vl
